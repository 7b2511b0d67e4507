#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace pyrolith {

// Number text of the whole program. Everything here ignores the C library's locale: numbers
// are read with std::from_chars and written with std::to_chars, so a German desktop never
// turns a "." into a "," in a job or a settings file.

// Room for any number these functions write, sign and terminating zero included.
inline constexpr std::size_t kNumberBufferSize = 48;

// The G-code number form: 12 significant digits, trailing zeros dropped, plain notation for
// 0.0001 <= |v| < 1e12 and otherwise scientific ("5E-5", "-1.25E-7", "2E12"). Writes into
// [first, first + kNumberBufferSize) and returns the end; no allocation.
char* WriteGcodeNumber(char* first, double value);
std::string GcodeNumber(double value);

// The short form of a GRBL pause: the same rule with 15 significant digits.
char* WriteShortNumber(char* first, double value);
std::string ShortNumber(double value);

// What the job's command lines carry: the same significant digits as the form above, but
// never scientific notation, which G-code interpreters such as GRBL's cannot read. A value
// whose magnitude is below 1e-10 is "0" whatever its sign; any other value is written in
// plain notation ("0.00005", "2000000000000"). significantDigits is 12 for coordinates and
// 15 for pause times.
char* WritePlainNumber(char* first, double value, int significantDigits);
std::string PlainNumber(double value, int significantDigits);

enum class FloatFormat { General, Fixed };

// Formats like the platform's float-to-text with the given form and then puts "." as the
// separator. The program uses (General, 12, 5), the G-code number form, and (Fixed, 12, 4),
// the display form of the final size ("64.0000").
std::string FloattoStrFDelim(double value, FloatFormat format, int precision, int digits);

// The cleaning rule: a value strictly between 0 and 1e-10 becomes 0; nothing else changes.
double CleanCoordinate(double value);

// The strict conversion: leading blanks, an optional sign, digits with at most one
// decimalSeparator among them (at least one digit or the separator), an optional exponent,
// trailing blanks, nothing else. Empty when the text does not read or is too large.
std::optional<double> StrictStrToFloat(std::string_view text, char decimalSeparator);

// The strict conversion, throwing pyrolith::Error with InvalidFloatMessage(text) on failure.
double StrToFloatOrThrow(std::string_view text, char decimalSeparator);
std::string InvalidFloatMessage(std::string_view text);

// Reads a number typed with "." or "," whatever the user's separator: the strict conversion,
// then once more with every "." turned into "," (or, without a ".", every "," into ".").
// Empty when neither reads.
std::optional<double> ReadTypedNumber(std::string_view text, char decimalSeparator = '.');

// ReadTypedNumber, 0 for anything that does not read.
double MyStrtoFloat(std::string_view text, char decimalSeparator = '.');

}  // namespace pyrolith
