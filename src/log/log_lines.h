// The traffic log's text: the file name, the header line, the block of lines of one packet and the
// interpretive decoding of requests and replies. Pure functions over the request and reply the
// server handled and the register store; the program writes what they return.
#pragma once

#include "common/register_store.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// Every line of the log ends in CR LF.
inline constexpr std::string_view kLogLineEnd = "\r\n";

// The start time in a log file's name: two-digit hour (00-23), minute, second and three-digit
// millisecond joined by "_", for example "14_05_09_007".
std::string LogTimeText(int hour, int minute, int second, int millisecond);

// "Korvel " + peer1 + " " + peer2 + "  " + time text + ".log" (no folder).
std::string LogFileName(std::string_view peerIP1, std::string_view peerIP2, std::string_view timeText);

// The first line of a log file (without its line end): date, time, local address and host name,
// both peers and the server port.
std::string LogHeaderLine(std::string_view date, std::string_view time, std::string_view localAddress,
                          std::string_view hostName, std::string_view peerIP1, std::string_view peerIP2, int port);

// Numbering state of one log file.
struct LogCounters {
    int32_t LoggedPackets = 0; // requests logged since the last start or stop
    uint32_t LogStartTick = 0; // ms tick taken when a packet is logged while LoggedPackets is 0
};

// What the decoder reads: the request and the reply as the server handled them (513 bytes at
// most each), the address-offset setting and the register store (values of FC 3, 4 and 23
// replies). A field past a frame's end reads as 0, as the server executed it.
struct DecodeSource {
    std::span<const uint8_t> request;
    std::span<const uint8_t> reply;
    bool addressOffset = false;
    const RegisterStore* store = nullptr;
};

// One packet handed to the log.
struct LogPacketInput {
    bool isQuery = true;        // the source's request or its reply
    int count = 0;              // bytes of the packet; clamped to the source's request or reply
    bool hasErrors = false;     // the request failed a header check
    int connection = 1;         // 1 or 2
    std::string_view checkText; // the connection's check text, written with hasErrors
    bool interpretive = false;  // "Interpretive" checked
    DecodeSource source;
    std::span<const std::string> notes; // lines written before a reply's "Reply:" line
};

// Appends the lines of one packet, each ended by CR LF, to `out` and advances the counters. With
// `interpretive` the decoding follows, except for a request with a header error and a reply of no
// bytes.
// nowTick is the millisecond tick of this moment (32-bit, wrapping).
void AppendPacketLines(LogCounters& counters, const LogPacketInput& packet, uint32_t nowTick, std::string& out);

// Appends the interpretive decoding of the request (isQuery) or of the reply against its request,
// each line ended by CR LF. The first line is always empty. Never reads outside the two spans or
// the register tables.
void AppendInterpretation(bool isQuery, const DecodeSource& source, std::string& out);

// The same decoding as separate lines without line ends.
std::vector<std::string> WriteInterpretation(bool isQuery, const DecodeSource& source);

} // namespace korvel
