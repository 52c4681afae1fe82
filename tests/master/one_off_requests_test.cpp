// One-off requests: Apply turns the fields into the pending request, the polling step's frame for
// it byte by byte, and the field rules of the one-off window.
#include "common/numeric.h"
#include "master/one_off_requests.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

using testing_hex::Hex;

// --- Apply, then the frame ------------------------------------------------------------------

struct FrameCase {
    const char* name;
    OneOffMode mode;
    const char* address;
    const char* value;
    const char* orText;
    bool fc16;
    int offset; // OffsetInUse
    const char* frame;
};

class OneOffFrameTest : public testing::TestWithParam<FrameCase> {};

TEST_P(OneOffFrameTest, ApplyThenFrameIsByteExact)
{
    const FrameCase& row = GetParam();
    OneOffRequest shared;
    shared.UseFC16_for_single_write = row.fc16;
    const OneOffApply applied = ApplyOneOff(row.mode, true, shared, row.address, row.value, row.orText);
    ASSERT_EQ(applied.message, nullptr);
    ASSERT_TRUE(applied.request.pending());
    const std::vector<uint8_t> frame = OneOffFrame(applied.request, 0x0102, 0x11, row.offset);
    EXPECT_EQ(Hex(frame.data(), static_cast<int>(frame.size())), row.frame);

    const OneOffRequest after = OneOffSent(applied.request);
    EXPECT_FALSE(after.pending());
    EXPECT_FALSE(after.ReadExp);
    EXPECT_EQ(after.UseFC16_for_single_write, row.fc16); // the shared choice stays
}

const FrameCase kFrameRows[] = {
    {"Fc6WithOffset", OneOffMode::WriteSingle, "100", "1234", "", false, 1, "01 02 00 00 00 06 11 06 00 63 04 D2"},
    {"Fc16WithOffset", OneOffMode::WriteSingle, "100", "1234", "", true, 1,
     "01 02 00 00 00 09 11 10 00 63 00 01 02 04 D2"},
    {"Fc6Value99999", OneOffMode::WriteSingle, "7", "99999", "", false, 0, "01 02 00 00 00 06 11 06 00 07 86 9F"},
    {"Fc6Value65536IsZero", OneOffMode::WriteSingle, "7", "65536", "", false, 0, "01 02 00 00 00 06 11 06 00 07 00 00"},
    {"Fc6ValueMinus1", OneOffMode::WriteSingle, "7", "-1", "", false, 0, "01 02 00 00 00 06 11 06 00 07 FF FF"},
    // With the offset, register 0 is sent as the address FFFF.
    {"Fc6Register0WithOffset", OneOffMode::WriteSingle, "0", "1", "", false, 1, "01 02 00 00 00 06 11 06 FF FF 00 01"},
    {"Fc22", OneOffMode::MaskWrite, "5", "F0F0", "000F", false, 0, "01 02 00 00 00 08 11 16 00 05 F0 F0 00 0F"},
    {"Fc22LowerCase", OneOffMode::MaskWrite, "65535", "ab", "c", false, 0, "01 02 00 00 00 08 11 16 FF FF 00 AB 00 0C"},
    {"Fc22EmptyAnd", OneOffMode::MaskWrite, "5", "", "1", true, 0, "01 02 00 00 00 08 11 16 00 05 00 00 00 01"},
    {"Fc7", OneOffMode::ReadExceptionStatus, "", "", "", true, 1, "01 02 00 00 00 02 11 07"},
};
INSTANTIATE_TEST_SUITE_P(OneOff, OneOffFrameTest, testing::ValuesIn(kFrameRows),
                         [](const testing::TestParamInfo<FrameCase>& info) { return info.param.name; });

TEST(OneOffApply, StatusReadMarksItselfPendingAndWaits)
{
    const OneOffApply applied = ApplyOneOff(OneOffMode::ReadExceptionStatus, true, {}, "", "", "");
    EXPECT_TRUE(applied.request.ReadExp);
    EXPECT_EQ(applied.request.WriteSingleHoldAddr, kExceptionStatusMark);
    EXPECT_TRUE(applied.startStatusTimer);
    EXPECT_EQ(ExceptionStatusText(0x5A), "0x5A");
    EXPECT_EQ(ExceptionStatusText(0x05), "0x05");
}

TEST(OneOffApply, RefusalsLeaveTheRequestAsItWas)
{
    OneOffRequest current;
    current.MaskIt = true;
    current.ORmask = 7;
    OneOffApply applied = ApplyOneOff(OneOffMode::WriteSingle, false, current, "1", "2", "");
    EXPECT_STREQ(applied.message, "Connection is not established");
    EXPECT_FALSE(applied.request.pending());
    EXPECT_TRUE(applied.request.MaskIt);

    applied = ApplyOneOff(OneOffMode::WriteSingle, true, current, "1", "", "");
    EXPECT_STREQ(applied.message, "Please, enter value");
    EXPECT_FALSE(applied.request.pending());
    EXPECT_TRUE(applied.request.MaskIt);

    // A write after a mask write is a write again.
    applied = ApplyOneOff(OneOffMode::WriteSingle, true, current, "1", "2", "");
    EXPECT_FALSE(applied.request.MaskIt);
    // An empty address is a conversion failure the window shows in an error box.
    EXPECT_THROW(ApplyOneOff(OneOffMode::WriteSingle, true, current, "", "2", ""), ConversionError);
}

// --- Field rules ----------------------------------------------------------------------------

TEST(OneOffFields, AddressErasedSilentlyOutsideTheRange)
{
    for (const char* kept : {"", "0", "65535", "100"}) {
        EXPECT_FALSE(CheckOneOffAddress(kept).erase) << kept;
    }
    for (const char* erased : {"70000", "65536", "-1", "1x", "G"}) {
        const OneOffFieldCheck check = CheckOneOffAddress(erased);
        EXPECT_TRUE(check.erase) << erased;
        EXPECT_EQ(check.message, nullptr) << erased;
    }
}

TEST(OneOffFields, ValueAndPatterns)
{
    OneOffFieldCheck check = CheckOneOffValue(OneOffMode::MaskWrite, "G");
    EXPECT_TRUE(check.erase);
    EXPECT_STREQ(check.message, "Only \"0..9..A..F\" allowed");
    EXPECT_FALSE(check.dontFlash);
    EXPECT_FALSE(CheckOneOffValue(OneOffMode::MaskWrite, "f0F0").erase);
    EXPECT_FALSE(CheckOneOffValue(OneOffMode::MaskWrite, "").erase);

    check = CheckOneOffValue(OneOffMode::WriteSingle, "12a");
    EXPECT_TRUE(check.erase);
    EXPECT_STREQ(check.message, "Digits, please");
    EXPECT_TRUE(check.dontFlash);
    EXPECT_FALSE(CheckOneOffValue(OneOffMode::WriteSingle, "99999").erase);
    EXPECT_FALSE(CheckOneOffValue(OneOffMode::WriteSingle, "").erase);
    EXPECT_FALSE(CheckOneOffValue(OneOffMode::ReadExceptionStatus, "0x5A").erase);

    EXPECT_TRUE(CheckOneOffOr("0x1").erase);
    EXPECT_STREQ(CheckOneOffOr("-").message, "Only \"0..9..A..F\" allowed");
    EXPECT_FALSE(CheckOneOffOr("000F").erase);
}

TEST(OneOffFields, ApplyEnabling)
{
    EXPECT_TRUE(OneOffApplyEnabled(OneOffMode::ReadExceptionStatus, "", "", ""));
    EXPECT_FALSE(OneOffApplyEnabled(OneOffMode::WriteSingle, "", "5", ""));
    EXPECT_FALSE(OneOffApplyEnabled(OneOffMode::WriteSingle, "5", "", ""));
    EXPECT_TRUE(OneOffApplyEnabled(OneOffMode::WriteSingle, "5", "1", ""));
    EXPECT_TRUE(OneOffApplyEnabled(OneOffMode::MaskWrite, "5", "", "1"));
    EXPECT_FALSE(OneOffApplyEnabled(OneOffMode::MaskWrite, "5", "", ""));
}

} // namespace
} // namespace korvel
