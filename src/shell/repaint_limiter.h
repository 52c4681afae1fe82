// Paints a window at most 25 times a second. The server refreshes its status panel after every
// request; painting after each of thousands of requests a second would cost far more than answering
// them and would show nothing an eye could follow. Texts still change at once; what changed in
// between is painted together at the next frame, and the first change after a quiet spell is
// painted without delay.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

class QWidget;

namespace korvel {

class RepaintLimiter : public QObject {
  public:
    // Watches `window` (a top-level widget); at most one paint per `intervalMs` milliseconds.
    explicit RepaintLimiter(QWidget& window, int intervalMs = 40);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget& window_;
    const int intervalMs_;
    QElapsedTimer sincePaint_;
    QTimer deferred_; // sends the held-back paint request when the frame is over
};

} // namespace korvel
