// The two platform services the flashing rules need: which window of the application is in front,
// and one blink request on a window. Qt's versions by default; tests install their own to set the
// window in front and count the flash calls.
#pragma once

#include "rules/flash_rules.h"

class QWidget;

namespace korvel {

class FlashPlatform {
  public:
    virtual ~FlashPlatform() = default;
    // The application's active window; nullptr when a window of another program is in front.
    virtual QWidget* foreground() const;
    // One flash of `window` (QApplication::alert).
    virtual void flash(QWidget* window);
};

// The platform in use; Qt's unless a test installed another one.
FlashPlatform& CurrentFlashPlatform();
// Tests: installs `platform` (not owned); nullptr restores Qt's.
void SetFlashPlatform(FlashPlatform* platform);

// The identity the flashing rules compare; kNoWindow for nullptr.
WindowId WindowIdOf(const QWidget* window);

} // namespace korvel
