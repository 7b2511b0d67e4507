#include "cli/CliClock.h"

#include <charconv>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace pyrolith::cli {

DateTimeTexts JobDateTime()
{
    std::time_t now = std::time(nullptr);
    bool utc = false;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr && *epoch) {
        long long seconds = 0;
        const char* end = epoch + std::strlen(epoch);
        const auto result = std::from_chars(epoch, end, seconds);
        if (result.ec == std::errc() && result.ptr == end) {
            now = static_cast<std::time_t>(seconds);
            utc = true;
        }
    }
    std::tm moment{};
    if (utc) {
        gmtime_r(&now, &moment);
    } else {
        localtime_r(&now, &moment);
    }
    return JobDateTimeTexts(moment);
}

char LocaleDecimalSeparator()
{
    const std::lconv* conventions = std::localeconv();
    if (conventions == nullptr || conventions->decimal_point == nullptr ||
        conventions->decimal_point[0] == '\0' || conventions->decimal_point[1] != '\0') {
        return '.';
    }
    return conventions->decimal_point[0];
}

}  // namespace pyrolith::cli
