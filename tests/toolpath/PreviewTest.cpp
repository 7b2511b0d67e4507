// The Job view's drawing: each pixel shows the burned share of its area.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "toolpath/ToolpathPreview.h"

namespace {

using namespace pyrolith::toolpath;
using Rgb = std::array<int, 3>;

// A raster of 40 x 40 cells of 0.1 mm from (10, 10), row 0 at the bottom: `burns(column,
// row)` gives each cell's power (0: none). Each row's runs go left to right.
std::string Raster(const std::function<int(int, int)>& burns)
{
    std::string gcode = "G21 G90\n";
    for (int row = 0; row < 40; ++row) {
        const std::string y = std::to_string(10.05 + row * 0.1);
        for (int column = 0; column < 40;) {
            const int power = burns(column, row);
            int end = column + 1;
            while (end < 40 && burns(end, row) == power) {
                ++end;
            }
            if (power > 0) {
                gcode += "M5\nG0 X" + std::to_string(10.0 + column * 0.1) + " Y" + y +
                         "\nM3 S" + std::to_string(power) + "\nG1 X" +
                         std::to_string(10.0 + end * 0.1) + " F1000\n";
            }
            column = end;
        }
    }
    return gcode + "M5\n";
}

enum class Mark { None, Drawn, Added };  // burned when drawn, or marked over a drawing

struct PreviewCase {
    const char* name;
    std::string gcode;
    double pixelsPerMm;
    int pixels;  // the square view from (10, 10) mm
    Mark mark;   // every move burned
    int row;     // the image row compared, from the top
    std::vector<Rgb> expected;
};

void PrintTo(const PreviewCase& c, std::ostream* os)
{
    *os << c.name;
}

class PreviewShares : public ::testing::TestWithParam<PreviewCase> {};

TEST_P(PreviewShares, DarkenEachPixelByItsBurnedArea)
{
    const PreviewCase& c = GetParam();
    const JobPreview job = ReadJobPreview(c.gcode, MachineProfile{});
    PreviewView view;
    view.left = 10.0;
    view.top = 10.0 + c.pixels / c.pixelsPerMm;
    view.pixelsPerMm = c.pixelsPerMm;
    view.width = view.height = c.pixels;
    view.showTravel = false;
    pyrolith::RgbImage image =
        RenderPreview(job, view, nullptr, c.mark == Mark::Drawn ? job.segments.size() : 0);
    if (c.mark == Mark::Added) {
        DrawBurned(job, view, image, 0, job.segments.size());
    }
    std::vector<Rgb> row;
    for (int x = 0; x < image.width; ++x) {
        const std::uint8_t* p = image.at(x, c.row);
        row.push_back({p[0], p[1], p[2]});
    }
    ASSERT_EQ(row.size(), c.expected.size());
    // The shares are kept in steps of 1/32768 of a pixel: a level may be one off.
    bool near = true;
    for (std::size_t i = 0; i < row.size(); ++i) {
        for (int k = 0; k < 3; ++k) {
            near = near && std::abs(row[i][k] - c.expected[i][k]) <= 1;
        }
    }
    EXPECT_TRUE(near) << ::testing::PrintToString(row);
}

const Rgb kWhite{255, 255, 255};
const Rgb kBlack{0, 0, 0};
const Rgb kHalf{128, 128, 128};
const Rgb kHalfRed{203, 128, 128};  // half of the burned red (150, 0, 0)

const std::string kChecker = Raster([](int column, int row) { return (column + row) % 2 == 0 ? 1000 : 0; });

INSTANTIATE_TEST_SUITE_P(
    Jobs, PreviewShares,
    ::testing::Values(
        // One pixel a millimetre: each holds 10 x 10 cells.
        PreviewCase{"CheckerSeenWholeIsMidGrey", kChecker, 1.0, 4, Mark::None, 2,
                    {kHalf, kHalf, kHalf, kHalf}},
        PreviewCase{"LeftHalfBurned",
                    Raster([](int column, int) { return column < 20 ? 1000 : 0; }), 1.0, 4,
                    Mark::None, 1, {kBlack, kBlack, kWhite, kWhite}},
        // The top row at full power sets the scale of the others.
        PreviewCase{"HalfPowerIsMidGrey",
                    Raster([](int, int row) { return row == 39 ? 1000 : 500; }), 1.0, 4,
                    Mark::None, 3, {kHalf, kHalf, kHalf, kHalf}},
        // Twenty pixels a millimetre: each cell is a block of 2 x 2 pixels.
        PreviewCase{"CheckerZoomedInShowsItsCells", kChecker, 20.0, 8, Mark::None, 7,
                    {kBlack, kBlack, kWhite, kWhite, kBlack, kBlack, kWhite, kWhite}},
        // A move that is no raster row covers at least a pixel.
        PreviewCase{"LoneLineShowsAPixelWide",
                    "G21 G90\nG0 X12.5 Y10\nM3 S1000\nG1 Y14 F1000\nM5\n", 1.0, 4, Mark::None, 1,
                    {kWhite, kWhite, kBlack, kWhite}},
        PreviewCase{"BurnedDrawnRed", kChecker, 1.0, 4, Mark::Drawn, 2,
                    {kHalfRed, kHalfRed, kHalfRed, kHalfRed}},
        PreviewCase{"BurnedMarkedOverTheDrawing", kChecker, 1.0, 4, Mark::Added, 2,
                    {kHalfRed, kHalfRed, kHalfRed, kHalfRed}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PreviewRows, SpacingIsTheSmallestStepBetweenRows)
{
    EXPECT_NEAR(ReadJobPreview(kChecker, MachineProfile{}).rowSpacing, 0.1, 1e-6);
    // Two burns 10 mm apart are no raster.
    EXPECT_EQ(ReadJobPreview("G21\nG0 X0 Y0\nM3 S9\nG1 X5 F100\nM5\nG0 Y10\nM3 S9\nG1 X0\nM5\n",
                             MachineProfile{})
                  .rowSpacing,
              0.0);
}

}  // namespace
