#include "common/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "common/Error.h"

namespace pyrolith {
namespace {

// A finite, non-zero value rounded to a number of significant digits: its digits without
// trailing zeros and the decimal exponent of the first digit (value = 0.d1d2... * 10^(e+1)).
struct Decimal {
    bool negative = false;
    char digits[24] = {};
    int count = 0;
    int exponent = 0;
};

Decimal Decompose(double value, int significantDigits)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value,
                                      std::chars_format::scientific, significantDigits - 1);
    Decimal d;
    const char* p = text;
    if (*p == '-') {
        d.negative = true;
        ++p;
    }
    for (; p < result.ptr && *p != 'e'; ++p) {
        if (*p != '.') {
            d.digits[d.count++] = *p;
        }
    }
    while (d.count > 1 && d.digits[d.count - 1] == '0') {
        --d.count;
    }
    ++p;  // 'e'
    int exponent = 0;
    std::from_chars(*p == '+' ? p + 1 : p, result.ptr, exponent);
    d.exponent = exponent;
    return d;
}

char* WriteZero(char* out)
{
    *out++ = '0';
    return out;
}

char* WritePlain(char* out, const Decimal& d)
{
    if (d.negative) {
        *out++ = '-';
    }
    if (d.exponent < 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = 0; i < -d.exponent - 1; ++i) {
            *out++ = '0';
        }
        std::memcpy(out, d.digits, static_cast<std::size_t>(d.count));
        return out + d.count;
    }
    const int integerDigits = d.exponent + 1;
    for (int i = 0; i < integerDigits; ++i) {
        *out++ = i < d.count ? d.digits[i] : '0';
    }
    if (d.count > integerDigits) {
        *out++ = '.';
        std::memcpy(out, d.digits + integerDigits,
                    static_cast<std::size_t>(d.count - integerDigits));
        out += d.count - integerDigits;
    }
    return out;
}

char* WriteScientific(char* out, const Decimal& d)
{
    if (d.negative) {
        *out++ = '-';
    }
    *out++ = d.digits[0];
    if (d.count > 1) {
        *out++ = '.';
        std::memcpy(out, d.digits + 1, static_cast<std::size_t>(d.count - 1));
        out += d.count - 1;
    }
    *out++ = 'E';
    return std::to_chars(out, out + 8, d.exponent).ptr;
}

char* WriteNonFinite(char* out, double value)
{
    const char* text = std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    const std::size_t length = std::strlen(text);
    std::memcpy(out, text, length);
    return out + length;
}

// Plain for 1e-4 <= |v| < 10^significantDigits after rounding, scientific otherwise.
char* WriteGeneral(char* out, double value, int significantDigits)
{
    if (value == 0) {
        return WriteZero(out);
    }
    if (!std::isfinite(value)) {
        return WriteNonFinite(out, value);
    }
    const Decimal d = Decompose(value, significantDigits);
    if (d.exponent >= -4 && d.exponent < significantDigits) {
        return WritePlain(out, d);
    }
    return WriteScientific(out, d);
}

std::string ToString(char* (*writer)(char*, double), double value)
{
    char buffer[kNumberBufferSize];
    return {buffer, writer(buffer, value)};
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

char* WriteGcodeNumber(char* first, double value)
{
    return WriteGeneral(first, value, 12);
}

std::string GcodeNumber(double value)
{
    return ToString(WriteGcodeNumber, value);
}

char* WriteShortNumber(char* first, double value)
{
    return WriteGeneral(first, value, 15);
}

std::string ShortNumber(double value)
{
    return ToString(WriteShortNumber, value);
}

char* WritePlainNumber(char* first, double value, int significantDigits)
{
    if (!std::isfinite(value)) {
        return WriteNonFinite(first, value);
    }
    if (std::fabs(value) < 1e-10) {
        return WriteZero(first);
    }
    // Plain notation of a value up to ~1e15 with 15 digits fits the buffer; larger values
    // (which no picture and pitch produce) keep the general form rather than overflow it.
    const Decimal d = Decompose(value, significantDigits);
    if (d.exponent >= 20) {
        return WriteScientific(first, d);
    }
    return WritePlain(first, d);
}

std::string PlainNumber(double value, int significantDigits)
{
    char buffer[kNumberBufferSize];
    return {buffer, WritePlainNumber(buffer, value, significantDigits)};
}

std::string FloattoStrFDelim(double value, FloatFormat format, int precision, int digits)
{
    char buffer[kNumberBufferSize * 2];
    if (!std::isfinite(value)) {
        return {buffer, WriteNonFinite(buffer, value)};
    }
    if (format == FloatFormat::General || value == 0) {
        if (format == FloatFormat::Fixed) {
            std::string zero = "0";
            if (digits > 0) {
                zero += '.';
                zero.append(static_cast<std::size_t>(digits), '0');
            }
            return zero;
        }
        return {buffer, WriteGeneral(buffer, value, precision)};
    }
    const Decimal rounded = Decompose(value, precision);
    if (rounded.exponent >= precision) {
        return {buffer, WriteGeneral(buffer, value, precision)};
    }
    std::string text;
    if (rounded.exponent + 1 + digits <= precision) {
        // The decimals are the coarser limit: one correct rounding at the last decimal.
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                          std::chars_format::fixed, digits);
        text.assign(buffer, result.ptr);
    } else {
        // The significant digits are the coarser limit; the decimals past them are zeros.
        text.assign(buffer, WritePlain(buffer, rounded));
        const auto point = text.find('.');
        const std::size_t have = point == std::string::npos ? 0 : text.size() - point - 1;
        if (point == std::string::npos && digits > 0) {
            text += '.';
        }
        text.append(static_cast<std::size_t>(digits) - have, '0');
    }
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) {
        text.erase(0, 1);  // a value that rounds to zero is written without a sign
    }
    return text;
}

double CleanCoordinate(double value)
{
    return (value > 0 && value < 1e-10) ? 0.0 : value;
}

std::optional<double> StrictStrToFloat(std::string_view text, char decimalSeparator)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n && text[i] == ' ') {
        ++i;
    }
    std::string normalized;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') {
            normalized += '-';
        }
        ++i;
    }
    bool anyDigit = false;
    bool separatorSeen = false;
    int integerDigits = 0;  // significant digits before the separator, for the range check
    normalized += '0';      // so that ".5" and "." read
    for (; i < n; ++i) {
        const char c = text[i];
        if (IsDigit(c)) {
            anyDigit = true;
            if (!separatorSeen && (integerDigits > 0 || c != '0')) {
                ++integerDigits;
            }
            normalized += c;
        } else if (c == decimalSeparator && !separatorSeen) {
            separatorSeen = true;
            normalized += '.';
        } else {
            break;
        }
    }
    if (!anyDigit && !separatorSeen) {
        return std::nullopt;
    }
    long long exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negativeExponent = text[i] == '-';
            ++i;
        }
        const std::size_t exponentStart = i;
        while (i < n && IsDigit(text[i])) {
            if (exponent < 100000) {
                exponent = exponent * 10 + (text[i] - '0');
            }
            ++i;
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
        if (negativeExponent) {
            exponent = -exponent;
        }
        normalized += 'e';
        normalized += std::to_string(exponent);
    }
    while (i < n && text[i] == ' ') {
        ++i;
    }
    if (i != n) {
        return std::nullopt;
    }
    double value = 0;
    const char* begin = normalized.data();
    const char* end = begin + normalized.size();
    const auto result = std::from_chars(begin, end, value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too small to hold reads as 0; too large is refused.
        if (integerDigits + exponent > 0) {
            return std::nullopt;
        }
        return normalized.front() == '-' ? -0.0 : 0.0;
    }
    if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) {
        return std::nullopt;
    }
    return value;
}

std::string InvalidFloatMessage(std::string_view text)
{
    std::string message = "'";
    message += text;
    message += "' is not a valid floating point value";
    return message;
}

double StrToFloatOrThrow(std::string_view text, char decimalSeparator)
{
    if (const auto value = StrictStrToFloat(text, decimalSeparator)) {
        return *value;
    }
    throw Error(InvalidFloatMessage(text));
}

std::optional<double> ReadTypedNumber(std::string_view text, char decimalSeparator)
{
    if (const auto value = StrictStrToFloat(text, decimalSeparator)) {
        return value;
    }
    std::string retry(text);
    if (retry.find('.') != std::string::npos) {
        for (char& c : retry) {
            if (c == '.') {
                c = ',';
            }
        }
    } else if (retry.find(',') != std::string::npos) {
        for (char& c : retry) {
            if (c == ',') {
                c = '.';
            }
        }
    } else {
        return std::nullopt;
    }
    return StrictStrToFloat(retry, decimalSeparator);
}

double MyStrtoFloat(std::string_view text, char decimalSeparator)
{
    return ReadTypedNumber(text, decimalSeparator).value_or(0.0);
}

}  // namespace pyrolith
