#include "shell/repaint_limiter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace korvel {

RepaintLimiter::RepaintLimiter(QWidget& window, int intervalMs)
    : QObject(&window), window_(window), intervalMs_(intervalMs)
{
    deferred_.setSingleShot(true);
    deferred_.setTimerType(Qt::PreciseTimer);
    connect(&deferred_, &QTimer::timeout, this,
            [this] { QCoreApplication::postEvent(&window_, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority); });
    window.installEventFilter(this);
}

// The widgets' repaint manager asks for a paint with one UpdateRequest to the window and asks no
// more until that request is handled, however many widgets change meanwhile. A request that comes
// too early is held back and handed over when the frame is over; it then paints everything that
// changed in between.
bool RepaintLimiter::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != &window_ || event->type() != QEvent::UpdateRequest)
        return false;
    if (!sincePaint_.isValid() || sincePaint_.elapsed() >= intervalMs_) {
        sincePaint_.start();
        return false;
    }
    if (!deferred_.isActive())
        deferred_.start(intervalMs_ - static_cast<int>(sincePaint_.elapsed()));
    return true;
}

} // namespace korvel
