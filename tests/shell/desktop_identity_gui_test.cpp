// The identity the window shows the desktop: Korvel's icon in every size built into the program
// (a missing resource would leave the window without an icon) and the name of the launcher it
// belongs to. The real window's X properties are checked by scripts/check-desktop.
#include "shell/desktop_identity.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QWidget>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

TEST(DesktopIdentity, EveryWindowCarriesTheIconInAllSizesAndNamesItsLauncher)
{
    SetDesktopIdentity();
    const QIcon icon = QGuiApplication::windowIcon();
    ASSERT_FALSE(icon.isNull());
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        const QPixmap picture = icon.pixmap(QSize(size, size));
        EXPECT_EQ(picture.size(), QSize(size, size)) << size;
        EXPECT_FALSE(picture.toImage().isNull()) << size;
    }
    EXPECT_EQ(icon.availableSizes().size(), 7);
    QWidget window;
    EXPECT_EQ(window.windowIcon().cacheKey(), icon.cacheKey()) << "a window takes the application's icon";

    EXPECT_EQ(QGuiApplication::desktopFileName(), kDesktopFileName);
    EXPECT_TRUE(QFileInfo::exists(QStringLiteral(KORVEL_SOURCE_DIR "/packaging/") + kDesktopFileName +
                                  QStringLiteral(".desktop")))
        << "the desktop file name is the launcher's file name";
}

} // namespace
} // namespace korvel::testing
