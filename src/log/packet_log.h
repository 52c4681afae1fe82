// What request processing needs of the traffic log: whether it records, and one call per packet.
// The logging group of the main window implements it; the server connections call it.
#pragma once

namespace korvel {

class PacketLog {
  public:
    virtual ~PacketLog() = default;
    virtual bool LogRecording() const = 0;
    // Requests logged since the last start or stop ("Logged packets:" while recording).
    virtual int LoggedPackets() const { return 0; }
    // One request (isQuery) read from the work area, or one reply read from the reply area,
    // `count` bytes. Called only while LogRecording(), before the reply is sent.
    virtual void LogPacket(bool isQuery, int count, bool hasErrors, int connection) = 0;
    // A server connection was accepted: the Record button becomes usable.
    virtual void connectionAccepted() = 0;
    // Both server connections are closed (or the program shuts down): stop recording as the
    // Record button would, and disable the button.
    virtual void allConnectionsClosed() = 0;
};

} // namespace korvel
