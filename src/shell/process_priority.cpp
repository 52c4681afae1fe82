#include "shell/process_priority.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <cerrno>
#include <sys/resource.h>
#include <sys/types.h>
#include <unistd.h>

namespace korvel {

namespace {

constexpr int kCapSysNice = 23;

bool HasCapSysNice()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    // Files under /proc report size 0: read them whole instead of testing for their end.
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray& line : lines) {
        if (line.startsWith("CapEff:")) {
            bool ok = false;
            const qulonglong caps = line.mid(7).trimmed().toULongLong(&ok, 16);
            return ok && (caps & (1ULL << kCapSysNice)) != 0;
        }
    }
    return false;
}

// RLIMIT_NICE holds 20 - lowest nice value allowed.
bool NiceLimitAllowsNormal()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NICE, &limit) != 0)
        return false;
    return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 20;
}

// On Linux a nice value belongs to one thread: set it on each thread of the process.
bool SetNiceOnAllThreads(int nice)
{
    bool ok = true;
    const QStringList tasks = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (tasks.isEmpty())
        return ::setpriority(PRIO_PROCESS, 0, nice) == 0;
    for (const QString& task : tasks) {
        bool isNumber = false;
        const int tid = task.toInt(&isNumber);
        if (!isNumber)
            continue;
        if (::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice) != 0 && errno != ESRCH)
            ok = false;
    }
    return ok;
}

} // namespace

PriorityClass RequiredPriorityClass(const ActivityIndicators& a)
{
    const bool active = a.serverConnection1 || a.serverConnection2 || a.clientConnected || a.inputPublishing ||
                        a.holdingPublishing || a.scannerConnected;
    if (!active)
        return PriorityClass::BelowNormal;
    if (a.serverConnection1 && a.serverConnection2)
        return PriorityClass::AboveNormal;
    return PriorityClass::Normal;
}

int NiceOf(PriorityClass priorityClass)
{
    switch (priorityClass) {
    case PriorityClass::BelowNormal:
        return 10;
    case PriorityClass::Normal:
        return 0;
    case PriorityClass::AboveNormal:
        return -5;
    }
    return 0;
}

ProcessPriority::ProcessPriority()
    : ProcessPriority(Platform{SetNiceOnAllThreads, [] { return HasCapSysNice() || NiceLimitAllowsNormal(); }})
{
}

ProcessPriority::ProcessPriority(Platform platform) : platform_(std::move(platform)) {}

void ProcessPriority::SetMyPriority(const ActivityIndicators& activity)
{
    PriorityClass wanted = RequiredPriorityClass(activity);
    lastRequested_.store(static_cast<int>(wanted));
    requests_.fetch_add(1);
    std::lock_guard<std::mutex> lock(mutex_);
    // Going below normal is a one-way street for an unprivileged process: stay at normal then.
    if (wanted == PriorityClass::BelowNormal) {
        if (mayRaiseToNormal_ < 0)
            mayRaiseToNormal_ = platform_.mayRaiseToNormal() ? 1 : 0;
        if (mayRaiseToNormal_ == 0)
            wanted = PriorityClass::Normal;
    }
    // Every accept and close asks; the threads are listed and set only when the level changes.
    const int nice = NiceOf(wanted);
    if (nice == lastNiceTried_)
        return;
    lastNiceTried_ = nice;
    platform_.setNice(nice); // refused levels are skipped silently
}

} // namespace korvel
