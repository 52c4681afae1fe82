// Port choice among instances, the port dialog, the purge of reservations, the flash-atom purge,
// shutdown, and the main window's title, tray icon, tooltips and Exit.
#include "instances/atom_registry.h"
#include "server_ui/server_connections.h"
#include "shell/port_control.h"
#include "shell/port_dialog.h"
#include "shell/shell_fixture.h"
#include "shell/shell_texts.h"
#include "ui/tray_icon.h"
#include "view/variable_list_file.h"

#include <QAccessible>
#include <QAction>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTcpServer>

namespace korvel::testing {
namespace {

using PortsTest = ShellFixture;

QString PortAtom(int port)
{
    return PortControl::PortAtomName(port);
}

TEST_F(PortsTest, SecondInstanceTakesTheNextPortWithAMessage)
{
    TChatForm& first = start();
    EXPECT_EQ(first.serverConnections().ServerPort, basePort);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(first.serverConnections().Listen()->text(), QStringLiteral("&Monitor Port %1").arg(basePort));
    EXPECT_TRUE(first.PortAtomExist(basePort));

    TChatForm& second = start();
    EXPECT_EQ(second.serverConnections().ServerPort, basePort + 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("Port changed to %1. Default port %2 is currently used by other "
                                               "instance of Korvel.")
                                    .arg(basePort + 1)
                                    .arg(basePort));
    EXPECT_EQ(second.serverConnections().Listen()->text(), QStringLiteral("&Monitor port %1").arg(basePort + 1));

    // Shutdown gives the reservation back: the next instance takes the base port again.
    stop(0);
    EXPECT_FALSE(second.PortAtomExist(basePort));
    EXPECT_TRUE(second.PortAtomExist(basePort + 1));
    TChatForm& third = start();
    EXPECT_EQ(third.serverConnections().ServerPort, basePort);
}

TEST_F(PortsTest, AllPortsReservedStaysOnTheBaseWithoutReservation)
{
    AtomRegistry atoms(atomDir.path());
    for (int port = basePort; port <= basePort + 999; ++port)
        ASSERT_TRUE(atoms.add(PortAtom(port)));
    TChatForm& form = start();
    EXPECT_EQ(form.serverConnections().ServerPort, basePort);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(form.portControl().ownsPortAtom());
    stop(0);
    // The reservation of the other instance survives this instance's shutdown.
    EXPECT_EQ(atoms.names()[PortAtom(basePort)], 1);
}

TEST_F(PortsTest, StaleReservationStaysUntilPurged)
{
    AtomRegistry atoms(atomDir.path());
    atoms.add(PortAtom(basePort)); // an instance that was killed
    TChatForm& form = start();
    EXPECT_EQ(form.serverConnections().ServerPort, basePort + 1);

    answer = QMessageBox::No;
    form.portControl().PurgeClick();
    EXPECT_TRUE(atoms.find(PortAtom(basePort)));
    ASSERT_EQ(messages.back().caption, texts::kPortControl);
    EXPECT_EQ(messages.back().text, texts::kPurgeQuestion);

    answer = QMessageBox::Yes;
    form.portControl().PurgeClick();
    EXPECT_EQ(messages.back().text, QStringLiteral("2 ports used by Korvel found. 2 blocking(s) succesfully removed"));
    EXPECT_TRUE(atoms.names().empty());
    EXPECT_TRUE(form.serverConnections().service().listening()); // the instance keeps its socket

    // The purge took this instance's reservation too: its shutdown deletes nothing of others.
    atoms.add(PortAtom(basePort + 1));
    stop(0);
    EXPECT_TRUE(atoms.find(PortAtom(basePort + 1)));
}

class PortDialogTest : public ShellFixture {
  protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        start();
        dialog = form().portControl().createPortDialog();
    }
    void TearDown() override
    {
        delete dialog.data();
        ShellFixture::TearDown();
    }
    void type(const QString& text) { dialog->PortNumber()->setText(text); }
    QPointer<TfrmSetPort> dialog;
};

TEST_F(PortDialogTest, OpensOnTheCurrentPortWithOkDisabled)
{
    EXPECT_EQ(dialog->windowTitle(), texts::kPortDialogCaption);
    EXPECT_EQ(dialog->PortNumber()->text(), QString::number(basePort));
    EXPECT_EQ(dialog->PortNumber()->selectedText(), QString::number(basePort));
    EXPECT_EQ(dialog->currentPortLabel()->text(), QStringLiteral("Port currently used: %1").arg(basePort));
    EXPECT_FALSE(dialog->okButton()->isEnabled()); // the own port is reserved
    EXPECT_EQ(dialog->PortNumber()->maxLength(), 5);
}

TEST_F(PortDialogTest, OkFollowsTheTextAndTheReservations)
{
    form().atoms().add(PortAtom(4711));
    type(QStringLiteral("4711"));
    EXPECT_FALSE(dialog->okButton()->isEnabled());
    type(QStringLiteral("4712"));
    EXPECT_TRUE(dialog->okButton()->isEnabled());
    type(QStringLiteral("47a"));
    EXPECT_FALSE(dialog->okButton()->isEnabled());
    type(QString());
    EXPECT_FALSE(dialog->okButton()->isEnabled());
}

TEST_F(PortDialogTest, PortFieldIsNamedAndFollowsTheAccessibilityValue)
{
    QAccessibleInterface* field = QAccessible::queryAccessibleInterface(dialog->PortNumber());
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text(QAccessible::Name), texts::kPortToUse);
    field->setText(QAccessible::Value, QString::number(basePort + 7));
    EXPECT_TRUE(dialog->okButton()->isEnabled());
    field->setText(QAccessible::Value, QString::number(basePort));
    EXPECT_FALSE(dialog->okButton()->isEnabled()); // the own port is reserved
}

TEST_F(PortDialogTest, OutOfRangeNumbersAreRefusedAndTheEditFallsBack)
{
    for (const QString& text : {QStringLiteral("0"), QStringLiteral("70000"), QStringLiteral("-5")}) {
        messages.clear();
        type(text);
        ASSERT_TRUE(dialog->okButton()->isEnabled()) << text.toStdString();
        dialog->okButton()->click();
        ASSERT_EQ(messages.size(), 1u) << text.toStdString();
        EXPECT_EQ(messages[0].text, texts::kIllegalPort);
        EXPECT_EQ(dialog->PortNumber()->text(), QString::number(basePort));
        EXPECT_EQ(form().serverConnections().ServerPort, basePort);
    }
    EXPECT_TRUE(form().PortAtomExist(basePort));
}

TEST_F(PortDialogTest, NewPortMovesReservationAndListener)
{
    RawClient client;
    ASSERT_TRUE(client.connectTo(basePort));
    ASSERT_TRUE(WaitUntil([&] { return form().serverConnections().slotOpen(1); }));
    const uint16_t newPort = FreeLoopbackPort();
    type(QString::number(newPort));
    QSignalSpy finished(dialog.data(), &QDialog::finished);
    dialog->okButton()->click();
    EXPECT_EQ(finished.size(), 1);
    EXPECT_EQ(form().serverConnections().ServerPort, newPort);
    EXPECT_FALSE(form().PortAtomExist(basePort));
    EXPECT_TRUE(form().PortAtomExist(newPort));
    EXPECT_EQ(form().serverConnections().Listen()->text(), QStringLiteral("&Monitor port %1").arg(newPort));
    EXPECT_EQ(form().serverConnections().service().listeningPort(), newPort);
    EXPECT_TRUE(client.waitClosed());
    RawClient moved;
    EXPECT_TRUE(moved.connectTo(newPort));
    EXPECT_TRUE(messages.empty());
}

TEST_F(PortDialogTest, HighestPortIsAccepted)
{
    type(QStringLiteral("65535"));
    dialog->okButton()->click();
    EXPECT_EQ(form().serverConnections().ServerPort, 65535);
    EXPECT_TRUE(form().PortAtomExist(65535));
    // Whether 65535 is free on this machine decides only the listening, reported as a number.
    for (const ShownMessage& m : messages)
        EXPECT_EQ(m.kind, MessageKind::Error);
}

TEST_F(PortDialogTest, ListenerFailureAfterAPortChangeIsReportedWithItsNumber)
{
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::Any, 0));
    type(QString::number(other.serverPort()));
    dialog->okButton()->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, QStringLiteral("10048"));
    EXPECT_FALSE(form().serverConnections().service().listening());
    EXPECT_EQ(form().serverConnections().ServerPort, other.serverPort());
}

TEST_F(PortsTest, ChangePortItemIsEnabledOnlyWhileListening)
{
    TChatForm& form = start();
    QAction* change = form.portControl().ChangePort();
    EXPECT_EQ(change->text(), texts::kChangePort);
    EXPECT_EQ(change->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
    EXPECT_TRUE(change->isEnabled());
    form.serverConnections().Listen()->trigger();
    EXPECT_FALSE(change->isEnabled());
}

TEST_F(PortsTest, PowerOfAtomInAnyCaseDeletesAllFlashAtoms)
{
    AtomRegistry atoms(atomDir.path());
    atoms.add(texts::kPrimaryFlashAtom);
    atoms.add(texts::kPrimaryFlashAtom);
    atoms.add(texts::kSecondaryFlashAtom);
    TChatForm& form = start({QStringLiteral("  /power_of_ATOM ")});
    EXPECT_EQ(form.statusMessage(), QStringLiteral("Primary Atoms deleted: 2 Secondary Atoms deleted: 1"));
    EXPECT_FALSE(form.variableListFile()->OpenFromCommandLine);
    EXPECT_FALSE(atoms.find(texts::kPrimaryFlashAtom));
    EXPECT_FALSE(atoms.find(texts::kSecondaryFlashAtom));
}

TEST_F(PortsTest, OtherArgumentsAskForAFileLoad)
{
    AtomRegistry atoms(atomDir.path());
    atoms.add(texts::kPrimaryFlashAtom);
    TChatForm& form = start({QStringLiteral("/POWER_OF_ATOMS")});
    EXPECT_TRUE(form.variableListFile()->OpenFromCommandLine);
    EXPECT_TRUE(atoms.find(texts::kPrimaryFlashAtom));
    EXPECT_TRUE(start({QStringLiteral("   ")}).variableListFile()->OpenFromCommandLine == false);
}

TEST_F(PortsTest, ShutdownDeletesOnlyTheFlashAtomsThisInstanceOwns)
{
    AtomRegistry atoms(atomDir.path());
    atoms.add(texts::kPrimaryFlashAtom); // another instance's
    TChatForm& form = start();
    atoms.add(texts::kSecondaryFlashAtom);
    form.portControl().ownsSecondaryFlashAtom = true;
    stop(0);
    EXPECT_TRUE(atoms.find(texts::kPrimaryFlashAtom));
    EXPECT_FALSE(atoms.find(texts::kSecondaryFlashAtom));
    EXPECT_FALSE(atoms.find(PortAtom(basePort)));
}

TEST_F(PortsTest, TitleNamesTheLocalAddressAndTheWindowKeepsItsSize)
{
    TChatForm& form = start();
    form.show();
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    if (form.LocalHostAddress.isEmpty()) {
        EXPECT_TRUE(form.windowTitle().startsWith(QStringLiteral("Korvel - ["))) << form.windowTitle().toStdString();
    } else {
        EXPECT_TRUE(QHostAddress(form.LocalHostAddress).protocol() == QAbstractSocket::IPv4Protocol);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Korvel - Modbus/TCP server at [%1]").arg(form.LocalHostAddress));
    }
}

TEST_F(PortsTest, TrayIconPicturesAndDoubleClick)
{
    TChatForm& form = start();
    ASSERT_NE(form.trayIcon(), nullptr);
    EXPECT_EQ(form.trayIcon()->toolTip(), texts::kTrayTooltip);
    EXPECT_EQ(form.trayPicture(), 1);
    form.setTrayPicture(13);
    EXPECT_EQ(form.trayPicture(), 13);
    form.setTrayPicture(14);
    form.setTrayPicture(0);
    EXPECT_EQ(form.trayPicture(), 13);
    EXPECT_EQ(form.trayIcon()->contextMenu(), form.trayMenu());

    form.show();
    form.tray().TrayIcon1DblClick();
    EXPECT_TRUE(form.isMinimized());
    form.tray().TrayIcon1DblClick();
    EXPECT_FALSE(form.isMinimized());
}

class ToolTipCounter : public QLabel {
  public:
    int shown = 0;

  protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::ToolTip)
            ++shown;
        return QLabel::event(e);
    }
};

TEST_F(PortsTest, ShowTooltipsSwitchesTooltipsOfTheWholeApplication)
{
    TChatForm& form = start();
    QAction* item = form.ShowTooltips();
    EXPECT_TRUE(item->isChecked());
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    ToolTipCounter label;
    label.setToolTip(QStringLiteral("hint"));
    auto ask = [&] {
        QHelpEvent help(QEvent::ToolTip, QPoint(1, 1), QPoint(1, 1));
        QCoreApplication::sendEvent(&label, &help);
    };
    ask();
    EXPECT_EQ(label.shown, 1);
    item->trigger();
    ask();
    EXPECT_EQ(label.shown, 1);
    item->trigger();
    ask();
    EXPECT_EQ(label.shown, 2);
}

TEST_F(PortsTest, ExitClosesTheMainWindow)
{
    TChatForm& form = start();
    form.show();
    QSignalSpy closed(&form, &TChatForm::formClosed);
    EXPECT_EQ(form.Exit1()->text(), texts::kExit);
    form.Exit1()->trigger();
    EXPECT_EQ(closed.size(), 1);
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace korvel::testing
