#include "common/NumberText.h"

#include <gtest/gtest.h>

#include "support/Printable.h"

#include <clocale>
#include <cmath>
#include <string>

#include "common/Error.h"

namespace pyrolith {
namespace {

struct NumberCase {
    double value;
    const char* text;
};

void PrintTo(const NumberCase& c, std::ostream* os)
{
    *os << c.value << " -> " << c.text;
}

class GcodeNumberForm : public testing::TestWithParam<NumberCase> {};

TEST_P(GcodeNumberForm, WritesTwelveSignificantDigits)
{
    EXPECT_EQ(GcodeNumber(GetParam().value), GetParam().text) << "value " << GetParam().value;
}

INSTANTIATE_TEST_SUITE_P(
    Examples, GcodeNumberForm,
    testing::Values(NumberCase{0.1 * 3, "0.3"}, NumberCase{1.0 / 3, "0.333333333333"},
                    NumberCase{100, "100"}, NumberCase{0.00005, "5E-5"},
                    NumberCase{-0.0001, "-0.0001"}, NumberCase{12.5, "12.5"},
                    NumberCase{-3, "-3"}, NumberCase{0.0005, "0.0005"},
                    NumberCase{100.3, "100.3"}, NumberCase{-1.25e-7, "-1.25E-7"},
                    NumberCase{2e12, "2E12"}, NumberCase{0, "0"}, NumberCase{-0.0, "0"},
                    // twelve digits before the point: the fraction is rounded away
                    NumberCase{123456789012.4, "123456789012"},
                    NumberCase{123456789012.7, "123456789013"},
                    // rounding carries across the plain/scientific boundaries
                    NumberCase{0.000099999999999995, "0.0001"},
                    NumberCase{0.00009999999999, "9.999999999E-5"},
                    NumberCase{999999999999.6, "1E12"},
                    NumberCase{999999999999.4, "999999999999"},
                    NumberCase{-1.7763568394002505e-15, "-1.7763568394E-15"},
                    NumberCase{9.9999999999995, "10"}, NumberCase{1e-300, "1E-300"}));

TEST(GcodeNumberForm, RoundTripsAtTwelveSignificantDigits)
{
    const double values[] = {0.1, 0.123456789012, 98765.4321, 1.0 / 7, 3.14159265358979,
                             -2.718281828459, 0.000123456789012};
    for (const double value : values) {
        const std::string text = GcodeNumber(value);
        const double back = std::stod(text);
        EXPECT_NEAR(back, value, std::fabs(value) * 1e-11) << text;
        // And the text is the shortest: writing its own value again gives the same text.
        EXPECT_EQ(GcodeNumber(back), text);
    }
}

TEST(GcodeNumberForm, WritesIntoTheCallersBuffer)
{
    char buffer[kNumberBufferSize];
    char* end = WriteGcodeNumber(buffer, -123456.789012345);
    EXPECT_EQ(std::string(buffer, end), "-123456.789012");
    end = WriteGcodeNumber(buffer, -1.23456789012e-300);
    EXPECT_EQ(std::string(buffer, end), "-1.23456789012E-300");
}

TEST(ShortNumberForm, WritesPauseSeconds)
{
    EXPECT_EQ(ShortNumber(5000 / 1000.0), "5");
    EXPECT_EQ(ShortNumber(2500 / 1000.0), "2.5");
    EXPECT_EQ(ShortNumber(1 / 1000.0), "0.001");
    EXPECT_EQ(ShortNumber(0), "0");
    EXPECT_EQ(ShortNumber(0.1 * 3), "0.3");
    EXPECT_EQ(ShortNumber(1.0 / 3), "0.333333333333333");
    EXPECT_EQ(ShortNumber(0.00005), "5E-5");
    EXPECT_EQ(ShortNumber(123456789012345), "123456789012345");
    EXPECT_EQ(ShortNumber(1e15), "1E15");
}

TEST(PlainNumberForm, NeverWritesAnExponent)
{
    EXPECT_EQ(PlainNumber(0.00005, 12), "0.00005");
    EXPECT_EQ(PlainNumber(-0.000000125, 12), "-0.000000125");
    EXPECT_EQ(PlainNumber(2e12, 12), "2000000000000");
    EXPECT_EQ(PlainNumber(999999999999.6, 12), "1000000000000");
    EXPECT_EQ(PlainNumber(1.0 / 3, 12), "0.333333333333");
    EXPECT_EQ(PlainNumber(0.00005, 15), "0.00005");
    EXPECT_EQ(PlainNumber(2.5, 15), "2.5");
}

TEST(PlainNumberForm, WritesZeroBelowOneTenBillionthWhateverTheSign)
{
    EXPECT_EQ(PlainNumber(1e-15, 12), "0");
    EXPECT_EQ(PlainNumber(-1.7763568394002505e-15, 12), "0");
    EXPECT_EQ(PlainNumber(-0.0, 12), "0");
    EXPECT_EQ(PlainNumber(-9.99e-11, 12), "0");
    EXPECT_EQ(PlainNumber(1e-10, 12), "0.0000000001");
    EXPECT_EQ(PlainNumber(-1e-10, 12), "-0.0000000001");
}

TEST(CleaningRule, ZeroesOnlyTinyPositiveValues)
{
    EXPECT_EQ(CleanCoordinate(1e-11), 0.0);
    EXPECT_EQ(CleanCoordinate(9.99e-11), 0.0);
    EXPECT_EQ(CleanCoordinate(1e-10), 1e-10);
    EXPECT_EQ(CleanCoordinate(-1e-11), -1e-11);
    EXPECT_EQ(CleanCoordinate(0.0), 0.0);
    EXPECT_EQ(CleanCoordinate(5.0), 5.0);
}

TEST(FixedDisplayForm, WritesFourDecimals)
{
    const auto fixed = [](double v) { return FloattoStrFDelim(v, FloatFormat::Fixed, 12, 4); };
    EXPECT_EQ(fixed(64), "64.0000");
    EXPECT_EQ(fixed(0.1 * 1), "0.1000");
    EXPECT_EQ(fixed(0), "0.0000");
    EXPECT_EQ(fixed(25), "25.0000");
    EXPECT_EQ(fixed(-1.5), "-1.5000");
    EXPECT_EQ(fixed(0.00004), "0.0000");
    EXPECT_EQ(fixed(-0.00004), "0.0000");
    EXPECT_EQ(fixed(2.71828), "2.7183");
    EXPECT_EQ(fixed(123456789.123456), "123456789.1230");
    EXPECT_EQ(fixed(99999.99996), "100000.0000");
    EXPECT_EQ(fixed(1e12), "1E12");
    EXPECT_EQ(FloattoStrFDelim(0.00005, FloatFormat::General, 12, 5), "5E-5");
}

struct StrictCase {
    const char* text;
    char separator;
    bool reads;
    double value;
};

void PrintTo(const StrictCase& c, std::ostream* os)
{
    *os << "'" << test::Printable(c.text) << "' with '" << c.separator << "'";
}

class StrictConversion : public testing::TestWithParam<StrictCase> {};

TEST_P(StrictConversion, AcceptsExactlyTheNumberSyntax)
{
    const StrictCase& c = GetParam();
    const auto value = StrictStrToFloat(c.text, c.separator);
    ASSERT_EQ(value.has_value(), c.reads) << "'" << c.text << "' with " << c.separator;
    if (c.reads) {
        EXPECT_DOUBLE_EQ(*value, c.value) << c.text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, StrictConversion,
    testing::Values(StrictCase{"1.5", '.', true, 1.5}, StrictCase{"1,5", ',', true, 1.5},
                    StrictCase{"1,5", '.', false, 0}, StrictCase{"1.5", ',', false, 0},
                    StrictCase{" 1.5 ", '.', true, 1.5}, StrictCase{"1e3", '.', true, 1000},
                    StrictCase{"1E+3", '.', true, 1000}, StrictCase{"2.5e-1", '.', true, 0.25},
                    StrictCase{"+3", '.', true, 3}, StrictCase{"-100", '.', true, -100},
                    StrictCase{".5", '.', true, 0.5}, StrictCase{"5.", '.', true, 5},
                    StrictCase{".", '.', true, 0}, StrictCase{"", '.', false, 0},
                    StrictCase{"-", '.', false, 0}, StrictCase{" ", '.', false, 0},
                    StrictCase{"1 000", '.', false, 0}, StrictCase{"1.000,5", '.', false, 0},
                    StrictCase{"1.2.3", '.', false, 0}, StrictCase{"1e", '.', false, 0},
                    StrictCase{"e3", '.', false, 0}, StrictCase{"abc", '.', false, 0},
                    StrictCase{"0x10", '.', false, 0}, StrictCase{"\t1", '.', false, 0},
                    StrictCase{"1e400", '.', false, 0}, StrictCase{"1e-400", '.', true, 0},
                    StrictCase{"inf", '.', false, 0}, StrictCase{"nan", '.', false, 0},
                    StrictCase{"--1", '.', false, 0}, StrictCase{"5000", ',', true, 5000}));

TEST(StrictConversion, FailureCarriesTheUsersMessage)
{
    EXPECT_DOUBLE_EQ(StrToFloatOrThrow("2500", '.'), 2500);
    try {
        StrToFloatOrThrow("abc", '.');
        FAIL() << "no error for abc";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "'abc' is not a valid floating point value");
    }
    try {
        StrToFloatOrThrow("", '.');
        FAIL() << "no error for an empty text";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid floating point value");
    }
}

TEST(MyStrtoFloat, ReadsEitherSeparatorInEitherLocale)
{
    for (const char separator : {'.', ','}) {
        SCOPED_TRACE(std::string("separator ") + separator);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("0.25", separator), 0.25);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("0,25", separator), 0.25);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("abc", separator), 0);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("", separator), 0);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("-100", separator), -100);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("+3", separator), 3);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("1e3", separator), 1000);
        EXPECT_DOUBLE_EQ(MyStrtoFloat(" 1.5 ", separator), 1.5);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("1 000", separator), 0);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("1.000,5", separator), 0);
        EXPECT_DOUBLE_EQ(MyStrtoFloat("-", separator), 0);
        EXPECT_DOUBLE_EQ(MyStrtoFloat(".", separator), 0);
    }
}

// QApplication sets the C library's locale from the environment; under a German locale
// printf and strtod use ",". Nothing here may change with it.
TEST(NumberTextUnderGermanLocale, WritesAndReadsTheSame)
{
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "the locale de_DE.UTF-8 is not installed (test.sh generates it)";
    }
    ASSERT_EQ(std::string(std::localeconv()->decimal_point), ",");
    EXPECT_EQ(GcodeNumber(12.5), "12.5");
    EXPECT_EQ(GcodeNumber(-1.25e-7), "-1.25E-7");
    EXPECT_EQ(ShortNumber(2.5), "2.5");
    EXPECT_EQ(PlainNumber(0.00005, 12), "0.00005");
    EXPECT_EQ(FloattoStrFDelim(64, FloatFormat::Fixed, 12, 4), "64.0000");
    EXPECT_DOUBLE_EQ(MyStrtoFloat("0.25", '.'), 0.25);
    EXPECT_DOUBLE_EQ(MyStrtoFloat("0,25", ','), 0.25);
    EXPECT_DOUBLE_EQ(StrictStrToFloat("1.5", '.').value_or(-1), 1.5);
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
}  // namespace pyrolith
