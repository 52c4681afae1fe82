// Modbus/TCP frame layout shared by the server, the client and the scanner, and the cutting of
// frames out of a connection's byte stream.
#pragma once

#include "common/modbus_protocol.h"

#include <array>
#include <cstdint>

namespace korvel {

constexpr int kAreaSize = 513;       // receive, work, reply and stash areas
constexpr int kMbapPrefix = 6;       // TI, PID, length: the bytes before what the length counts
constexpr int kMaxFrameLength = 261; // 6 + 255
constexpr int kMinPeekForFrame = 6;

using Area = std::array<uint8_t, kAreaSize>;

enum class ExtractKind { Wait, Frame, Reject };

struct Extraction {
    ExtractKind kind;
    int length; // Frame: the frame's length n; Reject: the bytes handed to processing; Wait: 0
};

// Looks at the first min(available, 513) bytes of a connection's stream.
// Fewer than 6 bytes: Wait. Protocol identifier or length high byte not zero: Reject (all the
// looked-at bytes are processed once, then the connection is closed). Otherwise the frame is
// byte 5 + 6 bytes long: Wait until that many are there, then Frame.
Extraction ExtractFrame(const uint8_t* bytes, int available);

inline uint16_t Word(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Writes the low 16 bits of `value` at `p`, high byte first.
inline void PutWord(uint8_t* p, int32_t value)
{
    p[0] = static_cast<uint8_t>((value >> 8) & 0xFF);
    p[1] = static_cast<uint8_t>(value & 0xFF);
}

} // namespace korvel
