// The seam between Korvel's sockets and whatever runs them: watch a descriptor for reading or
// writing, post a call to the loop's thread, run timers, read one millisecond clock. The server
// runs on its own epoll loop (EpollLoop); the client's and the scanner's connections run on the
// window thread through an adapter over Qt's event loop. Tests drive an EpollLoop step by step.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

namespace korvel {

// The program's clock: monotonic milliseconds, reduced to 32 bits where ticks are compared.
uint32_t TickCount();

class EventLoop {
  public:
    enum Interest : unsigned { kRead = 1, kWrite = 2 };
    using Call = std::function<void()>;
    // Called on the loop's thread with the interests that are ready (kRead also on a hang-up or an
    // error, so that the next read reports it).
    using ReadyHandler = std::function<void(unsigned ready)>;

    virtual ~EventLoop() = default;

    // Starts watching `fd` (not owned) for `interest`; one watch per descriptor. The handler may
    // unwatch its own or any other descriptor, and no event of an unwatched descriptor is
    // delivered afterwards. Loop thread only.
    virtual void watch(int fd, unsigned interest, ReadyHandler handler) = 0;
    virtual void setInterest(int fd, unsigned interest) = 0;
    virtual void unwatch(int fd) = 0;

    // Runs `call` on the loop's thread after the current event; callable from any thread. Calls
    // run in the order they were posted.
    virtual void post(Call call) = 0;

    // A timer firing every `intervalMs` (once when !repeat) on the loop's thread; the id stays
    // valid until stopTimer, which is harmless for an id already stopped or fired once.
    virtual int startTimer(int intervalMs, bool repeat, Call call) = 0;
    virtual void stopTimer(int id) = 0;

    // Milliseconds of the program's clock (TickCount unless a test replaces it).
    virtual uint32_t now() const { return TickCount(); }
};

// A token that posted calls check before they touch an object that may be gone by then.
using LifeToken = std::shared_ptr<int>;
using WeakLife = std::weak_ptr<int>;

} // namespace korvel
