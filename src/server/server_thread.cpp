#include "server/server_thread.h"

#include <pthread.h>

namespace korvel {

ServerThread::ServerThread(ServerEngine& engine, ServerObserver& observer)
    : runtime_(std::make_unique<ServerRuntime>(loop_, engine, observer))
{
    thread_ = std::thread([this] {
        pthread_setname_np(pthread_self(), "korvel-server");
        loop_.run();
    });
}

ServerThread::~ServerThread()
{
    call([](ServerRuntime& runtime) { runtime.ReleaseSockets(); });
    loop_.quit();
    thread_.join();
    // Calls still queued (a lingering close finishing, say) run here, on no other thread.
    runtime_.reset();
}

void ServerThread::post(std::function<void(ServerRuntime&)> f)
{
    loop_.post([this, f = std::move(f)] { f(*runtime_); });
}

} // namespace korvel
