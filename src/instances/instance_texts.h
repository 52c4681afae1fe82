// The names under which instances reserve ports and flash together.
#pragma once

#include "rules/flash_rules.h"

#include <QString>

namespace korvel::texts {

inline const QString kPortAtomPrefix = QStringLiteral("KORVEL_PORT_");
inline const QString kPrimaryFlashAtom = QString::fromLatin1(kPrimaryFlashAtomName);
inline const QString kSecondaryFlashAtom = QString::fromLatin1(kSecondaryFlashAtomName);

} // namespace korvel::texts
