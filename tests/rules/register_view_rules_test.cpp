// Rules of the register list and the set-value dialog: usage texts, the start-address box,
// scrolling, label and value checks, and the 32-bit representation of a register pair.
#include "common/numeric.h"
#include "rules/register_view_rules.h"

#include <cctype>
#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

TEST(RWText, InputViewShowsClientReadAndPublishingOnly)
{
    EXPECT_EQ(RWText(true, 0x00), "  -");
    EXPECT_EQ(RWText(true, 0x04), "  R");
    EXPECT_EQ(RWText(true, 0x08), " *-");
    EXPECT_EQ(RWText(true, 0x0C), " *R");
    // Holding-register bits do not show in the input view.
    EXPECT_EQ(RWText(true, 0x13), "  -");
}

TEST(RWText, HoldingViewShowsAllEightCombinations)
{
    const char* expected[8] = {" -/-", " R/-", " -/W", " R/W", "*-/-", "*R/-", "*-/W", "*R/W"};
    for (int i = 0; i < 8; ++i) {
        const uint8_t flags = static_cast<uint8_t>((i & 3) | ((i & 4) ? 0x10 : 0));
        EXPECT_EQ(RWText(false, flags), expected[i]) << "flags " << int(flags);
        // Input-register bits do not show in the holding view.
        EXPECT_EQ(RWText(false, static_cast<uint8_t>(flags | 0x0C)), expected[i]);
    }
}

struct StartCase {
    const char* text;
    bool hex;
    StartAddressOutcome::Kind kind;
    int address;
    const char* boxText;
};

class StartAddress : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartAddress, LimitsAndRendersTheTypedText)
{
    const StartCase& c = GetParam();
    const StartAddressOutcome out = StartAddressChange(c.text, c.hex);
    EXPECT_EQ(out.kind, c.kind);
    if (c.kind == StartAddressOutcome::Accepted) {
        EXPECT_EQ(out.address, c.address);
        EXPECT_EQ(out.text, c.boxText);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, StartAddress,
                         ::testing::Values(StartCase{"99999", false, StartAddressOutcome::Accepted, 65510, "65510"},
                                           StartCase{"65510", false, StartAddressOutcome::Accepted, 65510, "65510"},
                                           StartCase{"-10", false, StartAddressOutcome::Accepted, 0, "0"},
                                           StartCase{"007", false, StartAddressOutcome::Accepted, 7, "7"},
                                           StartCase{"FFFF", true, StartAddressOutcome::Accepted, 65510, "FFE6"},
                                           StartCase{"00a", true, StartAddressOutcome::Accepted, 10, "00A"},
                                           StartCase{"a", true, StartAddressOutcome::Accepted, 10, "A"},
                                           StartCase{"FFFFFFF6", true, StartAddressOutcome::Accepted, 0, "00000000"},
                                           StartCase{"", false, StartAddressOutcome::Empty, 0, ""},
                                           StartCase{"", true, StartAddressOutcome::Empty, 0, ""},
                                           StartCase{"12a", false, StartAddressOutcome::Invalid, 0, ""},
                                           StartCase{"1G", true, StartAddressOutcome::Invalid, 0, ""},
                                           StartCase{"-1", true, StartAddressOutcome::Invalid, 0, ""}),
                         [](const ::testing::TestParamInfo<StartCase>& info) {
                             std::string name = std::string(info.param.hex ? "Hex" : "Dec") + "_";
                             for (const char* p = info.param.text; *p != '\0'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? std::string(1, *p) : "minus";
                             return name + "_" + std::to_string(info.index);
                         });

TEST(Scrolling, WheelStepsTenAndGoesBelowZeroForTheBoxToLimit)
{
    EXPECT_EQ(WheelText("100", false, true), "110");
    EXPECT_EQ(WheelText("100", false, false), "90");
    EXPECT_EQ(WheelText("0", false, false), "-10");
    EXPECT_EQ(WheelText("0000", true, false), "FFFFFFF6");
    EXPECT_EQ(WheelText("00A", true, true), "0014");
    // The texts the wheel produces at the lower end come back as 0.
    EXPECT_EQ(StartAddressChange(WheelText("0", false, false), false).text, "0");
    EXPECT_EQ(StartAddressChange(WheelText("0000", true, false), true).text, "00000000");
}

TEST(Scrolling, MiddleButtonJumpsAThousandAndStopsAtTheEnds)
{
    EXPECT_EQ(MiddleButtonText("65000", false, false), "65510");
    EXPECT_EQ(MiddleButtonText("64515", false, false), "65515");
    EXPECT_EQ(MiddleButtonText("500", false, true), "0");
    EXPECT_EQ(MiddleButtonText("1500", false, true), "500");
    EXPECT_EQ(MiddleButtonText("FDE8", true, false), "FFE6"); // 65000
    EXPECT_EQ(MiddleButtonText("0010", true, false), "03F8");
    EXPECT_EQ(MiddleButtonText("01F4", true, true), "0");
}

TEST(Scrolling, DecimalBoxWithoutANumberFails)
{
    EXPECT_THROW(WheelText("", false, true), ConversionError);
    EXPECT_THROW(MiddleButtonText("abc", false, false), ConversionError);
    // Hex reads an empty box as 0.
    EXPECT_EQ(WheelText("", true, true), "000A");
}

TEST(StartAddressItems, EveryTenthRegisterInTheFormat)
{
    EXPECT_EQ(StartAddressItemCount(65510), 6552);
    EXPECT_EQ(StartAddressItemCount(65500), 6551);
    EXPECT_EQ(StartAddressItem(6551, false), "65510");
    EXPECT_EQ(StartAddressItem(6550, true), "FFDC");
    EXPECT_EQ(StartAddressItem(1, true), "000A");
}

TEST(Labels, AcceptOnlyShortNumbersNamingARegister)
{
    EXPECT_EQ(AcceptLabel("65535", false), 65535);
    EXPECT_EQ(AcceptLabel("FFFF", true), 65535);
    EXPECT_EQ(AcceptLabel("0a", true), 10);
    EXPECT_FALSE(AcceptLabel("", false));
    EXPECT_FALSE(AcceptLabel("100000", false)); // six digits
    EXPECT_FALSE(AcceptLabel("10000", true));   // five hex digits
    EXPECT_FALSE(AcceptLabel("65536", false));  // beyond the table
    EXPECT_FALSE(AcceptLabel("99999", false));
    EXPECT_FALSE(AcceptLabel("-1", false));
    EXPECT_FALSE(AcceptLabel("1x", false));
    EXPECT_FALSE(AcceptLabel("G", true));
}

TEST(Labels, ConvertBetweenFormatsBothWays)
{
    EXPECT_EQ(ConvertLabel("10", true), "000A");
    EXPECT_EQ(ConvertLabel("255", true), "00FF");
    EXPECT_EQ(ConvertLabel("65535", true), "FFFF");
    EXPECT_EQ(ConvertLabel("000A", false), "10");
    EXPECT_EQ(ConvertLabel("00FF", false), "255");
    EXPECT_EQ(ConvertLabel(ConvertLabel("12345", true), false), "12345");
    // A label that names no register is left as it is rather than turned into a wrong number.
    EXPECT_EQ(ConvertLabel("", true), "");
    EXPECT_EQ(ConvertLabel("xyz", false), "xyz");
}

TEST(Values, AcceptZeroToFFFFOnly)
{
    EXPECT_EQ(AcceptValue("0", false), 0);
    EXPECT_EQ(AcceptValue("65535", false), 65535);
    EXPECT_EQ(AcceptValue("FFFF", true), 65535);
    EXPECT_EQ(AcceptValue("00ff", true), 255);
    EXPECT_FALSE(AcceptValue("65536", false));
    EXPECT_FALSE(AcceptValue("-1", false));
    EXPECT_FALSE(AcceptValue("10000", true));
    EXPECT_FALSE(AcceptValue("", false));
    EXPECT_FALSE(AcceptValue("12.5", false));
    // Nine hex digits would wrap to a small number: rejected, not stored as 0.
    EXPECT_FALSE(AcceptValue("100000000", true));
    EXPECT_FALSE(AcceptValue("FFFFFFFF", true));
    EXPECT_EQ(AcceptValue("00000000001", true), 1); // leading zeros are harmless
}

TEST(RegisterPair, FourByteOrders)
{
    const uint16_t a = 0x4048, b = 0xF5C3;
    EXPECT_EQ(CombineRegisters(a, b, 3), 0x4048F5C3u);
    EXPECT_EQ(CombineRegisters(a, b, 3), 1078523331u);
    EXPECT_EQ(CombineRegisters(a, b, 1), 0xF5C34048u);
    EXPECT_EQ(CombineRegisters(a, b, 0), 0xC3F54840u);
    EXPECT_EQ(CombineRegisters(a, b, 2), 0x4840C3F5u);
    EXPECT_EQ(CombineRegisters(a, b, -1), 0x4048F5C3u); // any other order reads a as the high word
    for (int order = -1; order <= 3; ++order)
        EXPECT_EQ(CombineRegisters(0, 0, order), 0u);
}

TEST(FloatRendering, EveryPatternGivesAFiniteNumber)
{
    EXPECT_EQ(FloatText(DWordToFloat(0x4048F5C3), "."), "3.140");
    EXPECT_EQ(FloatText(DWordToFloat(0x4048F5C3), ","), "3,140");
    EXPECT_EQ(FloatText(DWordToFloat(0xC0490FDB), "."), "-3.142");
    // Exponent 0 is not special: 0 reads as 2^-127 and shows as 0.000.
    EXPECT_DOUBLE_EQ(DWordToFloat(0), std::ldexp(1.0, -127));
    EXPECT_EQ(FloatText(DWordToFloat(0), "."), "0.000");
    EXPECT_EQ(FloatText(DWordToFloat(0x80000000), "."), "0.000");
    // Exponent 255 is not special either: the infinity pattern is 2^128.
    EXPECT_DOUBLE_EQ(DWordToFloat(0x7F800000), std::ldexp(1.0, 128));
    EXPECT_EQ(FloatText(DWordToFloat(0x7F800000), "."), "3.40282367E+38");
    EXPECT_EQ(FloatText(DWordToFloat(0xFF800000), "."), "-3.40282367E+38");
}

TEST(FloatRendering, NineSignificantDigitsThreeDecimals)
{
    EXPECT_EQ(FloatText(123456.7891, "."), "123456.789");
    EXPECT_EQ(FloatText(1234567.891, "."), "1234567.890");
    EXPECT_EQ(FloatText(123456789.4, "."), "123456789.000");
    EXPECT_EQ(FloatText(999999999.4, "."), "999999999.000");
    EXPECT_EQ(FloatText(1e9, "."), "1E+09");
    EXPECT_EQ(FloatText(1234567891.0, "."), "1.23456789E+09");
    EXPECT_EQ(FloatText(0.0005, "."), "0.001");
    EXPECT_EQ(FloatText(-2.5, "."), "-2.500");
}

} // namespace
} // namespace korvel
