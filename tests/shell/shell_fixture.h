// An in-process main window on a free loopback port with a private atom registry, its messages
// captured instead of shown.
#pragma once

#include "common/register_store.h"
#include "server/server_engine.h"
#include "shell/main_window.h"
#include "support/test_net.h"
#include "ui/message_box.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace korvel::testing {

class ShellFixture : public ::testing::Test {
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(atomDir.isValid());
        basePort = FreeLoopbackPort();
        ASSERT_NE(basePort, 0);
        qputenv("KORVEL_ATOM_DIR", atomDir.path().toUtf8());
        qputenv("KORVEL_PORT", QByteArray::number(basePort));
        SetMessageHook([this](const ShownMessage& m) {
            messages.push_back(m);
            return answer;
        });
    }
    void TearDown() override
    {
        windows.clear();
        SetMessageHook(nullptr);
        qunsetenv("KORVEL_ATOM_DIR");
        qunsetenv("KORVEL_PORT");
    }

    // A new main window (its start-up runs here) with its own store and engine.
    TChatForm& start(const QStringList& arguments = {})
    {
        auto w = std::make_unique<Window>();
        w->form = std::make_unique<TChatForm>(w->store, w->engine, arguments);
        windows.push_back(std::move(w));
        return *windows.back()->form;
    }
    TChatForm& form(size_t i = 0) { return *windows.at(i)->form; }
    ServerEngine& engine(size_t i = 0) { return windows.at(i)->engine; }
    void stop(size_t i) { windows.at(i)->form.reset(); }

    QStringList texts() const
    {
        QStringList out;
        for (const ShownMessage& m : messages)
            out << m.text;
        return out;
    }

    struct Window {
        RegisterStore store;
        ServerEngine engine{store};
        std::unique_ptr<TChatForm> form;
        ~Window() { form.reset(); }
    };

    QTemporaryDir atomDir;
    uint16_t basePort = 0;
    std::vector<ShownMessage> messages;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    std::vector<std::unique_ptr<Window>> windows;
};

} // namespace korvel::testing
