// Texts every window shows, defined once so that the code and the tests compare against the same
// text.
#pragma once

#include <QString>

namespace korvel::texts {

// The application title; also the caption of the message boxes that have no caption of their own.
inline const QString kApplicationTitle = QStringLiteral("Korvel Modbus/TCP server - client");
inline const QString kTrayTooltip = QStringLiteral("Korvel");

} // namespace korvel::texts
