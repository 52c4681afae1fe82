// The scanner window driven as a user drives it, against a scripted server of this test's own:
// the start checks, the request bytes, the result lines and the summary, timeouts, Stop, late
// replies, invalid replies, the timeout field and the arrows, the list's commands, the
// connection and closing.
#include "client/client_window.h"
#include "client/up_down.h"
#include "master/scanner_rules.h"
#include "master/server_connection_rules.h"
#include "scanner/scan_result_list.h"
#include "scanner/scanner_texts.h"
#include "scanner/scanner_window_fixture.h"
#include "support/accessible_text.h"
#include "support/text_constants.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>
#include <QToolButton>

namespace korvel::testing {
namespace {

class ScannerScriptTest : public ScannerWindowTest {
  protected:
    void connectScripted(ScriptedServer& server)
    {
        ASSERT_EQ(connectTo(server.port()), nullptr);
        ASSERT_TRUE(WaitUntil([&] { return server.socket() != nullptr; }));
    }
};

TEST_F(ScannerScriptTest, OneRegisterWithItsValueAndTheSummary)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) { s.write(ValueReply(r, 1234)); });
    connectScripted(server);
    EXPECT_EQ(scanner->lblPartner->text(), QStringLiteral("IP: 127.0.0.1  Port: %1").arg(server.port()));
    EXPECT_TRUE(activity.scannerConnected);
    EXPECT_GE(priorityRecomputed, 1);
    EXPECT_FALSE(scanner->btnConn->isEnabled());
    EXPECT_TRUE(scanner->btnDisco->isEnabled());
    EXPECT_TRUE(scanner->btnStart->isEnabled());

    scanner->scanUID->setCurrentIndex(17);
    range("1", "1");
    ASSERT_TRUE(scan());
    ASSERT_EQ(server.requests.size(), 1);
    EXPECT_EQ(server.requests[0].toHex(), QByteArray("000100000006110300010001"));
    EXPECT_EQ(scanner->lines(), QStringList{"Register 1, value: 1234, Poll: OK"});
    EXPECT_TRUE(scanner->statusText().startsWith("1 registers scanned, total duration "))
        << scanner->statusText().toStdString();
    EXPECT_TRUE(scanner->statusText().endsWith(" ms. 1 times succeeded, 0 times failed."))
        << scanner->statusText().toStdString();
    EXPECT_TRUE(scanner->btnStart->isEnabled());
    EXPECT_FALSE(scanner->btnStop->isEnabled());
    EXPECT_TRUE(scanner->Edit1->isEnabled());
    EXPECT_EQ(store.holding(1), 0) << "nothing is copied unless asked";
}

TEST_F(ScannerScriptTest, InputRegistersWithOffsetAskOneBelowAndListTheAddressAsEntered)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) { s.write(ValueReply(r, Address(r) + 100)); });
    connectScripted(server);
    QTest::mouseClick(scanner->RBInput, Qt::LeftButton);
    EXPECT_FALSE(scanner->RBHold->isChecked());
    scanner->CBoxOffset->setChecked(true);
    scanner->CBoxCopy->setChecked(true);
    range("1", "2");
    ASSERT_TRUE(scan());
    ASSERT_EQ(server.requests.size(), 2);
    EXPECT_EQ(server.requests[0].toHex(), QByteArray("000100000006000400000001"));
    EXPECT_EQ(server.requests[1].toHex(), QByteArray("000200000006000400010001"));
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 1, value: 100, Poll: OK", "Register 2, value: 101, Poll: OK"}));
    EXPECT_EQ(store.input(1), 100) << "copied under the number the line names";
    EXPECT_EQ(store.input(2), 101);
    EXPECT_EQ(store.holding(1), 0);
}

TEST_F(ScannerScriptTest, FailedPollsOnlyListsExceptionsAndCopiesNothing)
{
    ScriptedServer server(
        [](QTcpSocket& s, const QByteArray& r) { s.write(Ti(r) == 2 ? ExceptionReply(r, 2) : ValueReply(r, 55)); });
    connectScripted(server);
    scanner->CBoxFailedOnly->setChecked(true);
    scanner->CBoxCopy->setChecked(true);
    range("1", "3");
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->lines(), QStringList{"Register 2, Illegal data address"});
    EXPECT_TRUE(scanner->statusText().endsWith("2 times succeeded, 1 times failed."))
        << scanner->statusText().toStdString();
    EXPECT_EQ(store.holding(1), 0);
    EXPECT_EQ(store.holding(3), 0);
}

TEST_F(ScannerScriptTest, ExceptionLinesWidenTheListAndDoubleClickToggles)
{
    uint8_t code = 2;
    ScriptedServer server([&](QTcpSocket& s, const QByteArray& r) { s.write(ExceptionReply(r, code)); });
    connectScripted(server);
    EXPECT_EQ(scanner->scanList->horizontalRange(), 0);
    range("7", "7");
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->lines(), QStringList{"Register 7, Illegal data address"});
    EXPECT_EQ(scanner->scanList->horizontalRange(), kScanListScrollWidth);
    EXPECT_EQ(scanner->scanList->horizontalScrollBar()->maximum(), kScanListScrollWidth);
    EXPECT_TRUE(scanner->statusText().endsWith("0 times succeeded, 1 times failed."));
    scanner->scanListDblClick();
    EXPECT_EQ(scanner->scanList->horizontalScrollBar()->maximum(), 0);
    scanner->scanListDblClick();
    EXPECT_EQ(scanner->scanList->horizontalScrollBar()->maximum(), kScanListScrollWidth);

    code = 9;
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->lines(), QStringList{"Register 7, Unknown exception received"}) << "Start empties the list";
}

TEST_F(ScannerScriptTest, SilentServerTimesOutEveryRegisterAtTheTimeout)
{
    ScriptedServer server;
    connectScripted(server);
    range("1", "3", "100");
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    EXPECT_EQ(scanner->statusText(), QStringLiteral("Scanning 3 holding registers.."));
    EXPECT_FALSE(scanner->btnStart->isEnabled());
    EXPECT_TRUE(scanner->btnStop->isEnabled());
    EXPECT_FALSE(scanner->Edit1->isEnabled());
    EXPECT_FALSE(scanner->RBInput->isEnabled());
    EXPECT_TRUE(scanner->Edit3->isEnabled()) << "the timeout stays open during a scan";
    EXPECT_EQ(scanner->ProgressBar1->minimum(), 1);
    EXPECT_EQ(scanner->ProgressBar1->maximum(), 3);
    EXPECT_TRUE(WaitUntil([&] { return scanner->ProgressBar1->value() == 2; }, 90)) << "the bar follows the requests";
    QList<qint64> lineTimes;
    ASSERT_TRUE(WaitUntil([&] {
        if (scanner->lines().size() > lineTimes.size())
            lineTimes << clock.elapsed();
        return !scanner->session().scanRunning();
    }));
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 1, Timeout", "Register 2, Timeout", "Register 3, Timeout"}));
    ASSERT_EQ(lineTimes.size(), 3);
    EXPECT_GE(lineTimes[0], 90);
    EXPECT_GE(lineTimes[1] - lineTimes[0], 80);
    EXPECT_LE(lineTimes[1] - lineTimes[0], 300);
    EXPECT_GE(lineTimes[2] - lineTimes[1], 80);
    EXPECT_TRUE(scanner->statusText().endsWith("0 times succeeded, 3 times failed."))
        << scanner->statusText().toStdString();
    EXPECT_EQ(server.requests.size(), 3);
}

TEST_F(ScannerScriptTest, StopMidScanClearsTheStatusAndKeepsTheLines)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) {
        if (Ti(r) <= 2)
            s.write(ValueReply(r, 1));
    });
    connectScripted(server);
    range("1", "100", "5000");
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return server.requests.size() == 3; }));
    QTest::mouseClick(scanner->btnStop, Qt::LeftButton);
    EXPECT_EQ(scanner->statusText(), QString());
    EXPECT_EQ(scanner->lines().size(), 2);
    EXPECT_TRUE(scanner->btnStart->isEnabled());
    EXPECT_FALSE(scanner->btnStop->isEnabled());
    EXPECT_EQ(scanner->ProgressBar1->value(), scanner->ProgressBar1->minimum());
    EXPECT_FALSE(scanner->Timer1->isActive());
}

TEST_F(ScannerScriptTest, EscapeStopsTheScan)
{
    ScriptedServer server;
    connectScripted(server);
    range("1", "100", "5000");
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    ASSERT_TRUE(scanner->session().scanRunning());
    scanner->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(scanner.get()));
    QTest::keyClick(scanner.get(), Qt::Key_Escape);
    EXPECT_TRUE(WaitUntil([&] { return !scanner->session().scanRunning(); }, 2000)); // the button's animated click
}

TEST_F(ScannerScriptTest, LateReplyAddsASecondLineAndOneMoreRequest)
{
    // Register 1 answers after its timeout; nothing else answers.
    ScriptedServer* self = nullptr;
    QList<qint64> lateSent;
    ScriptedServer server([&](QTcpSocket& s, const QByteArray& r) {
        if (Ti(r) != 1)
            return;
        QTimer::singleShot(400, &s, [&s, r, &lateSent, &self] {
            lateSent << self->now();
            s.write(ValueReply(r, 42));
        });
    });
    self = &server;
    connectScripted(server);
    range("1", "10", "300");
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return server.requests.size() >= 3; }));
    QTest::mouseClick(scanner->btnStop, Qt::LeftButton);
    ASSERT_EQ(lateSent.size(), 1);
    // Request 2 went out at the timeout; request 3 right after the late reply, long before
    // request 2's own timeout.
    EXPECT_EQ(Ti(server.requests[2]), 3);
    EXPECT_LT(server.arrivals[2] - lateSent[0], 150);
    EXPECT_LT(server.arrivals[2] - server.arrivals[1], 250);
    EXPECT_EQ(scanner->lines().mid(0, 2), (QStringList{"Register 1, Timeout", "Register 1, value: 42, Poll: OK"}));
}

TEST_F(ScannerScriptTest, ReplyAfterTheScanEndedIsListedButSendsNothing)
{
    ScriptedServer* self = nullptr;
    ScriptedServer server([&](QTcpSocket& s, const QByteArray& r) {
        if (Ti(r) == 1)
            QTimer::singleShot(300, &s, [&s, r] { s.write(ValueReply(r, 5)); });
        else
            s.write(ValueReply(r, 6));
    });
    self = &server;
    connectScripted(server);
    range("1", "2", "100");
    ASSERT_TRUE(scan());
    const QString summary = scanner->statusText();
    EXPECT_TRUE(summary.endsWith("1 times succeeded, 1 times failed.")) << summary.toStdString();
    ASSERT_TRUE(WaitUntil([&] { return scanner->lines().size() == 3; }));
    EXPECT_EQ(scanner->lines().last(), QStringLiteral("Register 1, value: 5, Poll: OK"));
    QTest::qWait(50);
    EXPECT_EQ(self->requests.size(), 2);
    EXPECT_EQ(scanner->statusText(), summary);
}

TEST_F(ScannerScriptTest, TwoRepliesInOneArrivalAreBothListed)
{
    // The server answers request 1 twice at once: the second copy is not lost.
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) {
        s.write(Ti(r) == 1 ? ValueReply(r, 1) + ValueReply(r, 1) : ValueReply(r, 2));
    });
    connectScripted(server);
    range("1", "3");
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->lines().count(QStringLiteral("Register 1, value: 1, Poll: OK")), 2);
}

TEST_F(ScannerScriptTest, WrongProtocolIdentifierDisconnectsWithIncorrectData)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) {
        QByteArray reply = ValueReply(r, 1);
        reply[3] = 1;
        s.write(reply);
    });
    connectScripted(server);
    range("1", "5", "1000");
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !scanner->connected(); }));
    EXPECT_EQ(scanner->statusText(), L(kScanIncorrectData));
    EXPECT_EQ(scanner->lblPartner->text(), L(kNoPartnerText));
    EXPECT_FALSE(activity.scannerConnected);
    EXPECT_FALSE(scanner->session().scanRunning());
    EXPECT_TRUE(scanner->btnConn->isEnabled());
    EXPECT_FALSE(scanner->btnStart->isEnabled());
    EXPECT_FALSE(scanner->btnStop->isEnabled());
    EXPECT_TRUE(scanner->Edit1->isEnabled());
    EXPECT_TRUE(scanner->lines().isEmpty());
}

TEST_F(ScannerScriptTest, SplitReplyWaitsForItsRest)
{
    ScriptedServer server(
        [](QTcpSocket& s, const QByteArray& r) { ScriptedServer::writeSplit(s, ValueReply(r, 77), 4, 30); });
    connectScripted(server);
    range("1", "2", "500");
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 1, value: 77, Poll: OK", "Register 2, value: 77, Poll: OK"}));
}

TEST_F(ScannerScriptTest, ServerClosingEndsTheScanWithoutSummary)
{
    ScriptedServer server(ScriptedServer::closing());
    connectScripted(server);
    range("1", "5", "5000");
    QTest::mouseClick(scanner->btnStart, Qt::LeftButton);
    ASSERT_TRUE(WaitUntil([&] { return !scanner->connected(); }));
    EXPECT_EQ(scanner->statusText(), QString());
    EXPECT_FALSE(scanner->session().scanRunning());
    EXPECT_FALSE(activity.scannerConnected);
}

TEST_F(ScannerScriptTest, ClosingTheWindowDisconnectsHidesAndTellsTheClient)
{
    ScriptedServer server;
    connectScripted(server);
    int closedSignals = 0;
    QObject::connect(scanner.get(), &Tscanner::closed, [&] { ++closedSignals; });
    scanner->Close1->trigger();
    EXPECT_FALSE(scanner->isVisible());
    EXPECT_FALSE(scanner->connected());
    EXPECT_FALSE(activity.scannerConnected);
    EXPECT_EQ(closedSignals, 1);
    ASSERT_TRUE(WaitUntil([&] { return server.socket()->state() != QAbstractSocket::ConnectedState; }));

    scanner->show();
    scanner->close(); // the close box, not connected this time
    EXPECT_FALSE(scanner->isVisible());
    EXPECT_EQ(closedSignals, 2);
}

TEST_F(ScannerScriptTest, DialogRemembersTheScannersOwnPartner)
{
    ScriptedServer server;
    QTest::mouseClick(scanner->btnConn, Qt::LeftButton);
    TSetServerIP* first = scanner->serverDialog();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Edit1->text() + "." + first->Edit4->text(), QStringLiteral("10.3")) << "the local address first";
    EXPECT_EQ(first->Edit5->text(), QStringLiteral("502"));
    first->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    connectScripted(server);
    QTest::mouseClick(scanner->btnDisco, Qt::LeftButton);
    EXPECT_EQ(scanner->connection().partner.PrevPort, server.port());
    QTest::mouseClick(scanner->btnConn, Qt::LeftButton);
    TSetServerIP* again = scanner->serverDialog();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->Edit1->text(), QStringLiteral("127"));
    EXPECT_EQ(again->Edit5->text(), QString::number(server.port()));
    again->reject();
}

TEST_F(ScannerScriptTest, RefusedConnectKeepsTheDialogOpenAndStaysDisconnected)
{
    const uint16_t port = FreeLoopbackPort();
    TSetServerIP* dialog = connectTo(port);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->statusLine(), L(kConnectionFailedText));
    EXPECT_EQ(scanner->lblPartner->text(), L(kNoPartnerText));
    EXPECT_FALSE(activity.scannerConnected);
    EXPECT_TRUE(scanner->btnConn->isEnabled());
    EXPECT_FALSE(scanner->btnStart->isEnabled());
    dialog->reject();
}

// ---- Start checks, without a scan running ----

struct StartCheckRow {
    const char* name;
    const char* from;
    const char* to;
    const char* timeout;
    bool offset;
    const char* message;
    int field; // 1 From, 2 To, 3 Timeout
    bool selected;
};

class ScannerStartCheckTest : public ScannerWindowTest, public ::testing::WithParamInterface<StartCheckRow> {};

TEST_P(ScannerStartCheckTest, ShowsItsMessageAndPointsAtItsField)
{
    const StartCheckRow& row = GetParam();
    ScriptedServer server;
    ASSERT_EQ(connectTo(server.port()), nullptr);
    scanner->CBoxOffset->setChecked(row.offset);
    range(L(row.from), L(row.to), L(row.timeout));
    scanner->btnStartClick();
    ASSERT_EQ(messageTexts(), QStringList{L(row.message)});
    QLineEdit* fields[] = {nullptr, scanner->Edit1, scanner->Edit2, scanner->Edit3};
    QLineEdit* field = fields[row.field];
    EXPECT_EQ(scanner->focusWidget(), field);
    EXPECT_EQ(field->hasSelectedText(), row.selected && !field->text().isEmpty());
    EXPECT_FALSE(scanner->session().scanRunning());
    EXPECT_TRUE(scanner->btnStart->isEnabled());
    WaitUntil([] { return false; }, 30);
    EXPECT_TRUE(server.requests.isEmpty());
}

// Fields hold digits only, so the tests put texts the user cannot type through setText, as a
// robot or a paste could.
const StartCheckRow kStartChecks[] = {
    {"StartNotANumber", "", "5", "100", false, kScanCheckStartingValue, 1, true},
    {"EndNotANumber", "1", "", "100", false, kScanCheckEndValue, 2, true},
    {"TimeoutNotANumber", "1", "5", "", false, kScanCheckTimeoutValue, 3, true},
    {"StartAboveEnd", "9", "5", "100", false, kScanCheckStartAboveEnd, 2, false},
    {"StartAbove65535", "70000", "80000", "100", false, kScanCheckStartTooHigh, 1, true},
    {"EndAbove65535", "1", "65536", "100", false, kScanCheckEndTooHigh, 2, true},
    {"StartNegative", "-3", "5", "100", false, kScanCheckStartNegative, 1, true},
    {"TimeoutBelow50", "1", "5", "30", false, kScanCheckTimeoutTooLow, 3, true},
    {"OffsetWithStart0", "0", "5", "100", true, kScanCheckStartBelowOne, 1, true},
    {"OffsetWithStart00", "00", "5", "100", true, kScanCheckStartBelowOne, 1, true},
};
INSTANTIATE_TEST_SUITE_P(Rows, ScannerStartCheckTest, ::testing::ValuesIn(kStartChecks),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Fields and arrows ----

TEST_F(ScannerWindowTest, TimeoutFieldTakesOnlyItsRange)
{
    scanner->Edit3->setFocus();
    scanner->Edit3->selectAll();
    QApplication::setActiveWindow(scanner.get());
    QTest::keyClicks(scanner->Edit3, "30");
    QTest::keyClick(scanner->Edit3, Qt::Key_Return);
    EXPECT_EQ(messageTexts(), QStringList{L(kScanTimeoutRange)});
    EXPECT_EQ(scanner->Edit3->text(), QStringLiteral("100"));
    EXPECT_EQ(scanner->Timer1->interval(), 100);

    env.messages.clear();
    scanner->Edit3->selectAll();
    QTest::keyClicks(scanner->Edit3, "2500");
    QTest::keyClick(scanner->Edit3, Qt::Key_Return);
    EXPECT_TRUE(env.messages.empty());
    EXPECT_EQ(scanner->Timer1->interval(), 2500);

    scanner->Edit3->selectAll();
    QTest::keyClicks(scanner->Edit3, "12a34x5");
    EXPECT_EQ(scanner->Edit3->text(), QStringLiteral("1234")) << "digits only, four at most";
}

TEST_F(ScannerWindowTest, FromArrowsPushToAlongAndTimeoutArrowsSetTheTimer)
{
    scanner->Edit1->setText("41");
    scanner->Edit2->setText("41");
    scanner->UpDown1->up()->click();
    EXPECT_EQ(scanner->Edit1->text(), QStringLiteral("42"));
    EXPECT_EQ(scanner->Edit2->text(), QStringLiteral("42")) << "To follows From";
    scanner->UpDown1->down()->click();
    EXPECT_EQ(scanner->Edit1->text(), QStringLiteral("41"));
    EXPECT_EQ(scanner->Edit2->text(), QStringLiteral("42")) << "To stays when it is not below";
    scanner->UpDown2->up()->click();
    EXPECT_EQ(scanner->Edit2->text(), QStringLiteral("43"));
    EXPECT_EQ(scanner->Edit1->text(), QStringLiteral("41"));

    scanner->Edit1->setText("65535");
    scanner->UpDown1->up()->click();
    EXPECT_EQ(scanner->Edit1->text(), QStringLiteral("65535"));
    EXPECT_EQ(scanner->Edit2->text(), QStringLiteral("65535"));

    scanner->Edit3->setText("9995");
    scanner->UpDown3->up()->click();
    EXPECT_EQ(scanner->Edit3->text(), QStringLiteral("10000")) << "the arrows reach past four characters";
    EXPECT_EQ(scanner->Timer1->interval(), 10000);
    scanner->UpDown3->down()->click();
    EXPECT_EQ(scanner->Timer1->interval(), 9990);
}

TEST_F(ScannerWindowTest, ControlsStartAsTheWindowIsMade)
{
    EXPECT_EQ(scanner->windowTitle(), L(scannertexts::kCaption));
    EXPECT_EQ(scanner->Edit1->text(), QStringLiteral("1"));
    EXPECT_EQ(scanner->Edit2->text(), QStringLiteral("1"));
    EXPECT_EQ(scanner->Edit3->text(), QStringLiteral("100"));
    EXPECT_EQ(scanner->scanUID->count(), 256);
    EXPECT_EQ(scanner->scanUID->currentText(), QStringLiteral("0"));
    EXPECT_TRUE(scanner->RBHold->isChecked());
    EXPECT_FALSE(scanner->btnDisco->isEnabled());
    EXPECT_FALSE(scanner->btnStart->isEnabled());
    EXPECT_FALSE(scanner->btnStop->isEnabled());
    EXPECT_EQ(scanner->lblPartner->text(), L(kNoPartnerText));
    EXPECT_EQ(scanner->Close1->text(), L(scannertexts::kClose));
    EXPECT_EQ(scanner->scanList->toolTip(), L(scannertexts::kListHintAtStart));
    EXPECT_EQ(scanner->Timer1->interval(), kScanTimeoutDefault);
}

TEST_F(ScannerScriptTest, ListCommandsCopyAndClearAndTheHintFollowsTheContents)
{
    ScriptedServer server([](QTcpSocket& s, const QByteArray& r) { s.write(ValueReply(r, 3)); });
    connectScripted(server);
    range("4", "5");
    ASSERT_TRUE(scan());
    EXPECT_EQ(scanner->scanList->toolTip(), L(scannertexts::kListHintWithLines));
    scanner->CopytoClipboard1Click();
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Register 4, value: 3, Poll: OK\nRegister 5, value: 3, Poll: OK\n"));
    ASSERT_TRUE(WaitUntil([&] { return scanner->resultModel().rowCount() == 2; })) << "painted with the next batch";
    scanner->Clear1Click();
    EXPECT_TRUE(scanner->lines().isEmpty());
    EXPECT_EQ(scanner->resultModel().rowCount(), 0);
    EXPECT_EQ(scanner->scanList->toolTip(), QString());
}

TEST_F(ScannerWindowTest, EveryControlHasAnAccessibleName)
{
    QStringList unnamed;
    for (QWidget* w : scanner->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QComboBox*>(w) || qobject_cast<QProgressBar*>(w) ||
                             qobject_cast<QAbstractItemView*>(w);
        if (control && AccessibleText(w, QAccessible::Name).isEmpty() &&
            !w->objectName().startsWith(QLatin1String("qt_")))
            unnamed << QString::fromLatin1(w->metaObject()->className());
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QLatin1Char(' ')).toStdString();
}

TEST_F(ScannerWindowTest, AssistiveTechnologyReadsTheChangingTextsAndNoMarkers)
{
    EXPECT_EQ(AccessibleNameFaults(scanner.get()), "");
    EXPECT_EQ(AccessibleText(scanner->btnStart, QAccessible::Name).toStdString(),
              (QStringLiteral("Start")).toStdString());
    EXPECT_EQ(AccessibleText(scanner->lblPartner, QAccessible::Description).toStdString(),
              (L(scannertexts::kConnectionGroup)).toStdString());
    scanner->StatusBar1->setText(QStringLiteral("3 registers scanned"));
    EXPECT_EQ(AccessibleText(scanner->StatusBar1, QAccessible::Name).toStdString(),
              (QStringLiteral("3 registers scanned")).toStdString());
    EXPECT_EQ(AccessibleText(scanner->StatusBar1, QAccessible::Description).toStdString(),
              (L(scannertexts::kStatusName)).toStdString());
}

} // namespace
} // namespace korvel::testing
