// Narrow shared state the parts of the program hand each other instead of reaching into the main
// window: what the process priority follows besides the server's own connections, and how far
// the desktop publishing has come. Plain atomics: set and read from any thread.
#pragma once

#include <atomic>
#include <functional>

namespace korvel {

// Set by the client, the scanner and the publishing threads; `changed` recomputes the priority.
struct Activity {
    std::atomic<bool> ClientConnected{false};
    std::atomic<bool> InputDDEThreadRunning{false};
    std::atomic<bool> HoldDDEThreadRunning{false};
    std::atomic<bool> scannerConnected{false};
    std::function<void()> changed; // set once at start-up, before any part runs

    void notify() const
    {
        if (changed)
            changed();
    }
};

// Progress of the two publishing passes, in per cent (the tray's caption and the list read it).
struct PublishingStatus {
    std::atomic<int> DDEJobInputDonePerCent{0};
    std::atomic<int> DDEJobHoldDonePerCent{0};
};

} // namespace korvel
