#include "server/request_check.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

using testing_hex::Bytes;

// Outcome flags a row expects.
enum : unsigned { kFn = 1, kAddr = 2, kNoReply = 4, kHeader = 8, kValue = 16 };

struct CheckCase {
    const char* name;
    const char* request;
    const char* text;
    unsigned flags; // passed exactly when none of kFn, kAddr, kNoReply, kHeader is set
    bool offset = false;
    const char* uidSelector = "0";
    uint8_t unservedFc = 0;
};

class CheckRequestTest : public testing::TestWithParam<CheckCase> {};

TEST_P(CheckRequestTest, TextAndOutcome)
{
    const CheckCase& row = GetParam();
    Area work{};
    const std::vector<uint8_t> frame = Bytes(row.request);
    std::copy(frame.begin(), frame.end(), work.begin());
    CheckSettings settings;
    settings.addressOffset = row.offset;
    settings.setUidSelectorText(row.uidSelector);
    if (row.unservedFc == kFcReadExceptionStatus) {
        settings.setServed(7, false);
    }
    const CheckOutcome out = CheckRequest(work.data(), static_cast<int>(frame.size()), settings);
    EXPECT_EQ(out.text, row.text);
    EXPECT_EQ(out.illegalFunction, (row.flags & kFn) != 0);
    EXPECT_EQ(out.illegalAddress, (row.flags & kAddr) != 0);
    EXPECT_EQ(out.noReply, (row.flags & kNoReply) != 0);
    EXPECT_EQ(out.headerError, (row.flags & kHeader) != 0);
    EXPECT_EQ(out.illegalValue, (row.flags & kValue) != 0);
    EXPECT_EQ(out.passed, (row.flags & (kFn | kAddr | kNoReply | kHeader)) == 0);
}

std::string RowName(const testing::TestParamInfo<CheckCase>& info)
{
    return info.param.name;
}

// How failures combine into the text: the protocol failure replaces "--", the length-high-byte
// failure empties it when it comes first, everything else is appended.
const CheckCase kTextRows[] = {
    {"Passed", "00 01 00 00 00 06 01 03 00 00 00 02", "Passed", 0},
    {"BadProtocolAlone", "00 01 00 01 00 06 01 03 00 00 00 02", "Bad protocol identifier. ", kHeader},
    {"BadProtocolAndUid", "00 01 12 34 00 06 05 03 00 00 00 02", "Bad protocol identifier. Illegal UID. ",
     kNoReply | kHeader, false, "17"},
    {"LengthHighAlone", "00 01 00 00 01 06 01 03 00 00 00 02", "Length field, illegal upper byte. ", kHeader},
    {"LengthHighAndBadLength", "00 01 00 00 01 07 01 03 00 00 00 02",
     "Length field, illegal upper byte. Bad message length. ", kHeader},
    {"ProtocolThenLengthHigh", "00 01 00 01 01 06 01 03 00 00 00 02",
     "Bad protocol identifier. Length field, illegal upper byte. ", kHeader},
    {"BadLengthAlone", "00 01 00 00 00 07 01 03 00 00 00 02", "--Bad message length. ", kHeader},
    {"UnservedCodeAlone", "00 01 00 00 00 02 01 41", "--Illegal function. ", kFn},
    {"BadLengthUnservedWrongUid", "00 01 00 00 00 09 01 05 00 00 00 02",
     "--Bad message length. Illegal function. Illegal UID. ", kFn | kNoReply, false, "17"},
    {"BadLengthSkipsAddressCheck", "00 01 00 00 00 07 01 03 FF FF 00 7D", "--Bad message length. ", kHeader},
    {"UnservedFc7", "00 01 00 00 00 02 01 07", "--Illegal function. ", kFn, false, "0", kFcReadExceptionStatus},
    {"UidSelector17WrongUid", "00 01 00 00 00 06 01 03 00 00 00 02", "--Illegal UID. ", kNoReply | kHeader, false,
     "17"},
    {"UidSelector17RightUid", "00 01 00 00 00 06 11 03 00 00 00 02", "Passed", 0, false, "17"},
    {"UidSelectorZeroAnyUid", "00 01 00 00 00 06 FE 03 00 00 00 02", "Passed", 0, false, "0"},
    {"UidSelector00IsUnitZero", "00 01 00 00 00 06 FE 03 00 00 00 02", "--Illegal UID. ", kNoReply | kHeader, false,
     "00"},
    {"UidSelectorGarbageMatchesNothing", "00 01 00 00 00 06 00 03 00 00 00 02", "--Illegal UID. ", kNoReply | kHeader,
     false, "abc"},
    {"Fc8Sub1", "00 01 00 00 00 06 01 08 00 01 00 00", "--Illegal function. ", kFn},
    {"Fc8Sub0100", "00 01 00 00 00 06 01 08 01 00 00 00", "--Illegal function. ", kFn},
    {"Fc8Sub15", "00 01 00 00 00 06 01 08 00 0F 00 00", "Passed", 0},
};
INSTANTIATE_TEST_SUITE_P(Text, CheckRequestTest, testing::ValuesIn(kTextRows), RowName);

// Address ranges, with and without the offset, at the ends of the tables.
const CheckCase kAddressRows[] = {
    {"Fc3_125At65411", "00 01 00 00 00 06 01 03 FF 83 00 7D", "Passed", 0},
    {"Fc3_125At65412", "00 01 00 00 00 06 01 03 FF 84 00 7D", "--Illegal data address. ", kAddr},
    {"Fc3_125At65410Offset", "00 01 00 00 00 06 01 03 FF 82 00 7D", "Passed", 0, true},
    {"Fc3_125At65411Offset", "00 01 00 00 00 06 01 03 FF 83 00 7D", "--Illegal data address. ", kAddr, true},
    {"Fc3_1At65535Offset", "00 01 00 00 00 06 01 03 FF FF 00 01", "--Illegal data address. ", kAddr, true},
    {"Fc3_0At65535Offset", "00 01 00 00 00 06 01 03 FF FF 00 00", "Passed", 0, true},
    {"Fc3QuantityHighByteIgnored", "00 01 00 00 00 06 01 03 FF FF 01 01", "Passed", 0},
    {"Fc4_2At65535", "00 01 00 00 00 06 01 04 FF FF 00 02", "--Illegal data address. ", kAddr},
    {"Fc16_2At65535", "00 01 00 00 00 0B 01 10 FF FF 00 02 04 00 01 00 02", "--Illegal data address. ", kAddr},
    {"Fc6At65535", "00 01 00 00 00 06 01 06 FF FF 00 01", "Passed", 0},
    {"Fc6At65535Offset", "00 01 00 00 00 06 01 06 FF FF 00 01", "--Illegal data address. ", kAddr, true},
    {"Fc22At65535Offset", "00 01 00 00 00 08 01 16 FF FF 00 F2 00 25", "--Illegal data address. ", kAddr, true},
    {"Fc23WriteEndsPast", "00 01 00 00 00 0F 01 17 00 00 00 01 FF FF 00 02 04 00 01 00 02",
     "--Illegal data address for write. ", kAddr},
    {"Fc23ReadEndsPast", "00 01 00 00 00 0B 01 17 FF FF 00 02 00 00 00 00 00", "--Illegal data address for read. ",
     kAddr},
    {"Fc23BothPastSaysWrite", "00 01 00 00 00 0B 01 17 FF FF 00 02 FF FF 00 02 00",
     "--Illegal data address for write. ", kAddr},
    {"Fc3Quantity126", "00 01 00 00 00 06 01 03 00 00 00 7E", "Passed", 0},
    {"Fc3Quantity127", "00 01 00 00 00 06 01 03 00 00 00 7F", "Passed", kValue},
    {"Fc23ReadQuantity255", "00 01 00 00 00 0B 01 17 00 00 00 FF 00 00 00 00 00", "Passed", kValue},
    {"Fc16Quantity200IsNoRead", "00 01 00 00 00 07 01 10 00 00 00 C8 00", "Passed", 0},
};
INSTANTIATE_TEST_SUITE_P(Address, CheckRequestTest, testing::ValuesIn(kAddressRows), RowName);

TEST(HeaderCheckText, TableAndOutOfRangeCodes)
{
    EXPECT_EQ(HeaderCheckText(kCheckNone), "--");
    EXPECT_EQ(HeaderCheckText(kCheckLengthHigh), "Length field, illegal upper byte");
    EXPECT_EQ(HeaderCheckText(kCheckIllegalAddressRead), "Illegal data address for read");
    EXPECT_EQ(HeaderCheckText(kCheckFailed), "Failed");
    EXPECT_EQ(HeaderCheckText(11), "--");
    EXPECT_EQ(HeaderCheckText(-1), "--");
}

} // namespace
} // namespace korvel
