#pragma once

#include <string>

#include "common/DateTimeText.h"

namespace pyrolith::cli {

using DateTimeTexts = pyrolith::DateTimeTexts;

// The date and time of the job header: now, in the local time zone, as the locale's date and
// time texts; when SOURCE_DATE_EPOCH holds a whole number of seconds, that instant in UTC,
// so that the same inputs give the same file.
DateTimeTexts JobDateTime();

// The decimal separator of the current LC_NUMERIC locale ("." in the C locale).
char LocaleDecimalSeparator();

}  // namespace pyrolith::cli
