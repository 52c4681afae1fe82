// The scanner's start checks, request bytes, reply reading, result lines and summary, and whole
// scans driven through ScanSession the way the window drives it (timer ticks and reply frames).
#include "master/scanner_rules.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Bytes;
using testing_hex::Hex;

// --- Start checks ---------------------------------------------------------------------------

struct StartCase {
    const char* name;
    ScanStartFields fields;
    const char* message; // nullptr: the scan starts
    ScanField field = ScanField::None;
    bool selectText = true;
};

class StartCheckTest : public testing::TestWithParam<StartCase> {};

TEST_P(StartCheckTest, FirstFailingCheckWins)
{
    const StartCase& row = GetParam();
    const ScanStartCheck check = CheckScanStart(row.fields);
    if (row.message == nullptr) {
        EXPECT_TRUE(check.ok()) << check.message;
        return;
    }
    ASSERT_FALSE(check.ok());
    EXPECT_STREQ(check.message, row.message);
    EXPECT_EQ(check.field, row.field);
    EXPECT_EQ(check.selectText, row.selectText);
}

const StartCase kStartRows[] = {
    {"Defaults", {"1", "1", "100"}, nullptr},
    {"FullRange", {"0", "65535", "50"}, nullptr},
    {"LeadingZeros", {"00", "007", "0100"}, nullptr},
    // Each check, and that it comes before every later one.
    {"FromEmpty", {"", "x", "y"}, kScanCheckStartingValue, ScanField::From},
    {"ToNotInteger", {"1", "1.5", "y"}, kScanCheckEndValue, ScanField::To},
    {"TimeoutEmpty", {"9", "1", ""}, kScanCheckTimeoutValue, ScanField::Timeout},
    {"FromAboveTo", {"70000", "5", "10"}, kScanCheckStartAboveEnd, ScanField::To, false},
    {"FromAbove65535", {"65536", "70000", "10"}, kScanCheckStartTooHigh, ScanField::From},
    {"ToAbove65535", {"1", "65536", "10"}, kScanCheckEndTooHigh, ScanField::To},
    {"FromNegative", {"-1", "-1", "10"}, kScanCheckStartNegative, ScanField::From},
    // A negative end is always caught earlier: by start > end or by the negative start.
    {"BothNegative", {"-3", "-2", "10"}, kScanCheckStartNegative, ScanField::From},
    {"ToNegativeOnly", {"0", "-2", "10"}, kScanCheckStartAboveEnd, ScanField::To, false},
    {"TimeoutBelow50", {"0", "0", "49", true}, kScanCheckTimeoutTooLow, ScanField::Timeout},
    {"OffsetWithFrom0", {"0", "3", "50", true}, kScanCheckStartBelowOne, ScanField::From},
    {"OffsetWithFrom00", {"00", "3", "50", true}, kScanCheckStartBelowOne, ScanField::From},
    {"OffsetWithFrom1", {"1", "3", "50", true}, nullptr},
};
INSTANTIATE_TEST_SUITE_P(Scanner, StartCheckTest, testing::ValuesIn(kStartRows),
                         [](const testing::TestParamInfo<StartCase>& info) { return info.param.name; });

TEST(ScanFields, TimeoutFieldAcceptsOnly50To10000)
{
    struct Row {
        const char* text;
        bool accepted;
        int timeout;
    };
    const Row rows[] = {{"30", false, 100},    {"50", true, 50},    {"10000", true, 10000},
                        {"10001", false, 100}, {"", false, 100},    {"abc", false, 100},
                        {"0250", true, 250},   {"-60", false, 100}, {"49", false, 100}};
    for (const Row& row : rows) {
        const ScanTimeoutField result = ScanTimeoutFieldLeft(row.text);
        EXPECT_EQ(result.message == nullptr, row.accepted) << row.text;
        EXPECT_EQ(result.timeout, row.timeout) << row.text;
        if (!row.accepted) {
            EXPECT_STREQ(result.message, "Range is 50 - 10000 ms");
            EXPECT_EQ(result.fieldText, "100");
        }
    }
}

TEST(ScanFields, ToFollowsFromArrowsOnlyWhenBelow)
{
    EXPECT_EQ(ScanToTextAfterFromArrows("6", "5"), "6");
    EXPECT_EQ(ScanToTextAfterFromArrows("5", "5"), "5");
    EXPECT_EQ(ScanToTextAfterFromArrows("4", "0005"), "0005");
    EXPECT_EQ(ScanToTextAfterFromArrows("65535", "1"), "65535");
    EXPECT_EQ(ScanToTextAfterFromArrows("7", ""), ""); // nothing to compare with
}

// --- Request bytes --------------------------------------------------------------------------

struct RequestCase {
    const char* name;
    int address;
    uint8_t uid;
    bool holding;
    bool offset;
    const char* request;
};

class ScanRequestTest : public testing::TestWithParam<RequestCase> {};

TEST_P(ScanRequestTest, ByteExact)
{
    const RequestCase& row = GetParam();
    const auto request = ScanRequest(row.address, row.uid, row.holding, row.offset);
    EXPECT_EQ(Hex(request.data(), static_cast<int>(request.size())), row.request);
}

const RequestCase kRequestRows[] = {
    {"Holding1", 1, 0, true, false, "00 01 00 00 00 06 00 03 00 01 00 01"},
    {"Input1Uid255", 1, 255, false, false, "00 01 00 00 00 06 FF 04 00 01 00 01"},
    // The transaction identifier keeps the address as entered; only the register address moves.
    {"OffsetKeepsTi", 1, 1, true, true, "00 01 00 00 00 06 01 03 00 00 00 01"},
    {"Offset65535", 65535, 17, false, true, "FF FF 00 00 00 06 11 04 FF FE 00 01"},
    {"Address4660", 0x1234, 2, true, false, "12 34 00 00 00 06 02 03 12 34 00 01"},
};
INSTANTIATE_TEST_SUITE_P(Scanner, ScanRequestTest, testing::ValuesIn(kRequestRows),
                         [](const testing::TestParamInfo<RequestCase>& info) { return info.param.name; });

// --- Looking at what arrived ----------------------------------------------------------------

struct PeekCase {
    const char* name;
    const char* bytes;
    int errorCode;
    ScanPeekKind kind;
    int length = 0;
};

class ScanPeekTest : public testing::TestWithParam<PeekCase> {};

TEST_P(ScanPeekTest, Decides)
{
    const PeekCase& row = GetParam();
    const std::vector<uint8_t> bytes = Bytes(row.bytes);
    const int peeked = row.errorCode != 0 ? -1 : static_cast<int>(bytes.size());
    const ScanPeek peek = ExamineScanReply(bytes.data(), peeked, row.errorCode);
    EXPECT_EQ(peek.kind, row.kind);
    EXPECT_EQ(peek.length, row.length);
    if (row.kind == ScanPeekKind::SocketError) {
        EXPECT_EQ(ScanSocketErrorText(peek.errorCode), "Socket error, code: " + std::to_string(row.errorCode));
    }
}

const PeekCase kPeekRows[] = {
    {"WholeReply", "00 01 00 00 00 05 00 03 02 04 D2", 0, ScanPeekKind::Frame, 11},
    {"OnlyTheFirstFrameIsTaken", "00 01 00 00 00 05 00 03 02 04 D2 00 02 00 00 00 05 00 03 02 00 01", 0,
     ScanPeekKind::Frame, 11},
    {"HalfReply", "00 01 00 00 00 05 00 03 02", 0, ScanPeekKind::Wait},
    {"Nothing", "", 0, ScanPeekKind::Wait},
    {"ProtocolId1", "00 01 00 01 00 05 00 03 02 04 D2", 0, ScanPeekKind::Invalid},
    {"Length256", "00 01 00 00 01 00 00 03", 0, ScanPeekKind::Invalid},
    // Bytes 2-4 are judged as soon as they are there, before the reply is whole.
    {"BadPidInThreeBytes", "00 01 07", 0, ScanPeekKind::Invalid},
    {"ResetByPeer", "", 10054, ScanPeekKind::SocketError},
    {"WouldBlockIsNoError", "", 10035, ScanPeekKind::Wait},
};
INSTANTIATE_TEST_SUITE_P(Scanner, ScanPeekTest, testing::ValuesIn(kPeekRows),
                         [](const testing::TestParamInfo<PeekCase>& info) { return info.param.name; });

// --- Result lines ---------------------------------------------------------------------------

struct LineCase {
    const char* name;
    const char* reply;
    const char* line; // "" = no line
    bool listFailedOnly = false;
};

class ScanLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ScanLineTest, ReplyGivesLine)
{
    const LineCase& row = GetParam();
    const std::vector<uint8_t> frame = Bytes(row.reply);
    ScanSession session;
    ScanSettings settings{.to = 65535, .listFailedOnly = row.listFailedOnly};
    session.start(0, 65535, 0, settings);
    const ScanReplyStep step = session.reply(frame.data(), static_cast<int>(frame.size()), 0, settings);
    EXPECT_EQ(step.line, row.line);
    EXPECT_EQ(step.widenList, std::string(row.line).find("value") == std::string::npos && *row.line != '\0');
}

const LineCase kLineRows[] = {
    {"Value1234", "00 01 00 00 00 05 01 03 02 04 D2", "Register 1, value: 1234, Poll: OK"},
    {"InputValueUnsigned", "FF FF 00 00 00 05 01 04 02 FF FF", "Register 65535, value: 65535, Poll: OK"},
    {"ValueNotListedWhenFailedOnly", "00 01 00 00 00 05 01 03 02 04 D2", "", true},
    {"Exception2OnRegister7", "00 07 00 00 00 03 01 83 02", "Register 7, Illegal data address"},
    {"ExceptionListedWhenFailedOnly", "00 07 00 00 00 03 01 84 02", "Register 7, Illegal data address", true},
    {"Exception9", "00 08 00 00 00 03 01 83 09", "Register 8, Unknown exception received"},
    {"OtherFunction", "00 01 00 00 00 05 01 06 02 04 D2", ""},
    {"OtherException", "00 01 00 00 00 03 01 86 02", ""},
    // Too short for what the function code promises: nothing is read past the frame's end.
    {"ValueReplyWithoutValue", "00 01 00 00 00 03 01 03 00", ""},
    {"ExceptionWithoutCode", "00 01 00 00 00 02 01 83", ""},
    {"NoFunctionCode", "00 01 00 00 00 01 01", ""},
};
INSTANTIATE_TEST_SUITE_P(Scanner, ScanLineTest, testing::ValuesIn(kLineRows),
                         [](const testing::TestParamInfo<LineCase>& info) { return info.param.name; });

TEST(ScanTexts, EveryExceptionCodeHasItsText)
{
    const char* expected[] = {
        "Unknown exception received", "Illegal function",         "Illegal data address",
        "Illegal data value",         "Slave device failure",     "Acknowledge",
        "Slave device busy",          "Negative acknowledge",     "Memory parity error",
        "Unknown exception received", "Gateway path unavailable", "Gateway target device failed to respond",
        "Unknown exception received"};
    for (int code = 0; code <= 12; ++code) {
        EXPECT_EQ(ScanExceptionText(static_cast<uint8_t>(code)), expected[code]) << code;
    }
    EXPECT_EQ(ScanExceptionText(255), "Unknown exception received");
}

TEST(ScanTexts, StatusAndLabel)
{
    EXPECT_EQ(ScanningStatusText(10, true), "Scanning 10 holding registers..");
    EXPECT_EQ(ScanningStatusText(65536, false), "Scanning 65536 input registers..");
}

TEST(ScanTexts, SummaryInItsThreeFormats)
{
    EXPECT_EQ(ScanSummaryText(10, 312, 9, 1),
              "10 registers scanned, total duration 312 ms. 9 times succeeded, 1 times failed.");
    EXPECT_EQ(ScanSummaryText(3, 1000, 0, 3), "3 registers scanned, total duration 1s 0ms. 0 times succeeded, 3 "
                                              "times failed.");
    EXPECT_EQ(ScanSummaryText(3, 59999, 0, 3),
              "3 registers scanned, total duration 59s 999ms. 0 times succeeded, 3 times failed.");
    EXPECT_EQ(ScanSummaryText(500, 65020, 480, 20),
              "500 registers scanned, total duration 1m 5s 20ms. 480 times succeeded, 20 times failed.");
    EXPECT_EQ(ScanSummaryText(65536, 3 * 3600000 + 7, 65536, 0),
              "65536 registers scanned, total duration 180m 0s 7ms. 65536 times succeeded, 0 times failed.");
}

// --- Whole scans ----------------------------------------------------------------------------

// Drives a session like the window: the sent requests, the listed lines and the status line.
class ScanDriver {
  public:
    explicit ScanDriver(ScanSettings s) : settings(s) {}

    void start(int from, uint32_t now) { handle(session.start(from, settings.to, now, settings)); }
    void timeout(uint32_t now) { handle(session.pollStep(true, now, settings)); }
    void reply(const std::string& hex, uint32_t now)
    {
        const std::vector<uint8_t> frame = Bytes(hex);
        const ScanReplyStep step = session.reply(frame.data(), static_cast<int>(frame.size()), now, settings);
        if (!step.line.empty()) {
            lines.push_back(step.line);
        }
        if (step.copy) {
            copies.push_back((step.copyToHolding ? "H" : "I") + std::to_string(step.registerNumber) + "=" +
                             std::to_string(step.value));
        }
        handle(step.next);
    }
    void stop()
    {
        if (session.stopClearsStatus()) {
            status.clear();
        }
        session.stop();
    }

    ScanSettings settings;
    ScanSession session;
    std::vector<std::string> sent;
    std::vector<std::string> lines;
    std::vector<std::string> copies; // "H1=1234": holding register 1 takes 1234
    std::string status = "Scanning..";
    int progress = -1;

  private:
    void handle(const ScanPollStep& step)
    {
        if (!step.timeoutLine.empty()) {
            lines.push_back(step.timeoutLine);
        }
        if (step.send) {
            sent.push_back(Hex(step.request.data(), kScanRequestLength));
        }
        if (step.ran) {
            progress = step.progress;
        }
        if (step.completed) {
            status = step.summary;
            stop();
        }
    }
};

TEST(ScanSessionFlow, OneRegisterWithValue1234)
{
    ScanDriver scan({.to = 1, .uid = 1, .copyValue = true});
    scan.start(1, 1000);
    ASSERT_EQ(scan.sent, std::vector<std::string>{"00 01 00 00 00 06 01 03 00 01 00 01"});
    EXPECT_EQ(scan.progress, 1);
    scan.reply("00 01 00 00 00 05 01 03 02 04 D2", 1040);
    EXPECT_EQ(scan.lines, std::vector<std::string>{"Register 1, value: 1234, Poll: OK"});
    EXPECT_EQ(scan.copies, std::vector<std::string>{"H1=1234"});
    EXPECT_EQ(scan.status, "1 registers scanned, total duration 40 ms. 1 times succeeded, 0 times failed.");
    EXPECT_FALSE(scan.session.scanRunning());
    EXPECT_EQ(scan.sent.size(), 1u);
}

TEST(ScanSessionFlow, OffsetMovesOnlyTheRegisterAddress)
{
    ScanDriver scan({.to = 2, .holding = false, .useOffset = true, .copyValue = true});
    scan.start(1, 0);
    scan.reply("00 01 00 00 00 05 00 04 02 00 2A", 5);
    EXPECT_EQ(scan.sent,
              (std::vector<std::string>{"00 01 00 00 00 06 00 04 00 00 00 01", "00 02 00 00 00 06 00 04 00 01 00 01"}));
    EXPECT_EQ(scan.lines, std::vector<std::string>{"Register 1, value: 42, Poll: OK"});
    EXPECT_EQ(scan.copies, std::vector<std::string>{"I1=42"}); // the register as entered
}

TEST(ScanSessionFlow, FailedOnlyListsNoSuccessButCountsIt)
{
    ScanDriver scan({.to = 7, .holding = false, .listFailedOnly = true, .copyValue = true});
    scan.start(6, 0);
    scan.reply("00 06 00 00 00 05 00 04 02 00 05", 10);
    scan.reply("00 07 00 00 00 03 00 84 02", 20);
    EXPECT_EQ(scan.lines, std::vector<std::string>{"Register 7, Illegal data address"});
    EXPECT_TRUE(scan.copies.empty());
    EXPECT_EQ(scan.status, "2 registers scanned, total duration 20 ms. 1 times succeeded, 1 times failed.");
}

TEST(ScanSessionFlow, NoAnswerTimesOutEachRegister)
{
    ScanDriver scan({.to = 3});
    scan.start(1, 0);
    scan.timeout(100);
    scan.timeout(200);
    EXPECT_EQ(scan.progress, 3);
    scan.timeout(300);
    EXPECT_EQ(scan.sent.size(), 3u);
    EXPECT_EQ(scan.lines,
              (std::vector<std::string>{"Register 1, Timeout", "Register 2, Timeout", "Register 3, Timeout"}));
    EXPECT_EQ(scan.status, "3 registers scanned, total duration 300 ms. 0 times succeeded, 3 times failed.");
    EXPECT_EQ(scan.progress, 1); // back to the bar's start
}

TEST(ScanSessionFlow, StopMidScanClearsStatusAndKeepsLines)
{
    ScanDriver scan({.to = 10});
    scan.start(1, 0);
    scan.timeout(100);
    scan.stop();
    EXPECT_EQ(scan.status, "");
    EXPECT_EQ(scan.lines, std::vector<std::string>{"Register 1, Timeout"});
    // A timer tick or a reply after Stop lists the reply but sends nothing.
    scan.timeout(200);
    scan.reply("00 02 00 00 00 05 00 03 02 00 01", 210);
    EXPECT_EQ(scan.sent.size(), 2u);
    EXPECT_EQ(scan.lines, (std::vector<std::string>{"Register 1, Timeout", "Register 2, value: 1, Poll: OK"}));
}

TEST(ScanSessionFlow, StopClearsTheStatusUnlessTheSummaryStandsThere)
{
    ScanDriver scan({.to = 1});
    scan.start(1, 0); // the last request is out: stopping now still clears "Scanning .."
    scan.stop();
    EXPECT_EQ(scan.status, "");
    scan.start(1, 0);
    scan.timeout(100);
    const std::string summary = scan.status;
    scan.stop();
    EXPECT_EQ(scan.status, summary);
}

TEST(ScanSessionFlow, LateReplyAddsASecondLineAndOneMoreRequest)
{
    ScanDriver scan({.to = 5});
    scan.start(1, 0);
    scan.timeout(100);                                   // register 1 timed out, request 2 out
    scan.reply("00 01 00 00 00 05 00 03 02 00 0B", 130); // late answer for 1: request 3 out too
    ASSERT_EQ(scan.sent.size(), 3u);
    EXPECT_EQ(scan.sent[2], "00 03 00 00 00 06 00 03 00 03 00 01");
    scan.reply("00 02 00 00 00 05 00 03 02 00 16", 140); // request 4
    scan.reply("00 03 00 00 00 05 00 03 02 00 21", 150); // request 5
    scan.reply("00 04 00 00 00 05 00 03 02 00 2C", 160); // complete: 6 > 5
    EXPECT_EQ(scan.lines,
              (std::vector<std::string>{"Register 1, Timeout", "Register 1, value: 11, Poll: OK",
                                        "Register 2, value: 22, Poll: OK", "Register 3, value: 33, Poll: OK",
                                        "Register 4, value: 44, Poll: OK"}));
    EXPECT_EQ(scan.status, "5 registers scanned, total duration 160 ms. 4 times succeeded, 1 times failed.");
    // The reply for 5 arrives after the end: listed, nothing sent.
    scan.reply("00 05 00 00 00 05 00 03 02 00 37", 170);
    EXPECT_EQ(scan.lines.back(), "Register 5, value: 55, Poll: OK");
    EXPECT_EQ(scan.sent.size(), 5u);
}

TEST(ScanSessionFlow, ElapsedTimeSurvivesTheTickWrapping)
{
    ScanDriver scan({.to = 1});
    scan.start(1, 0xFFFFFF00u);
    scan.timeout(0x00000100u);
    EXPECT_EQ(scan.status, "1 registers scanned, total duration 512 ms. 0 times succeeded, 1 times failed.");
}

TEST(ScanSessionFlow, FullRangeEndsAfter65536Requests)
{
    ScanDriver scan({.to = 65535});
    scan.start(0, 0);
    for (int i = 0; i < 65536 && scan.session.scanRunning(); ++i) {
        const auto request = ScanRequest(i, 0, true, false);
        std::vector<uint8_t> reply(request.begin(), request.begin() + 8);
        reply[5] = 5;
        reply.insert(reply.end(), {2, 0, 7});
        ScanReplyStep step = scan.session.reply(reply.data(), 11, 65536, scan.settings);
        if (step.next.completed) {
            scan.status = step.next.summary;
        }
    }
    EXPECT_FALSE(scan.session.scanRunning());
    EXPECT_EQ(scan.session.scanSucceeded(), 65536);
    EXPECT_EQ(scan.status,
              "65536 registers scanned, total duration 1m 5s 536ms. 65536 times succeeded, 0 times failed.");
}

} // namespace
} // namespace korvel
