#include "ui/flash_platform.h"

#include <QApplication>
#include <QWidget>

namespace korvel {

namespace {

FlashPlatform* installed = nullptr;

} // namespace

QWidget* FlashPlatform::foreground() const
{
    return QApplication::activeWindow();
}

void FlashPlatform::flash(QWidget* window)
{
    if (window)
        QApplication::alert(window);
}

FlashPlatform& CurrentFlashPlatform()
{
    static FlashPlatform qtPlatform;
    return installed ? *installed : qtPlatform;
}

void SetFlashPlatform(FlashPlatform* platform)
{
    installed = platform;
}

WindowId WindowIdOf(const QWidget* window)
{
    return reinterpret_cast<WindowId>(window);
}

} // namespace korvel
