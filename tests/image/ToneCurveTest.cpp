#include "image/ToneCurve.h"

#include <gtest/gtest.h>

#include <string>

#include "image/GrayLevels.h"
#include "image/PictureOptions.h"
#include "settings/JobSettings.h"

namespace pyrolith {
namespace {

struct CurveText {
    std::string text;
    std::optional<std::vector<TonePoint>> points;
};

class ToneCurveReads : public ::testing::TestWithParam<CurveText> {};

TEST_P(ToneCurveReads, AsListedOrNotAtAll)
{
    EXPECT_EQ(ParseToneCurve(GetParam().text), GetParam().points) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ToneCurveReads,
    ::testing::Values(
        CurveText{"0:1.000 255:0.000", std::vector<TonePoint>{{0, 1}, {255, 0}}},
        // Any order, blanks and tabs between pairs; sorted by grey.
        CurveText{" 255:0\t17:0.874  0:1 ", std::vector<TonePoint>{{0, 1}, {17, 0.874}, {255, 0}}},
        CurveText{"0:.5 9:1.", std::vector<TonePoint>{{0, 0.5}, {9, 1}}},
        CurveText{"", std::nullopt},              // no curve
        CurveText{"0:1.000", std::nullopt},       // one point is no curve
        CurveText{"0:1 0:0.5", std::nullopt},     // a grey twice
        CurveText{"0:1 256:0", std::nullopt},     // grey out of range
        CurveText{"-1:1 255:0", std::nullopt},
        CurveText{"0:1.5 255:0", std::nullopt},   // power above full
        CurveText{"0:-0 255:0", std::nullopt},    // signs are not numbers here
        CurveText{"0:1e0 255:0", std::nullopt},
        CurveText{"0:1,0 255:0", std::nullopt},
        CurveText{"0:1 255:", std::nullopt},
        CurveText{"0:1 :0", std::nullopt},
        CurveText{"0:1 128 255:0", std::nullopt},
        CurveText{"0:1 12.5:0.5 255:0", std::nullopt},
        CurveText{"0:1 255:0 x", std::nullopt}));

TEST(ToneCurve, TextHasThreeDecimalsGreysAscending)
{
    EXPECT_EQ(ToneCurveText({{255, 0}, {17, 0.87449}, {0, 1}}), "0:1.000 17:0.874 255:0.000");
}

// The grey each grey becomes: 255 * (1 - power), the power linear between the points and
// flat beyond the ends.
TEST(ToneCurve, TableBetweenAndBeyondThePoints)
{
    const auto table = ToneTable({{10, 1.0}, {110, 0.5}, {210, 0.0}});
    const std::vector<std::pair<int, int>> expected = {
        {0, 0}, {10, 0}, {60, 64}, {110, 128}, {160, 191}, {210, 255}, {255, 255}};
    for (const auto& [grey, becomes] : expected) {
        EXPECT_EQ(table[static_cast<std::size_t>(grey)], becomes) << grey;
    }
}

// The curve comes after the other adjustments, in every mode that works on grey levels.
TEST(ToneCurve, AppliedAfterTheAdjustments)
{
    JobSettings settings;
    settings.ImageMode = "Grayscale";
    settings.Invert = true;
    settings.ToneCurve = "0:1 255:0.5";
    const auto table = AdjustmentTable(ConversionOptionsOf(settings).adjustments);
    // 255 inverts to 0, which the curve burns at full power (grey 0); 0 inverts to 255,
    // burned at half power (grey 128).
    EXPECT_EQ(table[255], 0);
    EXPECT_EQ(table[0], 128);
    settings.ToneCurve = "not a curve";
    EXPECT_FALSE(ConversionOptionsOf(settings).adjustments.tone);
}

} // namespace
} // namespace pyrolith
