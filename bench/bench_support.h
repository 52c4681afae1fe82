// What the in-process window benchmarks share: private folders and a free loopback port for the
// main window, serving the Qt event loop for a while or until a condition holds, the process's
// resident memory, and connecting a window through its "Server connection" dialog as a user does.
#pragma once

#include "client/server_ip_dialog.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QLineEdit>
#include <QPushButton>
#include <QString>
#include <QTcpServer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <unistd.h>
#include <vector>

namespace bench {

// The main window's surroundings: its port reservations and traffic log in a temporary folder and
// a loopback port free at the moment of the call (KORVEL_ATOM_DIR, KORVEL_LOG_DIR, KORVEL_PORT).
class WindowEnvironment {
  public:
    WindowEnvironment()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        qputenv("KORVEL_PORT", QByteArray::number(port_));
        qputenv("KORVEL_ATOM_DIR", dir_.filePath(QStringLiteral("atoms")).toUtf8());
        qputenv("KORVEL_LOG_DIR", dir_.path().toUtf8());
    }
    uint16_t port() const { return port_; }

  private:
    QTemporaryDir dir_;
    uint16_t port_ = 0;
};

// Resident set size of this process in kB.
inline long ResidentKb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Serves the event loop for `ms`, in slices of at most `sliceMs`.
inline void Serve(int ms, int sliceMs = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs);
}

// Serves the event loop until `done` holds or `ms` passed; the result of `done`.
inline bool ServeUntil(const std::function<bool()>& done, int ms, int sliceMs = 20)
{
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, sliceMs);
    return done();
}

// The value below which the share `p` of `v` lies (0 for none).
inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

// Clicks `opener`, types 127.0.0.1 and `port` into the dialog `dialogOf` then returns and presses
// OK; true once `connected` holds (within 5 s). False at once when no dialog opened.
inline bool ConnectThroughDialog(QAbstractButton* opener, const std::function<korvel::TSetServerIP*()>& dialogOf,
                                 uint16_t port, const std::function<bool()>& connected)
{
    opener->click();
    korvel::TSetServerIP* dialog = dialogOf();
    if (!dialog)
        return false;
    QLineEdit* fields[] = {dialog->Edit1, dialog->Edit2, dialog->Edit3, dialog->Edit4};
    const char* octets[] = {"127", "0", "0", "1"};
    for (int i = 0; i < 4; ++i)
        fields[i]->setText(QString::fromLatin1(octets[i]));
    dialog->Edit5->setText(QString::number(port));
    dialog->Button3->click();
    return ServeUntil(connected, 5000);
}

} // namespace bench
