#include "common/CalendarTime.h"

namespace pyrolith {

std::tm UtcCalendarTime(std::time_t instant)
{
    std::tm fields{};
#ifdef _WIN32
    ::gmtime_s(&fields, &instant);
#else
    ::gmtime_r(&instant, &fields);
#endif
    return fields;
}

std::tm LocalCalendarTime(std::time_t instant)
{
    std::tm fields{};
#ifdef _WIN32
    ::localtime_s(&fields, &instant);
#else
    ::localtime_r(&instant, &fields);
#endif
    return fields;
}

}  // namespace pyrolith
