// The traffic log's text: file name, header, packet blocks and the interpretive decoder.
#include "common/frame.h"
#include "log/log_lines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <span>
#include <sstream>

namespace korvel {
namespace {

using ::testing::ElementsAre;

// Fills an area from "00 01 02 ..." text; the rest stays as it was.
void Fill(Area& area, const std::string& hex)
{
    std::istringstream in(hex);
    std::string byte;
    size_t i = 0;
    while (in >> byte) {
        area.at(i++) = static_cast<uint8_t>(std::stoi(byte, nullptr, 16));
    }
}

class Decoder : public ::testing::Test {
  protected:
    std::vector<std::string> request(const std::string& hex)
    {
        Fill(work, hex);
        return WriteInterpretation(true, source());
    }
    std::vector<std::string> reply(const std::string& requestHex, const std::string& replyHex)
    {
        Fill(work, requestHex);
        Fill(replyArea, replyHex);
        return WriteInterpretation(false, source());
    }
    DecodeSource source() { return DecodeSource{work, replyArea, offset, &store}; }

    RegisterStore store;
    Area work{};
    Area replyArea{};
    bool offset = false;
};

TEST_F(Decoder, ReadRequestsListRegistersWithTrailingBlank)
{
    EXPECT_THAT(
        request("00 01 00 00 00 06 07 03 00 0A 00 03"),
        ElementsAre("", "Read holding registers", "Reference: 10. Word count: 3. UID: 7", "Register(s): 10 11 12 "));
    EXPECT_THAT(
        request("00 01 00 00 00 06 01 04 FF FF 00 01"),
        ElementsAre("", "Read input registers", "Reference: 65535. Word count: 1. UID: 1", "Register(s): 65535 "));
}

TEST_F(Decoder, QuantityOf256ReadsAsZeroWords)
{
    EXPECT_THAT(request("00 01 00 00 00 06 01 03 00 00 01 00"),
                ElementsAre("", "Read holding registers", "Reference: 0. Word count: 0. UID: 1", "Register(s): "));
    store.setHolding(0, 5);
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 00 01 00", "00 01 00 00 00 03 01 03 00"),
                ElementsAre("", "Register : Value"));
}

TEST_F(Decoder, ReadRepliesTakeValuesFromTheStoreNotTheReplyBytes)
{
    store.setHolding(5, 1234);
    store.setHolding(6, 65535);
    store.setInput(5, 7);
    // The reply bytes say otherwise; the decoder reads the store.
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 05 00 02", "00 01 00 00 00 07 01 03 04 00 00 00 00"),
                ElementsAre("", "Register : Value", "5 : 1234", "6 : 65535"));
    EXPECT_THAT(reply("00 01 00 00 00 06 01 04 00 05 00 01", "00 01 00 00 00 05 01 04 02 00 00"),
                ElementsAre("", "Register : Value", "5 : 7"));
}

TEST_F(Decoder, AddressOffsetShiftsReferencesAndValues)
{
    offset = true;
    store.setHolding(100, 11);
    store.setHolding(101, 22);
    EXPECT_THAT(
        request("00 01 00 00 00 06 01 03 00 63 00 02"),
        ElementsAre("", "Read holding registers", "Reference: 100. Word count: 2. UID: 1", "Register(s): 100 101 "));
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 63 00 02", "00 01 00 00 00 07 01 03 04 00 0B 00 16"),
                ElementsAre("", "Register : Value", "100 : 11", "101 : 22"));
    EXPECT_THAT(request("00 01 00 00 00 06 01 06 00 09 12 34"),
                ElementsAre("", "Write single register", "Reference: 10. UID: 1", "10 <- 4660"));
    // FC16's reply reference comes from the reply bytes plus the offset.
    EXPECT_THAT(reply("00 01 00 00 00 0B 01 10 00 09 00 02 04 00 01 00 02", "00 01 00 00 00 06 01 10 00 09 00 02"),
                ElementsAre("", "Reference: 10  Word count: 2"));
    EXPECT_THAT(request("00 01 00 00 00 11 01 17 00 09 00 01 00 13 00 01 02 00 05"),
                ElementsAre("", "Read/write (holding) registers. UID: 1", "Read reference: 10. Write reference: 20",
                            "Registers to read: 10 ", "", "Write: Register <- Value:", "20 <- 5"));
}

TEST_F(Decoder, OffsetAtTheLastAddressNeverReadsPastTheTable)
{
    offset = true;
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 FF FF 00 02", "00 01 00 00 00 07 01 03 04 00 00 00 00"),
                ElementsAre("", "Register : Value", "65536 : --", "65537 : --"));
}

TEST_F(Decoder, WriteRequestsAndReplies)
{
    EXPECT_THAT(
        request("00 01 00 00 00 0B 01 10 00 02 00 02 04 00 01 FF FF"),
        ElementsAre("", "Write holding registers", "Reference: 2. Word count: 2. UID: 1", "2 <- 1", "3 <- 65535"));
    // The reply's word count is byte 11, its reference bytes 8-9; no unit identifier.
    EXPECT_THAT(reply("00 01 00 00 00 0B 01 10 00 02 00 02 04 00 01 FF FF", "00 01 00 00 00 06 01 10 00 07 01 09"),
                ElementsAre("", "Reference: 7  Word count: 9"));
    EXPECT_THAT(reply("00 01 00 00 00 06 01 06 00 04 00 2A", "00 01 00 00 00 06 01 06 00 04 00 2B"),
                ElementsAre("", "Reference: 4  Value: 43"));
}

TEST_F(Decoder, MaskWriteHasTheTrailingHOnlyOnTheReply)
{
    const std::string req = "00 01 00 00 00 08 05 16 00 04 00 F2 00 25";
    EXPECT_THAT(request(req),
                ElementsAre("", "Mask write register from UID 5", "Reference: 4  AND: 0x00F2  OR: 0x0025"));
    EXPECT_THAT(reply(req, "00 01 00 00 00 08 05 16 00 04 00 F2 00 25"),
                ElementsAre("", "Reference: 4  AND: 0x00F2  OR: 0x0025h"));
}

TEST_F(Decoder, ExceptionStatus)
{
    EXPECT_THAT(request("00 01 00 00 00 02 09 07"), ElementsAre("", "Read exception status", "UID: 9"));
    EXPECT_THAT(reply("00 01 00 00 00 02 09 07", "00 01 00 00 00 03 09 07 AB"),
                ElementsAre("", "Exception status returned: 0xAB (171)"));
}

TEST_F(Decoder, DiagnosticsNamesTheKnownSubFunctions)
{
    const std::pair<const char*, const char*> rows[] = {
        {"00", "Sub-function 0, \"Return Query Data\""},
        {"02", "Sub-function 2, \"Return Diagnostic Register\""},
        {"0A", "Sub-function 10, \"Clear Counters and Diagnostic Register\""},
        {"0D", "Sub-function 13, \"Return Bus Exception Error Count\""},
        {"0E", "Sub-function 14, \"Return Slave Message Count\""},
        {"0F", "Sub-function 15, \"Return Slave No Response Count\""},
        {"04", "Sub-function 4"},
    };
    for (const auto& [sub, line] : rows) {
        EXPECT_THAT(request(std::string("00 01 00 00 00 06 03 08 00 ") + sub + " A5 37"),
                    ElementsAre("", "Diagnostics function from UID 3", line, "Data: A5 37"))
            << sub;
    }
}

TEST_F(Decoder, DiagnosticsReplyListsDataUpToTheFrameEnd)
{
    const std::string req = "00 01 00 00 00 06 01 08 00 0E 00 00";
    EXPECT_THAT(reply(req, "00 01 00 00 00 0C 01 08 00 0E 00 00 00 00 00 00 00 2A"),
                ElementsAre("", "Diagnostics, sub-function 14", "Data: 00 00 00 00 00 00 00 2A "));
    EXPECT_THAT(reply(req, "00 01 00 00 00 06 01 08 00 00 12 34"),
                ElementsAre("", "Diagnostics, sub-function 0", "Data: 12 34 "));
    // A length low byte of 5 covers byte 10 alone; below 5 no data byte is listed.
    EXPECT_THAT(reply(req, "00 01 00 00 00 05 01 08 00 00 12 34"),
                ElementsAre("", "Diagnostics, sub-function 0", "Data: 12 "));
    EXPECT_THAT(reply(req, "00 01 00 00 00 04 01 08 00 00 12 34"),
                ElementsAre("", "Diagnostics, sub-function 0", "Data: "));
}

TEST_F(Decoder, ReadWriteRequestAndReply)
{
    store.setHolding(99, 1);
    store.setHolding(100, 0x10);
    const std::string req = "00 01 00 00 00 0F 01 17 00 63 00 02 00 64 00 02 04 00 10 00 20";
    EXPECT_THAT(request(req),
                ElementsAre("", "Read/write (holding) registers. UID: 1", "Read reference: 99. Write reference: 100",
                            "Registers to read: 99 100 ", "", "Write: Register <- Value:", "100 <- 16", "101 <- 32"));
    EXPECT_THAT(reply(req, "00 01 00 00 00 07 01 17 04 00 01 00 10"),
                ElementsAre("", "Read: Register : Value", "99 : 1", "100 : 16"));
}

TEST_F(Decoder, ExceptionRepliesByFunctionByteAbove120)
{
    const std::pair<int, const char*> rows[] = {
        {1, "Exception 1, Illegal function"},
        {2, "Exception 2, Illegal data address"},
        {3, "Exception 3, Illegal Data Value"},
        {4, "Exception 4, Slave Device Failure"},
        {5, "Exception 5, Acknowledge"},
        {6, "Exception 6, Slave Device Busy"},
        {7, "Exception 7, Negative Acknowledge"},
        {8, "Exception 8, Memory Parity Error"},
        {10, "Exception 10, Gateway Path Unavailable"},
        {11, "Exception 11, Gateway Target Device Failed to Respond"},
    };
    for (const auto& [code, line] : rows) {
        replyArea[8] = static_cast<uint8_t>(code);
        EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 00 00 01", "00 01 00 00 00 03 01 83"), ElementsAre("", line));
    }
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 00 00 01", "00 01 00 00 00 03 01 83 09"), ElementsAre(""));
    // 0x79 is above 120: an exception reply although no exception bit is set.
    EXPECT_THAT(reply("00 01 00 00 00 06 01 03 00 00 00 01", "00 01 00 00 00 03 01 79 02"),
                ElementsAre("", "Exception 2, Illegal data address"));
    // 0x78 is not: the request's function code decides.
    EXPECT_THAT(reply("00 01 00 00 00 06 01 06 00 00 00 01", "00 01 00 00 00 06 01 78 00 00 00 01"),
                ElementsAre("", "Reference: 0  Value: 1"));
}

TEST_F(Decoder, UnservedFunctionCodeWritesOnlyTheEmptyLine)
{
    EXPECT_THAT(request("00 01 00 00 00 06 01 01 00 00 00 01"), ElementsAre(""));
    EXPECT_THAT(reply("00 01 00 00 00 06 01 01 00 00 00 01", "00 01 00 00 00 03 01 81 01"),
                ElementsAre("", "Exception 1, Illegal function"));
}

TEST_F(Decoder, LongWriteListsStopAtTheEndOfTheWorkArea)
{
    // FC16 and FC23 with 255 words announce more values than the 513-byte area holds.
    Fill(work, "00 01 00 00 00 FF 01 10 00 00 00 FF FE");
    auto lines = WriteInterpretation(true, source());
    ASSERT_EQ(lines.size(), 3u + 250u); // bytes 13..512 hold 250 words
    EXPECT_EQ(lines.back(), "249 <- 0");
    Fill(work, "00 01 00 00 00 FF 01 17 00 00 00 01 00 00 00 FF FE");
    lines = WriteInterpretation(true, source());
    EXPECT_EQ(lines.size(), 6u + 248u); // bytes 17..512 hold 248 words
}

// A frame in an area whose bytes behind it are EE: the decoder is handed the frame alone and
// must show nothing of what follows it. Fields the frame lacks read as 0, as the server executed
// them (the frames the server serves so are in server/logged_decoding_test).
struct FrameEndCase {
    const char* name;
    const char* request;
    const char* reply; // nullptr: the request is decoded
    std::vector<std::string> lines;
};

class FrameEnd : public ::testing::TestWithParam<FrameEndCase> {
  protected:
    static std::span<const uint8_t> Put(Area& area, const char* hex)
    {
        area.fill(0xEE);
        const std::string text = hex == nullptr ? "" : hex;
        Fill(area, text);
        return std::span<const uint8_t>(area).first((text.size() + 1) / 3);
    }
    Area requestArea{};
    Area replyArea{};
    RegisterStore store;
};

TEST_P(FrameEnd, DecodingStopsAtTheFrame)
{
    const FrameEndCase& row = GetParam();
    const DecodeSource source{Put(requestArea, row.request), Put(replyArea, row.reply), false, &store};
    EXPECT_EQ(WriteInterpretation(row.reply == nullptr, source), row.lines);
}

const FrameEndCase kFrameEndRows[] = {
    {"Fc16ValueCutInHalf",
     "00 01 00 00 00 0A 01 10 00 00 00 02 04 12 34 56",
     nullptr,
     {"", "Write holding registers", "Reference: 0. Word count: 2. UID: 1", "0 <- 4660", "1 <- 22016"}},
    {"Fc23WriteRangePastTheFrame",
     "00 01 00 00 00 08 01 17 00 00 00 01",
     nullptr,
     {"", "Read/write (holding) registers. UID: 1", "Read reference: 0. Write reference: 0", "Registers to read: 0 ",
      "", "Write: Register <- Value:"}},
    {"FrameWithoutFunctionCode", "00 01 00 00 00 01 01", nullptr, {""}},
    // The length byte promises six more data bytes than the reply has.
    {"Fc8ReplyShorterThanItsLength",
     "00 01 00 00 00 06 01 08 00 00 12 34",
     "00 01 00 00 00 0C 01 08 00 00 12 34",
     {"", "Diagnostics, sub-function 0", "Data: 12 34 "}},
    {"ExceptionReplyWithoutItsCode", "00 01 00 00 00 06 01 03 00 00 00 01", "00 01 00 00 00 03 01 83", {""}},
    {"Fc6EchoWithoutItsValue",
     "00 01 00 00 00 06 01 06 00 04 00 2A",
     "00 01 00 00 00 06 01 06 00 04",
     {"", "Reference: 4  Value: 0"}},
    {"Fc22EchoWithoutItsOrMask",
     "00 01 00 00 00 08 01 16 00 04 00 F2 00 25",
     "00 01 00 00 00 06 01 16 00 04 00 F2",
     {"", "Reference: 4  AND: 0x00F2  OR: 0x0000h"}},
    {"Fc16EchoWithoutItsQuantity",
     "00 01 00 00 00 09 01 10 00 07 00 01 02 00 01",
     "00 01 00 00 00 04 01 10 00 07",
     {"", "Reference: 7  Word count: 0"}},
    {"Fc7ReplyWithoutItsStatus",
     "00 01 00 00 00 02 01 07",
     "00 01 00 00 00 02 01 07",
     {"", "Exception status returned: 0x00 (0)"}},
};

INSTANTIATE_TEST_SUITE_P(Frames, FrameEnd, ::testing::ValuesIn(kFrameEndRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameEndPacket, HexLineStopsAtTheFrame)
{
    Area area;
    area.fill(0xEE);
    area[0] = 0x12;
    area[1] = 0x34;
    LogPacketInput in;
    in.count = 20; // more than the request has
    in.source = DecodeSource{std::span<const uint8_t>(area).first(2), {}, false, nullptr};
    LogCounters counters;
    std::string out;
    AppendPacketLines(counters, in, 0, out);
    EXPECT_EQ(out, "\r\n\r\n#1  0 ms  Connection: 1\r\nQuery: \r\n12 34 \r\n");
}

TEST(LogText, FileNameHeaderAndTime)
{
    EXPECT_EQ(LogTimeText(14, 5, 9, 7), "14_05_09_007");
    EXPECT_EQ(LogTimeText(0, 0, 0, 999), "00_00_00_999");
    EXPECT_EQ(LogFileName("127.0.0.1", "--", "14_05_09_007"), "Korvel 127.0.0.1 --  14_05_09_007.log");
    EXPECT_EQ(LogFileName("--", "10.0.0.2", "01_02_03_004"), "Korvel -- 10.0.0.2  01_02_03_004.log");
    EXPECT_EQ(LogHeaderLine("09/12/2026", "14:05:09", "192.168.1.5", "bench", "127.0.0.1", "--", 1502),
              "09/12/2026 14:05:09 - - Local 192.168.1.5 (bench) connected to 127.0.0.1 (#1) and -- (#2) via port "
              "1502");
}

class PacketBlock : public ::testing::Test {
  protected:
    std::string log(bool isQuery, int count, bool hasErrors, int connection, uint32_t tick,
                    std::string_view checkText = "Passed")
    {
        LogPacketInput in;
        in.isQuery = isQuery;
        in.count = count;
        in.hasErrors = hasErrors;
        in.connection = connection;
        in.checkText = checkText;
        in.interpretive = interpretive;
        in.source = DecodeSource{work, reply, false, &store};
        std::string out;
        AppendPacketLines(counters, in, tick, out);
        return out;
    }
    RegisterStore store;
    Area work{};
    Area reply{};
    LogCounters counters;
    bool interpretive = false;
};

TEST_F(PacketBlock, ExchangeWithoutDecoding)
{
    Fill(work, "00 01 00 00 00 06 01 03 00 00 00 02");
    Fill(reply, "00 01 00 00 00 07 01 03 04 00 00 00 00");
    EXPECT_EQ(log(true, 12, false, 1, 5000) + log(false, 13, false, 1, 5001),
              "\r\n\r\n#1  0 ms  Connection: 1\r\nQuery: \r\n00 01 00 00 00 06 01 03 00 00 00 02 \r\n"
              "Reply: \r\n00 01 00 00 00 07 01 03 04 00 00 00 00 \r\n");
    // The next request counts on from the first one's tick, also across the 32-bit wrap.
    counters.LogStartTick = 0xFFFFFF00u;
    EXPECT_EQ(log(true, 2, false, 2, 0x00000100u), "\r\n\r\n#2  512 ms  Connection: 2\r\nQuery: \r\n00 01 \r\n");
}

TEST_F(PacketBlock, ExchangeWithDecoding)
{
    interpretive = true;
    Fill(work, "00 01 00 00 00 06 01 03 00 00 00 02");
    Fill(reply, "00 01 00 00 00 07 01 03 04 00 00 00 00");
    EXPECT_EQ(log(true, 12, false, 1, 77) + log(false, 13, false, 1, 78),
              "\r\n\r\n#1  0 ms  Connection: 1\r\nQuery: \r\n00 01 00 00 00 06 01 03 00 00 00 02 \r\n"
              "\r\nRead holding registers\r\nReference: 0. Word count: 2. UID: 1\r\nRegister(s): 0 1 \r\n\r\n"
              "Reply: \r\n00 01 00 00 00 07 01 03 04 00 00 00 00 \r\n"
              "\r\nRegister : Value\r\n0 : 0\r\n1 : 0\r\n\r\n");
}

TEST_F(PacketBlock, HeaderErrorWritesTheErrorLineAndNoDecoding)
{
    interpretive = true;
    Fill(work, "00 01 00 01 00 06 01 03 00 00 00 02");
    EXPECT_EQ(log(true, 12, true, 1, 10, "Bad protocol identifier. "),
              "Connection #1, packet error(s): Bad protocol identifier. \r\n\r\n\r\n#1  0 ms  Connection: 1\r\n"
              "Query: \r\n00 01 00 01 00 06 01 03 00 00 00 02 \r\n");
    EXPECT_EQ(
        log(true, 1, true, 2, 10, "--Illegal UID. "),
        "Connection #2, packet error(s): --Illegal UID. \r\n\r\n\r\n#2  0 ms  Connection: 2\r\nQuery: \r\n00 \r\n");
    // Another connection number writes no error line.
    EXPECT_EQ(log(true, 0, true, 3, 10), "\r\n\r\n#3  0 ms  Connection: 3\r\nQuery: \r\n\r\n");
}

TEST_F(PacketBlock, ZeroLengthReplyAndOversizedCounts)
{
    EXPECT_EQ(log(false, 0, false, 1, 1), "Reply: \r\n\r\n");
    // Nothing was sent, so nothing is decoded, whatever the stale reply area holds.
    interpretive = true;
    Fill(work, "00 01 00 00 00 06 01 03 00 00 00 02");
    Fill(reply, "00 01 00 00 00 03 01 83 02");
    EXPECT_EQ(log(false, 0, false, 1, 1), "Reply: \r\n\r\n");
    interpretive = false;
    const std::string all = log(false, 100000, false, 1, 1);
    EXPECT_EQ(all.size(), std::string("Reply: \r\n").size() + 3u * kAreaSize + 2u);
    EXPECT_EQ(log(false, -4, false, 1, 1), "Reply: \r\n\r\n");
}

} // namespace
} // namespace korvel
