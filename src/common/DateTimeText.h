#pragma once

#include <ctime>
#include <string>

namespace pyrolith {

// The date and time a job header shows.
struct DateTimeTexts {
    std::string date;
    std::string time;
};

// The job header's texts of a moment: the short date and the time of the C library's current
// LC_TIME locale ("%x" and "%X"; "03/14/26" and "09:26:53" in the C locale). The window and the
// command-line program both call this, so the same moment and locale give the same header.
DateTimeTexts JobDateTimeTexts(const std::tm& moment);

} // namespace pyrolith
