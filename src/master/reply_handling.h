// The client's side of a reply: when a whole frame is there to take, the reply check against the
// query still held in the query frame (result codes 0..11), storing the values of a read, and the
// event lines and status texts of every outcome. Bytes in, values and texts out: the window takes
// the bytes off its socket, inserts the lines at the top of its event list and copies the texts.
//
// A read event on the client socket, as the window drives it:
//   1. look at up to 513 waiting bytes into state.ReplyFrame; DecidePeek says wait, take, or
//      write SocketErrorEvent first and take;
//   2. take up to 513 bytes into state.ReplyFrame, giving n; n <= 0 skips to step 5;
//   3. delete EventLinesToCut(lines) lines from the end of the event list;
//   4. HandleReply against the query the reply answers (QueriesInFlight::answer): insert its
//      event lines at the top, copy its status texts;
//   5. the polling continuation (ContinueAfterReply), unless another query is still awaited.
// A close event instead sets `DisconnectReason` to kExternalReason and disconnects; nothing else.
#pragma once

#include "common/frame.h"
#include "common/register_store.h"
#include "master/event_texts.h"
#include "master/query_building.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvel {

// Result codes of the reply check, in the order the check tries them. An exception reply to a
// function the client sends is kReplyExceptionFc3 + that function's clientIndex in the protocol
// table.
enum ReplyResult : int {
    kReplyGood = 0,
    kReplyWrongTi = 1,
    kReplyHeaderError = 2,
    kReplyLengthError = 3,
    kReplyWrongUid = 4,
    kReplyUnknownFunction = 5,
    kReplyExceptionFc3 = 6,  // 0x83
    kReplyExceptionFc4 = 7,  // 0x84
    kReplyExceptionFc16 = 8, // 0x90
    kReplyExceptionFc22 = 9, // 0x96
    kReplyExceptionFc6 = 10, // 0x86
    kReplyExceptionFc7 = 11, // 0x87
};

inline constexpr const char* kReturnedExpStatusFailed = kExceptionStatusFailed; // as a one-off read shows it

// What the reply side keeps between replies.
struct ReplyState {
    // The receive buffer, reused for every reply; bytes beyond the latest reply's length are left
    // over from earlier ones.
    Area ReplyFrame{};
    std::string ExceptionName;     // of the last exception reply
    std::string ExceptionDetail;   // its "Reference: ..." line
    std::string ReturnedExpStatus; // result of an exception-status read ("0x5A", "Failed", ...)
};

// What to do with a read event after looking (peeking) at up to 513 waiting bytes.
enum class PeekDecision {
    Wait,              // the frame is not whole yet: wait for the next read event
    Receive,           // take up to 513 bytes and check them
    ReportThenReceive, // write SocketErrorEvent(errorCode), then go on with the receive
};

// `looked` is the result of the look (the number of bytes, or -1 with `errorCode`); the bytes are
// in state.ReplyFrame. With the protocol identifier and length high byte 0, a frame is whole at
// byte 5 + 6 bytes; otherwise the length cannot be trusted and the bytes are taken at once.
// Only bytes this look delivered are judged: fewer than 5 (or a failed look) never read the
// buffer's left-overs of an earlier reply.
PeekDecision DecidePeek(const ReplyState& state, int looked, int errorCode);

// The texts of an exception code, upper case ("ILLEGAL DATA ADDRESS"), or "Unknown exception code
// <code>".
std::string ClientExceptionName(uint8_t code);

// The check of the n bytes received (1..513) in state.ReplyFrame against the query; sets
// ExceptionName and ExceptionDetail for results 5..11 and ReturnedExpStatus for result 11. A reply
// too short to carry its function code, or an exception reply too short for its exception code,
// is a length error: the bytes the buffer holds there are an earlier reply's.
int CheckReply(ReplyState& state, int n, const ClientQueryState& query);

// Half of a read reply's byte count, rounded to the nearest whole number, halves to the even
// neighbour (3 -> 2, 5 -> 2, 7 -> 4).
int ReadValueCount(uint8_t byteCount);

// What one received reply leads to.
struct ReplyOutcome {
    int result = kReplyGood;
    std::vector<std::string> eventLines; // top to bottom, inserted at the top of the list; may be empty
    std::string statusText;              // the status bar's new text; empty: unchanged
    const char* clientStatus = nullptr;  // new ClientStatus; nullptr: unchanged
    int stored = 0;                      // registers written into the store
};

// Steps 6 and 8 of a read event for n > 0 received bytes: the check, then the event, the texts
// and, for a good reply of function 3 or 4, the values at the addresses the query asked for
// (bytes 8-9 of the query plus OffsetInUse). Values are stored only where both their bytes came
// in this reply and their address is at most 65535; the rest are dropped, never wrapped to 0.
// `receivedAt` is the local time the read event was taken at.
ReplyOutcome HandleReply(ReplyState& state, int n, const ClientQueryState& query, RegisterStore& store,
                         int32_t& EventNumber, const LocalClock& receivedAt, std::string_view separator = ":");

} // namespace korvel
