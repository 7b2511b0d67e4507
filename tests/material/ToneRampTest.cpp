#include "material/ToneRamp.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "common/NumberText.h"
#include "gcode/JobSink.h"
#include "gcode/JobTestSupport.h"

namespace pyrolith {
namespace {

using Lines = std::vector<std::string>;

struct Levels {
    std::string levels;
    std::array<double, ramp::kPatches> shares;
};

class RampPatchShares : public ::testing::TestWithParam<Levels> {};

// Patch k is the grey 255 - 17 k: with 16 or 256 levels exactly k / 15 of the power range;
// with 4 levels the levels the grey engraving gives those greys.
TEST_P(RampPatchShares, AsTheGreyEngravingBurnsThem)
{
    JobSettings settings;
    settings.PowerLevels = GetParam().levels;
    const auto shares = RampPatchPowers(settings);
    for (std::size_t k = 0; k < shares.size(); ++k) {
        EXPECT_NEAR(shares[k], GetParam().shares[k], 1e-12) << "patch " << k;
    }
}

constexpr std::array<double, ramp::kPatches> Fifteenths()
{
    std::array<double, ramp::kPatches> shares{};
    for (std::size_t k = 0; k < shares.size(); ++k) {
        shares[k] = static_cast<double>(k) / 15;
    }
    return shares;
}

INSTANTIATE_TEST_SUITE_P(
    PowerLevels, RampPatchShares,
    ::testing::Values(Levels{"16", Fifteenths()}, Levels{"256", Fifteenths()},
                      // floor(17 k * 4 / 256) of 3
                      Levels{"4", {0, 0, 0, 0, 1. / 3, 1. / 3, 1. / 3, 1. / 3, 2. / 3, 2. / 3,
                                   2. / 3, 2. / 3, 1, 1, 1, 1}}),
    [](const auto& info) { return "Levels" + info.param.levels; });

struct RampFlavour {
    std::string name;
    bool grbl;
};

class ToneRampJob : public ::testing::TestWithParam<RampFlavour> {};

// At 0.5 mm per pixel the line through the middle of the patches burns the frame's left
// side (columns 0 to 3) at full power, patch k (k = 1 to 15, columns 20 + 12 k to 31 + 12 k,
// X 10.5 + 6 k to 16.5 + 6 k) at k / 15 of S255, and the frame's right side (columns 228 to
// 231), at the Laser On speed; patch 0 is not burned.
TEST_P(ToneRampJob, PatchPowersAlongALine)
{
    JobSettings settings = test::ExampleSettings();
    settings.GRBL = GetParam().grbl;
    settings.ImageMode = "FloydSteinberg"; // the ramp is a grey engraving whatever the mode
    settings.ToneCurve = "0:0.5 255:0";    // and measures the material without the curve
    StringJobSink sink;
    WriteToneRampJob(sink, settings, test::Environment());
    const Lines job = test::JobLines(sink.text());

    const auto run = [&](const std::string& from, const std::string& to, const std::string& s) {
        if (GetParam().grbl) {
            return Lines{"G1 X" + from + " Y11 F1500 M107", "G1 X" + to + " Y11 F500 M106 S" + s};
        }
        return Lines{"M107", "G1 X" + from + " Y11 F1500 ", "M106 S" + s, "G1 X" + to + " Y11 F500 "};
    };
    Lines expected = run("0.5", "2.5", "255");
    for (int k = 1; k < ramp::kPatches; ++k) {
        const Lines patch = run(PlainNumber(10.5 + 6 * k, 12), PlainNumber(16.5 + 6 * k, 12),
                                PlainNumber(255.0 * k / 15, 12));
        // Neighbouring patches touch: the next one starts where the last ends, laser on.
        if (k > 1) {
            expected.insert(expected.end(), patch.end() - (GetParam().grbl ? 1 : 2), patch.end());
        } else {
            expected.insert(expected.end(), patch.begin(), patch.end());
        }
    }
    const Lines right = run("114.5", "116.5", "255");
    expected.insert(expected.end(), right.begin(), right.end());

    const auto first = std::find(job.begin(), job.end(), expected.front() == "M107" ? expected[1] : expected[0]);
    ASSERT_NE(first, job.end());
    const auto start = first - (GetParam().grbl ? 0 : 1);
    ASSERT_GE(job.end() - start, static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(Lines(start, start + static_cast<std::ptrdiff_t>(expected.size())), expected);
    EXPECT_NE(std::find(job.begin(), job.end(), "; Grayscale with 16 power levels, minimum power 0"),
              job.end());
    EXPECT_EQ(std::find(job.begin(), job.end(), "; Using tone curve of 2 points"), job.end());
}

INSTANTIATE_TEST_SUITE_P(Flavours, ToneRampJob,
                         ::testing::Values(RampFlavour{"Printer", false}, RampFlavour{"Grbl", true}),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace pyrolith
