// A main window (its server on a free loopback port) with the client window beside it, messages
// captured, and the steps a user takes: open the connection dialog, type the partner, press OK.
#pragma once

#include "client/client_window.h"
#include "client/event_list.h"
#include "client/server_ip_dialog.h"
#include "client/status_line.h"
#include "common/register_store.h"
#include "server/server_engine.h"
#include "shell/main_window.h"
#include "support/server_dialog_steps.h"
#include "support/test_net.h"
#include "support/window_environment.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace korvel::testing {

class ClientWindowTest : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(env.valid());
        store = std::make_unique<RegisterStore>();
        engine = std::make_unique<ServerEngine>(*store);
        form = std::make_unique<TChatForm>(*store, *engine, QStringList{});
        client = std::make_unique<TfrmClient>(form->clientSurroundings());
        env.messages.clear();
    }
    void TearDown() override
    {
        client.reset();
        form.reset();
    }

    // Connect..., the partner typed into the dialog's fields, OK; waits until the attempt ended.
    // Returns the dialog while it is still open (a failed attempt), nullptr once it closed.
    TSetServerIP* connectTo(uint16_t port, const QString& ip = QStringLiteral("127.0.0.1"))
    {
        return ConnectThroughDialog(
            client->btnConn, [this] { return client->serverDialog(); }, port, ip);
    }

    // Types an address into a combo box and presses its Add button.
    void add(QComboBox* combo, QPushButton* addButton, const QString& text)
    {
        combo->lineEdit()->clear();
        QTest::keyClicks(combo->lineEdit(), text);
        QTest::mouseClick(addButton, Qt::LeftButton);
    }

    QStringList items(QComboBox* combo) const
    {
        QStringList out;
        for (int i = 0; i < combo->count(); ++i)
            out << combo->itemText(i);
        return out;
    }

    QStringList messageTexts() const { return env.messageTexts(); }

    WindowEnvironment env;
    std::unique_ptr<RegisterStore> store;
    std::unique_ptr<ServerEngine> engine;
    std::unique_ptr<TChatForm> form;
    std::unique_ptr<TfrmClient> client;
};

} // namespace korvel::testing
