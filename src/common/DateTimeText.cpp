#include "common/DateTimeText.h"

namespace pyrolith {
namespace {

std::string Format(const char* format, const std::tm& moment)
{
    char text[128];
    const std::size_t length = std::strftime(text, sizeof text, format, &moment);
    return {text, length};
}

} // namespace

DateTimeTexts JobDateTimeTexts(const std::tm& moment)
{
    return {Format("%x", moment), Format("%X", moment)};
}

} // namespace pyrolith
