// Reply time of the real server while the window thread is busy: an in-process main window
// (offscreen, panel live) serves on a free port; a client thread sends FC3 x 10 one at a time and
// times every reply. Phases take turns: the window idle, then the window busy (set-value dialogs
// refreshing every 100 ms, the register list refreshing, and a 65536-line list being filled and
// emptied on the window thread without pause). Prints p50 and p99 of both, and their ratio.
//
//   busy_window_bench [seconds per phase, default 3] [rounds, default 3]
#include "bench_support.h"
#include "loopback_client.h"
#include "shell/main_window.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTimer>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sends one request after the other until told to stop; records each reply time in microseconds.
void Client(uint16_t port, std::atomic<bool>& stop, std::vector<double>& micros)
{
    bench::ReadHoldingLoop(port, stop, [&](double us) { micros.push_back(us); });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;

    const bench::WindowEnvironment environment;
    const uint16_t port = environment.port();
    korvel::SetMessageHook([](const korvel::ShownMessage&) { return QMessageBox::Ok; });

    korvel::RegisterStore store;
    korvel::ServerEngine engine(store);
    korvel::TChatForm window(store, engine, {});
    window.show();
    QListWidget list; // the heavy list a busy window fills (a full scan has 65536 lines)
    list.resize(400, 600);
    list.show();

    // The window's busy work: fill the list in batches, empty it, fill it again, without pause.
    bool busy = false;
    int line = 0;
    QTimer work;
    work.setInterval(0);
    QObject::connect(&work, &QTimer::timeout, [&] {
        if (!busy)
            return;
        QStringList batch;
        for (int i = 0; i < 2048; ++i, ++line)
            batch << QStringLiteral("%1: Register %2 Value %3").arg(line).arg(line % 65536).arg(line * 7 % 65536);
        list.addItems(batch);
        if (list.count() >= 65536) {
            list.clear();
            line = 0;
        }
        list.scrollToBottom();
        window.refreshRequests().RefreshServerPanel(korvel::PanelPart::Everything);
    });
    work.start();

    std::vector<double> idle, loaded;
    for (int round = 0; round < rounds; ++round) {
        for (int phase = 0; phase < 2; ++phase) {
            busy = phase == 1;
            if (busy) {
                for (int i = 0; i < 8; ++i)
                    window.viewOptions().requestSetValueDialog(
                        window.viewOptions().VLEPointedRegister); // each refreshes every 100 ms
            }
            std::atomic<bool> stop{false};
            std::vector<double> micros;
            std::thread client(Client, port, std::ref(stop), std::ref(micros));
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < seconds * 1000)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            stop = true;
            while (client.joinable()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                client.join();
            }
            (busy ? loaded : idle).insert((busy ? loaded : idle).end(), micros.begin(), micros.end());
            std::printf("round %d %-5s replies %zu  p50 %.1f us  p99 %.1f us\n", round + 1, busy ? "busy" : "idle",
                        micros.size(), bench::Percentile(micros, 0.5), bench::Percentile(micros, 0.99));
            std::fflush(stdout);
            busy = false;
            list.clear();
        }
    }
    const double idle99 = bench::Percentile(idle, 0.99);
    const double busy99 = bench::Percentile(loaded, 0.99);
    std::printf("idle: %zu replies, p50 %.1f us, p99 %.1f us\n", idle.size(), bench::Percentile(idle, 0.5), idle99);
    std::printf("busy: %zu replies, p50 %.1f us, p99 %.1f us\n", loaded.size(), bench::Percentile(loaded, 0.5), busy99);
    std::printf("busy p99 / idle p99: %.2f\n", idle99 > 0 ? busy99 / idle99 : 0.0);
    return 0;
}
