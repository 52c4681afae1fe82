// The scanner window against real servers over loopback: another Korvel (a main window with its
// own store and server) and the libmodbus server of the benchmarks, holding and input registers,
// with "Copy value to register" landing in this program's store.
#include "scanner/scanner_window_fixture.h"
#include "support/other_korvel.h"
#include "support/peer_server.h"

#include <QCheckBox>
#include <QRadioButton>

namespace korvel::testing {
namespace {

class ScannerPeersTest : public ScannerWindowTest {
  protected:
    void scanWithCopy(bool holding, const QString& from, const QString& to)
    {
        if (holding)
            QTest::mouseClick(scanner->RBHold, Qt::LeftButton);
        else
            QTest::mouseClick(scanner->RBInput, Qt::LeftButton);
        scanner->CBoxCopy->setChecked(true);
        range(from, to, QStringLiteral("1000"));
        ASSERT_TRUE(scan());
    }
};

TEST_F(ScannerPeersTest, AnotherKorvelIsScannedAndItsValuesAreCopied)
{
    OtherKorvel other(env.port);
    RegisterStore& otherStore = other.store;
    const uint16_t port = other.port();
    for (int i = 0; i < 3; ++i) {
        otherStore.setHolding(static_cast<uint16_t>(10 + i), static_cast<uint16_t>(0x1110 + i));
        otherStore.setInput(static_cast<uint16_t>(20 + i), static_cast<uint16_t>(60000 + i));
    }
    ASSERT_EQ(connectTo(port), nullptr);

    scanWithCopy(true, "10", "12");
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 10, value: 4368, Poll: OK", "Register 11, value: 4369, Poll: OK",
                                             "Register 12, value: 4370, Poll: OK"}));
    EXPECT_TRUE(scanner->statusText().endsWith("3 times succeeded, 0 times failed."))
        << scanner->statusText().toStdString();
    EXPECT_EQ(store.holding(11), 0x1111);
    EXPECT_EQ(store.input(11), 0);

    scanWithCopy(false, "20", "22");
    EXPECT_EQ(scanner->lines().last(), QStringLiteral("Register 22, value: 60002, Poll: OK"));
    EXPECT_EQ(store.input(20), 60000);
    EXPECT_EQ(store.input(22), 60002);
    EXPECT_EQ(store.holding(20), 0);
    QTest::mouseClick(scanner->btnDisco, Qt::LeftButton);
}

TEST_F(ScannerPeersTest, LibmodbusServerIsScannedAndItsValuesAreCopied)
{
#ifndef KORVEL_LIBMODBUS_SERVER
    GTEST_SKIP() << "libmodbus is not installed";
#else
    PeerServer peer;
    ASSERT_TRUE(peer.start(QStringLiteral(KORVEL_LIBMODBUS_SERVER), {}, {300, 0x4321}));
    const uint16_t port = peer.port();

    ASSERT_EQ(connectTo(port), nullptr);
    scanWithCopy(true, "299", "301");
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 299, value: 0, Poll: OK", "Register 300, value: 17185, Poll: OK",
                                             "Register 301, value: 0, Poll: OK"}));
    EXPECT_EQ(store.holding(300), 0x4321);

    store.setInput(5, 999);
    scanWithCopy(false, "5", "6");
    EXPECT_EQ(scanner->lines(), (QStringList{"Register 5, value: 0, Poll: OK", "Register 6, value: 0, Poll: OK"}));
    EXPECT_EQ(store.input(5), 0) << "the server's value replaced the store's";
    QTest::mouseClick(scanner->btnDisco, Qt::LeftButton);
#endif
}

} // namespace
} // namespace korvel::testing
