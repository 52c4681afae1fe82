// The register scanner window: its own connection to a Modbus/TCP server (opened through the shared
// connection dialog), the range, type and UID of a scan, and the results list. Every decision lives
// in the scanner's engine (scanner_rules.h: start checks, requests, replies, lines, summary); this
// window holds the controls, the socket and the timeout timer and copies the engine's results
// out. Created hidden at start-up; closing it only hides it.
#pragma once

#include "common/frame.h"
#include "master/scanner_rules.h"
#include "master/server_connection_rules.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QVBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace korvel {

class RegisterStore;
struct Activity;
class QtEventLoop;
class OutgoingConnection;
class TSetServerIP;
class UpDown;
class ScanResultModel;
class ScanListView;

class Tscanner : public QWidget {
    Q_OBJECT
  public:
    // `localHostAddress` gives this computer's first IPv4 address ("" unknown), which the
    // connection dialog shows until the scanner remembers a partner of its own.
    Tscanner(RegisterStore& store, Activity& activity, std::function<QString()> localHostAddress = {});
    ~Tscanner() override;

    // --- Connection -------------------------------------------------------------------------
    QPushButton* btnConn = nullptr;
    QPushButton* btnDisco = nullptr;
    QLabel* lblPartner = nullptr; // "IP: --  Port: --" or the partner
    void btnConnClick();
    // Disconnect: also run on the partner's close, on an invalid reply and on closing the window.
    void btnDiscoClick();
    TSetServerIP* serverDialog() const;
    bool connected() const;
    // The partner (PrevA..PrevD, PrevPort 0: none remembered yet), scannerServerIP,
    // scannerRemotePort, Use_keepalive and the socket.
    OutgoingConnection& connection() { return *connection_; }

    // --- Register type and UID --------------------------------------------------------------
    QRadioButton* RBInput = nullptr;
    QRadioButton* RBHold = nullptr;
    QComboBox* scanUID = nullptr;

    // --- Range ------------------------------------------------------------------------------
    QLineEdit* Edit1 = nullptr; // "From:"
    QLineEdit* Edit2 = nullptr; // "To:"
    QLineEdit* Edit3 = nullptr; // "Timeout [ms]:"
    UpDown* UpDown1 = nullptr;  // arrows of "From:", 0-65535
    UpDown* UpDown2 = nullptr;  // arrows of "To:", 0-65535
    UpDown* UpDown3 = nullptr;  // arrows of the timeout, 50-10000 in steps of 10
    QProgressBar* ProgressBar1 = nullptr;
    void Edit3Exit(); // the timeout field was left or Enter was pressed in it

    // --- Misc -------------------------------------------------------------------------------
    QCheckBox* CBoxOffset = nullptr;     // "Use address offset"
    QCheckBox* CBoxFailedOnly = nullptr; // "List failed polls only"
    QCheckBox* CBoxCopy = nullptr;       // "Copy value to register"
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    void btnStartClick();
    void btnStopClick();

    // --- Scan -------------------------------------------------------------------------------
    QTimer* Timer1 = nullptr; // reply timeout, 50-10000 ms (100), fires once per request
    void PollStep(bool byTimeout);
    void Timer1Timer();
    void scannerSocketRead();  // data arrived
    void scannerSocketClose(); // the partner closed
    const ScanSession& session() const { return session_; }

    // --- Results ----------------------------------------------------------------------------
    ScanListView* scanList = nullptr;
    QLabel* StatusBar1 = nullptr;
    QMenu* scanListPopupMenu = nullptr;
    QAction* CopytoClipboard1 = nullptr;
    QAction* Clear1 = nullptr;
    void scanListDblClick(); // toggles the horizontal scroll range between 0 and 300 pixels
    void CopytoClipboard1Click();
    void Clear1Click();
    QStringList lines() const; // every result line, also those not painted yet
    QString statusText() const;
    ScanResultModel& resultModel() { return *results_; }

    // --- Menu -------------------------------------------------------------------------------
    QMenuBar* menuBar = nullptr;
    QAction* Close1 = nullptr; // "C&lose!"
    void Close1Click();

  signals:
    // The user closed the window (it is hidden, never destroyed): the client gives its menu item
    // and its flashing slot back.
    void closed();

  protected:
    void closeEvent(QCloseEvent* e) override;

  private:
    void buildConnection(QWidget* parent, QGridLayout* grid);
    void buildRange(QWidget* parent, QGridLayout* grid);
    void buildMisc(QWidget* parent, QGridLayout* grid);
    void buildResults(QVBoxLayout* layout);
    void addLine(const std::string& line);
    void updateListHint();
    void setScanning(bool scanning);
    void syncArrows(QLineEdit* edit, UpDown* arrows);
    void applyPollStep(const ScanPollStep& step);
    ScanSettings settings() const;
    void setStatus(const QString& text);
    void message(const char* text);

    RegisterStore& store_;
    Activity& activity_;
    std::unique_ptr<QtEventLoop> loop_; // the scan's clock
    ScanResultModel* results_ = nullptr;
    ScanSession session_;
    Area receive_{};                  // the reply read from the socket
    QTimer* progressPaint_ = nullptr; // moves the progress bar at the paint rate
    int progress_ = 0;
    // Last: it goes first, while everything its handlers reach still exists.
    std::unique_ptr<OutgoingConnection> connection_;
};

} // namespace korvel
