// The traffic log file: opened and closed by the window's Record button (or a front-end's option),
// written by the server thread, one packet at a time, each packet's lines handed to the operating
// system in one write before its reply is sent, so that a crash loses no logged packet. All calls
// are safe from any thread; start and stop wait for a packet being written.
#pragma once

#include "log/log_lines.h"
#include "log/packet_log.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>

namespace korvel {

class TrafficLog : public PacketLog {
  public:
    // `tick` is the millisecond clock of the "ms" column (the program's clock unless a test
    // replaces it).
    explicit TrafficLog(std::function<uint32_t()> tick = {});
    ~TrafficLog() override;
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Creates (or empties) `path`, makes sure it can be opened, keeps it open for appending and
    // writes the header line and an empty line. False when any of it fails (nothing stays open,
    // and a file without its header is removed). Numbering starts anew.
    bool start(const std::string& path, const std::string& headerLine);
    // Closes the file; false when closing failed. Numbering starts anew.
    bool stop();
    // The file last closed had been removed (with its folder, say) while recording: what was
    // written is gone.
    bool lost() const { return lost_; }
    // "Interpretive": the decoding follows each packet's hex lines.
    void setInterpretive(bool on) { interpretive_ = on; }
    bool interpretive() const { return interpretive_; }
    const std::string& path() const { return path_; }
    // Replaces the clock of the "ms" column (tests).
    void setTick(std::function<uint32_t()> tick);

    bool LogRecording() const override { return recording_; }
    int LoggedPackets() const override { return logged_; }
    LogWrite LogPacket(const LogPacketInput& packet) override;

  private:
    bool closeFile();

    std::function<uint32_t()> tick_;
    mutable std::mutex mutex_;
    int fd_ = -1;
    std::string path_;
    off_t whole_ = 0; // the file's length up to its last wholly written block
    bool lost_ = false;
    std::atomic<bool> recording_{false};
    std::atomic<bool> interpretive_{true};
    std::atomic<int> logged_{0};
    LogCounters counters_;
    std::string buffer_; // one packet's lines
};

} // namespace korvel
