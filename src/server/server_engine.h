// The simulated slave: executes one request frame against the register store, builds the reply
// (normal or exception) with the fault options applied, and keeps the counters and the per-connection
// status that the status panel shows. Bytes in, bytes out: no sockets, no clock, no logging; the
// caller passes the frame and the time in, and sends and logs what ProcessResult tells it to.
#pragma once

#include "common/frame.h"
#include "common/register_store.h"
#include "server/request_check.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace korvel {

// Fault injection and test options, set by the "Modbus" menu, read by every request.
struct ServerSettings {
    CheckSettings check;
    bool WrongTIActive = false;       // reply TI DE AD (BA BE when the request TI ends in AD)
    bool WrongPIDActive = false;      // reply bytes 2-3 AB CD
    bool WrongLengthHBActive = false; // reply byte 4 EF
    bool ReturnExceptionActive = false;
    uint8_t ForcedExceptionCode = 0; // 1..8, 10, 11 while ReturnExceptionActive
    bool OutOfSynchActive = false;   // answer every request one frame late
};

// The seven header field texts of the status panel.
struct RequestFields {
    std::string ti, pid, length, uid, fc, startAddress, wordCount;
};

// Formats the fields of a request: `header` holds at least the first 12 bytes of the work area.
RequestFields FormatRequestFields(const uint8_t* header, bool addressOffset);
RequestFields ResetRequestFields();

// What the status panel shows of one connection; the runtime publishes copies of it.
// Connections are numbered 1 and 2; their per-connection arrays are indexed 0 and 1.
constexpr int SlotIndex(int c)
{
    return c == 2 ? 1 : 0;
}

// Which connections a status reset or a published status covers.
enum class Connections { None, First, Second, Both };
constexpr Connections ConnectionOf(int c)
{
    return c == 2 ? Connections::Second : Connections::First;
}
constexpr bool Covers(Connections which, int c)
{
    return which == Connections::Both || which == ConnectionOf(c);
}

struct ConnectionStatus {
    bool open = false;            // the slot holds a connection
    std::string checkText = "--"; // HeaderCheckText-built result of the last request
    bool failed = false;          // the last request failed its checks
    uint64_t BytesSent = 0;
    uint64_t BytesReceived = 0;
    int PacketSize = 0;            // length of the data last handled
    int IdleTicks = 0;             // seconds since the last request
    uint32_t LastRequestTick = 0;  // ms clock of the last request
    uint32_t PreviousInterval = 0; // last gap between two requests, ms
    uint32_t ShownInterval = 0;    // what "Poll interval:" shows, ms
    std::string PeerIP = "--";
    uint16_t PeerPort = 0; // of the open connection, 0 when unknown
    bool NagleDisabled = false;
    // FormatRequestFields snapshot: the first 12 bytes of the request and the offset setting of
    // that moment; the texts are built when the panel shows them.
    std::array<uint8_t, 12> fieldBytes{};
    bool fieldOffset = false;
    bool fieldsReset = true; // show the reset values
    RequestFields fields() const;
};

struct ConnectionState : ConnectionStatus {
    std::array<Area, 2> stash{}; // out-of-synch: the frame held back is stash[stashIndex]
    int stashIndex = 0;
    int stashLength = 0;
    bool FirstFrame = true; // the stash holds nothing to be answered
};

struct ServerCounters {
    uint64_t MessageCount = 0;
    uint64_t ExceptionCount = 0;
    uint64_t NoResponseCount = 0;
};

// What one process() or exchange() did, for the program to send and log.
struct ProcessResult {
    bool processed = false; // false: neither connection open ("Not connected."), nothing changed
    CheckOutcome outcome;
    int requestLength = 0;            // L: the request is the first L bytes of workArea()
    bool replyStep = false;           // the reply is to be logged and sent (also when replyLength is 0)
    int replyLength = 0;              // R: the reply is the first R bytes of replyArea()
    uint8_t exceptionCode = 0;        // the code of the exception reply built, 0 when none was built
    std::span<const uint8_t> request; // the first requestLength bytes of workArea()
    std::span<const uint8_t> reply;   // the first replyLength bytes of replyArea()
};

class ServerEngine {
  public:
    explicit ServerEngine(RegisterStore& store);

    ServerSettings settings;
    ServerCounters counters;
    bool lastRequestFailed = false; // the last request processed on either connection failed its checks
    uint64_t processedRequests = 0; // requests processed since start, never reset

    RegisterStore& store() { return store_; }
    ConnectionState& connection(int c) { return conns_[SlotIndex(c)]; }
    const ConnectionState& connection(int c) const { return conns_[SlotIndex(c)]; }
    // The whole 513-byte areas, for the engine's own tests; the runtime and the log take the
    // result's request and reply spans.
    const uint8_t* workArea() const { return work_.data(); }
    const uint8_t* replyArea() const { return reply_.data(); }

    // Processes the request `frame` (its first 513 bytes at most) received on connection c. nowMs
    // is the millisecond clock for the poll-interval measurement. The result's spans point into
    // the engine's areas and stay valid until the next call.
    ProcessResult process(int c, std::span<const uint8_t> frame, uint32_t nowMs);

    // Out-of-synch: `frame`, just received on connection c, is held back and the frame held before
    // is processed now. Returns a result with processed == false and replyStep == false when
    // nothing was held (the first frame after a switch or a connect).
    ProcessResult exchange(int c, std::span<const uint8_t> frame, uint32_t nowMs);

    // "Reply Out of Synch" switched: FirstFrame of both connections := true.
    void setOutOfSynch(bool on);

    // Resets the status values of `which` connections: check text, peer, byte counters, interval,
    // packet size, field texts. Both also clears the last-request failure mark.
    void ResetConnectionStatus(Connections which, uint32_t nowMs);

    // A connection was accepted into slot c: open, idle counter 0, poll-interval measurement starts.
    void connectionAccepted(int c, const std::string& peerIp, uint32_t nowMs, uint16_t peerPort = 0);
    // Slot c was closed (DisconnectSock 1 or 2 and the per-slot part of 3 and 4).
    void connectionClosed(int c, bool resetStatus, uint32_t nowMs);

    // One second of idle release on connection c: true when the connection is to be released
    // (more than 60 ticks since the last request), otherwise the tick is counted.
    bool idleTick(int c);

  private:
    // Both return R, the reply's length.
    int buildNormalReply();
    int buildExceptionReply(uint8_t code);
    int echoReply(const FunctionInfo& row);
    int readRegisters(bool holding, int start, int count);
    void writeRegisters(int start, int count, int firstValueOffset);
    int diagnostics();
    uint8_t workByte(int i) const { return i < kAreaSize ? work_[i] : 0; }

    RegisterStore& store_;
    std::array<ConnectionState, 2> conns_;
    Area work_{};       // shared by both connections
    Area reply_{};      // shared by both connections, never cleared
    int workDirty_ = 0; // the work area is zero from here on
};

} // namespace korvel
