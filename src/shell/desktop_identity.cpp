#include "shell/desktop_identity.h"

#include <QGuiApplication>

// The pictures are in a static library: nothing else would pull their initializer into the
// program. Outside any namespace, where the macro declares it; once (window thread).
static void InitIconResource()
{
    static bool done = false;
    if (!done) {
        Q_INIT_RESOURCE(korvel_icons);
        done = true;
    }
}

namespace korvel {

QIcon ApplicationIcon()
{
    InitIconResource();
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/korvel-%1.png").arg(size), QSize(size, size));
    return icon;
}

void SetDesktopIdentity()
{
    QGuiApplication::setWindowIcon(ApplicationIcon());
    QGuiApplication::setDesktopFileName(kDesktopFileName);
}

} // namespace korvel
