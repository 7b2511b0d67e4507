#pragma once

#include <ctime>

namespace pyrolith {

// An instant as calendar fields, in UTC or in the local time zone (thread-safe on both
// systems).
std::tm UtcCalendarTime(std::time_t instant);
std::tm LocalCalendarTime(std::time_t instant);

}  // namespace pyrolith
