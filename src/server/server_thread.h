// The server's own thread: an epoll loop running the ServerRuntime, so that no window work delays
// a reply. Other threads give it commands (run a function on the runtime and wait for its result,
// or post one) and read the snapshot it publishes.
#pragma once

#include "net/epoll_loop.h"
#include "server/server_runtime.h"

#include <functional>
#include <future>
#include <memory>
#include <thread>
#include <type_traits>

namespace korvel {

class ServerThread {
  public:
    // Starts the thread; the runtime drives `engine` and tells `observer`, both on that thread.
    ServerThread(ServerEngine& engine, ServerObserver& observer);
    // Closes every socket on the thread (without observer calls), then ends the thread.
    ~ServerThread();
    ServerThread(const ServerThread&) = delete;
    ServerThread& operator=(const ServerThread&) = delete;

    // Runs `f(runtime)` on the server thread and returns its result. From the server thread itself
    // it runs at once.
    template <class F> auto call(F f) -> std::invoke_result_t<F, ServerRuntime&>
    {
        using R = std::invoke_result_t<F, ServerRuntime&>;
        if (std::this_thread::get_id() == thread_.get_id())
            return f(*runtime_);
        std::promise<R> done;
        std::future<R> result = done.get_future();
        loop_.post([this, &f, &done] {
            if constexpr (std::is_void_v<R>) {
                f(*runtime_);
                done.set_value();
            } else {
                done.set_value(f(*runtime_));
            }
        });
        return result.get();
    }
    // Runs `f(runtime)` on the server thread later.
    void post(std::function<void(ServerRuntime&)> f);

    // Any thread.
    ServerSnapshot snapshot() const { return runtime_->snapshot(); }
    bool slotOpenFlag(int c) const { return runtime_->slotOpenFlag(c); }

  private:
    EpollLoop loop_;
    std::unique_ptr<ServerRuntime> runtime_;
    std::thread thread_;
};

} // namespace korvel
