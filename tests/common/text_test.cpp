// Number parsing, list splitting, command-file tokens, byte swapping and
// the fixed-width hexadecimal of dumps and map files; and the line reader
// and date texts of the host layer.

#include "text.h"
#include "textio.h"

#include <gtest/gtest.h>
#include <sstream>

TEST(ParseNumber, DecimalOrHexAfterASecondCharacterX)
{
    EXPECT_EQ(parseNumber("0x10"), 16);
    EXPECT_EQ(parseNumber("0x1F"), 31);
    EXPECT_EQ(parseNumber("0X1F"), 31);
    EXPECT_EQ(parseNumber("10"), 10);
    EXPECT_EQ(parseNumber("017"), 17); // no octal
    EXPECT_EQ(parseNumber("-1"), -1);
    // The first character is not looked at.
    EXPECT_EQ(parseNumber("5x3"), 3);
    // Too short for hex, and read as decimal from a letter.
    EXPECT_EQ(parseNumber("0x"), 0);
    EXPECT_EQ(parseNumber("x10"), 0);
    EXPECT_EQ(parseNumber(""), 0);
    EXPECT_EQ(parseNumber("abc"), 0);
}

TEST(ParseNumber, ReadsLikeTheCLibraryConversion)
{
    EXPECT_EQ(parseNumber(" \t+42"), 42);
    EXPECT_EQ(parseNumber("12abc"), 12);
    EXPECT_EQ(parseNumber("0x1Fg"), 31);
    EXPECT_EQ(parseNumber("0x 1f"), 31);
    EXPECT_EQ(parseNumber("0x-10"), -16);
    EXPECT_EQ(parseNumber("0x0x1F"), 31);
}

TEST(ParseNumber, ClampsToThirtyTwoBits)
{
    EXPECT_EQ(parseNumber("0xFFFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(parseNumber("0x80000000"), 0x7FFFFFFF);
    EXPECT_EQ(parseNumber("0x7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(parseNumber("2147483647"), 2147483647);
    EXPECT_EQ(parseNumber("2147483648"), 2147483647);
    EXPECT_EQ(parseNumber("4294967296"), 2147483647);
    EXPECT_EQ(parseNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(parseNumber("-2147483649"), INT32_MIN);
    EXPECT_EQ(parseNumber("0x-80000001"), INT32_MIN);
    // Far beyond 64 bits as well.
    EXPECT_EQ(parseNumber("0x100000000000000000000000"), 0x7FFFFFFF);
    EXPECT_EQ(parseNumber("-99999999999999999999999999"), INT32_MIN);
}

TEST(ScanDecimal, ClampedAndWrappedReadings)
{
    // The listing's page length takes the clamped reading, a FILL value the
    // wrapped one (cut to 16 bits by its caller).
    struct Case
    {
        const char *text;
        int32_t clamped;
        uint32_t wrapped;
    };
    const Case cases[] = {
        {"", 0, 0},
        {"abc", 0, 0},
        {"-", 0, 0},
        {"- 5", 0, 0},
        {"0x10", 0, 0}, // no hexadecimal
        {" \t\v\f\r\n+42x7", 42, 42},
        {"-1", -1, 0xFFFFFFFF},
        {"65537", 65537, 0x10001},
        {"2147483647", INT32_MAX, 0x7FFFFFFF},
        {"2147483648", INT32_MAX, 0x80000000},
        {"-2147483648", INT32_MIN, 0x80000000},
        {"-2147483649", INT32_MIN, 0x7FFFFFFF},
        {"4294967296", INT32_MAX, 0},
        {"4294967297", INT32_MAX, 1},
        {"-4294967297", INT32_MIN, 0xFFFFFFFF},
        // 10^20 - 1 = 0x5_6BC7_5E2D_630F_FFFF; its negation ends in 0x9CF0_0001.
        {"99999999999999999999", INT32_MAX, 0x630FFFFF},
        {"-99999999999999999999", INT32_MIN, 0x9CF00001},
    };
    for (const Case &c : cases) {
        DecimalNumber n = scanDecimal(c.text);
        EXPECT_EQ(n.clamped(), c.clamped) << '"' << c.text << '"';
        EXPECT_EQ(n.wrapped(), c.wrapped) << '"' << c.text << '"';
    }
}

TEST(Split, EveryInnerFieldKeptTheLastOnlyWhenNotEmpty)
{
    using V = std::vector<std::string>;
    EXPECT_EQ(split("lib;obj", ';'), (V{"lib", "obj"}));
    EXPECT_EQ(split("lib;;obj", ';'), (V{"lib", "", "obj"}));
    EXPECT_EQ(split("lib;", ';'), (V{"lib"}));
    EXPECT_EQ(split(";", ';'), (V{""}));
    EXPECT_EQ(split(";lib", ';'), (V{"", "lib"}));
    EXPECT_EQ(split("", ';'), V{});
    EXPECT_EQ(split("100-1ff", '-'), (V{"100", "1ff"}));
}

TEST(ReadToken, WhiteSpaceSeparatesAndIsConsumed)
{
    std::istringstream in("  NAME=a\t\v b\f\rc\n");
    std::string token;
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "NAME=a");
    EXPECT_EQ(in.peek(), '\v'); // only the blank that ended the token went
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "b");
    EXPECT_EQ(in.peek(), '\r');
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "c");
    EXPECT_FALSE(readToken(in, token));
    EXPECT_EQ(token, "");
}

TEST(ReadToken, QuotesJoinAndAreDropped)
{
    std::istringstream in("\"my dir\"/a.o x\"y z\"w \"  \" end");
    std::string token;
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "my dir/a.o");
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "xy zw");
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "  ");
    ASSERT_TRUE(readToken(in, token));
    EXPECT_EQ(token, "end");
}

TEST(ReadToken, EmptyQuotesOpenQuoteAndBlanksOnlyFail)
{
    std::string token = "old";
    std::istringstream blanks(" \t\n ");
    EXPECT_FALSE(readToken(blanks, token));
    EXPECT_EQ(token, "");

    std::istringstream empty("\"\" next");
    EXPECT_FALSE(readToken(empty, token));

    std::istringstream open("\"unfinished name");
    EXPECT_FALSE(readToken(open, token));
}

TEST(ByteSwap32, ReversesTheFourBytes)
{
    EXPECT_EQ(byteSwap32(0x04030201u), 0x01020304u);
    EXPECT_EQ(byteSwap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(byteSwap32(0xFF000000u), 0x000000FFu);
    EXPECT_EQ(byteSwap32(0x000000FFu), 0xFF000000u);
}

TEST(HexString, LowestBytesAtFixedWidth)
{
    EXPECT_EQ(hexString(0x1234, 1), "0x34");
    EXPECT_EQ(hexString(0x1234, 2), "0x1234");
    EXPECT_EQ(hexString(0xABCDEF12u, 3), "0xcdef12");
    EXPECT_EQ(hexString(5, 4), "0x00000005");
    EXPECT_EQ(hexString(0xFFFFFFFFu, 4), "0xffffffff");
    EXPECT_EQ(hexString(5, 0), "<NaN>");
    EXPECT_EQ(hexString(5, 5), "<NaN>");
    EXPECT_EQ(hexString(5, -1), "<NaN>");
}

TEST(Quote, AddsAndRemovesDoubleQuotes)
{
    EXPECT_EQ(quote("a b"), "\"a b\"");
    EXPECT_EQ(unquote("\"a\"b\""), "ab");
    EXPECT_EQ(unquote(quote("x")), "x");
}

TEST(ReadTextLine, StripsOneCarriageReturn)
{
    std::istringstream in("one\r\ntwo\n\r\nfour\r\r\nlast");
    std::string line;
    std::vector<std::string> lines;
    while (readTextLine(in, line))
        lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "four\r", "last"}));
}

TEST(FormatLocalTime, FormatsTheLocalTimeInTheCLocale)
{
    // Tuesday, 5 March 2024, 14:07:09 local time.
    std::tm local{};
    local.tm_year = 124;
    local.tm_mon = 2;
    local.tm_mday = 5;
    local.tm_hour = 14;
    local.tm_min = 7;
    local.tm_sec = 9;
    local.tm_isdst = -1;
    std::time_t when = std::mktime(&local);
    EXPECT_EQ(formatLocalTime(when, "%d-%b-%Y %H:%M:%S"), "05-Mar-2024 14:07:09");
    EXPECT_EQ(formatLocalTime(when, "%A %B %y"), "Tuesday March 24");
    EXPECT_EQ(formatLocalTime(when, ""), "");
}
