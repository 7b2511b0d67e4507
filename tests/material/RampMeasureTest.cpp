#include "material/RampMeasure.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/Error.h"
#include "support/SyntheticRamp.h"

namespace pyrolith {
namespace {

JobSettings GreySettings()
{
    JobSettings settings;
    settings.PowerLevels = "16";
    return settings;
}

// The grey at which the curve asks for `power`: the lightest grey whose power reaches it,
// 0 when no grey does.
double CurveGreyAt(const std::vector<TonePoint>& curve, double power)
{
    for (int tenth = 2550; tenth >= 0; --tenth) {
        if (TonePower(curve, tenth / 10.0) >= power - 1e-9) {
            return tenth / 10.0;
        }
    }
    return 0;
}

struct Response {
    std::string name;
    std::function<double(double)> tone;
    double degrees;
    double pixelsPerMm = 10;
};

class RampMeasureRecovers : public ::testing::TestWithParam<Response> {};

// The photo of a card burned with a known response: each patch's tone, and the curve at each
// patch's power, within 3 grey levels of the truth; the curve never rises with the grey.
TEST_P(RampMeasureRecovers, TheResponseAtEveryPatch)
{
    test::RampPhoto photo;
    photo.powers = RampPatchPowers(GreySettings());
    photo.response = GetParam().tone;
    photo.degrees = GetParam().degrees;
    photo.pixelsPerMm = GetParam().pixelsPerMm;
    const RampReading reading = MeasureRamp(photo.render(), photo.powers);
    const auto truth = photo.trueTones();
    for (std::size_t k = 0; k < truth.size(); ++k) {
        EXPECT_NEAR(reading.tones[k], truth[k], 3) << "patch " << k;
        EXPECT_NEAR(CurveGreyAt(reading.curve, photo.powers[k]), truth[k], 3) << "patch " << k;
    }
    ASSERT_GE(reading.curve.size(), 2u);
    EXPECT_EQ(reading.curve.back(), (TonePoint{255, 0.0}));
    for (std::size_t i = 1; i < reading.curve.size(); ++i) {
        EXPECT_LT(reading.curve[i - 1].grey, reading.curve[i].grey);
        EXPECT_GE(reading.curve[i - 1].power, reading.curve[i].power);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Responses, RampMeasureRecovers,
    ::testing::Values(
        Response{"Gamma", [](double u) { return 1 - std::pow(u, 1 / 2.2); }, 7},
        // Darkening starts late and chars early, as on poplar: flat at both ends.
        Response{"SShaped", [](double u) { return 1 / (1 + std::exp((u - 0.4) / 0.05)); }, 7},
        Response{"GammaUpsideDown", [](double u) { return 1 - std::pow(u, 1 / 2.2); }, 187},
        Response{"SShapedTurnedFar", [](double u) { return 1 / (1 + std::exp((u - 0.4) / 0.05)); },
                 -97, 7}),
    [](const auto& info) { return info.param.name; });

struct BadPhoto {
    std::string name;
    std::function<void(test::RampPhoto&)> change;
    std::string message;
};

class RampMeasureRefuses : public ::testing::TestWithParam<BadPhoto> {};

TEST_P(RampMeasureRefuses, WithTheMessage)
{
    test::RampPhoto photo;
    photo.width = 800;
    photo.height = 500;
    photo.pixelsPerMm = 5;
    photo.powers = RampPatchPowers(GreySettings());
    GetParam().change(photo);
    try {
        MeasureRamp(photo.render(), photo.powers);
        ADD_FAILURE() << "the photo was read";
    } catch (const Error& error) {
        EXPECT_EQ(std::string(error.what()), GetParam().message);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Photos, RampMeasureRefuses,
    ::testing::Values(
        BadPhoto{"CardTooSmall", [](test::RampPhoto& p) { p.pixelsPerMm = 0.1; }, kRampFrameNotFound},
        BadPhoto{"CardCutOff", [](test::RampPhoto& p) { p.pixelsPerMm = 9; }, kRampFrameNotFound},
        BadPhoto{"NothingBurned",
                 [](test::RampPhoto& p) {
                     p.response = [](double) { return 1.0; };
                 },
                 kRampFrameNotFound},
        BadPhoto{"TooDark",
                 [](test::RampPhoto& p) {
                     p.paper = 30;
                     p.charred = 8;
                     p.table = 12;
                     p.noise = 2;
                 },
                 kRampTooDark},
        // The frame burned, the grey levels not: the patches stay as light as the wood.
        BadPhoto{"PatchesNotBurned",
                 [](test::RampPhoto& p) {
                     p.response = [](double u) { return u >= 0.999 ? 0.0 : 1.0; };
                     p.powers.fill(0);
                     p.powers.back() = 0.5;
                 },
                 kRampNotBurned}),
    [](const auto& info) { return info.param.name; });

// Tones that rise again are pooled, the white plateau ends just below white, flat parts are
// one point at their least power and nothing past the darkest patch counts.
TEST(RampMeasure, CurveFromTones)
{
    std::array<double, ramp::kPatches> powers{};
    for (std::size_t k = 0; k < powers.size(); ++k) {
        powers[k] = static_cast<double>(k) / 15;
    }
    const std::array<double, ramp::kPatches> tones = {255, 255, 255, 255, 255, 200, 210, 100,
                                                      0,   0,   0,   0,   5,   0,   0,   0};
    const std::vector<TonePoint> expected = {
        {0, 0.533}, {100, 0.467}, {205, 0.333}, {254, 0.268}, {255, 0}};
    EXPECT_EQ(ToneCurveFromTones(powers, tones), expected);
}

// Pictures that hold no ramp at all: refused, never a crash.
TEST(RampMeasure, RefusesPicturesWithoutARamp)
{
    const auto powers = RampPatchPowers(GreySettings());
    std::mt19937 random(7);
    for (const auto& [width, height] : {std::pair{0, 0}, {1, 1}, {15, 400}, {4000, 17}, {300, 200}}) {
        GrayRaster picture;
        picture.width = width;
        picture.height = height;
        picture.pixels = PixelBuffer(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (std::uint8_t& p : picture.pixels) {
            p = static_cast<std::uint8_t>(random());
        }
        EXPECT_THROW(MeasureRamp(picture, powers), Error) << width << " x " << height;
    }
}

} // namespace
} // namespace pyrolith
