// The register scanner's decisions and texts: the checks behind "&Start", the timeout field, the
// 12-byte request for one register, the reading of a reply, the result lines and the summary, and
// the scan itself as a small state machine (`ScanSession`) that says what to send, list and show.
// No sockets, timers or widgets: the scanner window copies out what these return.
#pragma once

#include "common/modbus_protocol.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// Messages of the start checks, in the order the checks run.
inline constexpr const char* kScanCheckStartingValue = "Check starting value.";
inline constexpr const char* kScanCheckEndValue = "Check end value.";
inline constexpr const char* kScanCheckTimeoutValue = "Check timeout value.";
inline constexpr const char* kScanCheckStartAboveEnd = "Check values. Start value > end value.";
inline constexpr const char* kScanCheckStartTooHigh = "Check start value. Value > 65535.";
inline constexpr const char* kScanCheckEndTooHigh = "Check end value. Value > 65535.";
inline constexpr const char* kScanCheckStartNegative = "Check start value. Value < 0.";
inline constexpr const char* kScanCheckEndNegative = "Check end value. Value < 0.";
inline constexpr const char* kScanCheckTimeoutTooLow = "Check timeout value. Value < 50.";
inline constexpr const char* kScanCheckStartBelowOne = "Check start value. Value < 1.";

// The timeout field's message when it is left with a value outside its range.
inline constexpr const char* kScanTimeoutRange = "Range is 50 - 10000 ms";
// Status line texts.
inline constexpr const char* kScanIncorrectData = "Incorrect data received";
inline constexpr const char* kScanSocketErrorPrefix = "Socket error, code: ";
// The result line's text for an exception code outside the scanner's table.
inline constexpr const char* kScanUnknownException = "Unknown exception received";

constexpr int kScanTimeoutMin = 50;
constexpr int kScanTimeoutMax = 10000;
constexpr int kScanTimeoutDefault = 100;
constexpr int kScanTimeoutStep = 10; // the timeout arrows' step
constexpr int kScanAddressMax = 65535;
// A read of holding or input registers, the request the scanner sends, is this long.
constexpr int kScanRequestLength = FindFunction(kFcReadHolding)->requestLength;
// Horizontal scroll range of the results list once an exception has been listed, in pixels.
constexpr int kScanListScrollWidth = 300;

// The field a failed start check points the user at.
enum class ScanField { None, From, To, Timeout };

// The texts of the three fields at the moment "&Start" is pressed.
struct ScanStartFields {
    std::string from;
    std::string to;
    std::string timeout;
    bool useOffset = false; // "Use address offset"
};

struct ScanStartCheck {
    const char* message = nullptr; // nullptr: every check passed
    ScanField field = ScanField::None;
    bool selectText = false; // the field gets its text selected as well as the focus
    int from = 0, to = 0, timeout = 0;
    bool ok() const { return message == nullptr; }
};

// Runs the ten start checks in order and stops at the first that fails.
ScanStartCheck CheckScanStart(const ScanStartFields& fields);

// The timeout field was left or Enter was pressed in it: an integer from 50 to 10000 is taken as
// the new timeout; anything else brings the message, and field and timeout return to 100.
struct ScanTimeoutField {
    const char* message = nullptr; // kScanTimeoutRange when refused
    int timeout = kScanTimeoutDefault;
    std::string fieldText; // what the field shows afterwards
};
ScanTimeoutField ScanTimeoutFieldLeft(std::string_view text);

// The "From:" arrows were used: "To:" follows "From:" when it is now below it.
std::string ScanToTextAfterFromArrows(std::string_view fromText, std::string_view toText);

// The request for one register: TI = the address as entered, register address = the address
// (one less with the offset), function 3 for holding or 4 for input registers, quantity 1.
std::array<uint8_t, kScanRequestLength> ScanRequest(int scanAddress, uint8_t uid, bool holding, bool useOffset);

// What the bytes waiting on the scanner's connection allow.
enum class ScanPeekKind {
    Wait,        // not a whole reply yet (also a look that found nothing)
    Invalid,     // protocol identifier or length high byte not zero: disconnect, kScanIncorrectData
    SocketError, // the look failed: show ScanSocketErrorText(errorCode), wait for the timeout
    Frame,       // a whole reply of `length` bytes is at the front: take exactly that many
};
struct ScanPeek {
    ScanPeekKind kind = ScanPeekKind::Wait;
    int length = 0;
    int errorCode = 0;
};
// `bytes` holds the `peeked` bytes a look found (at most 513); a failed look passes a negative
// count and its Windows Sockets error number (0 when none). Only bytes actually looked at are
// judged.
ScanPeek ExamineScanReply(const uint8_t* bytes, int peeked, int errorCode);

// One reply, read with the request's layout.
enum class ScanReplyKind {
    Value,     // function 3 or 4 with a register value
    Exception, // function 0x83 or 0x84 with an exception code
    Ignored,   // anything else: no line and no count
};
struct ScanReply {
    ScanReplyKind kind = ScanReplyKind::Ignored;
    uint16_t registerNumber = 0; // the reply's transaction identifier
    uint16_t value = 0;
    uint8_t exceptionCode = 0;
};
// `length` is the frame's whole length (6 + its length byte). A reply too short to carry what its
// function code promises is ignored rather than read past its end.
ScanReply ReadScanReply(const uint8_t* frame, int length);

// Result lines.
std::string ScanValueLine(uint16_t registerNumber, uint16_t value);
std::string ScanExceptionLine(uint16_t registerNumber, uint8_t exceptionCode);
std::string ScanTimeoutLine(int address);
// The scanner's name of an exception code ("Illegal data value"), kScanUnknownException outside
// the table.
std::string ScanExceptionText(uint8_t exceptionCode);

// "Scanning 10 holding registers.." / "Scanning 10 input registers..".
std::string ScanningStatusText(int count, bool holding);
// The summary in its three formats: below 1 s in ms, below 1 min in s and ms, else in m, s and ms.
std::string ScanSummaryText(int count, uint32_t elapsedMs, int succeeded, int failed);
std::string ScanSocketErrorText(int errorCode);

// The settings a scan reads anew for every request and reply.
struct ScanSettings {
    int to = 0;             // "To:" read again at each poll step
    uint8_t uid = 0;        // the UID box
    bool holding = true;    // "&Holding" selected (else "&Input")
    bool useOffset = false; // "Use address offset"
    bool listFailedOnly = false;
    bool copyValue = false; // "Copy value to register"
};

// What a poll step asks of the window.
struct ScanPollStep {
    bool ran = false;        // false: no scan is running, nothing to do
    std::string timeoutLine; // the line of the request that timed out, empty otherwise
    bool send = false;       // send `request` and start the timeout timer
    std::array<uint8_t, kScanRequestLength> request{};
    int progress = 0;       // the progress bar's position after the step
    bool completed = false; // the scan is complete: show `summary`, then Stop
    std::string summary;
};

// What one evaluated reply asks of the window.
struct ScanReplyStep {
    std::string line;          // empty: no line
    bool widenList = false;    // give the list its horizontal scroll range
    bool copy = false;         // store `value` into register `registerNumber` of the chosen table
    bool copyToHolding = true; // holding table, else input table
    uint16_t registerNumber = 0;
    uint16_t value = 0;
    ScanPollStep next; // the poll step every reply runs
};

// One scan, from "&Start" to completion or Stop. Replies are never matched against the request
// outstanding: each is listed under the transaction identifier it carries and sends the next
// request, so a reply arriving after its timeout adds a second line and one more request.
class ScanSession {
  public:
    // Starts a scan of from..to (already checked) at tick `now` and runs the first poll step.
    ScanPollStep start(int from, int to, uint32_t now, const ScanSettings& settings);
    // The poll step; `byTimeout` when the timeout timer called it.
    ScanPollStep pollStep(bool byTimeout, uint32_t now, const ScanSettings& settings);
    // Evaluates one whole reply frame (see ExamineScanReply) and runs the poll step.
    ScanReplyStep reply(const uint8_t* frame, int length, uint32_t now, const ScanSettings& settings);
    // "S&top" (also the end of a scan by Disconnect): leaves the scanning state.
    void stop() { scanRunning_ = false; }
    // Whether Stop clears the status line: always, except after a completed scan whose summary
    // stands there.
    bool stopClearsStatus() const { return !completed_; }

    bool scanRunning() const { return scanRunning_; }
    int scanAddress() const { return scanAddress_; }
    int scanSucceeded() const { return scanSucceeded_; }
    int scanFailed() const { return scanFailed_; }
    int from() const { return from_; }
    int to() const { return to_; }

  private:
    int from_ = 0;
    int to_ = 0;
    int scanAddress_ = 0; // the next register to poll
    bool scanRunning_ = false;
    bool completed_ = false;
    uint32_t scanStartTick_ = 0;
    int scanSucceeded_ = 0; // replies with register data
    int scanFailed_ = 0;    // exception replies and timeouts
};

} // namespace korvel
