// The Modbus/TCP client window: one outgoing connection, three poll lists, the polling modes and
// the event list. Every rule lives in the client's engine (poll lists, query building, reply
// handling, event texts, connection-dialog rules); this window holds the controls and timers and
// plumbs the engine's results into them.
#pragma once

#include "client/flash_ticker.h"
#include "client/outgoing_connection.h"
#include "client/poll_list_panel.h"
#include "client/polling_panel.h"
#include "client/write_mask_window.h"
#include "master/event_texts.h"
#include "master/poll_lists.h"
#include "master/queries_in_flight.h"
#include "master/query_building.h"
#include "master/reply_handling.h"
#include "master/server_connection_rules.h"
#include "view/rw_column_actions.h"

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTimer;
class QVBoxLayout;
class QToolButton;

namespace korvel {

class EventList;
class StatusLine;
class RegisterListView;
class RefreshRequests;
class ViewOptions;
struct Activity;

// What the client window uses of the rest of the program; main.cpp hands it over.
struct ClientSurroundings {
    QWidget* mainWindow = nullptr;      // owns the client's row (label and button); its height
    QVBoxLayout* rightColumn = nullptr; // where that row goes, above the closing stretch
    RegisterStore* store = nullptr;
    Activity* activity = nullptr;              // ClientConnected; its change recomputes the priority
    ViewOptions* view = nullptr;               // VLEUpdateNeeded
    RefreshRequests* refresh = nullptr;        // the R/W column's redraw
    RegisterListView* registerList = nullptr;  // the R/W column's colour
    QMenu* modbusMenu = nullptr;               // Options > Modbus: the main window's "Register S&canner..."
    std::function<QString()> localHostAddress; // first IPv4 address of this computer, "" unknown
};
class TSetServerIP;
class TfrmSeries;
class UpDown;

class TfrmClient : public QWidget, public RwColumnActions {
    Q_OBJECT
  public:
    explicit TfrmClient(const ClientSurroundings& surroundings);

    // The main window's row of the client: its status and the Show/Hide button, and the hidden
    // menu item that does what the button does.
    QLabel* lblClient = nullptr;
    QPushButton* BitBtnClient = nullptr;
    QAction* Client = nullptr;
    ~TfrmClient() override;

    // --- Connection -------------------------------------------------------------------------
    QPushButton* btnConn = nullptr;
    QPushButton* btnDisco = nullptr;
    QComboBox* CBoxUID = nullptr;
    QLabel* Label3 = nullptr; // connection partner
    void btnConnClick();
    void btnDiscoClick();
    bool connected() const; // the Connect button is disabled
    TSetServerIP* serverDialog() const;
    // The partner (PrevA..PrevD, PrevA -1: none yet; PrevPort), ClientServerIP, ClientRemotePort,
    // Use_keepalive and the socket.
    OutgoingConnection& connection() { return *connection_; }
    int32_t EventNumber = 0;
    int32_t DisconnectReason = kByUser;
    QString ClientStatus = QString::fromLatin1(kStatusDisconnected);

    // --- Lists ------------------------------------------------------------------------------
    PollListPanel& listPanel() { return *listPanel_; }
    void Write1Click();          // series, holding write
    void Read1Click();           // series, holding read
    void Inputregisters1Click(); // series, input read
    void Write2Click();          // clear the write list
    void Read2Click();           // clear the holding read list
    void Inputregisters2Click(); // clear the input read list
    PollLists& lists() { return lists_; }

    // --- Menu -------------------------------------------------------------------------------
    QMenuBar* menuBar = nullptr;
    QAction* Write2 = nullptr; // C&lear > Holding > Write
    QAction* Read2 = nullptr;  // C&lear > Holding > Read
    QAction* Inputregisters2 = nullptr;
    QAction* readLimitItem(int limit) const;
    QAction* writeLimitItem(int limit) const;
    QAction* Close1 = nullptr; // "&Hide Window"

    // --- Polling ----------------------------------------------------------------------------
    PollingPanel& pollingPanel() { return *polling_; }
    QTimer* Timer2 = nullptr; // client status to the main window, 800 ms
    void CheckAndSendData();
    void Timer1Timer();
    void Timer2Timer();
    void Timer3Timer();
    void modeClicked(PollingMode mode);
    PollingMode pollingMode() const { return polling_->pollingMode(); }
    const ClientQueryState& queryState() const { return query_; }
    SingleRequest& singleRequest() { return single_; }

    // --- Replies and the event list ---------------------------------------------------------
    EventList* EList = nullptr;
    StatusLine* StatusBar = nullptr;
    QMenu* EListPopupMenu = nullptr;
    QAction* CopytoClipboard1 = nullptr;
    void EListDblClick();
    void CopytoClipboard1Click();
    QStringList eventLines() const;
    const ReplyState& replyState() const { return reply_; }
    void ClientSocketRead();  // a read event
    void ClientSocketClose(); // the partner closed

    // The main window's show/hide button and its hidden menu item.
    void BitBtnClientClick();

    // --- One-off requests and the scanner (menu "M&odbus") ----------------------------------
    QMenu* Modbus1 = nullptr;
    QAction* Set1 = nullptr;                 // "Write &Single Register..."
    QAction* Mask1 = nullptr;                // "&Mask Write Register..."
    QAction* Readexceptionstatus1 = nullptr; // "&Read Exception Status..."
    QAction* menuScanner = nullptr;          // "Register S&canner..."; shown once a scanner window is set
    QAction* mainScannerItem = nullptr;      // the main window's Options > Modbus item; follows menuScanner
    void Set1Click();
    void Mask1Click();
    void Readexceptionstatus1Click();
    void menuScannerClick();
    // Creates a one-off window for `mode`, registers it for flashing and shows it.
    TfrmWriteMask* openWriteMask(OneOffMode mode);
    // The scanner window (it hides itself when closed); the menu items appear with it.
    void setScannerWindow(QWidget* scanner);
    // The scanner was closed: its item is enabled again and its flashing slot freed.
    void scannerClosed();
    QString ReturnedExpStatus() const { return QString::fromStdString(reply_.ReturnedExpStatus); }
    void setReturnedExpStatus(const QString& text) { reply_.ReturnedExpStatus = text.toStdString(); }

    // --- Flashing among instances -----------------------------------------------------------
    // The flash tick (Timer4), dont_flash and the child windows registered for flashing.
    FlashTicker& flashing() { return *flashing_; }
    // Instance detection's verdict: another instance runs (the flash tick runs) or not.
    void setFlashTimerEnabled(bool enabled) { flashing_->setEnabled(enabled); }

    // --- The R/W column's menu --------------------------------------------------------------
    bool clientVisible() const override { return isVisible(); }
    void rwRead(bool inputTable, bool remove, const QString& registerText) override
    {
        listPanel_->rwRead(inputTable, remove, registerText);
    }
    void rwWrite(bool remove, const QString& registerText) override { listPanel_->rwWrite(remove, registerText); }
    void rwShowHideClient() override { BitBtnClientClick(); }

  protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildConnection(QVBoxLayout* layout);
    void buildMenu();
    void buildMainWindowControls();
    void insertEventLines(const std::vector<std::string>& lines);
    void cutEventList();
    void applyTimers(const TimerSteps& steps);
    void raiseRefresh();
    void setStatusText(const QString& text);
    void warn(const char* caption, const char* text);
    LocalClock localNow() const;
    mutable qint64 zoneOffsetFrom_ = -1; // when the local zone's offset was last taken, ms since 1970
    mutable qint64 zoneOffsetMs_ = 0;

    ClientSurroundings main_;
    RegisterStore& store_;
    WindowId setServerIpId_ = kNoWindow; // the last server-connection dialog, compared after it closed too
    QPointer<QWidget> scanner_;
    int scannerSlot_ = -1;
    FlashTicker* flashing_ = nullptr;
    QString timeSeparator_;

    PollLists lists_;
    PollListPanel* listPanel_ = nullptr;
    PollingPanel* polling_ = nullptr;
    ClientQueryState query_;
    QueriesInFlight inFlight_; // sent, reply not yet come
    SingleRequest single_;
    ReplyState reply_;
    QActionGroup* readLimits_ = nullptr;
    QActionGroup* writeLimits_ = nullptr;
    // Last: it goes first, while everything its handlers reach still exists.
    std::unique_ptr<OutgoingConnection> connection_;
};

} // namespace korvel
