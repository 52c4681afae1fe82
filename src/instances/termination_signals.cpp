#include "instances/termination_signals.h"

#include "instances/atom_registry.h"

#include <QSocketNotifier>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace korvel {

namespace {

int g_signalPipe[2] = {-1, -1}; // the watcher writes one byte per signal, the program's thread reads
sigset_t g_watched;
std::atomic<bool> g_handlerInstalled{false};
std::atomic<bool> g_requested{false};
std::mutex g_mutex;
std::condition_variable g_takenUp;
unsigned g_signalCount = 0; // under g_mutex
unsigned g_takenCount = 0;  // under g_mutex

// Without a shutdown: this process's reservations go, then the process.
[[noreturn]] void EndNow()
{
    AtomRegistry(AtomRegistry::DefaultFolder()).deleteOwnReferences();
    ::_exit(0);
}

void Watch()
{
    for (;;) {
        int signal = 0;
        if (::sigwait(&g_watched, &signal) != 0)
            continue;
        if (!g_handlerInstalled.load())
            EndNow();
        unsigned mine = 0;
        {
            std::lock_guard lock(g_mutex);
            mine = ++g_signalCount;
        }
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
        std::unique_lock lock(g_mutex);
        if (!g_takenUp.wait_for(lock, std::chrono::milliseconds(kTerminationGraceMs),
                                [mine] { return g_takenCount >= mine; }))
            EndNow();
    }
}

} // namespace

void WatchTerminationSignals()
{
    sigemptyset(&g_watched);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        struct sigaction current {};
        if (::sigaction(signal, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
            continue; // started ignoring it (nohup, a background job): it stays ignored
        sigaddset(&g_watched, signal);
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return; // the signals keep their default action
    // Held in this thread and in every thread started after it; the watcher takes them.
    ::pthread_sigmask(SIG_BLOCK, &g_watched, nullptr);
    std::thread(Watch).detach();
}

void OnTerminationSignals(QObject& context, std::function<void()> stop)
{
    if (g_signalPipe[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &context);
    QObject::connect(notifier, &QSocketNotifier::activated, &context, [stop = std::move(stop)] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        {
            std::lock_guard lock(g_mutex);
            ++g_takenCount;
        }
        g_takenUp.notify_all();
        if (!g_requested.exchange(true))
            stop();
    });
    g_handlerInstalled.store(true);
}

bool TerminationRequested()
{
    return g_requested.load();
}

} // namespace korvel
