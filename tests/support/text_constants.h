// The program's texts are Latin-1 constants (const char*); tests compare widget texts against the
// same constants through L().
#pragma once

#include <QString>

namespace korvel::testing {

inline QString L(const char* s)
{
    return QString::fromLatin1(s);
}

} // namespace korvel::testing
