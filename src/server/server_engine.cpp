#include "server/server_engine.h"

#include "common/numeric.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace korvel {

namespace {

constexpr uint8_t kExceptionIllegalFunction = 1;
constexpr uint8_t kExceptionIllegalAddress = 2;
constexpr uint8_t kExceptionIllegalValue = 3;

// "hh hh  (d)" of a big-endian word.
std::string WordField(uint8_t high, uint8_t low, int64_t shown)
{
    return Hex2(high) + " " + Hex2(low) + "  (" + DecText(shown) + ")";
}

// "hh     (d)" of one byte.
std::string ByteField(uint8_t byte)
{
    return Hex2(byte) + "     (" + DecText(byte) + ")";
}

} // namespace

RequestFields FormatRequestFields(const uint8_t* header, bool addressOffset)
{
    RequestFields f;
    f.ti = WordField(header[0], header[1], Word(header));
    f.pid = Hex2(header[2]) + " " + Hex2(header[3]);
    f.length = WordField(header[4], header[5], Word(header + 4));
    f.uid = ByteField(header[6]);
    f.fc = ByteField(header[7]);
    f.startAddress = WordField(header[8], header[9], Word(header + 8) + (addressOffset ? 1 : 0));
    const FunctionInfo* row = FindFunction(header[7]);
    if (row != nullptr &&
        (row->request == RequestLayout::AddressValue || row->request == RequestLayout::AddressMasks)) {
        f.wordCount = "00 01  (1)"; // one register, whatever bytes 10-11 hold
    } else {
        f.wordCount = WordField(header[10], header[11], Word(header + 10));
    }
    return f;
}

RequestFields ResetRequestFields()
{
    RequestFields f;
    f.ti = f.length = f.startAddress = f.wordCount = "00 00  (0)";
    f.uid = f.fc = "00     (0)";
    f.pid = "00 00";
    return f;
}

RequestFields ConnectionStatus::fields() const
{
    return fieldsReset ? ResetRequestFields() : FormatRequestFields(fieldBytes.data(), fieldOffset);
}

ServerEngine::ServerEngine(RegisterStore& store) : store_(store) {}

ProcessResult ServerEngine::process(int c, std::span<const uint8_t> frame, uint32_t nowMs)
{
    ProcessResult result;
    if (!conns_[0].open && !conns_[1].open) {
        return result; // "Not connected.": nothing counted, nothing changed
    }
    const int L = static_cast<int>(std::min<size_t>(frame.size(), kAreaSize));
    ConnectionState& conn = connection(c);
    result.processed = true;
    result.requestLength = L;

    ++counters.MessageCount;
    conn.IdleTicks = 0;
    // Poll interval: the longer of the last two gaps between requests (32-bit ms, wrapping).
    const uint32_t current = nowMs - conn.LastRequestTick;
    conn.ShownInterval = std::max(current, conn.PreviousInterval);
    conn.PreviousInterval = current;
    conn.LastRequestTick = nowMs;

    // Fields a frame does not carry (a short FC3 frame, values an FC16 or FC23 frame does not
    // hold) read as 0 rather than as leftovers of earlier frames: the area beyond the frame is
    // zeroed, as far as an earlier frame had filled it.
    if (L > 0)
        std::memmove(work_.data(), frame.data(), static_cast<size_t>(L));
    if (workDirty_ > L) {
        std::memset(work_.data() + L, 0, static_cast<size_t>(workDirty_ - L));
    }
    workDirty_ = L;

    result.request = std::span<const uint8_t>(work_.data(), static_cast<size_t>(L));
    result.outcome = CheckRequest(work_.data(), L, settings.check);
    const CheckOutcome& outcome = result.outcome;
    if (outcome.noReply) {
        ++counters.NoResponseCount;
    }
    conn.checkText = outcome.text;
    conn.failed = !outcome.passed;
    lastRequestFailed = !outcome.passed;
    ++processedRequests;

    int R = 0;
    if (outcome.passed && !outcome.illegalValue) {
        R = buildNormalReply();
    }
    if (outcome.illegalFunction || outcome.illegalAddress || outcome.illegalValue || settings.ReturnExceptionActive) {
        uint8_t code = settings.ForcedExceptionCode;
        if (outcome.illegalFunction) {
            code = kExceptionIllegalFunction;
        } else if (outcome.illegalAddress) {
            code = kExceptionIllegalAddress;
        } else if (outcome.illegalValue) {
            code = kExceptionIllegalValue;
        }
        R = buildExceptionReply(code);
        result.exceptionCode = code;
    }
    if (outcome.noReply) {
        return result; // wrong unit: nothing is logged, sent or shown
    }

    result.replyStep = true;
    result.replyLength = R;
    result.reply = std::span<const uint8_t>(reply_.data(), static_cast<size_t>(R));
    conn.BytesSent += static_cast<uint64_t>(R);
    // Snapshot for the panel's field texts; they are formatted when shown.
    std::memcpy(conn.fieldBytes.data(), work_.data(), conn.fieldBytes.size());
    conn.fieldOffset = settings.check.addressOffset;
    conn.fieldsReset = false;
    return result;
}

int ServerEngine::buildNormalReply()
{
    uint8_t* reply = reply_.data();
    const uint8_t* work = work_.data();
    std::memcpy(reply, work, 8); // TI, PID, length, UID, FC
    if (settings.WrongTIActive) {
        if (reply[1] == 0xAD) {
            reply[0] = 0xBA;
            reply[1] = 0xBE;
        } else {
            reply[0] = 0xDE;
            reply[1] = 0xAD;
        }
    }
    if (settings.WrongLengthHBActive) {
        reply[4] = 0xEF;
    }
    if (settings.WrongPIDActive) {
        reply[2] = 0xAB;
        reply[3] = 0xCD;
    }

    const int offset = settings.check.addressOffset ? 1 : 0;
    const int a = Word(work + 8) + offset;
    const int n = work[11];
    const FunctionInfo* row = FindFunction(work[7]);
    if (row == nullptr) {
        return 0; // the checks let no other code through
    }
    // Each request layout belongs to one function, but for the two reads of a start and a
    // quantity, which differ in the table they read.
    switch (row->request) {
    case RequestLayout::AddressQuantity:
        return readRegisters(row->reads == RegisterBank::Holding, a, n);
    case RequestLayout::AddressValue: {
        const auto address = static_cast<uint16_t>(a);
        store_.setHolding(address, Word(work + 10));
        const int R = echoReply(*row); // the address as requested
        PutWord(reply + 10, store_.holding(address));
        return R;
    }
    case RequestLayout::Nothing:
        reply[8] = static_cast<uint8_t>(store_.holding(kExceptionStatusRegister));
        reply[5] = 3;
        return 9;
    case RequestLayout::SubFunction:
        return diagnostics();
    case RequestLayout::AddressQuantityBytes:
        writeRegisters(a, n, 13);
        return echoReply(*row);
    case RequestLayout::AddressMasks: {
        const auto address = static_cast<uint16_t>(a);
        const uint16_t andMask = Word(work + 10);
        const uint16_t orMask = Word(work + 12);
        store_.setHolding(address, static_cast<uint16_t>((store_.holding(address) & andMask) | (orMask & ~andMask)));
        return echoReply(*row);
    }
    case RequestLayout::ReadWrite:
        // Write first, then read, so that overlapping ranges read the new values.
        writeRegisters(Word(work + 12) + offset, work[15], 17);
        readRegisters(row->reads == RegisterBank::Holding, a, n);
        return reply[8] + 9;
    }
    return 0;
}

// Repeats the request's bytes 8.. as far as the function's row says; returns R.
int ServerEngine::echoReply(const FunctionInfo& row)
{
    const int length = row.echoLength;
    std::memcpy(reply_.data() + 8, work_.data() + 8, static_cast<size_t>(length));
    reply_[5] = static_cast<uint8_t>(2 + length); // UID and FC count too
    return 8 + length;
}

// Byte count, values and byte 5 of a read reply; returns R. The checks keep count <= 126 and
// start + count <= 65536, so the reply stays inside its 513 bytes and every address is valid.
int ServerEngine::readRegisters(bool holding, int start, int count)
{
    uint8_t* reply = reply_.data();
    reply[8] = static_cast<uint8_t>(2 * count);
    uint8_t* out = reply + 9;
    for (int i = 0; i < count; ++i, out += 2) {
        const auto address = static_cast<uint16_t>(start + i);
        PutWord(out, holding ? store_.holding(address) : store_.input(address));
    }
    reply[5] = static_cast<uint8_t>(reply[8] + 3);
    return reply[5] + 6;
}

// Holding registers start.. from the big-endian values at firstValueOffset of the request;
// values the frame does not hold read as 0, and nothing past the work area is read.
void ServerEngine::writeRegisters(int start, int count, int firstValueOffset)
{
    for (int i = 0; i < count; ++i) {
        const int at = firstValueOffset + 2 * i;
        const auto value = static_cast<uint16_t>((workByte(at) << 8) | workByte(at + 1));
        store_.setHolding(static_cast<uint16_t>(start + i), value);
    }
}

int ServerEngine::diagnostics()
{
    uint8_t* reply = reply_.data();
    const uint8_t* work = work_.data();
    reply[8] = 0;
    reply[9] = work[9];
    uint64_t counter = 0;
    switch (work[9]) {
    case kSubReturnQueryData:
        reply[10] = work[10];
        reply[11] = work[11];
        reply[5] = 6;
        return 12;
    case kSubReturnDiagnosticRegister:
        PutWord(reply + 10, store_.holding(kDiagnosticRegister));
        reply[5] = 6;
        return 12;
    case kSubClearCounters:
        for (ConnectionState& conn : conns_) {
            conn.BytesSent = 0;
            conn.BytesReceived = 0;
        }
        counters = ServerCounters{};
        store_.setHolding(kDiagnosticRegister, 0);
        reply[10] = work[10];
        reply[11] = work[11];
        reply[5] = 6;
        return 12;
    case kSubBusExceptionCount:
        counter = counters.ExceptionCount;
        break;
    case kSubSlaveMessageCount:
        counter = counters.MessageCount;
        break;
    case kSubSlaveNoResponseCount:
        counter = counters.NoResponseCount;
        break;
    default:
        return 0; // the checks let no other sub-function through
    }
    // The counters go out with all 64 bits, most significant byte first.
    for (int i = 0; i < 8; ++i) {
        reply[10 + i] = static_cast<uint8_t>(counter >> (56 - 8 * i));
    }
    reply[5] = 12;
    return 18;
}

// Built over whatever the reply area holds: with the incorrect-TI option on, bytes 0-1 keep the
// previous reply's TI (DE AD / BA BE after a normal reply built with the option).
int ServerEngine::buildExceptionReply(uint8_t code)
{
    uint8_t* reply = reply_.data();
    const int first = settings.WrongTIActive ? 2 : 0;
    std::memcpy(reply + first, work_.data() + first, static_cast<size_t>(7 - first));
    reply[5] = 3;
    reply[7] = static_cast<uint8_t>(work_[7] + kExceptionBit);
    reply[8] = code;
    ++counters.ExceptionCount;
    return 9;
}

ProcessResult ServerEngine::exchange(int c, std::span<const uint8_t> frame, uint32_t nowMs)
{
    ConnectionState& conn = connection(c);
    const Area& held = conn.stash[conn.stashIndex];
    const int heldLength = conn.stashLength;
    conn.stashIndex ^= 1;
    const size_t n = std::min<size_t>(frame.size(), kAreaSize);
    if (n > 0)
        std::memcpy(conn.stash[conn.stashIndex].data(), frame.data(), n);
    conn.stashLength = static_cast<int>(n);
    if (conn.FirstFrame) {
        conn.FirstFrame = false; // held back; nothing to answer yet
        return ProcessResult{};
    }
    conn.PacketSize = heldLength;
    return process(c, std::span<const uint8_t>(held.data(), static_cast<size_t>(heldLength)), nowMs);
}

void ServerEngine::setOutOfSynch(bool on)
{
    settings.OutOfSynchActive = on;
    for (ConnectionState& conn : conns_) {
        conn.FirstFrame = true;
    }
}

void ServerEngine::ResetConnectionStatus(Connections which, uint32_t nowMs)
{
    for (int slot = 1; slot <= 2; ++slot) {
        if (!Covers(which, slot)) {
            continue;
        }
        ConnectionState& conn = connection(slot);
        conn.checkText = HeaderCheckText(kCheckNone);
        conn.PeerIP = HeaderCheckText(kCheckNone);
        conn.BytesSent = 0;
        conn.BytesReceived = 0;
        conn.LastRequestTick = nowMs;
        conn.fieldsReset = true;
        conn.ShownInterval = 0;
        conn.PacketSize = 0;
    }
    if (which == Connections::Both) {
        lastRequestFailed = false;
    }
}

void ServerEngine::connectionAccepted(int c, const std::string& peerIp, uint32_t nowMs, uint16_t peerPort)
{
    ConnectionState& conn = connection(c);
    conn.open = true;
    conn.PeerIP = peerIp;
    conn.PeerPort = peerPort;
    conn.LastRequestTick = nowMs;
    conn.IdleTicks = 0;
}

void ServerEngine::connectionClosed(int c, bool resetStatus, uint32_t nowMs)
{
    ConnectionState& conn = connection(c);
    conn.open = false;
    conn.NagleDisabled = false;
    conn.PeerIP = HeaderCheckText(kCheckNone);
    conn.PacketSize = 0;
    conn.failed = false;
    conn.FirstFrame = true;
    if (resetStatus) {
        ResetConnectionStatus(ConnectionOf(c), nowMs);
    }
}

bool ServerEngine::idleTick(int c)
{
    ConnectionState& conn = connection(c);
    if (conn.IdleTicks > 60) {
        return true;
    }
    ++conn.IdleTicks;
    return false;
}

} // namespace korvel
