#pragma once
// Reads decimal numbers out of text exactly as a classic-locale
// `std::istream >> double` does, but in place and without a stream, so the
// text readers can parse fields straight out of their read buffer.
//
// The accepted form is the one the stream accepts: leading white space, an
// optional sign, digits with at most one decimal point (at least one digit),
// and an optional exponent ("e" or "E", optional sign, at least one digit).
// Anything after that form is left unread, so "0x10" reads as 0. A dangling
// exponent ("1e", "1e+") fails the whole number, as it does for the stream;
// so do "inf", "nan" and values beyond the range of double. Values too small
// for double become zero or subnormal, again as the stream gives them.

#include <fast_float/fast_float.h>

#include <cmath>
#include <cstdint>
#include <system_error>

namespace nimbus {

inline bool isClassicSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDecimalDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// Parses one number from [begin, end). On success stores it in `value`, sets
// `*stop` (if given) to the first character after the number and returns
// true. On failure returns false and leaves `value` unchanged.
inline bool parseClassicDouble(const char* begin, const char* end, double& value,
                               const char** stop = nullptr)
{
    const char* p = begin;
    while (p < end && isClassicSpace(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    const char* const mantissa = p;
    // Plain decimals of up to 15 digits (most coordinates) are computed
    // directly: both the digits and the power of ten are exact doubles, so one
    // division rounds correctly.
    std::uint64_t digits = 0;
    int digitCount = 0;
    int fractionDigits = 0;
    bool haveDigit = false;
    while (p < end && isDecimalDigit(*p)) {
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
        ++digitCount;
        ++p;
        haveDigit = true;
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && isDecimalDigit(*p)) {
            digits = digits * 10 + static_cast<unsigned>(*p - '0');
            ++digitCount;
            ++fractionDigits;
            ++p;
            haveDigit = true;
        }
    }
    if (!haveDigit)
        return false;
    bool exponent = false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        const char* q = p + 1;
        if (q < end && (*q == '+' || *q == '-'))
            ++q;
        const char* const exponentDigits = q;
        while (q < end && isDecimalDigit(*q))
            ++q;
        // The stream has already taken the "e" (and its sign) and then finds
        // no digit: the number as a whole is rejected.
        if (q == exponentDigits)
            return false;
        p = q;
        exponent = true;
    }
    if (!exponent && digitCount <= 15) {
        static constexpr double kPowersOfTen[16] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                    1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
        const double magnitude = static_cast<double>(digits) / kPowersOfTen[fractionDigits];
        value = negative ? -magnitude : magnitude;
        if (stop)
            *stop = p;
        return true;
    }
    double parsed = 0.0;
    const auto result = fast_float::from_chars(mantissa, p, parsed);
    if (result.ec != std::errc() || result.ptr != p || std::isinf(parsed))
        return false;
    value = negative ? -parsed : parsed;
    if (stop)
        *stop = p;
    return true;
}

} // namespace nimbus
