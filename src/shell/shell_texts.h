// The program's own texts of the main window, its port handling and the tray, defined once so that
// the code and the tests compare against the same text; it gathers the texts of the parts below.
#pragma once

#include "instances/instance_texts.h"
#include "server_ui/connection_texts.h"
#include "ui/window_texts.h"

#include <QString>

namespace korvel::texts {

// Main window titles.
inline const QString kInitialTitle = QStringLiteral("Korvel - Modbus/TCP server");
inline const QString kTitleAtAddress = QStringLiteral("Korvel - Modbus/TCP server at [%1]");
inline const QString kTitleWithError = QStringLiteral("Korvel - [%1]");
inline const QString kWinsockNotResponding = QStringLiteral("Winsock is not responding.\"");

// Menu captions.
inline const QString kChangePort = QStringLiteral("Cha&nge Port...");
inline const QString kPurgePorts = QStringLiteral("Purg&e Port Usage Blocking(s)");
inline const QString kExit = QStringLiteral("E&xit");
inline const QString kShowTooltips = QStringLiteral("&Show Tooltips");

// Ports and their reservation.
inline const QString kPortChanged =
    QStringLiteral("Port changed to %1. Default port %2 is currently used by other instance of Korvel.");
inline const QString kPortControl = QStringLiteral("Port control");
inline const QString kPurgeQuestion = QStringLiteral("Are you sure you want to remove all port blockings?");
inline const QString kPurgeSummary =
    QStringLiteral("%1 ports used by Korvel found. %2 blocking(s) succesfully removed");
inline const QString kAtomsDeleted = QStringLiteral("Primary Atoms deleted: %1 Secondary Atoms deleted: %2");
inline const QString kPowerOfAtom = QStringLiteral("/POWER_OF_ATOM");

// Port dialog.
inline const QString kPortDialogCaption = QStringLiteral("Server port");
inline const QString kPortToUse = QStringLiteral("Port to use");
inline const QString kPortHint = QStringLiteral("Select port used by server");
inline const QString kPortCurrentlyUsed = QStringLiteral("Port currently used: %1");
inline const QString kIllegalPort = QStringLiteral("Illegal port number. Use value 1 - 65535");

// Tray icon.
inline const QString kTrayBalloonTitle = kTrayTooltip; // the program's short name
inline const QString kTrayBalloonText = QStringLiteral("Korvel MB/TCP server is running");

} // namespace korvel::texts
