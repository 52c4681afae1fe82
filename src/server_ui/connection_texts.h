// The texts of the server connections and their menu, defined once so that the code and the tests
// compare against the same text.
#pragma once

#include <QString>

namespace korvel::texts {

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
inline const QString kPortMenu = QStringLiteral("&Port");
inline const QString kMonitorPortDefault = QStringLiteral("&Monitor Port %1");
inline const QString kMonitorPortChanged = QStringLiteral("&Monitor port %1");
inline const QString kNagleMenu = QStringLiteral("Disable &Nagle");
inline const QString kConnection1 = QStringLiteral("Connection #&1");
inline const QString kConnection2 = QStringLiteral("Connection #&2");
inline const QString kReleaseUnused = QStringLiteral("Release Connection if &Unused >1 min");

} // namespace korvel::texts
