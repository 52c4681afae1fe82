// The register scanner's heavy case: all 65536 holding registers of a server on PORT, scanned by
// the scanner window shown offscreen and connected through its connection dialog as a user does.
// Prints the scan's total time, the time per register, the lines listed and the resident memory
// before the scan and after it (the 65536 lines painted).
//
//   scanner_bench PORT              the benchmark
//   scanner_bench screenshot FILE   the README's picture: a short scan of an in-process server that
//                                   answers with values, exceptions and silence, saved as PNG
#include "bench_support.h"
#include "client/server_ip_dialog.h"
#include "common/activity.h"
#include "common/register_store.h"
#include "scanner/scan_result_list.h"
#include "scanner/scanner_window.h"
#include "ui/message_box.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <cstdio>
#include <functional>

namespace {

// Connects the scanner to 127.0.0.1:`port` through its dialog, as a user does.
bool Connect(korvel::Tscanner& scanner, uint16_t port)
{
    return bench::ConnectThroughDialog(
        scanner.btnConn, [&] { return scanner.serverDialog(); }, port, [&] { return scanner.connected(); });
}

// Registers 100..111: 104 and 109 answer with exceptions, 107 does not answer, the rest with
// values.
int Screenshot(korvel::Tscanner& scanner, const QString& file)
{
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    QByteArray buffer;
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, [s, &buffer] {
            buffer += s->readAll();
            while (buffer.size() >= 12) {
                const QByteArray r = buffer.left(12);
                buffer.remove(0, 12);
                const int address = (uint8_t(r[8]) << 8) | uint8_t(r[9]);
                QByteArray reply = r.left(8);
                if (address == 104 || address == 109) {
                    reply[7] = char(uint8_t(r[7]) | 0x80);
                    reply += char(address == 104 ? 2 : 4);
                } else if (address != 107) {
                    const int value = address * 37 % 1000;
                    reply += char(2);
                    reply += char(value >> 8);
                    reply += char(value & 0xFF);
                } else {
                    continue;
                }
                reply[5] = char(reply.size() - 6);
                s->write(reply);
            }
        });
    });
    if (!Connect(scanner, server.serverPort()))
        return 1;
    scanner.Edit1->setText(QStringLiteral("100"));
    scanner.Edit2->setText(QStringLiteral("111"));
    scanner.Edit3->setText(QStringLiteral("200"));
    scanner.btnStart->click();
    bench::ServeUntil([&] { return !scanner.session().scanRunning(); }, 10000);
    bench::ServeUntil([] { return false; }, 300);
    return scanner.grab().save(file) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own event loop, as the program itself runs (see main.cpp).
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    QApplication app(argc, argv);
    if (argc != 2 && !(argc == 3 && QString::fromLatin1(argv[1]) == QStringLiteral("screenshot"))) {
        std::fprintf(stderr, "usage: scanner_bench PORT | screenshot FILE\n");
        return 64;
    }
    korvel::SetMessageHook([](const korvel::ShownMessage& m) {
        std::fprintf(stderr, "message: %s\n", qPrintable(m.text));
        return QMessageBox::Ok;
    });
    korvel::RegisterStore store;
    korvel::Activity activity;
    korvel::Tscanner scanner(store, activity);
    scanner.show();
    if (argc == 3)
        return Screenshot(scanner, QString::fromLocal8Bit(argv[2]));

    if (!Connect(scanner, static_cast<uint16_t>(std::atoi(argv[1])))) {
        std::fprintf(stderr, "not connected\n");
        return 1;
    }
    scanner.Edit1->setText(QStringLiteral("0"));
    scanner.Edit2->setText(QStringLiteral("65535"));
    scanner.Edit3->setText(QStringLiteral("1000"));
    bench::ServeUntil([] { return false; }, 200);
    const long before = bench::ResidentKb();

    QElapsedTimer t;
    t.start();
    scanner.btnStart->click();
    if (!bench::ServeUntil([&] { return !scanner.session().scanRunning(); }, 600000)) {
        std::fprintf(stderr, "the scan did not end within 10 minutes\n");
        return 1;
    }
    const qint64 ms = t.elapsed();
    // Every line painted: the last batch joins the view, then a frame or two.
    bench::ServeUntil([&] { return scanner.resultModel().rowCount() == scanner.resultModel().lineCount(); }, 2000);
    bench::ServeUntil([] { return false; }, 100);
    const long after = bench::ResidentKb();
    std::printf("registers=65536 lines=%d total_ms=%lld per_register_us=%.1f rss_before_kb=%ld rss_after_kb=%ld "
                "rss_growth_kb=%ld\n",
                scanner.resultModel().rowCount(), static_cast<long long>(ms), ms * 1000.0 / 65536, before, after,
                after - before);
    std::printf("status: %s\n", qPrintable(scanner.statusText()));
    return scanner.resultModel().rowCount() == 65536 ? 0 : 1;
}
