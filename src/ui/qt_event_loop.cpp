#include "ui/qt_event_loop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace korvel {

QtEventLoop::QtEventLoop(QObject* context) : context_(context)
{
    if (!context_) {
        context_ = new QObject;
        ownsContext_ = true;
    }
}

QtEventLoop::~QtEventLoop()
{
    for (auto& [fd, w] : watches_) {
        delete w.read;
        delete w.write;
    }
    for (auto& [id, timer] : timers_)
        delete timer;
    if (ownsContext_)
        delete context_; // also drops calls still queued for it
}

void QtEventLoop::watch(int fd, unsigned interest, ReadyHandler handler)
{
    unwatch(fd);
    Watch& w = watches_[fd];
    w.handler = std::move(handler);
    w.read = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, context_);
    w.write = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Write, context_);
    QObject::connect(w.read, &QSocketNotifier::activated, context_, [this, fd] { deliver(fd, kRead); });
    QObject::connect(w.write, &QSocketNotifier::activated, context_, [this, fd] { deliver(fd, kWrite); });
    w.read->setEnabled((interest & kRead) != 0);
    w.write->setEnabled((interest & kWrite) != 0);
}

void QtEventLoop::setInterest(int fd, unsigned interest)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    const bool read = (interest & kRead) != 0;
    const bool write = (interest & kWrite) != 0;
    if (it->second.read->isEnabled() != read)
        it->second.read->setEnabled(read);
    if (it->second.write->isEnabled() != write)
        it->second.write->setEnabled(write);
}

void QtEventLoop::unwatch(int fd)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    // Not deleted at once: the notifier may be the one whose signal is being delivered.
    it->second.read->setEnabled(false);
    it->second.write->setEnabled(false);
    it->second.read->deleteLater();
    it->second.write->deleteLater();
    QObject::disconnect(it->second.read, nullptr, context_, nullptr);
    QObject::disconnect(it->second.write, nullptr, context_, nullptr);
    watches_.erase(it);
}

void QtEventLoop::deliver(int fd, unsigned ready)
{
    auto it = watches_.find(fd);
    if (it == watches_.end())
        return;
    ReadyHandler handler = it->second.handler; // the handler may unwatch itself
    handler(ready);
}

void QtEventLoop::post(Call call)
{
    QMetaObject::invokeMethod(context_, std::move(call), Qt::QueuedConnection);
}

int QtEventLoop::startTimer(int intervalMs, bool repeat, Call call)
{
    const int id = nextTimerId_++;
    auto* timer = new QTimer(context_);
    timer->setInterval(intervalMs);
    timer->setSingleShot(!repeat);
    timers_[id] = timer;
    QObject::connect(timer, &QTimer::timeout, context_, [this, id, repeat, call = std::move(call)] {
        if (!repeat)
            stopTimer(id);
        call();
    });
    timer->start();
    return id;
}

void QtEventLoop::stopTimer(int id)
{
    auto it = timers_.find(id);
    if (it == timers_.end())
        return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

} // namespace korvel
