#include "net/epoll_loop.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace korvel {

uint32_t TickCount()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {
constexpr uint64_t kWakeTag = ~uint64_t{0};
constexpr int kMaxEvents = 16;
} // namespace

uint64_t EpollLoop::NowMs64()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

EpollLoop::EpollLoop()
{
    epfd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epfd_ < 0 || wakeFd_ < 0)
        throw std::runtime_error("epoll set-up failed");
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kWakeTag;
    ::epoll_ctl(epfd_, EPOLL_CTL_ADD, wakeFd_, &ev);
}

EpollLoop::~EpollLoop()
{
    ::close(wakeFd_);
    ::close(epfd_);
}

void EpollLoop::applyInterest(int fd, Watch& w)
{
    if (w.interest == 0) {
        if (w.registered)
            ::epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
        w.registered = false;
        return;
    }
    epoll_event ev{};
    ev.events = ((w.interest & kRead) ? EPOLLIN | EPOLLRDHUP : 0u) | ((w.interest & kWrite) ? EPOLLOUT : 0u);
    // The generation tells an event of a descriptor number that was reused within one batch.
    ev.data.u64 = (static_cast<uint64_t>(w.generation) << 32) | static_cast<uint32_t>(fd);
    ::epoll_ctl(epfd_, w.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD, fd, &ev);
    w.registered = true;
}

void EpollLoop::watch(int fd, unsigned interest, ReadyHandler handler)
{
    unwatch(fd);
    Watch& w = watches_[fd];
    w = Watch{interest, ++generation_, false, std::move(handler)};
    applyInterest(fd, w);
}

void EpollLoop::setInterest(int fd, unsigned interest)
{
    auto it = watches_.find(fd);
    if (it == watches_.end() || it->second.interest == interest)
        return;
    it->second.interest = interest;
    applyInterest(fd, it->second);
}

void EpollLoop::unwatch(int fd)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    if (it->second.registered)
        ::epoll_ctl(epfd_, EPOLL_CTL_DEL, fd, nullptr);
    watches_.erase(it);
}

uint32_t EpollLoop::now() const
{
    return handling_ ? static_cast<uint32_t>(roundMs_) : static_cast<uint32_t>(NowMs64());
}

void EpollLoop::post(Call call)
{
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        posted_.push_back(std::move(call));
        hasPosted_.store(true, std::memory_order_release);
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

int EpollLoop::startTimer(int intervalMs, bool repeat, Call call)
{
    const int id = nextTimerId_++;
    const uint64_t from = handling_ ? roundMs_ : NowMs64();
    timers_.push_back(
        Timer{id, from + static_cast<uint64_t>(std::max(intervalMs, 0)), intervalMs, repeat, std::move(call)});
    return id;
}

void EpollLoop::stopTimer(int id)
{
    timers_.erase(std::remove_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; }),
                  timers_.end());
}

int EpollLoop::nextTimeout(int timeoutMs) const
{
    if (timers_.empty())
        return timeoutMs;
    uint64_t due = timers_.front().dueMs;
    for (const Timer& t : timers_)
        due = std::min(due, t.dueMs);
    const uint64_t now = NowMs64();
    const int untilTimer = due <= now ? 0 : static_cast<int>(std::min<uint64_t>(due - now, 1u << 30));
    return timeoutMs < 0 ? untilTimer : std::min(timeoutMs, untilTimer);
}

void EpollLoop::runTimers()
{
    if (timers_.empty())
        return;
    const uint64_t now = roundMs_;
    std::vector<int> dueIds;
    for (const Timer& t : timers_) {
        if (t.dueMs <= now)
            dueIds.push_back(t.id);
    }
    // A timer's call may stop or start timers: look each one up again before running it.
    for (int id : dueIds) {
        auto it = std::find_if(timers_.begin(), timers_.end(), [id](const Timer& t) { return t.id == id; });
        if (it == timers_.end())
            continue;
        Call call = it->call;
        if (it->repeat)
            it->dueMs = now + static_cast<uint64_t>(std::max(it->intervalMs, 1));
        else
            timers_.erase(it);
        call();
    }
}

void EpollLoop::runPosted()
{
    if (!hasPosted_.load(std::memory_order_acquire))
        return;
    std::vector<Call> calls;
    {
        std::lock_guard<std::mutex> lock(postMutex_);
        calls.swap(posted_);
        hasPosted_.store(false, std::memory_order_relaxed);
    }
    for (Call& call : calls)
        call();
}

bool EpollLoop::runOnce(int timeoutMs)
{
    if (quit_)
        return false;
    if (hasPosted_.load(std::memory_order_acquire))
        timeoutMs = 0;
    epoll_event events[kMaxEvents];
    const int n = ::epoll_wait(epfd_, events, kMaxEvents, nextTimeout(timeoutMs));
    roundMs_ = NowMs64();
    handling_ = true;
    struct RoundEnd {
        bool& handling;
        ~RoundEnd() { handling = false; }
    } roundEnd{handling_};
    for (int i = 0; i < n; ++i) {
        const uint64_t tag = events[i].data.u64;
        if (tag == kWakeTag) {
            uint64_t count = 0;
            [[maybe_unused]] const ssize_t r = ::read(wakeFd_, &count, sizeof count);
            continue;
        }
        const int fd = static_cast<int>(tag & 0xFFFFFFFFu);
        auto it = watches_.find(fd);
        if (it == watches_.end() || it->second.generation != static_cast<uint32_t>(tag >> 32))
            continue; // unwatched by an earlier handler of this batch
        const uint32_t e = events[i].events;
        unsigned ready = 0;
        if (e & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR))
            ready |= kRead;
        if (e & (EPOLLOUT | EPOLLHUP | EPOLLERR))
            ready |= kWrite;
        ready &= it->second.interest;
        if (ready == 0)
            continue;
        ReadyHandler handler = it->second.handler; // the handler may unwatch itself
        handler(ready);
    }
    runTimers();
    runPosted();
    return !quit_;
}

void EpollLoop::run()
{
    while (runOnce(-1)) {
    }
}

void EpollLoop::quit()
{
    quit_ = true;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

} // namespace korvel
