#include "common/numeric.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

struct CheckRow {
    const char* name;
    const char* text;
    bool hexAllowed;
    bool expected;
};

class IsNumericOrHexTest : public testing::TestWithParam<CheckRow> {};

TEST_P(IsNumericOrHexTest, Accepts)
{
    const CheckRow& row = GetParam();
    EXPECT_EQ(IsNumericOrHex(row.text, row.hexAllowed), row.expected) << '"' << row.text << '"';
}

const CheckRow kCheckRows[] = {
    // Decimal mode: whole signed literals with optional leading blanks.
    {"Plain", "12", false, true},
    {"LeadingBlank", " 12", false, true},
    {"TrailingBlank", "12 ", false, false},
    {"Negative", "-5", false, true},
    {"PlusSign", "+5", false, true},
    {"Fraction", "1.0", false, false},
    {"Empty", "", false, false},
    {"OnlyBlanks", "   ", false, false},
    {"OnlySign", "-", false, false},
    {"TabIsNoBlank", "\t12", false, false},
    {"DollarHex", "$1F", false, true},
    {"XHex", "x1f", false, true},
    {"UpperXHex", "X1F", false, true},
    {"ZeroXHex", "0x1F", false, true},
    {"ZeroUpperXHex", "0XaB", false, true},
    {"SignedHex", "-$10", false, true},
    {"PrefixWithoutDigits", "$", false, false},
    {"ZeroXWithoutDigits", "0x", false, false},
    {"HexDigitsWithoutPrefix", "1F", false, false},
    {"BlankAfterSign", "- 5", false, false},
    {"Int64Max", "9223372036854775807", false, true},
    {"Int64MaxPlusOne", "9223372036854775808", false, false},
    {"Int64Min", "-9223372036854775808", false, true},
    {"Int64MinMinusOne", "-9223372036854775809", false, false},
    {"HexInt64Max", "$7FFFFFFFFFFFFFFF", false, true},
    {"HexBeyondInt64", "$8000000000000000", false, false},
    {"LongZeroPadding", "0000000000000000000000012", false, true},
    // Hex mode: only hex digits, no sign, prefix or blank.
    {"HexDigits", "0aF9", true, true},
    {"HexEmpty", "", true, false},
    {"HexWithDollar", "$1F", true, false},
    {"HexWithSign", "-1", true, false},
    {"HexWithBlank", " 1", true, false},
    {"HexLetterG", "1G", true, false},
    {"HexVeryLong", "FFFFFFFFFFFFFFFFFFFF", true, true},
};

INSTANTIATE_TEST_SUITE_P(Rows, IsNumericOrHexTest, testing::ValuesIn(kCheckRows),
                         [](const testing::TestParamInfo<CheckRow>& info) { return std::string(info.param.name); });

struct ConvertRow {
    const char* name;
    const char* text;
    bool isHex;
    int32_t expected;
};

class NumericOrHexToIntTest : public testing::TestWithParam<ConvertRow> {};

TEST_P(NumericOrHexToIntTest, Converts)
{
    const ConvertRow& row = GetParam();
    EXPECT_EQ(NumericOrHexToInt(row.text, row.isHex), row.expected) << '"' << row.text << '"';
}

const ConvertRow kConvertRows[] = {
    {"Decimal", "1234", false, 1234},
    {"LeadingBlanks", "  42", false, 42},
    {"Negative", "-17", false, -17},
    {"Positive", "+17", false, 17},
    {"DollarHex", "$1F", false, 31},
    {"ZeroXHex", "0x10", false, 16},
    {"XHexLowerCase", "xff", false, 255},
    {"Int32Max", "2147483647", false, 2147483647},
    {"Int32Min", "-2147483648", false, INT32_MIN},
    {"HexMode", "1F", true, 31},
    {"HexModeLowerCase", "abcd", true, 0xABCD},
    {"HexModeEmptyIsZero", "", true, 0},
    {"HexModeWrapsNegative", "FFFFFFF6", true, -10},
    {"HexModeNineDigitsLoseHighPart", "123456789", true, 0x23456789},
    {"HexModeLeadingZeros", "0000FFFF", true, 65535},
};

INSTANTIATE_TEST_SUITE_P(Rows, NumericOrHexToIntTest, testing::ValuesIn(kConvertRows),
                         [](const testing::TestParamInfo<ConvertRow>& info) { return std::string(info.param.name); });

TEST(NumericOrHexToIntFailure, DecimalFailuresNameTheText)
{
    for (const char* text : {"", "12 ", "abc", "1.5", "2147483648", "-2147483649", "$", "$100000000"}) {
        try {
            NumericOrHexToInt(text, false);
            ADD_FAILURE() << "no failure for \"" << text << '"';
        } catch (const ConversionError& error) {
            EXPECT_EQ(std::string(error.what()), "'" + std::string(text) + "' is not a valid integer value");
        }
    }
}

TEST(NumericOrHexToIntFailure, HexFailuresSayNoHexNumber)
{
    for (const char* text : {"-1", "$1F", " 1", "1 ", "G", "0x10"}) {
        try {
            NumericOrHexToInt(text, true);
            ADD_FAILURE() << "no failure for \"" << text << '"';
        } catch (const ConversionError& error) {
            EXPECT_STREQ(error.what(), "No Hex-Number");
        }
    }
}

TEST(NumberRendering, HexHasFourUpperCaseDigitsAndNegativesTwosComplement)
{
    EXPECT_EQ(HexText(0), "0000");
    EXPECT_EQ(HexText(0xabc), "0ABC");
    EXPECT_EQ(HexText(65535), "FFFF");
    EXPECT_EQ(HexText(0x12345), "12345");
    EXPECT_EQ(HexText(-10), "FFFFFFF6");
    EXPECT_EQ(HexText(-1, 2), "FFFFFFFF");
    EXPECT_EQ(HexText(5, 2), "05");
    EXPECT_EQ(NumberText(255, true), "00FF");
    EXPECT_EQ(NumberText(255, false), "255");
}

TEST(NumberRendering, DecimalAndByteTexts)
{
    EXPECT_EQ(DecText(0), "0");
    EXPECT_EQ(DecText(-42), "-42");
    EXPECT_EQ(DecText(INT64_MAX), "9223372036854775807");
    EXPECT_EQ(Hex2(0), "00");
    EXPECT_EQ(Hex2(0xAB), "AB");
    EXPECT_EQ(Hex2(0x0F), "0F");
}

TEST(RangeClamp, LimitsToBothEnds)
{
    EXPECT_EQ(ClampRange(-1, 0, 65510), 0);
    EXPECT_EQ(ClampRange(70000, 0, 65510), 65510);
    EXPECT_EQ(ClampRange(300, 0, 255), 255);
    EXPECT_EQ(ClampRange(17, 1, 65535), 17);
    EXPECT_EQ(ClampRange(1, 1, 65535), 1);
}

} // namespace
} // namespace korvel
