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
#include <cstring>
#include <system_error>

#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif

namespace nimbus {

inline bool isClassicSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool isDecimalDigit(char c)
{
    return static_cast<unsigned char>(c - '0') < 10;
}

// The index of the lowest byte of `marks` that has bit 7 set; `marks` is
// not zero.
inline int firstMarkedByte(std::uint64_t marks)
{
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long bit = 0;
    _BitScanForward64(&bit, marks);
    return static_cast<int>(bit / 8);
#else
    return __builtin_ctzll(marks) / 8;
#endif
}

// Reads the run of decimal digits at `p` (advancing it) into `digits`,
// which is multiplied by ten per digit and may wrap when the run is long:
// callers only use it for at most 15 digits. Returns the run's length.
// Eight characters are examined at once where the range holds them.
inline int scanDigits(const char*& p, const char* end, std::uint64_t& digits)
{
    static constexpr std::uint64_t kPowersOfTen[9] = {1,      10,      100,      1000,     10000,
                                                      100000, 1000000, 10000000, 100000000};
    int count = 0;
    while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        // Bit 7 of a byte is set where the byte is not a digit; a carry or
        // borrow only runs toward later characters, so the first marked byte
        // is the first non-digit.
        const std::uint64_t marks =
            ((word + 0x4646464646464646u) | (word - 0x3030303030303030u)) & 0x8080808080808080u;
        const int run = marks == 0 ? 8 : firstMarkedByte(marks);
        if (run > 0) {
            // The run's digits moved to the top bytes, zeros before them,
            // then pairs, fours and eights of digits combined.
            std::uint64_t value = (word - 0x3030303030303030u) << (8 * (8 - run));
            value = value * 10 + (value >> 8);
            value = (((value & 0x000000FF000000FFu) * 0x000F424000000064u)
                     + (((value >> 16) & 0x000000FF000000FFu) * 0x0000271000000001u))
                >> 32;
            digits = digits * kPowersOfTen[run] + value;
            count += run;
            p += run;
        }
        if (run < 8)
            return count;
    }
    while (p < end && isDecimalDigit(*p)) {
        digits = digits * 10 + static_cast<unsigned>(*p - '0');
        ++count;
        ++p;
    }
    return count;
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
    int digitCount = scanDigits(p, end, digits);
    int fractionDigits = 0;
    if (p < end && *p == '.') {
        ++p;
        fractionDigits = scanDigits(p, end, digits);
        digitCount += fractionDigits;
    }
    if (digitCount == 0)
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
