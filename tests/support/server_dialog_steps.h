// The steps a user takes to connect a window to a partner: press the window's Connect... button,
// type the partner into the "Server connection" dialog's fields, press OK. Any window that opens
// the dialog (the client, the scanner) is driven the same way.
#pragma once

#include "client/server_ip_dialog.h"
#include "support/test_net.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTest>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>

namespace korvel::testing {

// Clicks `opener`, fills the dialog `dialogOf` then returns with `ip` and `port`, presses OK and
// waits until the attempt ended. Returns the dialog while it is still open (a failed attempt),
// nullptr once it closed.
inline TSetServerIP* ConnectThroughDialog(QAbstractButton* opener, const std::function<TSetServerIP*()>& dialogOf,
                                          uint16_t port, const QString& ip = QStringLiteral("127.0.0.1"))
{
    QTest::mouseClick(opener, Qt::LeftButton);
    TSetServerIP* dialog = dialogOf();
    EXPECT_NE(dialog, nullptr);
    if (!dialog)
        return nullptr;
    const QStringList octets = ip.split(QLatin1Char('.'));
    QLineEdit* fields[] = {dialog->Edit1, dialog->Edit2, dialog->Edit3, dialog->Edit4};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(octets.value(i));
    dialog->Edit5->setText(QString::number(port));
    QPointer<TSetServerIP> watched(dialog);
    QTest::mouseClick(dialog->Button3, Qt::LeftButton);
    WaitUntil([&] { return watched.isNull() || !watched->isVisible() || !watched->connecting(); });
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return watched.isNull() || !watched->isVisible() ? nullptr : watched.data();
}

} // namespace korvel::testing
