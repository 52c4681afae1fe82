// The client window polling as fast as its replies come ("Immediate query"): an in-process main
// window with the client window shown (offscreen, status bar live), the holding read list 1..10,
// connected through the connection dialog as a user does.
//
//   client_poll_bench rate PORT SECONDS   completed polls per second against a server on PORT
//   client_poll_bench exceptions SECONDS  the window's own server answers every poll with an
//                                         exception: events per second with the event list at
//                                         its cut, and the resident memory at the start and end
#include "bench_support.h"
#include "client/client_window.h"
#include "client/event_list.h"
#include "client/series_dialog.h"
#include "client/server_ip_dialog.h"
#include "server_ui/server_connections.h"
#include "shell/main_window.h"
#include "shell/repaint_limiter.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRadioButton>
#include <cstdio>

namespace {

// Queries sent over `seconds`, counted from the transaction counter (it wraps after 65535).
long CountQueries(const korvel::TfrmClient& client, int seconds)
{
    long total = 0;
    int last = client.queryState().TICounter;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        const int now = client.queryState().TICounter;
        total += (now - last + 65536) % 65536;
        last = now;
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (!((mode == "rate" && argc == 4) || (mode == "exceptions" && argc == 3))) {
        std::fprintf(stderr, "usage: client_poll_bench rate PORT SECONDS | exceptions SECONDS\n");
        return 64;
    }
    const bench::WindowEnvironment environment;
    korvel::SetMessageHook([](const korvel::ShownMessage& m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return QMessageBox::Ok;
    });

    korvel::RegisterStore store;
    korvel::ServerEngine engine(store);
    korvel::TChatForm window(store, engine, {});
    korvel::TfrmClient client(window.clientSurroundings());
    window.show();
    client.show();
    new korvel::RepaintLimiter(window); // as the program does
    new korvel::RepaintLimiter(client);

    uint16_t port = 0;
    int seconds = 0;
    if (mode == "rate") {
        port = static_cast<uint16_t>(std::atoi(argv[2]));
        seconds = std::max(1, std::atoi(argv[3]));
    } else {
        port = static_cast<uint16_t>(window.serverConnections().service().listeningPort());
        seconds = std::max(1, std::atoi(argv[2]));
        window.changeServerSettings([](korvel::ServerSettings& s) {
            s.ReturnExceptionActive = true;
            s.ForcedExceptionCode = 4;
        });
    }

    korvel::TfrmSeries* series = client.listPanel().openSeries(korvel::ListKind::HoldingRead);
    series->EditLow->setText(QStringLiteral("1"));
    series->Edithigh->setText(QStringLiteral("10"));
    series->Button1Click();
    client.pollingPanel().RBImmediate()->click();
    if (!bench::ConnectThroughDialog(
            client.btnConn, [&] { return client.serverDialog(); }, port, [&] { return client.connected(); })) {
        std::fprintf(stderr, "not connected\n");
        return 1;
    }
    bench::Serve(500); // warm up

    if (mode == "rate") {
        const long queries = CountQueries(client, seconds);
        std::printf("client polls/s %.0f\n", static_cast<double>(queries) / seconds);
        return 0;
    }
    // Fill the event list to its cut first, then measure.
    for (int i = 0; i < 600 && client.EList->count() < 14000; ++i)
        bench::Serve(50);
    const long before = bench::ResidentKb();
    const long queries = CountQueries(client, seconds);
    const long after = bench::ResidentKb();
    std::printf("exception events/s %.0f  event list lines %d  resident %ld kB -> %ld kB\n",
                static_cast<double>(queries) / seconds, client.EList->count(), before, after);
    return 0;
}
