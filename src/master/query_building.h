// One polling step of the client (`CheckAndSendData`): which list is due, the run of consecutive
// addresses, the transaction identifier, the read, write and one-off query frames and the status
// texts; and the decisions of the polling modes, their timers and the "Cycle"/"Monitor" and
// "Delay" fields. No sockets and no timers here: the window sends the frame and starts or stops
// its timers as the returned values say.
#pragma once

#include "common/register_store.h"
#include "master/one_off_requests.h"
#include "master/poll_lists.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// `ClientStatus` texts.
inline constexpr const char* kStatusDisconnected = "Disconnected";
inline constexpr const char* kStatusConnected = "Connected";
inline constexpr const char* kStatusPaused = "Paused";
inline constexpr const char* kStatusIdle = "Idle";
inline constexpr const char* kStatusActive = "Active";
inline constexpr const char* kStatusMonitorExpired = "Monitor time expired";
inline constexpr const char* kStatusErrorDetected = "Error detected";
inline constexpr const char* kStatusExceptionDetected = "Exception detected";

// The longest query: a write of 123 registers (13 + 246 bytes).
constexpr int kQueryFrameSize = 259;
// `WriteSingleHoldAddr` when no one-off request is pending.
constexpr int32_t kNoSingleRequest = kNoOneOffRequest;
// `WriteSingleHoldAddr` of an exception-status read: function 7 carries no address, any value but
// kNoSingleRequest marks the request as pending.
constexpr int32_t kExceptionStatusRequest = 123;

// Which list the next step serves (`QueryPhase`).
enum QueryPhaseValue : int32_t { kPhaseHoldRead = 0, kPhaseInputRead = 1, kPhaseWrite = 2, kPhaseSingle = 3 };

// The one-off request of the single-write, mask-write and exception-status windows.
using SingleRequest = OneOffRequest;

// What the polling step keeps between steps; the reply check reads the frame as it was sent.
struct ClientQueryState {
    int32_t TICounter = 0;                             // identifier of the last query; the Connect button sets it to 0
    int32_t QueryPhase = 0;                            // a QueryPhaseValue; survives disconnects
    int32_t OffsetInUse = 0;                           // 1 while "Use address offset" was checked at the last step
    int32_t ClientUID = 1;                             // unit identifier of every query, 0..255 (`CBoxUID`)
    std::array<uint8_t, kQueryFrameSize> QueryFrame{}; // the last query; kept until the next one
};

// The window's state the step reads.
struct StepSettings {
    bool useAddressOffset = false; // "Use address offset"
    bool forceTI = false;          // "TI always '00 00'"
    bool connected = false;        // the Connect button is disabled
};

struct StepResult {
    bool idle = false;           // nothing listed, nothing pending: ClientStatus "Idle", nothing else
    int frameLength = 0;         // bytes 0 .. frameLength-1 of QueryFrame go out; 0: nothing to send
    std::string statusText;      // the status bar's new text; empty: the status bar keeps its text
    const char* clientStatus{};  // kStatusIdle or kStatusActive
    bool stopDelayTimer = false; // an active step stops the delay timer
    bool oneOff = false;         // the frame is a one-off request's
};

// One polling step. Builds the frame into state.QueryFrame, advances the list's position and
// the phase, drops a one-off request when not connected. Values of a write come from `store`.
StepResult CheckAndSendData(ClientQueryState& state, PollLists& lists, SingleRequest& single,
                            const RegisterStore& store, const StepSettings& settings);

// The Connect button: the transaction identifier and the three list positions start again at 0
// (`QueryPhase` is kept).
void ResetForConnect(ClientQueryState& state, PollLists& lists);

// The number of entries of the run that starts at the list's position: at most `limit`, not past
// the count, each entry the previous one plus 1; at least 1. The list must not be empty.
int32_t RunLength(const PollList& list, int32_t limit);

// --- Polling modes --------------------------------------------------------------------------

enum class PollingMode { Cyclic, Immediate, WaitAfter, Pause }; // RBCyclic .. RBPause

// What a timer is told to do. Start: run it if it is stopped (a running timer keeps counting);
// Restart: stop and start, so that its interval counts from now.
enum class TimerAction { Keep, Start, Stop, Restart };

// Label texts of the cycle field.
inline constexpr const char* kCycleLabel = "Cycle";
inline constexpr const char* kMonitorLabel = "Monitor";

// What happens to the timers, in this order: cycle timer, delay timer, then the step.
struct TimerSteps {
    TimerAction cycleTimer = TimerAction::Keep; // Timer1, cycle or monitor timer
    TimerAction delayTimer = TimerAction::Keep; // Timer3, delay of "Wait after response"
    bool runStep = false;                       // run CheckAndSendData now
};

struct ModeActions {
    TimerSteps timers;
    const char* cycleLabel = nullptr;   // new label of the cycle field; nullptr: unchanged
    bool delayFieldEnabled = false;     // the cycle field is always enabled
    const char* clientStatus = nullptr; // new ClientStatus; nullptr: unchanged
};

// A polling-mode button is clicked (also run again when a connection has just been established).
ModeActions ModeButtonClick(PollingMode mode, bool connected);

// The polling continuation after a reply or a failed receive (not after the close event). While
// another query sent is still `awaited` it waits for that one's reply (or the monitoring time):
// one query in flight at a time.
TimerSteps ContinueAfterReply(PollingMode mode, bool awaited);

// The cycle timer after a step sent a query: in the reply-driven modes the monitoring time runs
// from this send when no other query was `awaitedBefore` it (from that one's send otherwise).
TimerAction MonitorAfterSend(PollingMode mode, bool awaitedBefore);

// The cycle timer fires. The wait for every query sent before ends (QueriesInFlight::endWaits).
struct CycleTick {
    bool runStep = false;      // run one polling step (only when connected)
    bool noReplyEvent = false; // after the step: the no-reply event and "Monitor time expired"
};
// `awaited`: a query sent before this tick had no reply yet; only then is a reply missing.
CycleTick CycleTimerTick(PollingMode mode, bool connected, bool anyListFilled, bool awaited);

// The delay timer fires.
struct DelayTick {
    bool startCycleTimer = false; // the monitoring time runs from this send
    bool runStep = false;
};
DelayTick DelayTimerTick(bool connected, bool cycleTimerActive);

// --- The cycle and delay fields -------------------------------------------------------------

inline constexpr const char* kMonitorLongerText = "Monitoring time must be longer than waiting time";
inline constexpr const char* kCycleRangeText = "Range is 100 - 10000 ms";
inline constexpr const char* kDelayRangeText = "Range is 5 - 1000 ms";

constexpr int kCycleMin = 100, kCycleMax = 10000, kCycleDefault = 1000, kCycleStep = 100;
constexpr int kDelayMin = 5, kDelayMax = 1000, kDelayDefault = 100, kDelayStep = 10;
// The cycle field is kept this much above the delay.
constexpr int kMonitorMargin = 50;

// A field confirmed (focus lost or Enter), or an arrow clicked. Every member that is set is
// applied by the window; the rest stays as it is.
struct FieldOutcome {
    std::optional<int> fieldValue;     // the confirmed field's new number (its text in decimal)
    std::optional<int> upDownPosition; // the confirmed field's arrow position
    std::optional<int> timerInterval;  // the confirmed field's timer interval, ms
    std::optional<int> otherField;     // the other field's (and its arrows') new number; its timer keeps its interval
    const char* message = nullptr;     // a warning box to show
};

// The cycle field (`Edit1Exit`, Enter in `Edit1`). `delayText` is the delay field's text.
FieldOutcome CycleFieldConfirmed(std::string_view text, bool waitAfterChecked, std::string_view delayText);
// The delay field (`Edit2Exit`, Enter in `Edit2`). `cycleText` is the cycle field's text.
FieldOutcome DelayFieldConfirmed(std::string_view text, std::string_view cycleText);
// The cycle arrows moved to `cyclePosition` (`UpDown1Click`).
FieldOutcome CycleArrowClick(int cyclePosition, int delayPosition);
// The delay arrows moved to `delayPosition` (`UpDown2Click`).
FieldOutcome DelayArrowClick(int delayPosition, int cyclePosition);

} // namespace korvel
