// The program's own texts of the application shell and the server connections, defined once so
// that the code and the tests compare against the same text.
#pragma once

#include "shell/flash_rules.h"

#include <QString>

namespace korvel::texts {

// The application title; also the caption of the message boxes that have no caption of their own.
inline const QString kApplicationTitle = QStringLiteral("Korvel Modbus/TCP server - client");

// Main window titles.
inline const QString kInitialTitle = QStringLiteral("Korvel - Modbus/TCP server");
inline const QString kTitleAtAddress = QStringLiteral("Korvel - Modbus/TCP server at [%1]");
inline const QString kTitleWithError = QStringLiteral("Korvel - [%1]");
inline const QString kWinsockNotResponding = QStringLiteral("Winsock is not responding.\"");

// Server connections.
inline const QString kNotConnected = QStringLiteral("Not connected.");
inline const QString kSocketInitFailed =
    QStringLiteral("Socket initialisation failed. Possible reason: Port %1 already used by other application. "
                   "Errorcode: %2");
inline const QString kNagleSetError1 =
    QStringLiteral("Socket error returned when disabling Nagle algorithm. Errorcode: %1");
inline const QString kNagleSetError2 =
    QStringLiteral("Socket error returned when disabling Nagle's algorithm. Errorcode: %1");
inline const QString kNagleReadError =
    QStringLiteral("Socket error returned when requesting Nagle's status. Errorcode: %1");
inline const QString kDisconnecting = QStringLiteral(" #%1: Disconnecting: ");

// Menu captions.
inline const QString kPortMenu = QStringLiteral("&Port");
inline const QString kMonitorPortDefault = QStringLiteral("&Monitor Port %1");
inline const QString kMonitorPortChanged = QStringLiteral("&Monitor port %1");
inline const QString kNagleMenu = QStringLiteral("Disable &Nagle");
inline const QString kConnection1 = QStringLiteral("Connection #&1");
inline const QString kConnection2 = QStringLiteral("Connection #&2");
inline const QString kReleaseUnused = QStringLiteral("Release Connection if &Unused >1 min");
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
inline const QString kPortAtomPrefix = QStringLiteral("KORVEL_PORT_");
inline const QString kPrimaryFlashAtom = QString::fromLatin1(kPrimaryFlashAtomName);
inline const QString kSecondaryFlashAtom = QString::fromLatin1(kSecondaryFlashAtomName);

// Port dialog.
inline const QString kPortDialogCaption = QStringLiteral("Server port");
inline const QString kPortToUse = QStringLiteral("Port to use");
inline const QString kPortHint = QStringLiteral("Select port used by server");
inline const QString kPortCurrentlyUsed = QStringLiteral("Port currently used: %1");
inline const QString kIllegalPort = QStringLiteral("Illegal port number. Use value 1 - 65535");

// Tray icon.
inline const QString kTrayTooltip = QStringLiteral("Korvel");
inline const QString kTrayBalloonTitle = QStringLiteral("Korvel");
inline const QString kTrayBalloonText = QStringLiteral("Korvel MB/TCP server is running");

} // namespace korvel::texts
