// An EventLoop over Linux epoll, without Qt: the server's thread runs one, tests run one step by
// step in their own thread. post() and quit() may be called from any thread (an eventfd wakes
// the loop); everything else belongs to the thread that runs it.
#pragma once

#include "net/event_loop.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace korvel {

class EpollLoop : public EventLoop {
  public:
    EpollLoop();
    ~EpollLoop() override;
    EpollLoop(const EpollLoop&) = delete;
    EpollLoop& operator=(const EpollLoop&) = delete;

    void watch(int fd, unsigned interest, ReadyHandler handler) override;
    void setInterest(int fd, unsigned interest) override;
    void unwatch(int fd) override;
    void post(Call call) override;
    int startTimer(int intervalMs, bool repeat, Call call) override;
    void stopTimer(int id) override;
    // While the loop handles what one wait brought, the moment the wait ended: every handler of
    // the batch sees one time, and the clock is read once a round instead of at every look.
    uint32_t now() const override;

    // Waits at most `timeoutMs` (-1: until something happens) for events, timers and posted
    // calls, and handles what is ready. Returns false once quit() was called.
    bool runOnce(int timeoutMs);
    // Runs until quit().
    void run();
    void quit();

  private:
    struct Watch {
        unsigned interest;
        uint32_t generation;
        bool registered; // in the epoll set (a watch without interest is taken out of it, so
                         // that a hang-up it may not hear of cannot wake the loop over and over)
        ReadyHandler handler;
    };
    struct Timer {
        int id;
        uint64_t dueMs;
        int intervalMs;
        bool repeat;
        Call call;
    };
    static uint64_t NowMs64();
    void applyInterest(int fd, Watch& w);
    int nextTimeout(int timeoutMs) const;
    void runTimers();
    void runPosted();

    int epfd_ = -1;
    int wakeFd_ = -1;
    std::unordered_map<int, Watch> watches_;
    uint32_t generation_ = 0;
    std::vector<Timer> timers_;
    int nextTimerId_ = 1;
    std::mutex postMutex_;
    std::vector<Call> posted_;
    std::atomic<bool> hasPosted_{false}; // posted_ holds calls: looked at without the lock
    bool handling_ = false;              // inside a round: now() is roundMs_
    uint64_t roundMs_ = 0;
    std::atomic<bool> quit_{false};
};

} // namespace korvel
