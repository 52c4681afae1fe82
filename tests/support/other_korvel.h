// A second Korvel beside the test's own windows, as a real partner over loopback: a main window
// with a store and engine of its own, serving on a free loopback port of its own. KORVEL_PORT is
// switched only while its window starts and then put back to `restorePort` (the test window's).
#pragma once

#include "common/register_store.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "support/test_net.h"

#include <QByteArray>
#include <QStringList>
#include <cstdint>
#include <memory>

namespace korvel::testing {

class OtherKorvel {
  public:
    explicit OtherKorvel(uint16_t restorePort)
    {
        qputenv("KORVEL_PORT", QByteArray::number(FreeLoopbackPort()));
        form = std::make_unique<TChatForm>(store, engine, QStringList{});
        qputenv("KORVEL_PORT", QByteArray::number(restorePort));
    }
    // The port its server listens on.
    uint16_t port() const { return static_cast<uint16_t>(form->serverConnections().ServerPort); }

    RegisterStore store;
    ServerEngine engine{store};
    std::unique_ptr<TChatForm> form;
};

} // namespace korvel::testing
