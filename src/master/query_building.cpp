#include "master/query_building.h"

#include "common/frame.h"
#include "common/modbus_protocol.h"
#include "common/numeric.h"

#include <algorithm>

namespace korvel {

namespace {

// Byte offsets of the query frame.
constexpr int kTiAt = 0, kLengthAt = 5, kUidAt = 6, kFcAt = 7, kAddressAt = 8, kQuantityAt = 10, kByteCountAt = 12;
constexpr int kWriteHeaderLength = 13; // a write query without its values

std::string ReadStatusText(int32_t ti, bool holding, int32_t address, int32_t n)
{
    const std::string kind = holding ? "holding" : "input";
    if (n == 1) {
        return "TI " + DecText(ti) + ". Read " + kind + " register " + DecText(address) + ". Waiting..";
    }
    return "TI " + DecText(ti) + ". Read " + kind + " registers " + DecText(address) + " -> " +
           DecText(address + n - 1) + ". Waiting..";
}

std::string WriteStatusText(int32_t address, int32_t n)
{
    if (n == 1) {
        return "Write query. Address: " + DecText(address);
    }
    return "Write query. Addresses: " + DecText(address) + " -> " + DecText(address + n - 1);
}

// Moves the list's position past a run of n entries (to 0 at the end of the list).
void Advance(PollList& list, int32_t n)
{
    list.position += n;
    if (list.position >= list.count) {
        list.position = 0;
    }
}

int BuildRead(ClientQueryState& state, PollList& list, int32_t limit, bool holding, std::string& status)
{
    uint8_t* frame = state.QueryFrame.data();
    const int32_t address = list.entries[list.position];
    const int32_t n = RunLength(list, limit);
    const FunctionInfo& row = *FindFunction(holding ? kFcReadHolding : kFcReadInput);
    frame[kLengthAt] = static_cast<uint8_t>(row.requestLength - kMbapPrefix);
    frame[kFcAt] = row.code;
    PutWord(frame + kAddressAt, address - state.OffsetInUse);
    PutWord(frame + kQuantityAt, n);
    status = ReadStatusText(state.TICounter, holding, address, n);
    Advance(list, n);
    return row.requestLength;
}

int BuildWrite(ClientQueryState& state, PollList& list, int32_t limit, const RegisterStore& store, std::string& status)
{
    uint8_t* frame = state.QueryFrame.data();
    const int32_t address = list.entries[list.position];
    const int32_t n = RunLength(list, limit);
    frame[kLengthAt] = static_cast<uint8_t>(2 * n + 7);
    frame[kFcAt] = kFcWriteMultiple;
    PutWord(frame + kAddressAt, address - state.OffsetInUse);
    PutWord(frame + kQuantityAt, n);
    frame[kByteCountAt] = static_cast<uint8_t>(2 * n);
    for (int32_t i = 0; i < n; ++i) {
        PutWord(frame + kWriteHeaderLength + 2 * i, store.holding(static_cast<uint16_t>(address + i)));
    }
    status = WriteStatusText(address, n);
    Advance(list, n);
    return kWriteHeaderLength + 2 * n;
}

// The one-off frame of the single-write, mask-write and exception-status windows: from the
// length on as the one-off windows build it; TI, protocol identifier and unit stay as set.
int BuildSingle(ClientQueryState& state, SingleRequest& single)
{
    uint8_t* frame = state.QueryFrame.data();
    const std::vector<uint8_t> oneOff = OneOffFrame(single, 0, frame[6], state.OffsetInUse);
    frame[kLengthAt] = oneOff[kLengthAt];
    std::copy(oneOff.begin() + kFcAt, oneOff.end(), frame + kFcAt);
    single.drop();
    return static_cast<int>(oneOff.size());
}

} // namespace

void ResetForConnect(ClientQueryState& state, PollLists& lists)
{
    state.TICounter = 0;
    lists.ReadHoldRegAddr.position = 0;
    lists.ReadInputRegAddr.position = 0;
    lists.WriteHoldRegAddr.position = 0;
}

int32_t RunLength(const PollList& list, int32_t limit)
{
    const int32_t p = list.position;
    int32_t n = 1;
    while (n < limit && p + n < list.count && list.entries[p + n] == list.entries[p + n - 1] + 1) {
        ++n;
    }
    return n;
}

StepResult CheckAndSendData(ClientQueryState& state, PollLists& lists, SingleRequest& single,
                            const RegisterStore& store, const StepSettings& settings)
{
    StepResult result;
    if (lists.allEmpty() && !single.pending()) {
        result.idle = true;
        result.clientStatus = kStatusIdle;
        return result;
    }
    result.clientStatus = kStatusActive;
    result.stopDelayTimer = true;
    state.OffsetInUse = settings.useAddressOffset ? 1 : 0;

    if (state.TICounter >= 0xFFFF || settings.forceTI) {
        state.TICounter = 0;
    } else {
        ++state.TICounter;
    }
    uint8_t* frame = state.QueryFrame.data();
    PutWord(frame + kTiAt, state.TICounter);
    frame[2] = 0; // protocol identifier
    frame[3] = 0;
    frame[4] = 0; // length, high byte
    frame[kUidAt] = static_cast<uint8_t>(state.ClientUID);

    // The list that is due; an empty one passes its turn on.
    if (state.QueryPhase == kPhaseHoldRead && lists.ReadHoldRegAddr.empty()) {
        state.QueryPhase = kPhaseInputRead;
    }
    if (state.QueryPhase == kPhaseInputRead && lists.ReadInputRegAddr.empty()) {
        state.QueryPhase = kPhaseWrite;
    }
    if (state.QueryPhase == kPhaseWrite && lists.WriteHoldRegAddr.empty()) {
        state.QueryPhase = lists.ReadHoldRegAddr.empty() ? kPhaseInputRead : kPhaseHoldRead;
    }
    const int32_t due = state.QueryPhase;

    if (single.pending()) {
        // A one-off request goes ahead of the lists; the list that was due is served next.
        if (settings.connected) {
            result.frameLength = BuildSingle(state, single);
            result.oneOff = true;
        } else {
            single.drop();
        }
        state.QueryPhase = due;
        return result;
    }
    switch (due) {
    case kPhaseHoldRead:
        result.frameLength = BuildRead(state, lists.ReadHoldRegAddr, lists.ReadLimit, true, result.statusText);
        break;
    case kPhaseInputRead:
        result.frameLength = BuildRead(state, lists.ReadInputRegAddr, lists.ReadLimit, false, result.statusText);
        break;
    default:
        result.frameLength = BuildWrite(state, lists.WriteHoldRegAddr, lists.WriteLimit, store, result.statusText);
        break;
    }
    state.QueryPhase = due >= kPhaseWrite ? kPhaseHoldRead : due + 1;
    return result;
}

// --- Polling modes --------------------------------------------------------------------------

ModeActions ModeButtonClick(PollingMode mode, bool connected)
{
    ModeActions a;
    switch (mode) {
    case PollingMode::Cyclic:
        a.timers.cycleTimer = TimerAction::Start;
        a.timers.delayTimer = TimerAction::Stop;
        a.cycleLabel = kCycleLabel;
        break;
    case PollingMode::Immediate:
        a.timers.cycleTimer = TimerAction::Restart;
        a.timers.delayTimer = TimerAction::Stop;
        a.timers.runStep = connected;
        a.cycleLabel = kMonitorLabel;
        break;
    case PollingMode::WaitAfter:
        a.timers.cycleTimer = TimerAction::Restart;
        a.timers.delayTimer = TimerAction::Start;
        a.cycleLabel = kMonitorLabel;
        a.delayFieldEnabled = true;
        break;
    case PollingMode::Pause:
        a.timers.cycleTimer = TimerAction::Stop;
        a.timers.delayTimer = TimerAction::Stop;
        a.delayFieldEnabled = true;
        a.clientStatus = kStatusPaused;
        break;
    }
    return a;
}

TimerSteps ContinueAfterReply(PollingMode mode, bool awaited)
{
    TimerSteps a;
    if (awaited) {
        return a;
    }
    if (mode == PollingMode::Immediate) {
        a.cycleTimer = TimerAction::Restart;
        a.runStep = true;
    } else if (mode == PollingMode::WaitAfter) {
        a.cycleTimer = TimerAction::Stop;
        a.delayTimer = TimerAction::Start;
    }
    return a;
}

TimerAction MonitorAfterSend(PollingMode mode, bool awaitedBefore)
{
    const bool replyDriven = mode == PollingMode::Immediate || mode == PollingMode::WaitAfter;
    return replyDriven && !awaitedBefore ? TimerAction::Restart : TimerAction::Keep;
}

CycleTick CycleTimerTick(PollingMode mode, bool connected, bool anyListFilled, bool awaited)
{
    if (!connected) {
        return {};
    }
    const bool replyDriven = mode == PollingMode::Immediate || mode == PollingMode::WaitAfter;
    return {true, replyDriven && anyListFilled && awaited};
}

DelayTick DelayTimerTick(bool connected, bool cycleTimerActive)
{
    if (!connected) {
        return {};
    }
    return {!cycleTimerActive, true};
}

// --- The cycle and delay fields -------------------------------------------------------------

namespace {

// A whole number within [minimum, maximum] in the decimal mode of the shared text check.
std::optional<int> NumberIn(std::string_view text, int minimum, int maximum)
{
    if (!IsNumericOrHex(text, false)) {
        return std::nullopt;
    }
    try {
        const int32_t value = NumericOrHexToInt(text, false);
        if (value < minimum || value > maximum) {
            return std::nullopt;
        }
        return value;
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

// The number in a field's text, whatever its range; nullopt when it is none.
std::optional<int> AnyNumber(std::string_view text)
{
    return NumberIn(text, INT32_MIN, INT32_MAX);
}

} // namespace

FieldOutcome CycleFieldConfirmed(std::string_view text, bool waitAfterChecked, std::string_view delayText)
{
    FieldOutcome out;
    const std::optional<int> cycle = NumberIn(text, kCycleMin, kCycleMax);
    if (!cycle) {
        out.fieldValue = kCycleDefault;
        out.upDownPosition = kCycleDefault;
        out.timerInterval = kCycleDefault;
        out.message = kCycleRangeText;
        return out;
    }
    const std::optional<int> delay = AnyNumber(delayText);
    if (waitAfterChecked && delay && *delay >= *cycle) {
        out.fieldValue = *delay + kMonitorMargin;
        out.message = kMonitorLongerText;
        return out;
    }
    out.fieldValue = *cycle;
    out.upDownPosition = *cycle;
    out.timerInterval = *cycle;
    return out;
}

FieldOutcome DelayFieldConfirmed(std::string_view text, std::string_view cycleText)
{
    FieldOutcome out;
    const std::optional<int> delay = NumberIn(text, kDelayMin, kDelayMax);
    if (!delay) {
        out.fieldValue = kDelayDefault;
        out.upDownPosition = kDelayDefault;
        out.timerInterval = kDelayDefault;
        out.message = kDelayRangeText;
        return out;
    }
    out.fieldValue = *delay;
    out.upDownPosition = *delay;
    out.timerInterval = *delay;
    const std::optional<int> cycle = AnyNumber(cycleText);
    if (cycle && *delay >= *cycle) {
        out.otherField = *delay + kMonitorMargin;
    }
    return out;
}

FieldOutcome CycleArrowClick(int cyclePosition, int delayPosition)
{
    FieldOutcome out;
    out.timerInterval = cyclePosition;
    if (delayPosition >= cyclePosition) {
        out.otherField = cyclePosition - kMonitorMargin;
    }
    return out;
}

FieldOutcome DelayArrowClick(int delayPosition, int cyclePosition)
{
    FieldOutcome out;
    out.timerInterval = delayPosition;
    if (cyclePosition <= delayPosition) {
        out.otherField = delayPosition + kMonitorMargin;
    }
    return out;
}

} // namespace korvel
