// What request processing needs of the traffic log: whether it records, and one call per packet,
// made on the server's thread before the reply is sent.
#pragma once

#include "log/log_lines.h"

namespace korvel {

// The outcome of logging one packet.
struct LogWrite {
    bool failed = false;        // writing failed: the log stopped itself (as the Record button would)
    bool closingFailed = false; // ... and closing the file failed too
};

class PacketLog {
  public:
    virtual ~PacketLog() = default;
    virtual bool LogRecording() const = 0;
    // Requests logged since the last start or stop ("Logged packets:" while recording).
    virtual int LoggedPackets() const { return 0; }
    // One request (isQuery, the source's request) or one reply (the source's reply). Called only
    // while LogRecording().
    virtual LogWrite LogPacket(const LogPacketInput& packet) = 0;
};

} // namespace korvel
