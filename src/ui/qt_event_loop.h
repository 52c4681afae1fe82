// The EventLoop seam over Qt's event loop, for sockets that live on the window thread (the
// client's and the scanner's connections): socket notifiers, QTimers and queued calls.
#pragma once

#include "net/event_loop.h"

#include <QObject>
#include <map>

class QSocketNotifier;
class QTimer;

namespace korvel {

class QtEventLoop : public EventLoop {
  public:
    // Everything it watches or runs lives on the thread of `context` and ends with it.
    explicit QtEventLoop(QObject* context = nullptr);
    ~QtEventLoop() override;

    void watch(int fd, unsigned interest, ReadyHandler handler) override;
    void setInterest(int fd, unsigned interest) override;
    void unwatch(int fd) override;
    void post(Call call) override;
    int startTimer(int intervalMs, bool repeat, Call call) override;
    void stopTimer(int id) override;

  private:
    struct Watch {
        QSocketNotifier* read = nullptr;
        QSocketNotifier* write = nullptr;
        ReadyHandler handler;
    };
    void deliver(int fd, unsigned ready);

    QObject* context_;
    bool ownsContext_ = false;
    std::map<int, Watch> watches_;
    std::map<int, QTimer*> timers_;
    int nextTimerId_ = 1;
};

} // namespace korvel
