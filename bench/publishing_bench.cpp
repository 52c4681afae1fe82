// Desktop publishing costs: the creation of 65536 items (the item table alone, and the real
// publishing thread), the update pass over 65536 items with nothing changed and with everything
// changed (time per pass on the window thread), and the server's FC3 x 10 rate with every input
// and holding register published and a bus client linked to 100 holding items that change every
// pass, against the rate with publishing off. The link needs a session bus (run inside
// dbus-run-session); without one the rate is measured without the link.
//
//   publishing_bench [seconds per phase, default 3] [rounds, default 3]
#include "bench_support.h"
#include "dde_ui/dde_server.h"
#include "dde_ui/dde_topic_windows.h"
#include "loopback_client.h"
#include "shell/main_window.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// FC3 x 10 one after the other until told to stop; the number of replies.
void Client(uint16_t port, std::atomic<bool>& stop, long& replies)
{
    bench::ReadHoldingLoop(port, stop, [&](double) { ++replies; });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    // 1. The item table alone: 65536 items created as the thread creates them, and update passes.
    {
        korvel::RegisterStore store;
        std::vector<uint16_t> previous(korvel::kRegisterCount);
        std::atomic<bool> stop{false};
        double create = 1e9, unchanged = 1e9, changed = 1e9;
        for (int r = 0; r < 5; ++r) {
            korvel::ItemTable table;
            auto start = Clock::now();
            for (int n = 0; n < korvel::kRegisterCount; ++n) {
                const auto a = static_cast<uint16_t>(n);
                table.create(a, std::to_string(store.input(a)));
                previous[a] = store.input(a);
                store.orFlags(a, korvel::kFlagInputPublished);
            }
            create = std::min(create, MillisSince(start));
            start = Clock::now();
            table.updatePass(korvel::TopicKind::Input, store, previous.data(), 0, 65535, stop);
            unchanged = std::min(unchanged, MillisSince(start));
            for (int n = 0; n < korvel::kRegisterCount; ++n)
                store.setInput(static_cast<uint16_t>(n), static_cast<uint16_t>(n + r + 1));
            start = Clock::now();
            table.updatePass(korvel::TopicKind::Input, store, previous.data(), 0, 65535, stop);
            changed = std::min(changed, MillisSince(start));
        }
        std::printf("item table: create 65536 items %.2f ms; update pass unchanged %.3f ms, all changed %.2f ms\n",
                    create, unchanged, changed);
    }

    const bench::WindowEnvironment environment;
    const uint16_t port = environment.port();
    korvel::SetMessageHook([](const korvel::ShownMessage&) { return QMessageBox::Ok; });

    korvel::RegisterStore store;
    korvel::ServerEngine engine(store);
    korvel::TChatForm window(store, engine, {});
    korvel::Tddeholding holding(store, window.publishing(), window.activity());
    korvel::Tddeinput input(store, window.publishing(), window.activity());
    korvel::DdeServer dde(&window, window.optionsMenu(), window.ShowTooltips(), window.refreshRequests(), nullptr,
                          input, holding, QStringLiteral("org.korvel.bench"));
    window.show();

    const bool haveBus = QDBusConnection::sessionBus().isConnected();
    QDBusConnection linker = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("linker"));
    auto switchOn = [&] {
        dde.apply(korvel::DdeRequest{0, 65535, true, true});
        const auto start = Clock::now();
        bench::ServeUntil([&] { return !dde.flags().StartInputDDEReq && !dde.flags().StartHoldDDEReq; }, 120000, 5);
        const double ms = MillisSince(start);
        if (haveBus) { // a client links 100 holding items
            for (int n = 0; n < 100; ++n) {
                QDBusMessage msg = QDBusMessage::createMethodCall(
                    QDBusConnection::sessionBus().baseService(), QStringLiteral("/holding"),
                    QStringLiteral("org.korvel.Topic"), QStringLiteral("Link"));
                msg << QStringLiteral("r%1").arg(n);
                QDBusPendingCall call = linker.asyncCall(msg);
                bench::ServeUntil([&] { return call.isFinished(); }, 5000, 5);
            }
        }
        return ms;
    };
    auto switchOff = [&] {
        dde.DDEServer1Click();
        bench::ServeUntil(
            [&] { return !window.activity().InputDDEThreadRunning && !window.activity().HoldDDEThreadRunning; }, 120000,
            5);
    };

    // 2. The real threads: creation of 65536 input and 65536 holding items, one after the other.
    const double creation = switchOn();
    std::printf("publishing threads: 2 x 65536 items created in %.0f ms; %s\n", creation,
                haveBus ? "a client linked to r0..r99 of /holding" : "no session bus: no link");
    switchOff();

    // 3. The server's rate, publishing off and on (the linked registers change every 50 ms).
    QTimer changer;
    int tick = 0;
    QObject::connect(&changer, &QTimer::timeout, [&] {
        ++tick;
        for (int n = 0; n < 100; ++n)
            store.setHolding(static_cast<uint16_t>(n), static_cast<uint16_t>(tick + n));
    });
    changer.start(50);
    double off = 0, on = 0;
    std::vector<double> ratios; // on / off of each round: the machine's drift hits both alike
    for (int r = 0; r < rounds; ++r) {
        double offRate = 0;
        for (int phase = 0; phase < 2; ++phase) {
            if (phase == 1)
                switchOn();
            std::atomic<bool> stop{false};
            long replies = 0;
            std::thread client(Client, port, std::ref(stop), std::ref(replies));
            bench::Serve(seconds * 1000);
            stop = true;
            client.join();
            const double rate = static_cast<double>(replies) / seconds;
            (phase ? on : off) += rate;
            if (phase == 0)
                offRate = rate;
            else if (offRate > 0)
                ratios.push_back(rate / offRate);
            std::printf("round %d publishing %-3s FC3 x 10: %.0f replies/s\n", r + 1, phase ? "on" : "off", rate);
            std::fflush(stdout);
            if (phase == 1)
                switchOff();
        }
    }
    std::sort(ratios.begin(), ratios.end());
    std::printf("FC3 x 10 rate: off %.0f/s, on %.0f/s, on / off %.2f, median of the rounds' on / off %.2f\n",
                off / rounds, on / rounds, off > 0 ? on / off : 0.0, ratios.empty() ? 0.0 : ratios[ratios.size() / 2]);
    QDBusConnection::disconnectFromBus(QStringLiteral("linker"));
    return 0;
}
