// How the running window presents itself to the desktop: the icon every window carries (the
// pictures of packaging/icons, built into the program) and the desktop file it belongs to, so
// that a task bar or a dock shows Korvel's icon and groups the window with its launcher.
#pragma once

#include <QIcon>
#include <QString>

namespace korvel {

// The launcher's file name without ".desktop" (packaging/org.korvel.Korvel.desktop).
inline const QString kDesktopFileName = QStringLiteral("org.korvel.Korvel");

// Korvel's icon in every size it is drawn in (16 to 256 pixels, and the scalable picture).
QIcon ApplicationIcon();

// Gives the application its icon and desktop file name; call once the application object exists,
// before the first window is shown.
void SetDesktopIdentity();

} // namespace korvel
