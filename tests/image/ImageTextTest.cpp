#include <gtest/gtest.h>

#include <string>

#include "image/Bitmap.h"

namespace pyrolith {
namespace {

TEST(OriginalSizeLine, PlainIntegers)
{
    EXPECT_EQ(OriginalSizeLine(640, 480), "Original size: 640 x 480 pixels");
    EXPECT_EQ(OriginalSizeLine(1, 1), "Original size: 1 x 1 pixels");
    EXPECT_EQ(OriginalSizeLine(10000, 8000), "Original size: 10000 x 8000 pixels");
}

struct FinalSizeCase {
    std::int32_t width;
    std::int32_t height;
    const char* distPerPixel;
    bool useInches;
    char decimalSeparator;
    const char* line;
};

void PrintTo(const FinalSizeCase& c, std::ostream* out)
{
    *out << c.line;
}

class FinalSizeLineTest : public ::testing::TestWithParam<FinalSizeCase> {};

TEST_P(FinalSizeLineTest, FourDecimalsAndTheUnit)
{
    const FinalSizeCase& c = GetParam();
    EXPECT_EQ(FinalSizeLine(c.width, c.height, c.distPerPixel, c.useInches, c.decimalSeparator),
              c.line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, FinalSizeLineTest,
    ::testing::Values(
        FinalSizeCase{640, 480, "0.1", false, '.', "Final size: 64.0000 x 48.0000 mm"},
        FinalSizeCase{1, 1, "0.1", false, '.', "Final size: 0.1000 x 0.1000 mm"},
        // A comma is read whatever the user's separator; the line always shows ".".
        FinalSizeCase{100, 40, "0,25", true, '.', "Final size: 25.0000 x 10.0000 inches"},
        FinalSizeCase{100, 40, "0,25", true, ',', "Final size: 25.0000 x 10.0000 inches"},
        FinalSizeCase{3, 7, "0.33333", false, '.', "Final size: 1.0000 x 2.3333 mm"},
        FinalSizeCase{640, 480, "abc", false, '.', "Final size: 0.0000 x 0.0000 mm"},
        FinalSizeCase{640, 480, "", true, '.', "Final size: 0.0000 x 0.0000 inches"}));

TEST(UnrecognizedFormatMessage, Text)
{
    EXPECT_EQ(UnrecognizedFormatMessage(),
              "Unrecognized pixel format. Try opening with graphics editor and use the \"Save "
              "As...\" function to save to a standard color depth.");
}

} // namespace
} // namespace pyrolith
