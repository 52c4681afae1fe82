#include "client/flash_ticker.h"

#include "ui/flash_platform.h"

#include <QTimer>
#include <QWidget>

namespace korvel {

FlashTicker::FlashTicker(QWidget& client, QWidget* mainWindow, bool* mainFlashRequested,
                         std::function<WindowId()> serverDialog)
    : QObject(&client), client_(client), mainWindow_(mainWindow), mainFlashRequested_(mainFlashRequested),
      serverDialog_(std::move(serverDialog)), Timer4_(new QTimer(this))
{
    Timer4_->setInterval(kTimer4Interval);
    connect(Timer4_, &QTimer::timeout, this, &FlashTicker::Timer4Timer);
}

void FlashTicker::setEnabled(bool enabled)
{
    if (!enabled)
        Timer4_->stop();
    else if (!Timer4_->isActive())
        Timer4_->start();
}

void FlashTicker::Timer4Timer()
{
    FlashPlatform& platform = CurrentFlashPlatform();
    const FlashWindows windows{WindowIdOf(&client_), serverDialog_(), &frmWriteMaskHandle};
    const bool mainFlash = mainFlashRequested_ && *mainFlashRequested_;
    flash_.dont_flash = dont_flash;
    const FlashTick tick = Timer4Step(flash_, WindowIdOf(platform.foreground()), windows, mainFlash);
    flash_ = tick.state;
    dont_flash = flash_.dont_flash;
    if (tick.clearFlashMainWindow && mainFlashRequested_)
        *mainFlashRequested_ = false;
    for (FlashTarget target : tick.flashes)
        platform.flash(target == FlashTarget::MainWindow ? mainWindow_ : &client_);
}

} // namespace korvel
