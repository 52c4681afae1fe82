// A main window with its two topic windows and the desktop publishing, as the program builds
// them, its topics on the session bus; and bus clients on connections of their own, so that their
// calls go through the bus daemon and the window serves them while the test waits. Without a
// session bus the tests skip (run them inside dbus-run-session).
#pragma once

#include "common/register_store.h"
#include "dde/bus_names.h"
#include "dde/dde_texts.h"
#include "dde_ui/dde_selections.h"
#include "dde_ui/dde_server.h"
#include "dde_ui/dde_topic_windows.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "support/bus_client.h"
#include "support/test_net.h"
#include "support/window_environment.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace korvel::testing {

class PublishingFixture : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (!QDBusConnection::sessionBus().isConnected())
            GTEST_SKIP() << "no session bus (run inside dbus-run-session)";
        ASSERT_TRUE(env.valid());
        form = std::make_unique<TChatForm>(store, engine, QStringList{});
        holding = std::make_unique<Tddeholding>(store, form->publishing(), form->activity());
        input = std::make_unique<Tddeinput>(store, form->publishing(), form->activity());
        dde =
            std::make_unique<DdeServer>(form.get(), form->optionsMenu(), form->ShowTooltips(), form->refreshRequests(),
                                        nullptr, *input, *holding, form->busNames().serviceName());
        ASSERT_TRUE(input->topic().registered());
        server = QDBusConnection::sessionBus().baseService();
    }
    void TearDown() override
    {
        clients.clear();
        dde.reset();
        input.reset();
        holding.reset();
        form.reset();
    }

    BusClient& client()
    {
        clients.push_back(std::make_unique<BusClient>(QStringLiteral("client%1").arg(clients.size()), server));
        EXPECT_TRUE(clients.back()->connected());
        return *clients.back();
    }

    // Chooses in the dialog "DDE" as a user does and presses OK; the dialog's messages are kept.
    void choose(int choice, const QString& from = {}, const QString& to = {})
    {
        TfrmDDESelections* dialog = dde->createDialog();
        dialog->show();
        // On the indicator: a wide button's centre may lie beyond its short caption.
        QRadioButton* button = dialog->choice(choice);
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
        EXPECT_TRUE(button->isChecked());
        if (IsRangeChoice(choice)) {
            QTest::keyClicks(dialog->EditLow, from);
            QTest::keyClicks(dialog->Edithigh, to);
        }
        QTest::mouseClick(dialog->OKBtn, Qt::LeftButton);
        if (dialog->isVisible())
            dialog->close();
    }
    // Waits until the threads started have ended their creation passes.
    bool created(int timeoutMs = 60000)
    {
        return WaitUntil([&] { return !dde->flags().StartInputDDEReq && !dde->flags().StartHoldDDEReq; }, timeoutMs);
    }
    bool threadsEnded(int timeoutMs = 60000)
    {
        return WaitUntil(
            [&] { return !form->activity().InputDDEThreadRunning && !form->activity().HoldDDEThreadRunning; },
            timeoutMs);
    }
    uint16_t modbusPort() { return static_cast<uint16_t>(form->serverConnections().ServerPort); }

    WindowEnvironment env;
    RegisterStore store;
    ServerEngine engine{store};
    std::unique_ptr<TChatForm> form;
    std::unique_ptr<Tddeholding> holding;
    std::unique_ptr<Tddeinput> input;
    std::unique_ptr<DdeServer> dde;
    QString server;
    std::vector<std::unique_ptr<BusClient>> clients;
};

} // namespace korvel::testing
