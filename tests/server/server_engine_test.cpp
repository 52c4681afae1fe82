#include "server/server_engine.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Bytes;
using testing_hex::Hex;
using Registers = std::vector<std::pair<uint16_t, uint16_t>>;

struct Options {
    bool offset = false;
    bool wrongTI = false;
    bool wrongPID = false;
    bool wrongLength = false;
    uint8_t forced = 0; // forced exception code, 0 = off
    uint8_t unserved = 0;
};

class EngineFixture {
  protected:
    EngineFixture() { engine.connectionAccepted(1, "127.0.0.1", 0); }

    void apply(const Options& o)
    {
        engine.settings.check.addressOffset = o.offset;
        engine.settings.WrongTIActive = o.wrongTI;
        engine.settings.WrongPIDActive = o.wrongPID;
        engine.settings.WrongLengthHBActive = o.wrongLength;
        engine.settings.ReturnExceptionActive = o.forced != 0;
        engine.settings.ForcedExceptionCode = o.forced;
        if (o.unserved == kFcReadExceptionStatus) {
            engine.settings.check.setServed(7, false);
        }
    }

    // Processes the frame as received on connection c.
    ProcessResult send(const std::string& hex, int c = 1, uint32_t now = 0)
    {
        const std::vector<uint8_t> frame = Bytes(hex);
        return engine.process(c, frame, now);
    }

    ProcessResult exchange(const std::string& hex, int c = 1)
    {
        const std::vector<uint8_t> frame = Bytes(hex);
        return engine.exchange(c, frame, 0);
    }

    // The reply as the result hands it out; it must be the start of the engine's reply area.
    std::string reply(const ProcessResult& r) const
    {
        EXPECT_EQ(r.reply.size(), static_cast<size_t>(r.replyLength));
        if (r.replyLength > 0) {
            EXPECT_EQ(r.reply.data(), engine.replyArea());
        }
        return Hex(r.reply.data(), static_cast<int>(r.reply.size()));
    }

    RegisterStore store;
    ServerEngine engine{store};
};

struct ReplyCase {
    const char* name;
    const char* request;
    const char* reply; // nullptr: nothing is sent
    Options options = {};
    Registers before = {};
    Registers after = {};
};

class ReplyTest : public EngineFixture, public testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyTest, ByteExact)
{
    const ReplyCase& row = GetParam();
    for (auto [address, value] : row.before) {
        store.setHolding(address, value);
    }
    apply(row.options);
    const ProcessResult r = send(row.request);
    ASSERT_TRUE(r.processed);
    if (row.reply == nullptr) {
        EXPECT_FALSE(r.replyStep);
    } else {
        ASSERT_TRUE(r.replyStep);
        EXPECT_EQ(reply(r), row.reply);
    }
    for (auto [address, value] : row.after) {
        EXPECT_EQ(store.holding(address), value) << "holding register " << address;
    }
}

std::string RowName(const testing::TestParamInfo<ReplyCase>& info)
{
    return info.param.name;
}

const Registers k1234_5678 = {{0, 0x1234}, {1, 0x5678}};

const ReplyCase kReadRows[] = {
    {"Fc3Example", "00 01 00 00 00 06 01 03 00 00 00 02", "00 01 00 00 00 07 01 03 04 12 34 56 78", {}, k1234_5678},
    {"Fc3Quantity0", "00 01 00 00 00 06 01 03 00 05 00 00", "00 01 00 00 00 03 01 03 00"},
    {"Fc3QuantityHighByteIgnored",
     "00 02 00 00 00 06 01 03 00 00 01 01",
     "00 02 00 00 00 05 01 03 02 12 34",
     {},
     k1234_5678},
    {"Fc3WithOffset",
     "00 01 00 00 00 06 01 03 00 00 00 01",
     "00 01 00 00 00 05 01 03 02 56 78",
     {.offset = true},
     k1234_5678},
    {"Fc3ShortFrameReadsZeroFields", "00 01 00 00 00 02 01 03", "00 01 00 00 00 03 01 03 00"},
    {"Fc3At65412", "00 01 00 00 00 06 01 03 FF 84 00 7D", "00 01 00 00 00 03 01 83 02"},
    {"Fc3Quantity127IsIllegalValue", "00 01 00 00 00 06 01 03 00 00 00 7F", "00 01 00 00 00 03 01 83 03"},
    {"Fc4Quantity255IsIllegalValue", "00 01 00 00 00 06 01 04 00 00 00 FF", "00 01 00 00 00 03 01 84 03"},
    {"Fc7", "00 07 00 00 00 02 01 07", "00 07 00 00 00 03 01 07 AB", {}, {{0xFFFF, 0x12AB}}},
};
INSTANTIATE_TEST_SUITE_P(Read, ReplyTest, testing::ValuesIn(kReadRows), RowName);

const ReplyCase kFaultRows[] = {
    {"WrongTI",
     "00 01 00 00 00 06 01 03 00 00 00 02",
     "DE AD 00 00 00 07 01 03 04 12 34 56 78",
     {.wrongTI = true},
     k1234_5678},
    {"WrongTIOnTiEndingInAD",
     "12 AD 00 00 00 06 01 03 00 00 00 02",
     "BA BE 00 00 00 07 01 03 04 12 34 56 78",
     {.wrongTI = true},
     k1234_5678},
    {"WrongPID",
     "00 01 00 00 00 06 01 03 00 00 00 02",
     "00 01 AB CD 00 07 01 03 04 12 34 56 78",
     {.wrongPID = true},
     k1234_5678},
    {"WrongLengthHighByte",
     "00 01 00 00 00 06 01 03 00 00 00 02",
     "00 01 00 00 EF 07 01 03 04 12 34 56 78",
     {.wrongLength = true},
     k1234_5678},
    {"AllHeaderFaults",
     "00 01 00 00 00 06 01 03 00 00 00 02",
     "DE AD AB CD EF 07 01 03 04 12 34 56 78",
     {.wrongTI = true, .wrongPID = true, .wrongLength = true},
     k1234_5678},
    {"ForcedExceptionOnFc6WritesFirst",
     "00 09 00 00 00 06 01 06 00 0A 12 34",
     "00 09 00 00 00 03 01 86 04",
     {.forced = 4},
     {},
     {{10, 0x1234}}},
    {"ForcedExceptionOnFc3", "00 01 00 00 00 06 01 03 00 00 00 02", "00 01 00 00 00 03 01 83 0B", {.forced = 11}},
    {"ForcedExceptionOnBadProtocol",
     "00 01 00 07 00 06 01 03 00 00 00 02",
     "00 01 00 07 00 03 01 83 06",
     {.forced = 6}},
    {"BadProtocolWithoutForcedSendsNothing", "00 01 00 07 00 06 01 03 00 00 00 02", ""},
    {"IllegalAddressBeatsForcedCode",
     "00 01 00 00 00 06 01 03 FF FF 00 02",
     "00 01 00 00 00 03 01 83 02",
     {.forced = 6}},
    {"WrongPidAndLengthNeverShowInException",
     "00 01 00 00 00 02 01 41",
     "00 01 00 00 00 03 01 C1 01",
     {.wrongPID = true, .wrongLength = true}},
};
INSTANTIATE_TEST_SUITE_P(Faults, ReplyTest, testing::ValuesIn(kFaultRows), RowName);

const ReplyCase kWriteRows[] = {
    {"Fc6", "00 06 00 00 00 06 01 06 00 0A 12 34", "00 06 00 00 00 06 01 06 00 0A 12 34", {}, {}, {{10, 0x1234}}},
    {"Fc6WithOffsetWritesNextRegister",
     "00 06 00 00 00 06 01 06 00 0A 12 34",
     "00 06 00 00 00 06 01 06 00 0A 12 34",
     {.offset = true},
     {{10, 0x0AAA}},
     {{10, 0x0AAA}, {11, 0x1234}}},
    {"Fc6At65535WithOffset",
     "00 06 00 00 00 06 01 06 FF FF 12 34",
     "00 06 00 00 00 03 01 86 02",
     {.offset = true},
     {},
     {{0, 0}}},
    {"Fc16",
     "00 10 00 00 00 0B 01 10 00 64 00 02 04 11 11 22 22",
     "00 10 00 00 00 06 01 10 00 64 00 02",
     {},
     {},
     {{100, 0x1111}, {101, 0x2222}}},
    {"Fc16WithOffset",
     "00 10 00 00 00 0B 01 10 00 64 00 02 04 11 11 22 22",
     "00 10 00 00 00 06 01 10 00 64 00 02",
     {.offset = true},
     {{100, 7}},
     {{100, 7}, {101, 0x1111}, {102, 0x2222}}},
    {"Fc16ValuesBeyondFrameAreZero",
     "00 10 00 00 00 09 01 10 00 64 00 03 06 11 11",
     "00 10 00 00 00 06 01 10 00 64 00 03",
     {},
     {{101, 9}, {102, 9}},
     {{100, 0x1111}, {101, 0}, {102, 0}}},
    {"Fc22MaskArithmetic",
     "00 16 00 00 00 08 01 16 00 05 00 F2 00 25",
     "00 16 00 00 00 08 01 16 00 05 00 F2 00 25",
     {},
     {{5, 0x0012}},
     {{5, 0x0017}}},
    {"Fc23WritesBeforeReading",
     "00 17 00 00 00 0F 01 17 00 63 00 04 00 64 00 02 04 AA AA BB BB",
     "00 17 00 00 00 0B 01 17 08 00 99 AA AA BB BB 01 02",
     {},
     {{99, 0x99}, {100, 1}, {101, 1}, {102, 0x102}},
     {{100, 0xAAAA}, {101, 0xBBBB}}},
    {"Fc23WriteRangePastEndWritesNothing",
     "00 17 00 00 00 0F 01 17 00 00 00 01 FF FF 00 02 04 AA AA BB BB",
     "00 17 00 00 00 03 01 97 02",
     {},
     {{0xFFFF, 5}},
     {{0xFFFF, 5}}},
    {"Fc23ReadQuantity127WritesNothing",
     "00 17 00 00 00 0F 01 17 00 00 00 7F 00 64 00 02 04 AA AA BB BB",
     "00 17 00 00 00 03 01 97 03",
     {},
     {{100, 1}},
     {{100, 1}}},
};
INSTANTIATE_TEST_SUITE_P(Write, ReplyTest, testing::ValuesIn(kWriteRows), RowName);

const ReplyCase kFunctionRows[] = {
    {"UnservedCode41", "00 01 00 00 00 02 01 41", "00 01 00 00 00 03 01 C1 01"},
    {"UnservedCode83Wraps", "00 01 00 00 00 02 01 83", "00 01 00 00 00 03 01 03 01"},
    {"DisabledFc7", "00 01 00 00 00 02 01 07", "00 01 00 00 00 03 01 87 01", {.unserved = kFcReadExceptionStatus}},
    {"Fc8Sub0EchoesTwoBytes", "00 08 00 00 00 08 01 08 00 00 AB CD EF 01", "00 08 00 00 00 06 01 08 00 00 AB CD"},
    {"Fc8Sub2", "00 08 00 00 00 06 01 08 00 02 00 00", "00 08 00 00 00 06 01 08 00 02 12 34", {}, {{0xFFFE, 0x1234}}},
    {"Fc8Sub1", "00 08 00 00 00 06 01 08 00 01 00 00", "00 08 00 00 00 03 01 88 01"},
};
INSTANTIATE_TEST_SUITE_P(Functions, ReplyTest, testing::ValuesIn(kFunctionRows), RowName);

class EngineTest : public EngineFixture, public testing::Test {};

TEST_F(EngineTest, LargestReadsFitOneFrame)
{
    store.ascendingHolding();
    ProcessResult r = send("00 01 00 00 00 06 01 03 00 00 00 7E");
    ASSERT_EQ(r.replyLength, kMaxFrameLength);
    EXPECT_EQ(Hex(engine.replyArea(), 11), "00 01 00 00 00 FF 01 03 FC 00 00");
    EXPECT_EQ(Hex(engine.replyArea() + 259, 2), "00 7D");

    r = send("00 02 00 00 00 0B 01 17 00 00 00 7E 00 00 00 00 00");
    ASSERT_EQ(r.replyLength, kMaxFrameLength);
    EXPECT_EQ(Hex(engine.replyArea(), 9), "00 02 00 00 00 FF 01 17 FC");

    r = send("00 03 00 00 00 06 01 03 FF 83 00 7D"); // 65411 + 125 = 65536
    ASSERT_EQ(r.replyLength, 9 + 250);
    EXPECT_EQ(Hex(engine.replyArea() + 257, 2), "FF FF");
    EXPECT_EQ(engine.counters.ExceptionCount, 0u);

    r = send("00 04 00 00 00 06 01 03 00 00 00 7F");
    EXPECT_EQ(reply(r), "00 04 00 00 00 03 01 83 03");
    EXPECT_EQ(r.exceptionCode, 3);
    EXPECT_EQ(engine.counters.ExceptionCount, 1u);
}

TEST_F(EngineTest, Fc8CountersGoOutWithAllBits)
{
    send("00 01 00 00 00 06 01 03 00 00 00 01");
    engine.connection(1).BytesReceived = 500;
    store.setHolding(kDiagnosticRegister, 0x4321);
    ProcessResult r = send("00 02 00 00 00 06 01 08 00 0A 55 66");
    EXPECT_EQ(reply(r), "00 02 00 00 00 06 01 08 00 0A 55 66");
    EXPECT_EQ(store.holding(kDiagnosticRegister), 0);
    EXPECT_EQ(engine.counters.MessageCount, 0u) << "the clear clears its own count too";
    EXPECT_EQ(engine.connection(1).BytesReceived, 0u);
    EXPECT_EQ(engine.connection(1).BytesSent, 12u) << "cleared, then the reply to the clear";

    r = send("00 03 00 00 00 06 01 08 00 0E 00 00");
    EXPECT_EQ(reply(r), "00 03 00 00 00 0C 01 08 00 0E 00 00 00 00 00 00 00 01");
    EXPECT_EQ(r.replyLength, 18);

    engine.counters.ExceptionCount = 0x0102030405060708ull;
    r = send("00 04 00 00 00 06 01 08 00 0D 00 00");
    EXPECT_EQ(reply(r), "00 04 00 00 00 0C 01 08 00 0D 01 02 03 04 05 06 07 08");

    engine.settings.check.setUidSelectorText("9");
    send("00 05 00 00 00 06 01 03 00 00 00 01");
    engine.settings.check.setUidSelectorText("0");
    r = send("00 06 00 00 00 06 01 08 00 0F 00 00");
    EXPECT_EQ(reply(r), "00 06 00 00 00 0C 01 08 00 0F 00 00 00 00 00 00 00 01");
}

TEST_F(EngineTest, DiagnosticAndExceptionStatusRegistersFollowTheInitialisers)
{
    send("00 01 00 00 00 06 01 06 FF FE 12 34");
    EXPECT_EQ(reply(send("00 02 00 00 00 06 01 08 00 02 00 00")), "00 02 00 00 00 06 01 08 00 02 12 34");
    store.ascendingHolding();
    EXPECT_EQ(reply(send("00 03 00 00 00 02 01 07")), "00 03 00 00 00 03 01 07 FF");
    EXPECT_EQ(reply(send("00 04 00 00 00 06 01 08 00 02 00 00")), "00 04 00 00 00 06 01 08 00 02 FF FE");
    store.zeroHolding();
    EXPECT_EQ(reply(send("00 05 00 00 00 02 01 07")), "00 05 00 00 00 03 01 07 00");
}

TEST_F(EngineTest, ExceptionUnderWrongTIKeepsTheReplyAreasTI)
{
    // Built over the reply area, which is never cleared: the TI is whatever the last reply left.
    send("00 05 00 00 00 06 01 03 00 00 00 01");
    engine.settings.WrongTIActive = true;
    EXPECT_EQ(reply(send("00 06 00 00 00 02 01 41")), "00 05 00 00 00 03 01 C1 01");
    send("00 07 00 00 00 06 01 03 00 00 00 01");
    EXPECT_EQ(reply(send("00 08 00 00 00 02 01 41")), "DE AD 00 00 00 03 01 C1 01");
    send("00 AD 00 00 00 06 01 03 00 00 00 01");
    EXPECT_EQ(reply(send("00 09 00 00 00 02 01 41")), "BA BE 00 00 00 03 01 C1 01");
}

TEST_F(EngineTest, LeftoverBytesOfEarlierFramesReadAsZero)
{
    store.setHolding(0, 0x1111);
    store.setHolding(0x20, 0x2222);
    send("00 01 00 00 00 0B 01 10 00 20 00 02 04 AA AA BB BB");
    // A short FC3 frame: its address and quantity are not carried, so nothing is read.
    EXPECT_EQ(reply(send("00 02 00 00 00 03 01 03 00")), "00 02 00 00 00 03 01 03 00");
    // An FC16 frame that names 2 values but carries none writes zeros.
    send("00 03 00 00 00 06 01 10 00 20 00 02");
    EXPECT_EQ(store.holding(0x20), 0);
    EXPECT_EQ(store.holding(0x21), 0);
}

TEST_F(EngineTest, OutOfSynchAnswersOneFrameLate)
{
    const std::string a = "00 0A 00 00 00 06 01 03 00 00 00 01";
    const std::string b = "00 0B 00 00 00 06 01 03 00 00 00 01";
    const std::string c = "00 0C 00 00 00 06 01 03 00 00 00 01";
    const std::string d = "00 0D 00 00 00 06 01 03 00 00 00 01";
    engine.setOutOfSynch(true);
    ProcessResult r = exchange(a);
    EXPECT_FALSE(r.processed);
    EXPECT_FALSE(r.replyStep);
    EXPECT_EQ(engine.counters.MessageCount, 0u);
    r = exchange(b);
    ASSERT_TRUE(r.replyStep);
    EXPECT_EQ(reply(r), "00 0A 00 00 00 05 01 03 02 00 00");
    EXPECT_EQ(Hex(engine.workArea(), r.requestLength), a) << "the logged request is the held-back one";
    EXPECT_EQ(engine.connection(1).PacketSize, 12);
    r = exchange(c);
    EXPECT_EQ(reply(r), "00 0B 00 00 00 05 01 03 02 00 00");
    engine.setOutOfSynch(false);
    EXPECT_EQ(reply(send(d)), "00 0D 00 00 00 05 01 03 02 00 00");
    EXPECT_EQ(engine.counters.MessageCount, 3u) << "C is never answered";

    // Switching on again, and a close, start each connection afresh.
    engine.setOutOfSynch(true);
    engine.connectionAccepted(2, "127.0.0.2", 0);
    EXPECT_FALSE(exchange(a, 1).processed);
    EXPECT_FALSE(exchange(b, 2).processed);
    EXPECT_EQ(reply(exchange(c, 2)), "00 0B 00 00 00 05 01 03 02 00 00");
    engine.connectionClosed(1, true, 0);
    engine.connectionAccepted(1, "127.0.0.3", 0);
    EXPECT_FALSE(exchange(d, 1).processed);
}

TEST_F(EngineTest, UidMismatchCountsButSendsNothing)
{
    engine.settings.check.setUidSelectorText("17");
    send("00 01 00 00 00 06 11 03 00 00 00 01");
    const uint64_t sent = engine.connection(1).BytesSent;
    const ProcessResult r = send("00 02 00 00 00 02 01 41");
    EXPECT_TRUE(r.processed);
    EXPECT_FALSE(r.replyStep);
    EXPECT_EQ(r.outcome.text, "--Illegal function. Illegal UID. ");
    EXPECT_EQ(engine.counters.ExceptionCount, 1u);
    EXPECT_EQ(engine.counters.NoResponseCount, 1u);
    EXPECT_EQ(engine.counters.MessageCount, 2u);
    EXPECT_EQ(engine.connection(1).BytesSent, sent);
    EXPECT_EQ(engine.connection(1).checkText, "--Illegal function. Illegal UID. ");
    EXPECT_TRUE(engine.connection(1).failed);
    EXPECT_TRUE(engine.lastRequestFailed);
    EXPECT_EQ(engine.connection(1).fields().ti, "00 01  (1)") << "fields stay those of the last answered request";
}

TEST_F(EngineTest, NotConnectedChangesNothing)
{
    engine.connectionClosed(1, true, 0);
    const ProcessResult r = send("00 01 00 00 00 06 01 06 00 0A 12 34");
    EXPECT_FALSE(r.processed);
    EXPECT_EQ(engine.counters.MessageCount, 0u);
    EXPECT_EQ(store.holding(10), 0);
    // Connection #2 alone is enough.
    engine.connectionAccepted(2, "10.0.0.2", 0);
    EXPECT_TRUE(send("00 01 00 00 00 06 01 06 00 0A 12 34", 1).processed);
}

TEST_F(EngineTest, RequestResultsPerConnection)
{
    engine.connectionAccepted(2, "10.0.0.2", 0);
    ProcessResult r = send("00 01 00 07 00 06 01 03 00 00 00 01", 2);
    EXPECT_TRUE(r.outcome.headerError);
    EXPECT_EQ(r.replyLength, 0);
    EXPECT_TRUE(r.replyStep) << "the empty reply is still logged";
    EXPECT_TRUE(engine.connection(2).failed);
    EXPECT_EQ(engine.connection(2).checkText, "Bad protocol identifier. ");
    r = send("00 02 00 00 00 06 01 03 00 00 00 01", 1);
    EXPECT_EQ(engine.connection(1).checkText, "Passed");
    EXPECT_FALSE(engine.lastRequestFailed);
    EXPECT_TRUE(engine.connection(2).failed);
    EXPECT_EQ(engine.connection(1).BytesSent, 11u);
    EXPECT_EQ(engine.connection(2).BytesSent, 0u);
}

TEST_F(EngineTest, PollIntervalShowsTheLongerOfTheLastTwoGaps)
{
    engine.connectionAccepted(1, "127.0.0.1", 1000);
    ConnectionState& conn = engine.connection(1);
    const char* fc3 = "00 01 00 00 00 06 01 03 00 00 00 01";
    send(fc3, 1, 1500);
    EXPECT_EQ(conn.ShownInterval, 500u);
    send(fc3, 1, 1600);
    EXPECT_EQ(conn.ShownInterval, 500u);
    send(fc3, 1, 1700);
    EXPECT_EQ(conn.ShownInterval, 100u);
    send(fc3, 1, 50); // the 32-bit clock wrapped
    EXPECT_EQ(conn.ShownInterval, 0xFFFFFFFFu - 1700u + 51u);
    EXPECT_EQ(conn.LastRequestTick, 50u);
}

TEST_F(EngineTest, IdleReleaseOnThe62ndTickAfterTheLastRequest)
{
    for (int tick = 1; tick <= 61; ++tick) {
        ASSERT_FALSE(engine.idleTick(1)) << tick;
    }
    send("00 01 00 00 00 06 01 03 00 00 00 01");
    for (int tick = 1; tick <= 61; ++tick) {
        ASSERT_FALSE(engine.idleTick(1)) << tick;
    }
    EXPECT_TRUE(engine.idleTick(1));
}

TEST_F(EngineTest, FieldTextsAndTheirReset)
{
    send("01 02 00 00 00 06 01 03 00 10 00 02");
    RequestFields f = engine.connection(1).fields();
    EXPECT_EQ(f.ti, "01 02  (258)");
    EXPECT_EQ(f.pid, "00 00");
    EXPECT_EQ(f.length, "00 06  (6)");
    EXPECT_EQ(f.uid, "01     (1)");
    EXPECT_EQ(f.fc, "03     (3)");
    EXPECT_EQ(f.startAddress, "00 10  (16)");
    EXPECT_EQ(f.wordCount, "00 02  (2)");
    engine.settings.check.addressOffset = true;
    send("01 02 00 00 00 06 01 03 00 10 00 02");
    EXPECT_EQ(engine.connection(1).fields().startAddress, "00 10  (17)");
    engine.settings.check.addressOffset = false;
    send("00 01 00 00 00 08 01 16 00 05 12 34 00 25");
    EXPECT_EQ(engine.connection(1).fields().wordCount, "00 01  (1)");

    engine.connection(1).BytesReceived = 99;
    engine.lastRequestFailed = true;
    engine.ResetConnectionStatus(Connections::First, 4242);
    const ConnectionState& conn = engine.connection(1);
    f = conn.fields();
    EXPECT_EQ(f.ti, "00 00  (0)");
    EXPECT_EQ(f.uid, "00     (0)");
    EXPECT_EQ(f.pid, "00 00");
    EXPECT_EQ(f.wordCount, "00 00  (0)");
    EXPECT_EQ(conn.checkText, "--");
    EXPECT_EQ(conn.PeerIP, "--");
    EXPECT_EQ(conn.BytesSent, 0u);
    EXPECT_EQ(conn.BytesReceived, 0u);
    EXPECT_EQ(conn.LastRequestTick, 4242u);
    EXPECT_TRUE(engine.lastRequestFailed) << "only a reset of both clears the failure mark";
    engine.ResetConnectionStatus(Connections::Both, 0);
    EXPECT_FALSE(engine.lastRequestFailed);
}

// The word-count field: a function of one register shows one, whatever bytes 10-11 hold; every
// other frame shows bytes 10-11.
struct WordCountCase {
    const char* name;
    const char* header; // the first 12 bytes of a request
    const char* wordCount;
};

class WordCountField : public testing::TestWithParam<WordCountCase> {};

TEST_P(WordCountField, ShownForTheFunction)
{
    const std::vector<uint8_t> header = Bytes(GetParam().header);
    EXPECT_EQ(FormatRequestFields(header.data(), false).wordCount, GetParam().wordCount);
}

const WordCountCase kWordCountRows[] = {
    {"Fc6OneRegister", "00 01 00 00 00 06 01 06 00 05 12 34", "00 01  (1)"},
    {"Fc22OneRegister", "00 01 00 00 00 08 01 16 00 05 12 34", "00 01  (1)"},
    {"Fc16ItsQuantity", "00 01 00 00 00 09 01 10 00 05 00 02", "00 02  (2)"},
    {"Fc4ItsQuantity", "00 01 00 00 00 06 01 04 00 05 01 02", "01 02  (258)"},
    {"Fc8ItsDataBytes", "00 01 00 00 00 06 01 08 00 00 AB CD", "AB CD  (43981)"},
    {"UnknownCodeBytes10And11", "00 01 00 00 00 06 01 41 00 05 12 34", "12 34  (4660)"},
};
INSTANTIATE_TEST_SUITE_P(Requests, WordCountField, testing::ValuesIn(kWordCountRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvel
