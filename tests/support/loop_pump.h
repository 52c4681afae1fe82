// Waiting in tests that run Korvel's own epoll loop in the test's thread: pump the loop until a
// condition holds or the time is up. Header-only, no Qt.
#pragma once

#include "net/epoll_loop.h"

#include <chrono>
#include <functional>

namespace korvel::testing {

inline bool PumpUntil(EpollLoop& loop, const std::function<bool()>& done, int timeoutMs = 5000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        loop.runOnce(5);
    }
    return true;
}

} // namespace korvel::testing
