#include "log/log_lines.h"

#include "common/frame.h"

#include <algorithm>
#include <charconv>

namespace korvel {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendDec(std::string& out, int64_t value)
{
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void AppendHex2(std::string& out, uint8_t byte)
{
    out.push_back(kHexDigits[byte >> 4]);
    out.push_back(kHexDigits[byte & 0x0F]);
}

void EndLine(std::string& out)
{
    out.append(kLogLineEnd);
}

void AppendTwoDigits(std::string& out, int value)
{
    out.push_back(static_cast<char>('0' + (value / 10) % 10));
    out.push_back(static_cast<char>('0' + value % 10));
}

// Each of the first `count` bytes of the frame as two hex digits followed by a blank.
void AppendHexLine(std::string& out, std::span<const uint8_t> bytes, int count)
{
    const size_t n = std::min(static_cast<size_t>(std::max(count, 0)), bytes.size());
    for (size_t i = 0; i < n; ++i) {
        AppendHex2(out, bytes[i]);
        out.push_back(' ');
    }
    EndLine(out);
}

// The decoder reads a frame's bytes by index. A byte past the frame's end reads as 0, as the
// engine executed it (a value an FC16 or FC23 frame does not carry is written as 0); nothing
// past the frame is ever read.
struct Bytes {
    std::span<const uint8_t> frame;
    bool inFrame(int k) const { return k >= 0 && static_cast<size_t>(k) < frame.size(); }
    uint8_t operator[](int k) const { return inFrame(k) ? frame[static_cast<size_t>(k)] : 0; }
    int word(int k) const { return (*this)[k] * 256 + (*this)[k + 1]; }
};

// "Reference: A  AND: 0xhhhh  OR: 0xhhhh" with the masks from bytes 10-13 of a request or reply,
// then `suffix` (the reply's line ends in "h", the request's does not).
void AppendMaskLine(std::string& out, int a, const Bytes& bytes, const char* suffix)
{
    out.append("Reference: ");
    AppendDec(out, a);
    out.append("  AND: 0x");
    AppendHex2(out, bytes[10]);
    AppendHex2(out, bytes[11]);
    out.append("  OR: 0x");
    AppendHex2(out, bytes[12]);
    AppendHex2(out, bytes[13]);
    out.append(suffix);
    EndLine(out);
}

const char* SubFunctionName(uint8_t subFunction)
{
    const SubFunctionInfo* row = FindSubFunction(subFunction);
    return row ? row->name : nullptr;
}

// "Reference: A. Word count: N. UID: U"
void AppendReferenceCountUid(std::string& out, int a, int n, int u)
{
    out.append("Reference: ");
    AppendDec(out, a);
    out.append(". Word count: ");
    AppendDec(out, n);
    out.append(". UID: ");
    AppendDec(out, u);
    EndLine(out);
}

// A list line: the title, then first, first+1, ... each followed by a blank.
void AppendRegisterList(std::string& out, const char* title, int first, int n)
{
    out.append(title);
    for (int i = 0; i < n; ++i) {
        AppendDec(out, first + i);
        out.push_back(' ');
    }
    EndLine(out);
}

// "register <- value" lines for n words starting at byte `firstByte` of the request; the lines
// stop where the longest frame the server takes (513 bytes) would end.
void AppendWrites(std::string& out, const Bytes& b, int firstRegister, int firstByte, int n)
{
    for (int i = 0; i < n; ++i) {
        const int k = firstByte + 2 * i;
        if (k + 1 >= kAreaSize) {
            break;
        }
        AppendDec(out, firstRegister + i);
        out.append(" <- ");
        AppendDec(out, b.word(k));
        EndLine(out);
    }
}

// "register : value" lines, the values read from the store now. A register number past the table
// shows "--" instead of a value.
void AppendValues(std::string& out, const RegisterStore* store, bool holding, int first, int n)
{
    for (int i = 0; i < n; ++i) {
        const int address = first + i;
        AppendDec(out, address);
        out.append(" : ");
        if (store != nullptr && address >= 0 && address < kRegisterCount) {
            const auto index = static_cast<uint16_t>(address);
            AppendDec(out, holding ? store->holding(index) : store->input(index));
        } else {
            out.append("--");
        }
        EndLine(out);
    }
}

// The lines of a request, by its row's request layout; a code outside the table has none.
void AppendRequestDecoding(std::string& out, const Bytes& b, int off)
{
    const FunctionInfo* row = FindFunction(b[7]);
    if (row == nullptr) {
        return;
    }
    const int a = b.word(8) + off;
    const int n = b[11];
    const int u = b[6];
    switch (row->request) {
    case RequestLayout::AddressQuantity:
        out.append(row->reads == RegisterBank::Input ? "Read input registers" : "Read holding registers");
        EndLine(out);
        AppendReferenceCountUid(out, a, n, u);
        AppendRegisterList(out, "Register(s): ", a, n);
        break;
    case RequestLayout::AddressQuantityBytes:
        out.append("Write holding registers");
        EndLine(out);
        AppendReferenceCountUid(out, a, n, u);
        AppendWrites(out, b, a, 13, n);
        break;
    case RequestLayout::AddressMasks:
        out.append("Mask write register from UID ");
        AppendDec(out, u);
        EndLine(out);
        AppendMaskLine(out, a, b, "");
        break;
    case RequestLayout::AddressValue:
        out.append("Write single register");
        EndLine(out);
        out.append("Reference: ");
        AppendDec(out, a);
        out.append(". UID: ");
        AppendDec(out, u);
        EndLine(out);
        AppendWrites(out, b, a, 10, 1);
        break;
    case RequestLayout::Nothing:
        out.append("Read exception status");
        EndLine(out);
        out.append("UID: ");
        AppendDec(out, u);
        EndLine(out);
        break;
    case RequestLayout::SubFunction: {
        out.append("Diagnostics function from UID ");
        AppendDec(out, u);
        EndLine(out);
        out.append("Sub-function ");
        AppendDec(out, b[9]);
        if (const char* name = SubFunctionName(b[9])) {
            out.append(", \"");
            out.append(name);
            out.push_back('"');
        }
        EndLine(out);
        out.append("Data: ");
        AppendHex2(out, b[10]);
        out.push_back(' ');
        AppendHex2(out, b[11]);
        EndLine(out);
        break;
    }
    case RequestLayout::ReadWrite: {
        const int w = b.word(12) + off;
        out.append("Read/write (holding) registers. UID: ");
        AppendDec(out, u);
        EndLine(out);
        out.append("Read reference: ");
        AppendDec(out, a);
        out.append(". Write reference: ");
        AppendDec(out, w);
        EndLine(out);
        AppendRegisterList(out, "Registers to read: ", a, n);
        EndLine(out);
        out.append("Write: Register <- Value:");
        EndLine(out);
        AppendWrites(out, b, w, 17, b[15]);
        break;
    }
    }
}

// An echo repeats the request's fields, so its lines follow the request's layout.
void AppendEchoDecoding(std::string& out, const FunctionInfo& row, const Bytes& b, const Bytes& r, int off)
{
    const int a = b.word(8) + off;
    switch (row.request) {
    case RequestLayout::AddressQuantityBytes:
        out.append("Reference: ");
        AppendDec(out, r.word(8) + off);
        out.append("  Word count: ");
        AppendDec(out, r[11]);
        EndLine(out);
        break;
    case RequestLayout::AddressMasks:
        AppendMaskLine(out, a, r, "h");
        break;
    case RequestLayout::AddressValue:
        out.append("Reference: ");
        AppendDec(out, a);
        out.append("  Value: ");
        AppendDec(out, r.word(10));
        EndLine(out);
        break;
    default:
        break; // no other request is echoed
    }
}

// The lines of a reply. An exception is told by a function byte above 120; otherwise the
// request's row decides, not the reply's function byte.
void AppendReplyDecoding(std::string& out, const Bytes& b, const Bytes& r, int off, const RegisterStore* store)
{
    if (r[7] > 120) {
        if (const char* name = ExceptionName(r[8])) {
            out.append("Exception ");
            AppendDec(out, r[8]);
            out.append(", ");
            out.append(name);
            EndLine(out);
        }
        return;
    }
    const FunctionInfo* row = FindFunction(b[7]);
    if (row == nullptr) {
        return;
    }
    switch (row->reply) {
    case ReplyLayout::ByteCountValues:
        // A read/write's values are its read part.
        out.append(row->request == RequestLayout::ReadWrite ? "Read: Register : Value" : "Register : Value");
        EndLine(out);
        AppendValues(out, store, row->reads == RegisterBank::Holding, b.word(8) + off, b[11]);
        break;
    case ReplyLayout::Echo:
        AppendEchoDecoding(out, *row, b, r, off);
        break;
    case ReplyLayout::StatusByte:
        out.append("Exception status returned: 0x");
        AppendHex2(out, r[8]);
        out.append(" (");
        AppendDec(out, r[8]);
        out.append(")");
        EndLine(out);
        break;
    case ReplyLayout::SubFunction: {
        out.append("Diagnostics, sub-function ");
        AppendDec(out, r[9]);
        EndLine(out);
        // The data bytes up to the frame's end as the length low byte gives it, and never past
        // the bytes the reply has.
        out.append("Data: ");
        const int last = r[5] + 5;
        for (int k = 10; k <= last && r.inFrame(k); ++k) {
            AppendHex2(out, r[k]);
            out.push_back(' ');
        }
        EndLine(out);
        break;
    }
    }
}

} // namespace

std::string LogTimeText(int hour, int minute, int second, int millisecond)
{
    std::string text;
    AppendTwoDigits(text, hour);
    text.push_back('_');
    AppendTwoDigits(text, minute);
    text.push_back('_');
    AppendTwoDigits(text, second);
    text.push_back('_');
    text.push_back(static_cast<char>('0' + (millisecond / 100) % 10));
    AppendTwoDigits(text, millisecond % 100);
    return text;
}

std::string LogFileName(std::string_view peerIP1, std::string_view peerIP2, std::string_view timeText)
{
    std::string name = "Korvel ";
    name.append(peerIP1).append(" ").append(peerIP2).append("  ").append(timeText).append(".log");
    return name;
}

std::string LogHeaderLine(std::string_view date, std::string_view time, std::string_view localAddress,
                          std::string_view hostName, std::string_view peerIP1, std::string_view peerIP2, int port)
{
    std::string line;
    line.append(date).append(" ").append(time).append(" - - Local ").append(localAddress);
    line.append(" (").append(hostName).append(") connected to ").append(peerIP1).append(" (#1) and ");
    line.append(peerIP2).append(" (#2) via port ");
    AppendDec(line, port);
    return line;
}

void AppendPacketLines(LogCounters& counters, const LogPacketInput& packet, uint32_t nowTick, std::string& out)
{
    if (packet.hasErrors && (packet.connection == 1 || packet.connection == 2)) {
        out.append(packet.connection == 1 ? "Connection #1, packet error(s): " : "Connection #2, packet error(s): ");
        out.append(packet.checkText);
        EndLine(out);
    }
    if (counters.LoggedPackets == 0) {
        counters.LogStartTick = nowTick;
    }
    if (packet.isQuery) {
        counters.LoggedPackets += 1;
        EndLine(out);
        EndLine(out);
        out.push_back('#');
        AppendDec(out, counters.LoggedPackets);
        out.append("  ");
        AppendDec(out, static_cast<uint32_t>(nowTick - counters.LogStartTick));
        out.append(" ms  Connection: ");
        AppendDec(out, packet.connection);
        EndLine(out);
        out.append("Query: ");
        EndLine(out);
        AppendHexLine(out, packet.source.request, packet.count);
    } else if (!packet.hasErrors) {
        for (const std::string& note : packet.notes) {
            out.append(note);
            EndLine(out);
        }
        out.append("Reply: ");
        EndLine(out);
        AppendHexLine(out, packet.source.reply, packet.count);
    }
    // A reply of no bytes carried nothing to decode: decoding it against its request would report
    // values that never went out.
    if (packet.interpretive && !packet.hasErrors && (packet.isQuery || packet.count > 0)) {
        AppendInterpretation(packet.isQuery, packet.source, out);
        EndLine(out);
    }
}

void AppendInterpretation(bool isQuery, const DecodeSource& source, std::string& out)
{
    EndLine(out);
    const Bytes b{source.request};
    const int off = source.addressOffset ? 1 : 0;
    if (isQuery) {
        AppendRequestDecoding(out, b, off);
    } else {
        AppendReplyDecoding(out, b, Bytes{source.reply}, off, source.store);
    }
}

std::vector<std::string> WriteInterpretation(bool isQuery, const DecodeSource& source)
{
    std::string text;
    AppendInterpretation(isQuery, source, text);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find(kLogLineEnd); end != std::string::npos; end = text.find(kLogLineEnd, start)) {
        lines.emplace_back(text, start, end - start);
        start = end + kLogLineEnd.size();
    }
    return lines;
}

} // namespace korvel
