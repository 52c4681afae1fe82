// The process priority follows the program's activity: below normal while idle, normal while it
// serves or polls something, above normal while both server connections are open.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

namespace korvel {

enum class PriorityClass : int {
    BelowNormal = 0x4000,
    Normal = 0x20,
    AboveNormal = 0x8000,
};

// What the program is doing at the moment SetMyPriority runs.
struct ActivityIndicators {
    bool serverConnection1 = false;
    bool serverConnection2 = false;
    bool clientConnected = false;
    bool inputPublishing = false;
    bool holdingPublishing = false;
    bool scannerConnected = false;
};

PriorityClass RequiredPriorityClass(const ActivityIndicators& activity);

// The nice value of each class: below normal 10, normal 0, above normal -5.
int NiceOf(PriorityClass priorityClass);

// Sets the class on every thread of the process. A level the process may not set is skipped
// silently; the priority is only lowered below normal when the process will be able to raise it
// back to normal later (an unprivileged process cannot lower its nice value again).
class ProcessPriority {
  public:
    struct Platform {
        std::function<bool(int nice)> setNice;  // all threads; false when refused
        std::function<bool()> mayRaiseToNormal; // privileged, or RLIMIT_NICE allows nice 0
    };
    ProcessPriority();
    explicit ProcessPriority(Platform platform);

    // Computes and requests the class; safe from any thread.
    void SetMyPriority(const ActivityIndicators& activity);

    // The class last requested (BelowNormal before the first call).
    PriorityClass lastRequested() const { return static_cast<PriorityClass>(lastRequested_.load()); }
    // How many times a class was requested.
    int requestCount() const { return requests_.load(); }

  private:
    Platform platform_;
    std::mutex mutex_;
    int lastNiceTried_ = kNoNice; // the system is asked only when the level changes
    int mayRaiseToNormal_ = -1;   // asked once: -1 unknown, 0 no, 1 yes
    static constexpr int kNoNice = 1000;
    std::atomic<int> lastRequested_{static_cast<int>(PriorityClass::BelowNormal)};
    std::atomic<int> requests_{0};
};

} // namespace korvel
