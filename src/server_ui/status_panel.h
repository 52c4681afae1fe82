// The "Server" group of the main window: per connection the peer, Nagle state, poll interval,
// packet size, header check, the seven request fields and the byte counters; below them the port,
// the logged packets, the state of every test option and the fault rules in force. Also the tray timer (tooltip, icon
// animation, publishing progress in the caption).
#pragma once

#include "service/time_text.h"
#include "ui/refresh_requests.h"

#include <QElapsedTimer>
#include <QGroupBox>
#include <QString>
#include <array>
#include <string>

class QLabel;
class QTime;
class QDateTime;
class QTimer;

namespace korvel {

struct ServerSnapshot;
class PublishingStatus;
class ServerConnections;
class TrayIcon;

class ServerStatusPanel : public QGroupBox {
    Q_OBJECT
  public:
    // Shows `server`'s status and options, refreshes on `refresh`'s requests, puts a failed
    // request's text into `status`; its tray tick reads `publishing` and keeps `window`'s caption
    // and the tray (see setTray) up to date.
    ServerStatusPanel(QWidget* window, ServerConnections& server, PublishingStatus& publishing,
                      RefreshRequests& refresh, StatusSink status);

    // The notification-area icon the tray tick draws on (not owned; nullptr: none yet).
    void setTray(TrayIcon* tray) { tray_ = tray; }

    // Copies the values of `part` into the labels.
    void RefreshServerPanel(PanelPart part);

    // Tray tooltip, tray picture and the caption's publishing progress; runs on Timer1.
    void Timer1Timer();
    // Timer1: 3040 ms at start, then set by each tick (publishing sets 500 ms).
    QTimer* Timer1() const { return timer1_; }

  private:
    struct ConnectionLabels {
        QLabel* ip = nullptr;
        QLabel* nagle = nullptr;
        QLabel* poll = nullptr;
        QLabel* packetSize = nullptr;
        QLabel* headerCheck = nullptr;
        QLabel* ti = nullptr;
        QLabel* pid = nullptr;
        QLabel* msgLen = nullptr;
        QLabel* uid = nullptr;
        QLabel* fc = nullptr;
        QLabel* startAdd = nullptr;
        QLabel* wordCount = nullptr;
        QLabel* dataRecv = nullptr;
        QLabel* dataSent = nullptr;
    };

    void refreshConnection(int c);
    void refreshOptions();
    // "Fault rules:" from `snapshot`: refreshed with the options and with every connection row, so
    // the fired count follows the requests that fire.
    void refreshFaultRules(const ServerSnapshot& snapshot);

    QWidget* window_;
    ServerConnections& server_;
    PublishingStatus& publishing_;
    RefreshRequests& refresh_;
    StatusSink status_;
    TrayIcon* tray_ = nullptr;
    uint64_t TraySentReference_ = 0; // bytes sent at the previous tray tick
    uint64_t trayShownRequests_ = 0; // processed requests at the previous tray tick
    std::array<ConnectionLabels, 2> conn_;
    QLabel* lblPort = nullptr;
    QLabel* lblRecords = nullptr;
    QLabel* lblAddrOffset = nullptr;
    QLabel* lblOutOfSynchStatus = nullptr;
    QLabel* lblIncorrLength = nullptr;
    QLabel* lblIncorrPID = nullptr;
    QLabel* lblIncorrTI = nullptr;
    QLabel* lblRetExc = nullptr;
    QLabel* lblFaultRules = nullptr;
    QTimer* timer1_ = nullptr;

    // Under a flood of requests the connection rows are copied a few times per frame and once
    // more at its end (see RefreshServerPanel).
    void catchUp();
    QElapsedTimer frame_;
    int refreshesInFrame_ = 0;
    int pendingRows_ = 0; // bit 0: connection 1, bit 1: connection 2
    QTimer* catchUp_ = nullptr;
};

} // namespace korvel
