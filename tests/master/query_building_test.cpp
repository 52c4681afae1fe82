#include "master/query_building.h"
#include "support/hex_bytes.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace korvel {
namespace {

using testing_hex::Hex;
using Registers = std::vector<std::pair<uint16_t, uint16_t>>;

std::vector<int32_t> Range(int32_t from, int32_t to)
{
    std::vector<int32_t> out;
    for (int32_t a = from; a <= to; ++a) {
        out.push_back(a);
    }
    return out;
}

struct Sent {
    const char* frame; // nullptr: nothing sent
    const char* status;
};

struct StepCase {
    const char* name;
    std::vector<int32_t> holdRead, inputRead, write;
    std::vector<Sent> steps;
    bool offset = false;
    int readLimit = kInitialReadLimit;
    int writeLimit = kInitialWriteLimit;
    Registers holding = {};
    int32_t uid = 1;
};

class PollingFixture {
  protected:
    void fill(const StepCase& row)
    {
        for (int32_t a : row.holdRead) {
            AddAddress(lists.ReadHoldRegAddr, a, store);
        }
        for (int32_t a : row.inputRead) {
            AddAddress(lists.ReadInputRegAddr, a, store);
        }
        for (int32_t a : row.write) {
            AddAddress(lists.WriteHoldRegAddr, a, store);
        }
        lists.ReadLimit = row.readLimit;
        lists.WriteLimit = row.writeLimit;
        for (auto [address, value] : row.holding) {
            store.setHolding(address, value);
        }
        state.ClientUID = row.uid;
        settings.useAddressOffset = row.offset;
    }

    StepResult step() { return CheckAndSendData(state, lists, single, store, settings); }
    std::string frame(const StepResult& r) const { return Hex(state.QueryFrame.data(), r.frameLength); }

    RegisterStore store;
    PollLists lists;
    SingleRequest single;
    ClientQueryState state;
    StepSettings settings{.connected = true};
};

class QueryTest : public PollingFixture, public testing::TestWithParam<StepCase> {};

TEST_P(QueryTest, FramesAndStatusTextsInTurn)
{
    const StepCase& row = GetParam();
    fill(row);
    for (size_t i = 0; i < row.steps.size(); ++i) {
        const StepResult r = step();
        if (row.steps[i].frame != nullptr) {
            EXPECT_EQ(frame(r), row.steps[i].frame) << "step " << i + 1;
        }
        EXPECT_EQ(r.statusText, row.steps[i].status) << "step " << i + 1;
        EXPECT_STREQ(r.clientStatus, kStatusActive);
    }
}

std::string RowName(const testing::TestParamInfo<StepCase>& info)
{
    return info.param.name;
}

const StepCase kListRows[] = {
    {"RunThenSingleRegister",
     {10, 11, 12, 20},
     {},
     {},
     {{"00 01 00 00 00 06 01 03 00 0A 00 03", "TI 1. Read holding registers 10 -> 12. Waiting.."},
      {"00 02 00 00 00 06 01 03 00 14 00 01", "TI 2. Read holding register 20. Waiting.."},
      {"00 03 00 00 00 06 01 03 00 0A 00 03", "TI 3. Read holding registers 10 -> 12. Waiting.."}}},
    {"AddressOffsetInFrameNotInText",
     {10, 11, 12, 20},
     {},
     {},
     {{"00 01 00 00 00 06 01 03 00 09 00 03", "TI 1. Read holding registers 10 -> 12. Waiting.."},
      {"00 02 00 00 00 06 01 03 00 13 00 01", "TI 2. Read holding register 20. Waiting.."}},
     true},
    {"OneToThreeHundredInRunsOf125_125_50",
     Range(1, 300),
     {},
     {},
     {{"00 01 00 00 00 06 01 03 00 01 00 7D", "TI 1. Read holding registers 1 -> 125. Waiting.."},
      {"00 02 00 00 00 06 01 03 00 7E 00 7D", "TI 2. Read holding registers 126 -> 250. Waiting.."},
      {"00 03 00 00 00 06 01 03 00 FB 00 32", "TI 3. Read holding registers 251 -> 300. Waiting.."},
      {"00 04 00 00 00 06 01 03 00 01 00 7D", "TI 4. Read holding registers 1 -> 125. Waiting.."}}},
    {"ReadLimiter5",
     Range(1, 7),
     {},
     {},
     {{"00 01 00 00 00 06 01 03 00 01 00 05", "TI 1. Read holding registers 1 -> 5. Waiting.."},
      {"00 02 00 00 00 06 01 03 00 06 00 02", "TI 2. Read holding registers 6 -> 7. Waiting.."}},
     false,
     5},
    {"InputRegistersFunction4UidAndTexts",
     {},
     {7, 9, 10},
     {},
     {{"00 01 00 00 00 06 11 04 00 07 00 01", "TI 1. Read input register 7. Waiting.."},
      {"00 02 00 00 00 06 11 04 00 09 00 02", "TI 2. Read input registers 9 -> 10. Waiting.."}},
     false,
     kInitialReadLimit,
     kInitialWriteLimit,
     {},
     17},
    {"WriteCarriesTheStoreValues",
     {},
     {},
     {5, 6},
     {{"00 01 00 00 00 0B 01 10 00 05 00 02 04 12 34 00 FF", "Write query. Addresses: 5 -> 6"},
      {"00 02 00 00 00 0B 01 10 00 05 00 02 04 12 34 00 FF", "Write query. Addresses: 5 -> 6"}},
     false,
     kInitialReadLimit,
     kInitialWriteLimit,
     {{5, 0x1234}, {6, 0x00FF}}},
    {"WriteSingleAddressWithOffset",
     {},
     {},
     {1},
     {{"00 01 00 00 00 09 01 10 00 00 00 01 02 AB CD", "Write query. Address: 1"}},
     true,
     kInitialReadLimit,
     kInitialWriteLimit,
     {{1, 0xABCD}}},
    {"WriteLimiter50",
     {},
     {},
     Range(100, 151),
     {{nullptr, "Write query. Addresses: 100 -> 149"}, {nullptr, "Write query. Addresses: 150 -> 151"}},
     false,
     kInitialReadLimit,
     50},
    {"HoldReadAndWriteAlternate",
     {3},
     {},
     {4},
     {{"00 01 00 00 00 06 01 03 00 03 00 01", "TI 1. Read holding register 3. Waiting.."},
      {"00 02 00 00 00 09 01 10 00 04 00 01 02 00 00", "Write query. Address: 4"},
      {"00 03 00 00 00 06 01 03 00 03 00 01", "TI 3. Read holding register 3. Waiting.."}}},
    {"AllThreeListsInTurn",
     {1},
     {2},
     {3},
     {{"00 01 00 00 00 06 01 03 00 01 00 01", "TI 1. Read holding register 1. Waiting.."},
      {"00 02 00 00 00 06 01 04 00 02 00 01", "TI 2. Read input register 2. Waiting.."},
      {"00 03 00 00 00 09 01 10 00 03 00 01 02 00 00", "Write query. Address: 3"},
      {"00 04 00 00 00 06 01 03 00 01 00 01", "TI 4. Read holding register 1. Waiting.."}}},
    {"InputAndWriteWithoutHoldRead",
     {},
     {2},
     {3},
     {{"00 01 00 00 00 06 01 04 00 02 00 01", "TI 1. Read input register 2. Waiting.."},
      {"00 02 00 00 00 09 01 10 00 03 00 01 02 00 00", "Write query. Address: 3"},
      {"00 03 00 00 00 06 01 04 00 02 00 01", "TI 3. Read input register 2. Waiting.."}}},
};

INSTANTIATE_TEST_SUITE_P(Lists, QueryTest, testing::ValuesIn(kListRows), RowName);

class PollingStep : public PollingFixture, public testing::Test {};

TEST_F(PollingStep, RunStopsAtTheCountNotAtStaleEntriesBehindIt)
{
    ApplySeries(lists.ReadHoldRegAddr, {5, 9}, false, store);
    ClearList(lists.ReadHoldRegAddr, store);
    for (int32_t a : {5, 6, 7}) {
        AddAddress(lists.ReadHoldRegAddr, a, store);
    }
    ASSERT_EQ(lists.ReadHoldRegAddr.entries[3], 8) << "the clear leaves 8 and 9 behind the count";
    const StepResult r = step();
    EXPECT_EQ(frame(r), "00 01 00 00 00 06 01 03 00 05 00 03");
}

TEST_F(PollingStep, TransactionIdentifierWrapsAfter65535AndCanBeForcedToZero)
{
    AddAddress(lists.ReadHoldRegAddr, 1, store);
    state.TICounter = 65534;
    std::vector<std::string> heads;
    for (int i = 0; i < 3; ++i) {
        heads.push_back(frame(step()).substr(0, 5));
    }
    EXPECT_EQ(heads, (std::vector<std::string>{"FF FF", "00 00", "00 01"}));

    settings.forceTI = true;
    EXPECT_EQ(frame(step()).substr(0, 5), "00 00");
    EXPECT_EQ(step().statusText, "TI 0. Read holding register 1. Waiting..");
    settings.forceTI = false;
    EXPECT_EQ(frame(step()).substr(0, 5), "00 01");
}

TEST_F(PollingStep, ConnectStartsNumberingAndListsAgainButKeepsThePhase)
{
    ApplySeries(lists.ReadHoldRegAddr, {1, 300}, false, store);
    AddAddress(lists.WriteHoldRegAddr, 400, store);
    step();
    step();
    step(); // read 1 -> 125, write, read 126 -> 250: the write is due next
    ResetForConnect(state, lists);
    const StepResult write = step();
    EXPECT_EQ(frame(write).substr(0, 5), "00 01");
    EXPECT_EQ(write.statusText, "Write query. Address: 400");
    EXPECT_EQ(step().statusText, "TI 2. Read holding registers 1 -> 125. Waiting..");
}

TEST_F(PollingStep, NothingListedNothingPendingIsIdleAndSendsNothing)
{
    const StepResult r = step();
    EXPECT_TRUE(r.idle);
    EXPECT_EQ(r.frameLength, 0);
    EXPECT_STREQ(r.clientStatus, kStatusIdle);
    EXPECT_FALSE(r.stopDelayTimer);
    EXPECT_EQ(state.TICounter, 0) << "an idle step numbers no query";
}

struct SingleCase {
    const char* name;
    SingleRequest request;
    bool offset;
    const char* frame;
};

class SingleRequestTest : public PollingFixture, public testing::TestWithParam<SingleCase> {};

TEST_P(SingleRequestTest, GoesAheadOfTheDueListWhichIsServedNext)
{
    const SingleCase& row = GetParam();
    AddAddress(lists.ReadHoldRegAddr, 10, store);
    single = row.request;
    settings.useAddressOffset = row.offset;
    const StepResult first = step();
    EXPECT_EQ(frame(first), row.frame);
    EXPECT_TRUE(first.oneOff);
    EXPECT_FALSE(single.pending());
    EXPECT_FALSE(single.ReadExp);
    const StepResult second = step();
    EXPECT_EQ(second.statusText, "TI 2. Read holding register 10. Waiting..");
    EXPECT_FALSE(second.oneOff);
}

std::string SingleName(const testing::TestParamInfo<SingleCase>& info)
{
    return info.param.name;
}

const SingleCase kSingleRows[] = {
    {"WriteFc6WithOffset",
     {.WriteSingleHoldAddr = 100, .WriteSingleHoldValue = 1234},
     true,
     "00 01 00 00 00 06 01 06 00 63 04 D2"},
    {"WriteAsFc16",
     {.WriteSingleHoldAddr = 100, .WriteSingleHoldValue = 1234, .UseFC16_for_single_write = true},
     true,
     "00 01 00 00 00 09 01 10 00 63 00 01 02 04 D2"},
    {"MaskWriteFc22",
     {.WriteSingleHoldAddr = 5, .WriteSingleHoldValue = 0xF0F0, .ORmask = 0x000F, .MaskIt = true},
     false,
     "00 01 00 00 00 08 01 16 00 05 F0 F0 00 0F"},
    {"ReadExceptionStatusFc7",
     {.WriteSingleHoldAddr = kExceptionStatusRequest, .ReadExp = true},
     false,
     "00 01 00 00 00 02 01 07"},
    {"ValueSentAsLow16Bits",
     {.WriteSingleHoldAddr = 1, .WriteSingleHoldValue = 99999},
     false,
     "00 01 00 00 00 06 01 06 00 01 86 9F"},
};
INSTANTIATE_TEST_SUITE_P(OneOff, SingleRequestTest, testing::ValuesIn(kSingleRows), SingleName);

TEST_F(PollingStep, PendingOneOffIsDroppedWhileNotConnected)
{
    AddAddress(lists.WriteHoldRegAddr, 4, store);
    single.WriteSingleHoldAddr = 100;
    single.ReadExp = true;
    settings.connected = false;
    const StepResult r = step();
    EXPECT_EQ(r.frameLength, 0);
    EXPECT_FALSE(single.pending());
    EXPECT_FALSE(single.ReadExp);
    EXPECT_EQ(state.QueryPhase, kPhaseWrite) << "the list that was due keeps its turn";
}

// --- Polling modes ------------------------------------------------------------------------

struct ModeCase {
    const char* name;
    PollingMode mode;
    bool connected;
    TimerAction cycle, delay;
    bool runStep;
    const char* label;
    bool delayEnabled;
    const char* status;
};

class ModeTest : public testing::TestWithParam<ModeCase> {};

TEST_P(ModeTest, ButtonClick)
{
    const ModeCase& row = GetParam();
    const ModeActions a = ModeButtonClick(row.mode, row.connected);
    EXPECT_EQ(a.timers.cycleTimer, row.cycle);
    EXPECT_EQ(a.timers.delayTimer, row.delay);
    EXPECT_EQ(a.timers.runStep, row.runStep);
    EXPECT_EQ(a.cycleLabel == nullptr ? "" : std::string(a.cycleLabel), row.label);
    EXPECT_EQ(a.delayFieldEnabled, row.delayEnabled);
    EXPECT_EQ(a.clientStatus == nullptr ? "" : std::string(a.clientStatus), row.status);
}

std::string ModeName(const testing::TestParamInfo<ModeCase>& info)
{
    return info.param.name;
}

using TA = TimerAction;
const ModeCase kModeRows[] = {
    {"Cyclic", PollingMode::Cyclic, true, TA::Start, TA::Stop, false, kCycleLabel, false, ""},
    {"ImmediateConnectedSendsAtOnce", PollingMode::Immediate, true, TA::Restart, TA::Stop, true, kMonitorLabel, false,
     ""},
    {"ImmediateDisconnectedSendsNothing", PollingMode::Immediate, false, TA::Restart, TA::Stop, false, kMonitorLabel,
     false, ""},
    {"WaitAfter", PollingMode::WaitAfter, true, TA::Restart, TA::Start, false, kMonitorLabel, true, ""},
    {"PauseStopsBoth", PollingMode::Pause, true, TA::Stop, TA::Stop, false, "", true, kStatusPaused},
};
INSTANTIATE_TEST_SUITE_P(Polling, ModeTest, testing::ValuesIn(kModeRows), ModeName);

TEST(PollingContinuation, ReplyDrivenModesOnlyAndOnlyOnceNothingIsAwaited)
{
    const TimerSteps immediate = ContinueAfterReply(PollingMode::Immediate, false);
    EXPECT_EQ(immediate.cycleTimer, TA::Restart);
    EXPECT_TRUE(immediate.runStep);
    const TimerSteps wait = ContinueAfterReply(PollingMode::WaitAfter, false);
    EXPECT_EQ(wait.cycleTimer, TA::Stop);
    EXPECT_EQ(wait.delayTimer, TA::Start);
    EXPECT_FALSE(wait.runStep);
    for (PollingMode m : {PollingMode::Cyclic, PollingMode::Pause, PollingMode::Immediate, PollingMode::WaitAfter}) {
        // Cyclic and Pause never continue; the reply-driven modes not while another reply is due.
        const TimerSteps none = ContinueAfterReply(m, m == PollingMode::Immediate || m == PollingMode::WaitAfter);
        EXPECT_EQ(none.cycleTimer, TA::Keep);
        EXPECT_EQ(none.delayTimer, TA::Keep);
        EXPECT_FALSE(none.runStep);
    }
}

TEST(PollingTimers, MonitoringTimeRunsFromTheSendOfTheOldestAwaitedQuery)
{
    EXPECT_EQ(MonitorAfterSend(PollingMode::Immediate, false), TA::Restart);
    EXPECT_EQ(MonitorAfterSend(PollingMode::WaitAfter, false), TA::Restart);
    EXPECT_EQ(MonitorAfterSend(PollingMode::WaitAfter, true), TA::Keep);
    EXPECT_EQ(MonitorAfterSend(PollingMode::Cyclic, false), TA::Keep);
    EXPECT_EQ(MonitorAfterSend(PollingMode::Pause, false), TA::Keep);
}

TEST(PollingTimers, CycleTickReportsNoReplyOnlyInReplyDrivenModesForAQuerySent)
{
    EXPECT_FALSE(CycleTimerTick(PollingMode::Immediate, false, true, true).runStep);
    EXPECT_TRUE(CycleTimerTick(PollingMode::Cyclic, true, true, true).runStep);
    EXPECT_FALSE(CycleTimerTick(PollingMode::Cyclic, true, true, true).noReplyEvent);
    EXPECT_TRUE(CycleTimerTick(PollingMode::Immediate, true, true, true).noReplyEvent);
    EXPECT_TRUE(CycleTimerTick(PollingMode::WaitAfter, true, true, true).noReplyEvent);
    EXPECT_FALSE(CycleTimerTick(PollingMode::Immediate, true, false, true).noReplyEvent);
    EXPECT_FALSE(CycleTimerTick(PollingMode::Immediate, true, true, false).noReplyEvent) << "nothing was sent";
    EXPECT_TRUE(CycleTimerTick(PollingMode::Immediate, true, true, false).runStep);

    EXPECT_FALSE(DelayTimerTick(false, false).runStep);
    EXPECT_TRUE(DelayTimerTick(true, false).startCycleTimer);
    EXPECT_FALSE(DelayTimerTick(true, true).startCycleTimer);
    EXPECT_TRUE(DelayTimerTick(true, true).runStep);
}

// --- The cycle and delay fields -----------------------------------------------------------

struct FieldCase {
    const char* name;
    FieldOutcome (*confirm)();
    std::optional<int> field, upDown, interval, other;
    const char* message;
};

class FieldTest : public testing::TestWithParam<FieldCase> {};

TEST_P(FieldTest, Confirmed)
{
    const FieldCase& row = GetParam();
    const FieldOutcome o = row.confirm();
    EXPECT_EQ(o.fieldValue, row.field);
    EXPECT_EQ(o.upDownPosition, row.upDown);
    EXPECT_EQ(o.timerInterval, row.interval);
    EXPECT_EQ(o.otherField, row.other);
    EXPECT_EQ(o.message == nullptr ? "" : std::string(o.message), row.message == nullptr ? "" : row.message);
}

std::string FieldName(const testing::TestParamInfo<FieldCase>& info)
{
    return info.param.name;
}

const std::optional<int> kNone;
const FieldCase kFieldRows[] = {
    {"Cycle2000", [] { return CycleFieldConfirmed("2000", false, "100"); }, 2000, 2000, 2000, kNone, nullptr},
    {"Cycle50IsReset", [] { return CycleFieldConfirmed("50", false, "100"); }, 1000, 1000, 1000, kNone,
     kCycleRangeText},
    {"Cycle10001IsReset", [] { return CycleFieldConfirmed("10001", false, "100"); }, 1000, 1000, 1000, kNone,
     kCycleRangeText},
    {"CycleEmptyIsReset", [] { return CycleFieldConfirmed("", false, "100"); }, 1000, 1000, 1000, kNone,
     kCycleRangeText},
    {"CycleNotAboveDelayWhileWaiting", [] { return CycleFieldConfirmed("400", true, "500"); }, 550, kNone, kNone, kNone,
     kMonitorLongerText},
    {"CycleEqualToDelayWhileWaiting", [] { return CycleFieldConfirmed("500", true, "500"); }, 550, kNone, kNone, kNone,
     kMonitorLongerText},
    {"CycleBelowDelayWhenNotWaiting", [] { return CycleFieldConfirmed("400", false, "500"); }, 400, 400, 400, kNone,
     nullptr},
    {"Delay2000IsReset", [] { return DelayFieldConfirmed("2000", "1000"); }, 100, 100, 100, kNone, kDelayRangeText},
    {"Delay4IsReset", [] { return DelayFieldConfirmed("4", "1000"); }, 100, 100, 100, kNone, kDelayRangeText},
    {"Delay5", [] { return DelayFieldConfirmed("5", "1000"); }, 5, 5, 5, kNone, nullptr},
    {"DelayRaisesTheCycleFieldSilently", [] { return DelayFieldConfirmed("600", "500"); }, 600, 600, 600, 650, nullptr},
    {"CycleArrowLowersDelay", [] { return CycleArrowClick(100, 100); }, kNone, kNone, 100, 50, nullptr},
    {"CycleArrowLeavesLowerDelay", [] { return CycleArrowClick(1100, 1000); }, kNone, kNone, 1100, kNone, nullptr},
    {"DelayArrowRaisesCycle", [] { return DelayArrowClick(1000, 1000); }, kNone, kNone, 1000, 1050, nullptr},
    {"DelayArrowLeavesHigherCycle", [] { return DelayArrowClick(990, 1000); }, kNone, kNone, 990, kNone, nullptr},
};
INSTANTIATE_TEST_SUITE_P(CycleAndDelay, FieldTest, testing::ValuesIn(kFieldRows), FieldName);

} // namespace
} // namespace korvel
