#include "master/reply_handling.h"

#include "common/modbus_protocol.h"
#include "common/numeric.h"
#include "common/winsock_texts.h"

#include <cctype>

namespace korvel {

namespace {

constexpr int kLastRegister = kRegisterCount - 1;
constexpr int kFunctionBytes = 8;  // up to the function code
constexpr int kExceptionBytes = 9; // up to the exception code

int ReceivedTi(const Area& r)
{
    return Word(r.data());
}

bool HeaderZero(const Area& r)
{
    return r[2] == 0 && r[3] == 0 && r[4] == 0;
}

// The row of a function the client sends, nullptr for any other code: only these are answered.
const FunctionInfo* SentFunction(uint8_t fc)
{
    const FunctionInfo* row = FindFunction(fc);
    return row != nullptr && row->clientIndex >= 0 ? row : nullptr;
}

std::string ReferenceLine(const ClientQueryState& query)
{
    return "Reference: " + DecText(Word(query.QueryFrame.data() + 8));
}

// The line that names what the query asked for, by the layout of the function's request.
std::string ExceptionDetail(const FunctionInfo& row, const ClientQueryState& query)
{
    const uint8_t* q = query.QueryFrame.data();
    switch (row.request) {
    case RequestLayout::AddressQuantity:
    case RequestLayout::AddressQuantityBytes:
        return ReferenceLine(query) + ", word count: " + DecText(q[11]);
    case RequestLayout::AddressValue:
    case RequestLayout::AddressMasks:
        return ReferenceLine(query);
    case RequestLayout::Nothing:
        return "Read exception status from UID " + DecText(q[6]);
    case RequestLayout::SubFunction:
    case RequestLayout::ReadWrite:
        break; // never sent by the client
    }
    return std::string();
}

// The event lines of a faulty reply (results 1..11), without the header.
std::vector<std::string> FaultLines(int result, const ReplyState& state, int n, const ClientQueryState& query)
{
    const Area& r = state.ReplyFrame;
    switch (result) {
    case kReplyWrongTi:
        return {"Incorrect TI. Expected: " + DecText(query.TICounter) + ". Received: " + DecText(ReceivedTi(r))};
    case kReplyHeaderError:
        return {"Header error. Received: " + DecText(r[2]) + "/" + DecText(r[3]) + "/" + DecText(r[4])};
    case kReplyLengthError:
        return {"Packet length error. Received: " + DecText(n) + ". Defined: " + DecText(r[5] + kMbapPrefix)};
    case kReplyWrongUid:
        return {"Incorrect UID. Received: " + DecText(r[6])};
    case kReplyUnknownFunction:
        return {"Data discarded. Unknown function. " + DecText(r[7])};
    default:
        return {"Exception. FC: 0x" + Hex2(r[7]) + " Code: " + DecText(r[8]), state.ExceptionName,
                state.ExceptionDetail};
    }
}

int StoreReadValues(const ReplyState& state, int n, const ClientQueryState& query, RegisterStore& store)
{
    const Area& r = state.ReplyFrame;
    const bool input = FindFunction(r[7])->reads == RegisterBank::Input;
    const int first = Word(query.QueryFrame.data() + 8) + query.OffsetInUse;
    const int count = ReadValueCount(r[8]);
    int stored = 0;
    for (int i = 0; i < count; ++i) {
        const int low = 10 + 2 * i;
        const int address = first + i;
        if (low >= n || address > kLastRegister) {
            break; // not received in this reply, or beyond the store: dropped
        }
        const auto value = static_cast<uint16_t>((r[low - 1] << 8) | r[low]);
        if (input) {
            store.setInput(static_cast<uint16_t>(address), value);
        } else {
            store.setHolding(static_cast<uint16_t>(address), value);
        }
        ++stored;
    }
    return stored;
}

} // namespace

PeekDecision DecidePeek(const ReplyState& state, int looked, int errorCode)
{
    const Area& r = state.ReplyFrame;
    if (looked >= 5 && !HeaderZero(r)) {
        return PeekDecision::Receive; // the length cannot be trusted
    }
    if (looked < 0) {
        return errorCode == kWsaWouldBlock ? PeekDecision::Wait : PeekDecision::ReportThenReceive;
    }
    if (looked < kMinPeekForFrame || looked < r[5] + kMbapPrefix) {
        return PeekDecision::Wait;
    }
    return PeekDecision::Receive;
}

std::string ClientExceptionName(uint8_t code)
{
    const char* name = ExceptionName(code);
    if (name == nullptr) {
        return "Unknown exception code " + DecText(code);
    }
    std::string upper(name);
    for (char& ch : upper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    return upper;
}

int CheckReply(ReplyState& state, int n, const ClientQueryState& query)
{
    const Area& r = state.ReplyFrame;
    const uint8_t fc = r[7];
    int result = kReplyUnknownFunction;
    if (ReceivedTi(r) != query.TICounter) {
        return kReplyWrongTi;
    }
    if (!HeaderZero(r)) {
        return kReplyHeaderError;
    }
    // An exception reply may be longer than its length says, never shorter than its code; no
    // reply is shorter than its function byte. Bytes not received are an earlier reply's.
    const int needed = fc < kExceptionBit ? kFunctionBytes : kExceptionBytes;
    if ((n != r[5] + kMbapPrefix && fc < kExceptionBit) || n < needed) {
        return kReplyLengthError;
    }
    if (r[6] != query.ClientUID) {
        return kReplyWrongUid;
    }
    if (SentFunction(fc) != nullptr) {
        return kReplyGood;
    }
    const FunctionInfo* excepted =
        (fc & kExceptionBit) != 0 ? SentFunction(static_cast<uint8_t>(fc & ~kExceptionBit)) : nullptr;
    if (excepted != nullptr) {
        result = kReplyExceptionFc3 + excepted->clientIndex;
        state.ExceptionDetail = ExceptionDetail(*excepted, query);
        if (excepted->reply == ReplyLayout::StatusByte) {
            state.ReturnedExpStatus = kReturnedExpStatusFailed;
        }
    }
    state.ExceptionName = ClientExceptionName(r[8]);
    return result;
}

int ReadValueCount(uint8_t byteCount)
{
    int half = byteCount / 2;
    if (byteCount % 2 != 0 && half % 2 != 0) {
        ++half; // x.5 goes to the even neighbour
    }
    return half;
}

ReplyOutcome HandleReply(ReplyState& state, int n, const ClientQueryState& query, RegisterStore& store,
                         int32_t& EventNumber, const LocalClock& receivedAt, std::string_view separator)
{
    ReplyOutcome out;
    out.result = CheckReply(state, n, query);
    const Area& r = state.ReplyFrame;
    if (out.result == kReplyGood) {
        out.statusText =
            "TI: " + DecText(query.TICounter) + "/" + DecText(ReceivedTi(r)) + "  " + DecText(n) + " bytes received";
        const ReplyLayout layout = SentFunction(r[7])->reply; // a good reply answers a function sent
        if (layout == ReplyLayout::StatusByte) {
            state.ReturnedExpStatus = "0x" + Hex2(r[8]);
        } else if (layout == ReplyLayout::ByteCountValues) {
            out.stored = StoreReadValues(state, n, query, store);
        }
        return out;
    }
    out.eventLines.push_back(EventHeader(EventNumber, DateClockText(receivedAt, separator)));
    for (std::string& line : FaultLines(out.result, state, n, query)) {
        out.eventLines.push_back(std::move(line));
    }
    out.eventLines.emplace_back();
    out.clientStatus = out.result <= kReplyUnknownFunction ? kStatusErrorDetected : kStatusExceptionDetected;
    return out;
}

} // namespace korvel
