#include <charconv>

#include "common/NumberText.h"
#include "image/Bitmap.h"

namespace pyrolith {
namespace {

std::string Integer(std::int32_t value)
{
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace

std::string_view PictureSizeLimitText()
{
    static_assert(kMaxPicturePixels == 16384u * 16384u);
    return "268,435,456 pixels (16384 x 16384)";
}

std::string PictureTooLargeText(std::string_view kind, std::uint64_t width, std::uint64_t height)
{
    char buffer[24];
    const auto number = [&buffer](std::uint64_t value) {
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    };
    return std::string(kind) + " image is too large: " + number(width) + " x " + number(height) +
           " pixels. Pyrolith reads pictures of up to " + std::string(PictureSizeLimitText()) +
           ".";
}

std::string UnrecognizedFormatMessage()
{
    return "Unrecognized pixel format. Try opening with graphics editor and use the \"Save "
           "As...\" function to save to a standard color depth.";
}

std::string OriginalSizeLine(std::int32_t width, std::int32_t height)
{
    return "Original size: " + Integer(width) + " x " + Integer(height) + " pixels";
}

std::string FinalSizeLine(std::int32_t width, std::int32_t height, std::string_view distPerPixel,
                          bool useInches, char decimalSeparator)
{
    const double distance = MyStrtoFloat(distPerPixel, decimalSeparator);
    const auto format = [](double value) {
        return FloattoStrFDelim(value, FloatFormat::Fixed, 12, 4);
    };
    return "Final size: " + format(width * distance) + " x " + format(height * distance) +
           (useInches ? " inches" : " mm");
}

} // namespace pyrolith
