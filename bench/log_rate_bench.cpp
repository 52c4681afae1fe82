// Request rate of the real server over loopback with the traffic log off, on, and on with the
// interpretive decoding: an in-process main window serves on a free port, a client thread sends
// one request at a time (FC3 x 10 and FC16 x 10 alternately) and waits for each reply.
//
//   log_rate_bench [seconds per run, default 2] [rounds, default 5]
// The three modes take turns in every round (a shared machine drifts); the medians are printed.
#include "bench_support.h"
#include "loopback_client.h"
#include "server_ui/logging_group.h"
#include "shell/main_window.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Sends requests one after the other until told to stop; counts the replies.
void Client(uint16_t port, std::atomic<bool>& stop, std::atomic<long>& replies, std::atomic<bool>& done)
{
    struct Done {
        std::atomic<bool>& flag;
        ~Done() { flag = true; }
    } markDone{done};
    const int fd = bench::ConnectLoopback(port);
    if (fd < 0)
        return;
    const uint8_t read10[] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 10};
    uint8_t write10[7 + 6 + 20] = {0, 2, 0, 0, 0, 27, 1, 16, 0, 100, 0, 10, 20};
    uint8_t buffer[300];
    for (long i = 0; !stop.load(); ++i) {
        const bool read = i % 2 == 0;
        if (!bench::Exchange(fd, read ? read10 : write10, read ? sizeof read10 : sizeof write10, buffer,
                             read ? 9 + 20 : 12))
            break;
        replies.fetch_add(1);
    }
    ::close(fd);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    const bench::WindowEnvironment environment;
    const uint16_t port = environment.port();
    korvel::SetMessageHook([](const korvel::ShownMessage& m) {
        std::fprintf(stderr, "message: %s: %s\n", qPrintable(m.caption), qPrintable(m.text));
        return QMessageBox::Ok;
    });

    korvel::RegisterStore store;
    korvel::ServerEngine engine(store);
    korvel::TChatForm window(store, engine, {});
    korvel::LoggingGroup* log = window.loggingGroup();

    struct Mode {
        const char* name;
        bool record;
        bool interpretive;
    };
    const Mode modes[] = {
        {"log off", false, false}, {"log on, plain", true, false}, {"log on, interpretive", true, true}};
    std::vector<double> rates[3];
    for (int round = 0; round < rounds; ++round) {
        for (size_t m = 0; m < 3; ++m) {
            const Mode& mode = modes[m];
            std::atomic<bool> stop{false};
            std::atomic<long> replies{0};
            std::atomic<bool> done{false};
            std::thread client(Client, port, std::ref(stop), std::ref(replies), std::ref(done));
            QElapsedTimer wait;
            wait.start();
            while (!log->RecBitBtn()->isEnabled() && wait.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            log->CheckBoxInterp()->setChecked(mode.interpretive);
            if (mode.record) {
                log->RecBitBtnClick();
            }
            const long before = replies.load();
            QElapsedTimer clock;
            clock.start();
            while (clock.elapsed() < seconds * 1000) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            const long count = replies.load() - before;
            const double rate = count * 1000.0 / static_cast<double>(clock.elapsed());
            if (mode.record) {
                log->RecBitBtnClick();
            }
            stop = true;
            while (!done.load()) { // the server answers until the client has left
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
            client.join();
            rates[m].push_back(rate);
            QElapsedTimer settle;
            settle.start();
            while (log->RecBitBtn()->isEnabled() && settle.elapsed() < 5000) {
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            }
        }
    }
    double medians[3];
    for (size_t m = 0; m < 3; ++m) {
        std::sort(rates[m].begin(), rates[m].end());
        medians[m] = rates[m][rates[m].size() / 2];
    }
    for (size_t m = 0; m < 3; ++m) {
        std::printf("%-22s %9.0f requests/s  (%.2f x log off; median of %d runs of %d s)\n", modes[m].name, medians[m],
                    medians[m] / medians[0], rounds, seconds);
    }
    return 0;
}
