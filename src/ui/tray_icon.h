// The notification-area icon: visible for the whole run, tooltip "Korvel", 13 pictures of its
// own (tray_pictures.h: 1 to 12 turn while replies go out, 13 reports a failed request), a context menu that the
// set-value dialog adds its item to, and double click to minimise or restore the main window.
// Where the desktop has no tray the icon simply is not seen.
#pragma once

#include "ui/tray_pictures.h"

#include <QIcon>
#include <QObject>
#include <array>

class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace korvel {

class TrayIcon : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPictureCount = kTrayPictures;

    explicit TrayIcon(QWidget& mainWindow);
    ~TrayIcon() override;

    QSystemTrayIcon* icon() const { return icon_; }
    QMenu* menu() const { return menu_; }
    // Picture 1..13; other values are ignored.
    void setPicture(int index);
    int picture() const { return picture_; }
    // Double click: a minimised main window is restored to normal, otherwise it is minimised.
    void TrayIcon1DblClick();

  private:
    QWidget& mainWindow_;
    QSystemTrayIcon* icon_ = nullptr;
    QMenu* menu_ = nullptr;
    int picture_ = 1;
    std::array<QIcon, kPictureCount> pictures_;
};

} // namespace korvel
