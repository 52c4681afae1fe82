// The surroundings of a main window run inside a test: a free loopback port, private folders for
// the port reservations and the traffic log, and message boxes captured instead of shown. All of it
// is set when the object is made and undone when it goes, so make it before the window and let
// the window go first.
#pragma once

#include "support/test_net.h"
#include "ui/message_box.h"

#include <QByteArray>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <vector>

namespace korvel::testing {

class WindowEnvironment {
  public:
    WindowEnvironment() : port(FreeLoopbackPort())
    {
        qputenv("KORVEL_LOG_DIR", logDir.path().toUtf8());
        qputenv("KORVEL_ATOM_DIR", atomDir.path().toUtf8());
        qputenv("KORVEL_PORT", QByteArray::number(port));
        SetMessageHook([this](const ShownMessage& m) {
            messages.push_back(m);
            return QMessageBox::Ok;
        });
    }
    ~WindowEnvironment()
    {
        SetMessageHook(nullptr);
        qunsetenv("KORVEL_LOG_DIR");
        qunsetenv("KORVEL_ATOM_DIR");
        qunsetenv("KORVEL_PORT");
    }
    WindowEnvironment(const WindowEnvironment&) = delete;
    WindowEnvironment& operator=(const WindowEnvironment&) = delete;

    bool valid() const { return logDir.isValid() && atomDir.isValid() && port != 0; }
    // The texts of the captured messages, in order.
    QStringList messageTexts() const
    {
        QStringList out;
        for (const ShownMessage& m : messages)
            out << m.text;
        return out;
    }

    QTemporaryDir logDir;
    QTemporaryDir atomDir;
    uint16_t port = 0;
    std::vector<ShownMessage> messages;
};

} // namespace korvel::testing
