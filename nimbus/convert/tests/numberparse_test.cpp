// Number and field parsing must give exactly what classic-locale stream
// extraction gives, since that is how the text formats are defined.

#include "classicnumber.h"
#include "splitline.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <locale>
#include <random>
#include <sstream>
#include <string>

using namespace nimbus;

namespace {

struct StreamResult {
    bool ok = false;
    double value = 0.0;
    std::size_t consumed = 0;
};

StreamResult streamParse(const std::string& text)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    StreamResult r;
    in >> r.value;
    r.ok = !in.fail();
    if (r.ok) {
        in.clear();
        const auto pos = in.tellg();
        r.consumed = pos < 0 ? text.size() : static_cast<std::size_t>(pos);
    }
    return r;
}

void expectSameAsStream(const std::string& text)
{
    const StreamResult expected = streamParse(text);
    double value = 12345.0;
    const char* stop = nullptr;
    const bool ok = parseClassicDouble(text.data(), text.data() + text.size(), value, &stop);
    ASSERT_EQ(ok, expected.ok) << "input [" << text << "]";
    if (!ok) {
        EXPECT_EQ(value, 12345.0) << "a failed parse must not change the value";
        return;
    }
    EXPECT_EQ(std::memcmp(&value, &expected.value, sizeof value), 0)
        << "input [" << text << "] gave " << value << " instead of " << expected.value;
    EXPECT_EQ(static_cast<std::size_t>(stop - text.data()), expected.consumed) << "input [" << text << "]";
}

} // namespace

TEST(ClassicNumber, TrickyInputsMatchStreamExtraction)
{
    const char* inputs[] = {
        "1", "-1", "+1", "1.5", "-0", "0", "00012", ".5", "5.", "+.5", "-.5", "5.e3",
        "1e5", "1E+05", "1e-5", "1.5e3x", "1e5.3", "1.2.3", "12abc", "1,5", "1 2",
        " \t 7", "\v3", "\f4", "2\r", "  -3.25\r",
        // rejected as a whole by the stream
        "", " ", "\r", "-", "+", ".", "-.", ".e5", "e5", "+e", "--1", "+-1", "1e", "1e+",
        "1e-", "1.5ex", "1e+-5", "0e", "inf", "-inf", "nan", "NAN", "infinity", "x1",
        // hexadecimal: the stream reads the leading 0 only
        "0x1p3", "0x", "0X10",
        // range
        "1e400", "-1e400", "1e308", "1.7976931348623157e308", "1.7976931348623159e308",
        "1e-400", "1e-320", "4.9e-324", "2.4703282292062328e-324", "2.4703282292062327e-324",
        "1e99999999999999999999", "1e-99999999999999999999",
        // rounding on long digit strings
        "0.1000000000000000055511151231257827021181583404541015625",
        "9007199254740993", "9007199254740992.5000000000000000001",
        "123456789012345678901234567890123456789012345678901234567890e-40",
        "2.2250738585072011e-308", "2.2250738585072012e-308",
        "4504170.123456789", "-328.00000000000000000001", "1e0001",
    };
    for (const char* input : inputs)
        expectSameAsStream(input);
}

TEST(ClassicNumber, RandomTextMatchesStreamExtraction)
{
    const std::string alphabet = "0123456789..++--eeEE \t\rx,";
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> length(0, 14);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t n = length(random);
        for (std::size_t k = 0; k < n; ++k)
            text += alphabet[pick(random)];
        expectSameAsStream(text);
        if (HasFailure())
            return;
    }
}

TEST(ClassicNumber, RandomCoordinatesRoundTripLikeTheStream)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-5e6, 5e6);
    char text[64];
    for (int i = 0; i < 5000; ++i) {
        std::snprintf(text, sizeof text, "%.*f", static_cast<int>(i % 12), value(random));
        expectSameAsStream(text);
        std::snprintf(text, sizeof text, "%.17g", value(random));
        expectSameAsStream(text);
    }
}

TEST(ClassicNumber, NeverReadsPastTheGivenEnd)
{
    // The field ends before the exponent digits: "1e" alone is not a number.
    const std::string text = "1e5";
    double value = 0;
    EXPECT_FALSE(parseClassicDouble(text.data(), text.data() + 2, value));
    EXPECT_TRUE(parseClassicDouble(text.data(), text.data() + 1, value));
    EXPECT_EQ(value, 1.0);
}

TEST(SplitLine, FieldsFollowTheSeparators)
{
    using Fields = std::vector<std::string>;
    EXPECT_EQ(splitLine("1,2,3", ','), (Fields{"1", "2", "3"}));
    EXPECT_EQ(splitLine("1;2;3", ','), (Fields{"1;2;3"}));
    EXPECT_EQ(splitLine("", ','), (Fields{""}));
    EXPECT_EQ(splitLine(",", ','), (Fields{"", ""}));
    EXPECT_EQ(splitLine("a,,b,", ','), (Fields{"a", "", "b", ""}));
    // Two blanks in a row make an empty field; fields are not trimmed.
    EXPECT_EQ(splitLine("1.0  2.0 3.0", ' '), (Fields{"1.0", "", "2.0", "3.0"}));
    EXPECT_EQ(splitLine("x, y", ','), (Fields{"x", " y"}));
}

TEST(ReadThreeFields, ColumnsSeparatorsAndBadLines)
{
    double v[3] = {-1, -1, -1};
    ASSERT_TRUE(readThreeFields("1,2,3", ',', 0, v));
    EXPECT_EQ(v[0], 1.0);
    EXPECT_EQ(v[1], 2.0);
    EXPECT_EQ(v[2], 3.0);
    // Further columns are ignored; "\r" at the end does not matter.
    ASSERT_TRUE(readThreeFields("4 5 6 7 8\r", ' ', 0, v));
    EXPECT_EQ(v[0], 4.0);
    EXPECT_EQ(v[2], 6.0);
    // Blanks inside comma fields are skipped before the number.
    ASSERT_TRUE(readThreeFields(" 7 , 8 ,9", ',', 0, v));
    EXPECT_EQ(v[0], 7.0);
    EXPECT_EQ(v[1], 8.0);
    EXPECT_EQ(v[2], 9.0);
    // Two blanks make an empty field 1: the line holds no three numbers.
    EXPECT_FALSE(readThreeFields("1.0  2.0 3.0", ' ', 0, v));
    // DAT: fields 2, 3 and 4; an empty code field is fine.
    ASSERT_TRUE(readThreeFields("pt7,,45.10,90.25,12.00", ',', 2, v));
    EXPECT_EQ(v[0], 45.10);
    EXPECT_EQ(v[1], 90.25);
    EXPECT_EQ(v[2], 12.00);

    const double before[3] = {v[0], v[1], v[2]};
    for (const char* bad : {"", "1,2", "1,2,", "1,,3", "1;2;3", "a,b,c", "1,2,x", "1e,2,3"}) {
        EXPECT_FALSE(readThreeFields(bad, ',', 0, v)) << bad;
        // A bad line leaves the previous values alone rather than half-updating them.
        EXPECT_EQ(v[0], before[0]);
        EXPECT_EQ(v[1], before[1]);
    }
    EXPECT_FALSE(readThreeFields("pt,code,1,2", ',', 2, v));
}

TEST(ReadThreeFields, OnePassOverManyLinesAgreesLineByLine)
{
    // Text of many lines, mostly well formed, read once through and once
    // split into lines: the lines, the values and the verdicts must agree.
    const std::string pieces[] = {"512453.094", "-7", "1e3", "12345678901234567", ".5", "",  " ",
                                  "x",          "1e", "0",   "4310383.419",       "+2", "\r"};
    std::mt19937 random(12);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> fields(1, 5);
    for (const char separator : {',', ' '}) {
        std::string text;
        for (int line = 0; line < 4000; ++line) {
            const int n = fields(random);
            for (int f = 0; f < n; ++f) {
                if (f > 0)
                    text += separator;
                text += pieces[pick(random)];
                if (line % 3 == 0)
                    text += pieces[pick(random)];
            }
            text += '\n';
        }
        text += "1,2,3"; // a last line without "\n"
        const char* p = text.data();
        const char* const end = p + text.size();
        while (p < end) {
            const char* newline = std::find(p, end, '\n');
            double expected[3] = {0, 0, 0};
            const bool ok = readThreeFields(std::string_view(p, static_cast<std::size_t>(newline - p)),
                                            separator, 0, expected);
            double v[3] = {0, 0, 0};
            const char* lineEnd = nullptr;
            ASSERT_EQ(readFirstThreeFieldsOfLine(p, end, separator, v, &lineEnd), ok)
                << std::string(p, newline);
            ASSERT_EQ(lineEnd, newline) << std::string(p, newline);
            if (ok) {
                EXPECT_EQ(std::memcmp(v, expected, sizeof v), 0) << std::string(p, newline);
            }
            p = newline < end ? newline + 1 : end;
        }
    }
}

TEST(ReadThreeNumbers, BehavesLikeSuccessiveExtractions)
{
    const char* lines[] = {"1 2 3", "1\t2  3 100 255 0 0", " 1 2 3\r", "1-2 3", "1,2,3", "1 2",
                           "", "1 2 x", "1e 2 3", "1 2 3e", "+1 -2 .3", "10"};
    for (const char* line : lines) {
        std::istringstream in(line);
        in.imbue(std::locale::classic());
        double e[3] = {0, 0, 0};
        in >> e[0] >> e[1] >> e[2];
        double v[3] = {0, 0, 0};
        const bool ok = readThreeNumbers(line, v);
        ASSERT_EQ(ok, !in.fail()) << line;
        if (ok) {
            EXPECT_EQ(v[0], e[0]) << line;
            EXPECT_EQ(v[1], e[1]) << line;
            EXPECT_EQ(v[2], e[2]) << line;
        }
    }
}
