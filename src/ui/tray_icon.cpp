#include "ui/tray_icon.h"

#include "ui/tray_pictures.h"
#include "ui/window_texts.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace korvel {

TrayIcon::TrayIcon(QWidget& mainWindow) : QObject(&mainWindow), mainWindow_(mainWindow)
{
    for (int i = 0; i < kPictureCount; ++i)
        pictures_[static_cast<size_t>(i)] = TrayPicture(i + 1);
    menu_ = new QMenu(&mainWindow);
    icon_ = new QSystemTrayIcon(this);
    icon_->setIcon(pictures_[0]);
    icon_->setToolTip(texts::kTrayTooltip);
    icon_->setContextMenu(menu_);
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            TrayIcon1DblClick();
    });
    icon_->show();
}

TrayIcon::~TrayIcon()
{
    icon_->hide();
}

void TrayIcon::setPicture(int index)
{
    if (index < 1 || index > kPictureCount)
        return;
    picture_ = index;
    icon_->setIcon(pictures_[static_cast<size_t>(index - 1)]);
}

void TrayIcon::TrayIcon1DblClick()
{
    if (mainWindow_.isMinimized()) {
        mainWindow_.showNormal();
        mainWindow_.activateWindow();
    } else {
        mainWindow_.showMinimized();
    }
}

} // namespace korvel
