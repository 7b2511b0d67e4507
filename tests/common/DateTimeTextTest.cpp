#include "common/DateTimeText.h"

#include <gtest/gtest.h>

#include <clocale>

namespace pyrolith {
namespace {

// The window and the command line both take the header's texts from here: they follow the
// user's locale.
TEST(HeaderDateTime, FollowsTheLocale)
{
    std::tm moment{};
    moment.tm_year = 2026 - 1900;
    moment.tm_mon = 2;
    moment.tm_mday = 14;
    moment.tm_hour = 9;
    moment.tm_min = 26;
    moment.tm_sec = 53;
    const struct {
        const char* locale;
        const char* date;
    } cases[] = {{"C", "03/14/26"}, {"de_DE.UTF-8", "14.03.2026"}};
    for (const auto& c : cases) {
        if (std::setlocale(LC_ALL, c.locale) == nullptr) {
            continue; // test.sh generates the German locale
        }
        const DateTimeTexts texts = JobDateTimeTexts(moment);
        EXPECT_EQ(texts.date, c.date) << c.locale;
        EXPECT_EQ(texts.time, "09:26:53") << c.locale;
    }
    std::setlocale(LC_ALL, "C");
}

} // namespace
} // namespace pyrolith
