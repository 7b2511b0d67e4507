#include "common/DateTimeText.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace pyrolith {
namespace {

struct LocaleCase {
    const char* name;
    const char* locale;
    const char* date;
    const char* time;
};

void PrintTo(const LocaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class HeaderDateTime : public testing::TestWithParam<LocaleCase> {
protected:
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

// The window and the command line both take the header's texts from here: they follow the
// user's locale.
TEST_P(HeaderDateTime, FollowsTheLocale)
{
    if (std::setlocale(LC_ALL, GetParam().locale) == nullptr) {
        GTEST_SKIP() << "the locale " << GetParam().locale << " is not installed";
    }
    std::tm moment{};
    moment.tm_year = 2026 - 1900;
    moment.tm_mon = 2;
    moment.tm_mday = 14;
    moment.tm_wday = 6;
    moment.tm_hour = 9;
    moment.tm_min = 26;
    moment.tm_sec = 53;
    const DateTimeTexts texts = JobDateTimeTexts(moment);
    EXPECT_EQ(texts.date, GetParam().date);
    EXPECT_EQ(texts.time, GetParam().time);
}

INSTANTIATE_TEST_SUITE_P(
    Locales, HeaderDateTime,
    testing::Values(LocaleCase{"C", "C", "03/14/26", "09:26:53"},
                    LocaleCase{"German", "de_DE.UTF-8", "14.03.2026", "09:26:53"}),
    [](const testing::TestParamInfo<LocaleCase>& info) { return info.param.name; });

} // namespace
} // namespace pyrolith
