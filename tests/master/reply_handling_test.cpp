#include "common/winsock_texts.h"
#include "master/reply_handling.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Bytes;
using Lines = std::vector<std::string>;
using Registers = std::vector<std::pair<uint16_t, uint16_t>>;

const LocalClock kReceived{2026, 12, 9, 14, 5, 7, 42};
const char kHeader[] = "Event #1  09.12.2026 14:05:07:042";

// Queries as the polling step leaves them in the query frame (TI 8, UID 1).
const char kRead3From10[] = "00 08 00 00 00 06 01 03 00 0A 00 03";
const char kRead3From9[] = "00 08 00 00 00 06 01 03 00 09 00 03"; // 10 with the address offset
const char kInput2From20[] = "00 08 00 00 00 06 01 04 00 14 00 02";
const char kWrite2From5[] = "00 08 00 00 00 0B 01 10 00 05 00 02 04 12 34 00 FF";
const char kMask5[] = "00 08 00 00 00 08 01 16 00 05 F0 F0 00 0F";
const char kWrite1Fc6[] = "00 08 00 00 00 06 01 06 00 64 04 D2";
const char kExpStatus[] = "00 08 00 00 00 02 01 07";
const char kRead3From65534[] = "00 08 00 00 00 06 01 03 FF FE 00 03";

struct ReplyCase {
    const char* name;
    const char* query;
    const char* reply;
    int result;
    Lines lines = {}; // after the header; empty: no event
    const char* status = nullptr;
    Registers holding = {}; // expected afterwards (set to 0xBEEF before)
    Registers input = {};
    int offset = 0;
    const char* expStatus = ""; // ReturnedExpStatus afterwards
};

class ClientReplyTest : public testing::TestWithParam<ReplyCase> {
  protected:
    ClientReplyTest()
    {
        for (int a = 0; a < kRegisterCount; ++a) {
            store.setHolding(static_cast<uint16_t>(a), 0xBEEF);
            store.setInput(static_cast<uint16_t>(a), 0xBEEF);
        }
    }

    RegisterStore store;
    ReplyState state;
    ClientQueryState query;
    int32_t EventNumber = 0;
};

TEST_P(ClientReplyTest, CheckedStoredAndReported)
{
    const ReplyCase& row = GetParam();
    const std::vector<uint8_t> q = Bytes(row.query);
    std::copy(q.begin(), q.end(), query.QueryFrame.begin());
    query.TICounter = 8;
    query.OffsetInUse = row.offset;
    const std::vector<uint8_t> reply = Bytes(row.reply);
    std::copy(reply.begin(), reply.end(), state.ReplyFrame.begin());
    const int n = static_cast<int>(reply.size());

    const ReplyOutcome out = HandleReply(state, n, query, store, EventNumber, kReceived);
    EXPECT_EQ(out.result, row.result);
    if (row.result == kReplyGood) {
        EXPECT_TRUE(out.eventLines.empty());
        EXPECT_EQ(out.clientStatus, nullptr);
        EXPECT_EQ(out.statusText, row.status);
        EXPECT_EQ(EventNumber, 0);
    } else {
        Lines expected{kHeader};
        expected.insert(expected.end(), row.lines.begin(), row.lines.end());
        expected.emplace_back();
        EXPECT_EQ(out.eventLines, expected);
        EXPECT_STREQ(out.clientStatus,
                     row.result <= kReplyUnknownFunction ? kStatusErrorDetected : kStatusExceptionDetected);
        EXPECT_EQ(out.statusText, "");
        EXPECT_EQ(out.stored, 0) << "a faulty reply is never stored";
    }
    for (auto [address, value] : row.holding) {
        EXPECT_EQ(store.holding(address), value) << "holding register " << address;
    }
    for (auto [address, value] : row.input) {
        EXPECT_EQ(store.input(address), value) << "input register " << address;
    }
    EXPECT_EQ(state.ReturnedExpStatus, row.expStatus);
}

std::string RowName(const testing::TestParamInfo<ReplyCase>& info)
{
    return info.param.name;
}

const ReplyCase kGoodRows[] = {
    {"Fc3StoresAtTheListAddresses",
     kRead3From10,
     "00 08 00 00 00 09 01 03 06 00 01 00 02 00 03",
     kReplyGood,
     {},
     "TI: 8/8  15 bytes received",
     {{9, 0xBEEF}, {10, 1}, {11, 2}, {12, 3}, {13, 0xBEEF}}},
    {"Fc3WithOffsetLandsAtTheListAddresses",
     kRead3From9,
     "00 08 00 00 00 09 01 03 06 00 01 00 02 00 03",
     kReplyGood,
     {},
     "TI: 8/8  15 bytes received",
     {{9, 0xBEEF}, {10, 1}, {11, 2}, {12, 3}},
     {},
     1},
    {"Fc4StoresInputRegisters",
     kInput2From20,
     "00 08 00 00 00 07 01 04 04 12 34 AB CD",
     kReplyGood,
     {},
     "TI: 8/8  13 bytes received",
     {{20, 0xBEEF}},
     {{20, 0x1234}, {21, 0xABCD}}},
    {"MoreValuesThanAskedAreStored",
     kRead3From10,
     "00 08 00 00 00 0B 01 03 08 00 01 00 02 00 03 00 04",
     kReplyGood,
     {},
     "TI: 8/8  17 bytes received",
     {{13, 4}}},
    {"ValuesAbove65535AreDroppedNotWrapped",
     kRead3From65534,
     "00 08 00 00 00 09 01 03 06 00 01 00 02 00 03",
     kReplyGood,
     {},
     "TI: 8/8  15 bytes received",
     {{65534, 1}, {65535, 2}, {0, 0xBEEF}}},
    {"ByteCount5StoresTwo",
     kRead3From10,
     "00 08 00 00 00 08 01 03 05 00 01 00 02 00",
     kReplyGood,
     {},
     "TI: 8/8  14 bytes received",
     {{10, 1}, {11, 2}, {12, 0xBEEF}}},
    {"ByteCount7StoresFour",
     kRead3From10,
     "00 08 00 00 00 0B 01 03 07 00 01 00 02 00 03 00 04",
     kReplyGood,
     {},
     "TI: 8/8  17 bytes received",
     {{12, 3}, {13, 4}, {14, 0xBEEF}}},
    {"ByteCount9StoresFour",
     kRead3From10,
     "00 08 00 00 00 0D 01 03 09 00 01 00 02 00 03 00 04 00 05",
     kReplyGood,
     {},
     "TI: 8/8  19 bytes received",
     {{13, 4}, {14, 0xBEEF}}},
    {"ByteCount3StoresOnlyTheWholeValue",
     kRead3From10,
     "00 08 00 00 00 06 01 03 03 00 01 00",
     kReplyGood,
     {},
     "TI: 8/8  12 bytes received",
     {{10, 1}, {11, 0xBEEF}}},
    {"ByteCountBeyondTheFrameStoresWhatCame",
     kRead3From10,
     "00 08 00 00 00 07 01 03 06 00 01 00 02",
     kReplyGood,
     {},
     "TI: 8/8  13 bytes received",
     {{10, 1}, {11, 2}, {12, 0xBEEF}}},
    {"Fc16EchoStoresNothing",
     kWrite2From5,
     "00 08 00 00 00 06 01 10 00 05 00 02",
     kReplyGood,
     {},
     "TI: 8/8  12 bytes received",
     {{5, 0xBEEF}, {6, 0xBEEF}}},
    {"Fc6Echo",
     kWrite1Fc6,
     "00 08 00 00 00 06 01 06 00 64 04 D2",
     kReplyGood,
     {},
     "TI: 8/8  12 bytes received",
     {{100, 0xBEEF}}},
    {"Fc22Echo", kMask5, "00 08 00 00 00 08 01 16 00 05 F0 F0 00 0F", kReplyGood, {}, "TI: 8/8  14 bytes received"},
    {"Fc7SetsTheStatus",
     kExpStatus,
     "00 08 00 00 00 03 01 07 5A",
     kReplyGood,
     {},
     "TI: 8/8  9 bytes received",
     {},
     {},
     0,
     "0x5A"},
};
INSTANTIATE_TEST_SUITE_P(Good, ClientReplyTest, testing::ValuesIn(kGoodRows), RowName);

const ReplyCase kFaultRows[] = {
    {"WrongTi",
     kRead3From10,
     "00 07 00 00 00 09 01 03 06 00 01 00 02 00 03",
     kReplyWrongTi,
     {"Incorrect TI. Expected: 8. Received: 7"},
     nullptr,
     {{10, 0xBEEF}}},
    {"WrongTiComesBeforeHeader",
     kRead3From10,
     "01 08 00 01 00 09 01 03 06 00 01 00 02 00 03",
     kReplyWrongTi,
     {"Incorrect TI. Expected: 8. Received: 264"}},
    {"ProtocolId0001",
     kRead3From10,
     "00 08 00 01 00 09 01 03 06 00 01 00 02 00 03",
     kReplyHeaderError,
     {"Header error. Received: 0/1/0"},
     nullptr,
     {{10, 0xBEEF}}},
    {"LengthHighByte",
     kRead3From10,
     "00 08 00 00 01 09 01 03 06 00 01 00 02 00 03",
     kReplyHeaderError,
     {"Header error. Received: 0/0/1"}},
    {"TwoFramesInOneRead",
     kRead3From10,
     "00 08 00 00 00 09 01 03 06 00 01 00 02 00 03 00 08 00 00 00 09 01 03 06 00 01 00 02 00 03",
     kReplyLengthError,
     {"Packet length error. Received: 30. Defined: 15"},
     nullptr,
     {{10, 0xBEEF}}},
    {"ShortFrame",
     kRead3From10,
     "00 08 00 00 00 09 01 03 06 00 01",
     kReplyLengthError,
     {"Packet length error. Received: 11. Defined: 15"}},
    {"LengthComesBeforeUid",
     kRead3From10,
     "00 08 00 00 00 09 02 03 06 00 01",
     kReplyLengthError,
     {"Packet length error. Received: 11. Defined: 15"}},
    {"WrongUid",
     kRead3From10,
     "00 08 00 00 00 09 02 03 06 00 01 00 02 00 03",
     kReplyWrongUid,
     {"Incorrect UID. Received: 2"},
     nullptr,
     {{10, 0xBEEF}}},
    {"UnknownFunction5",
     kRead3From10,
     "00 08 00 00 00 06 01 05 00 0A FF 00",
     kReplyUnknownFunction,
     {"Data discarded. Unknown function. 5"}},
    {"Fc8IsUnknownToTheClient",
     kRead3From10,
     "00 08 00 00 00 06 01 08 00 00 12 34",
     kReplyUnknownFunction,
     {"Data discarded. Unknown function. 8"}},
    // The client never sends a read/write: neither its reply nor its exception is taken.
    {"Fc23ReplyIsNotStored",
     kRead3From10,
     "00 08 00 00 00 05 01 17 02 12 34",
     kReplyUnknownFunction,
     {"Data discarded. Unknown function. 23"},
     nullptr,
     {{10, 0xBEEF}}},
    {"ExceptionToFc23IsUnknown",
     kRead3From10,
     "00 08 00 00 00 03 01 97 02",
     kReplyUnknownFunction,
     {"Data discarded. Unknown function. 151"}},
    {"Exception83Code2",
     kRead3From10,
     "00 08 00 00 00 03 01 83 02",
     kReplyExceptionFc3,
     {"Exception. FC: 0x83 Code: 2", "ILLEGAL DATA ADDRESS", "Reference: 10, word count: 3"}},
    {"ExceptionSkipsTheLengthTest",
     kRead3From10,
     "00 08 00 00 00 06 01 83 02",
     kReplyExceptionFc3,
     {"Exception. FC: 0x83 Code: 2", "ILLEGAL DATA ADDRESS", "Reference: 10, word count: 3"}},
    // An exception needs its code byte, every reply its function byte: what is not there is not
    // read from an earlier reply's bytes.
    {"ExceptionWithoutItsCode",
     kRead3From10,
     "00 08 00 00 00 02 01 83",
     kReplyLengthError,
     {"Packet length error. Received: 8. Defined: 8"}},
    {"FrameWithoutAFunction",
     kRead3From10,
     "00 08 00 00 00 01 01",
     kReplyLengthError,
     {"Packet length error. Received: 7. Defined: 7"}},
    {"ExceptionShowsTheAddressAsSent",
     kRead3From9,
     "00 08 00 00 00 03 01 83 02",
     kReplyExceptionFc3,
     {"Exception. FC: 0x83 Code: 2", "ILLEGAL DATA ADDRESS", "Reference: 9, word count: 3"},
     nullptr,
     {},
     {},
     1},
    {"Exception84Code1",
     kInput2From20,
     "00 08 00 00 00 03 01 84 01",
     kReplyExceptionFc4,
     {"Exception. FC: 0x84 Code: 1", "ILLEGAL FUNCTION", "Reference: 20, word count: 2"}},
    {"Exception90Code3",
     kWrite2From5,
     "00 08 00 00 00 03 01 90 03",
     kReplyExceptionFc16,
     {"Exception. FC: 0x90 Code: 3", "ILLEGAL DATA VALUE", "Reference: 5, word count: 2"}},
    {"Exception96Code4",
     kMask5,
     "00 08 00 00 00 03 01 96 04",
     kReplyExceptionFc22,
     {"Exception. FC: 0x96 Code: 4", "SLAVE DEVICE FAILURE", "Reference: 5"}},
    {"Exception86Code6",
     kWrite1Fc6,
     "00 08 00 00 00 03 01 86 06",
     kReplyExceptionFc6,
     {"Exception. FC: 0x86 Code: 6", "SLAVE DEVICE BUSY", "Reference: 100"}},
    {"Exception87Code11",
     kExpStatus,
     "00 08 00 00 00 03 01 87 0B",
     kReplyExceptionFc7,
     {"Exception. FC: 0x87 Code: 11", "GATEWAY TARGET DEVICE FAILED TO RESPOND", "Read exception status from UID 1"},
     nullptr,
     {},
     {},
     0,
     kReturnedExpStatusFailed},
    {"ExceptionUnknownCode",
     kRead3From10,
     "00 08 00 00 00 03 01 83 09",
     kReplyExceptionFc3,
     {"Exception. FC: 0x83 Code: 9", "Unknown exception code 9", "Reference: 10, word count: 3"}},
};
INSTANTIATE_TEST_SUITE_P(Faults, ClientReplyTest, testing::ValuesIn(kFaultRows), RowName);

TEST(ClientExceptionNames, EveryCodeOfTheTableInCapitalsOthersByNumber)
{
    const std::vector<std::pair<uint8_t, std::string>> rows = {
        {1, "ILLEGAL FUNCTION"},
        {2, "ILLEGAL DATA ADDRESS"},
        {3, "ILLEGAL DATA VALUE"},
        {4, "SLAVE DEVICE FAILURE"},
        {5, "ACKNOWLEDGE"},
        {6, "SLAVE DEVICE BUSY"},
        {7, "NEGATIVE ACKNOWLEDGE"},
        {8, "MEMORY PARITY ERROR"},
        {10, "GATEWAY PATH UNAVAILABLE"},
        {11, "GATEWAY TARGET DEVICE FAILED TO RESPOND"},
        {0, "Unknown exception code 0"},
        {9, "Unknown exception code 9"},
        {255, "Unknown exception code 255"},
    };
    for (const auto& [code, name] : rows) {
        EXPECT_EQ(ClientExceptionName(code), name) << int(code);
    }
}

TEST(ClientReplyNumbers, EachFaultTakesTheNextEventNumber)
{
    RegisterStore store;
    ReplyState state;
    ClientQueryState query;
    query.TICounter = 8;
    int32_t EventNumber = 1; // the connect event counted one already
    const std::vector<uint8_t> reply = Bytes("00 07 00 00 00 03 01 83 02");
    std::copy(reply.begin(), reply.end(), state.ReplyFrame.begin());
    EXPECT_EQ(HandleReply(state, 9, query, store, EventNumber, kReceived, ".").eventLines.front(),
              "Event #2  09.12.2026 14.05.07.042");
    EXPECT_EQ(HandleReply(state, 9, query, store, EventNumber, kReceived).eventLines.front(),
              "Event #3  09.12.2026 14:05:07:042");
}

struct PeekCase {
    const char* name;
    const char* before; // left in the buffer by an earlier reply
    const char* looked; // what this look delivered
    int count;          // the look's result
    int error;
    PeekDecision decision;
};

class ClientPeekTest : public testing::TestWithParam<PeekCase> {};

TEST_P(ClientPeekTest, WaitsForAWholeFrame)
{
    const PeekCase& row = GetParam();
    ReplyState state;
    const std::vector<uint8_t> before = Bytes(row.before);
    std::copy(before.begin(), before.end(), state.ReplyFrame.begin());
    const std::vector<uint8_t> looked = Bytes(row.looked);
    std::copy(looked.begin(), looked.end(), state.ReplyFrame.begin());
    EXPECT_EQ(DecidePeek(state, row.count, row.error), row.decision);
}

std::string PeekName(const testing::TestParamInfo<PeekCase>& info)
{
    return info.param.name;
}

const char kFrame15[] = "00 08 00 00 00 09 01 03 06 00 01 00 02 00 03";
const PeekCase kPeekRows[] = {
    {"FourBytesWait", "", "00 08 00 00", 4, 0, PeekDecision::Wait},
    {"HeaderOnlyWaits", "", "00 08 00 00 00 09", 6, 0, PeekDecision::Wait},
    {"OneByteShortWaits", "", "00 08 00 00 00 09 01 03 06 00 01 00 02 00", 14, 0, PeekDecision::Wait},
    {"WholeFrameIsTaken", "", kFrame15, 15, 0, PeekDecision::Receive},
    {"MoreThanOneFrameIsTaken", "", kFrame15, 30, 0, PeekDecision::Receive},
    {"BadProtocolIdIsTakenAtOnce", "", "00 08 00 01 00 09", 6, 0, PeekDecision::Receive},
    {"LengthHighByteIsTakenAtOnce", "", "00 08 00 00 01", 5, 0, PeekDecision::Receive},
    {"WouldBlockWaits", "", "", -1, kWsaWouldBlock, PeekDecision::Wait},
    {"OtherErrorIsReported", "", "", -1, 10054, PeekDecision::ReportThenReceive},
    {"StaleHeaderOfAnEarlierReplyIsNotJudged", "00 08 00 01 00 09", "00 09 00", 3, 0, PeekDecision::Wait},
    {"FailedLookOverStaleHeaderIsStillReported", "00 08 00 01 00 09", "", -1, 10054, PeekDecision::ReportThenReceive},
};
INSTANTIATE_TEST_SUITE_P(Look, ClientPeekTest, testing::ValuesIn(kPeekRows), PeekName);

// Any bytes at all: only a good read reply writes, and only at the addresses its query asked for
// from on; nothing is read or written outside the buffers.
TEST(ClientReplyRobustness, RandomRepliesStoreOnlyWhatAGoodReadCarries)
{
    std::mt19937 random(2027);
    RegisterStore store;
    for (int round = 0; round < 3000; ++round) {
        ReplyState state;
        ClientQueryState query;
        query.TICounter = static_cast<int32_t>(random() % 4);
        query.OffsetInUse = static_cast<int32_t>(random() % 2);
        // Half the reads start near the top of the store, where values would run past it.
        const auto first = static_cast<uint16_t>(round % 4 < 2 ? 65535 - random() % 200 : random() % 65536);
        query.QueryFrame[8] = static_cast<uint8_t>(first >> 8);
        query.QueryFrame[9] = static_cast<uint8_t>(first & 0xFF);
        const bool shaped = round % 2 == 0; // half the rounds pass the header checks
        const int n = shaped ? 8 + static_cast<int>(random() % 254) : 1 + static_cast<int>(random() % kAreaSize);
        Area& r = state.ReplyFrame;
        for (int i = 0; i < n; ++i) {
            r[static_cast<size_t>(i)] = static_cast<uint8_t>(random() % 4 == 0 ? random() : random() % 8);
        }
        if (shaped) {
            r[0] = 0;
            r[1] = static_cast<uint8_t>(query.TICounter);
            r[2] = r[3] = r[4] = 0;
            r[5] = static_cast<uint8_t>(n - 6);
            r[6] = static_cast<uint8_t>(query.ClientUID);
            r[7] = random() % 2 == 0 ? kFcReadHolding : kFcReadInput;
            r[8] = static_cast<uint8_t>(random());
        }
        int32_t EventNumber = 0;
        const ReplyOutcome out = HandleReply(state, n, query, store, EventNumber, kReceived);
        ASSERT_GE(out.result, kReplyGood);
        ASSERT_LE(out.result, kReplyExceptionFc7);
        if (shaped) {
            ASSERT_EQ(out.result, kReplyGood);
        }
        const bool read =
            out.result == kReplyGood && (state.ReplyFrame[7] == kFcReadHolding || state.ReplyFrame[7] == kFcReadInput);
        if (!read) {
            ASSERT_EQ(out.stored, 0);
            continue;
        }
        ASSERT_LE(out.stored, ReadValueCount(state.ReplyFrame[8]));
        ASSERT_LE(first + query.OffsetInUse + out.stored, kRegisterCount) << "never past register 65535";
        if (out.stored > 0) {
            ASSERT_LT(10 + 2 * (out.stored - 1), n) << "only received bytes are stored";
        }
        if (first + query.OffsetInUse + ReadValueCount(state.ReplyFrame[8]) <= kRegisterCount &&
            8 + 2 * ReadValueCount(state.ReplyFrame[8]) < n) {
            ASSERT_EQ(out.stored, ReadValueCount(state.ReplyFrame[8])) << "every whole value inside the store";
        }
    }
}

TEST(ReadValueCount, HalfOfTheByteCountRoundedHalfToEven)
{
    const std::vector<std::pair<int, int>> rows = {{0, 0}, {1, 0}, {2, 1}, {3, 2}, {5, 2}, {7, 4}, {9, 4}, {255, 128}};
    for (auto [bytes, count] : rows) {
        EXPECT_EQ(ReadValueCount(static_cast<uint8_t>(bytes)), count) << bytes;
    }
}

} // namespace
} // namespace korvel
