// The client's part of flashing among instances: while another instance runs, a 200 ms tick
// flashes the client or the main window when the user has moved on from a window of this
// instance, unless a box or dialog of the client has just opened (`dont_flash`).
#pragma once

#include "rules/flash_rules.h"

#include <QObject>
#include <functional>

class QTimer;
class QWidget;

namespace korvel {

class FlashTicker : public QObject {
    Q_OBJECT
  public:
    // `mainFlashRequested` is the main window's own flag: set when it wants to flash, cleared
    // once the tick has taken it; `serverDialog` is the last server-connection dialog.
    FlashTicker(QWidget& client, QWidget* mainWindow, bool* mainFlashRequested, std::function<WindowId()> serverDialog);

    QTimer* Timer4() const { return Timer4_; } // 200 ms, runs while another instance runs
    void Timer4Timer();
    // Instance detection's verdict: another instance runs (the tick runs) or not.
    void setEnabled(bool enabled);
    const FlashState& state() const { return flash_; }

    bool dont_flash = false; // the next tick cancels pending flashes
    // Child windows registered for flashing: the one-off windows and the scanner (150 slots).
    FlashWindowSlots frmWriteMaskHandle;

  private:
    QWidget& client_;
    QWidget* mainWindow_;
    bool* mainFlashRequested_;
    std::function<WindowId()> serverDialog_;
    QTimer* Timer4_;
    FlashState flash_; // counters and the last foreground window
};

} // namespace korvel
