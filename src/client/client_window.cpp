#include "client/client_window.h"

#include "client/client_texts.h"
#include "client/event_list.h"
#include "client/series_dialog.h"
#include "client/server_ip_dialog.h"
#include "client/status_line.h"
#include "client/up_down.h"
#include "common/accessible_names.h"
#include "common/activity.h"
#include "net/connect_socket.h"
#include "net/socket_layer.h"
#include "ui/flash_platform.h"
#include "ui/message_box.h"
#include "ui/qt_event_loop.h"
#include "ui/refresh_requests.h"
#include "ui/view_options.h"
#include "view/register_list_view.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace korvel {

using namespace clienttexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}

// The separator between hours and minutes in the system's time format (":" in most locales).
QString LocaleTimeSeparator()
{
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    const qsizetype h = format.indexOf(QLatin1Char('h'), 0, Qt::CaseInsensitive);
    if (h >= 0) {
        for (qsizetype i = h; i < format.size(); ++i) {
            const QChar c = format.at(i);
            if (c != QLatin1Char('h') && c != QLatin1Char('H'))
                return (c.isLetter() || c.isSpace()) ? QStringLiteral(":") : QString(c);
        }
    }
    return QStringLiteral(":");
}

QPushButton* Button(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QPushButton(L(caption), parent);
    b->setToolTip(L(hint));
    return b;
}

} // namespace

// ---- TfrmClient ----

TfrmClient::TfrmClient(const ClientSurroundings& main)
    : QWidget(nullptr), main_(main), store_(*main.store), timeSeparator_(LocaleTimeSeparator())
{
    flashing_ = new FlashTicker(*this, main_.mainWindow, main_.view ? &main_.view->flash_main_window : nullptr,
                                [this] { return setServerIpId_; });
    OutgoingConnection::Handlers handlers;
    handlers.read = [this] { ClientSocketRead(); };
    handlers.closed = [this] { ClientSocketClose(); };
    handlers.established = [this] {
        btnDisco->setEnabled(true);
        btnConn->setEnabled(false);
        main_.activity->ClientConnected = true;
        main_.activity->notify();
    };
    handlers.failed = [this] {
        DisconnectReason = kFailedAttempt;
        btnDiscoClick(); // the failed-attempt line
    };
    handlers.setPartnerLabel = [this](const QString& text) { Label3->setText(text); };
    handlers.connectedInDialog = [this] {
        // The checked polling mode starts its timers.
        modeClicked(polling_->pollingMode());
        ClientStatus = L(kStatusConnected);
        insertEventLines(ConnectionEstablishedEvent(EventNumber, localNow(), timeSeparator_.toStdString()));
    };
    handlers.hasRemembered = [](const RememberedPartner& p) { return p.octets[0] != -1; };
    handlers.localHostAddress = main_.localHostAddress;
    connection_ = std::make_unique<OutgoingConnection>(*this, RememberedPartner{}, std::move(handlers));

    setWindowTitle(L(kCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    ResetUsageFlags(store_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 4, 6, 4);
    layout->setSpacing(4); // the event list takes what the groups leave
    buildMenu();
    layout->setMenuBar(menuBar);
    buildConnection(layout);
    PollListPanel::Hooks listHooks;
    listHooks.changed = [this] { raiseRefresh(); };
    listHooks.noFlash = [this] { flashing_->dont_flash = true; };
    listPanel_ = new PollListPanel(lists_, store_, std::move(listHooks), this);
    layout->addWidget(listPanel_);
    polling_ = new PollingPanel(this);
    connect(polling_, &PollingPanel::modeClicked, this, &TfrmClient::modeClicked);
    layout->addWidget(polling_);

    EList = new EventList(this);
    EList->setToolTip(L(kEListHint));
    NameAfterCaption(EList, L(kEListName));
    QPalette face = EList->palette();
    face.setColor(QPalette::Base, face.color(QPalette::Button)); // button-face background
    EList->setPalette(face);
    QFont small = EList->font();
    small.setPointSizeF(7.5);
    EList->setFont(small);
    QStringList start;
    for (const char* line : kEventListStartLines)
        start << L(line);
    EList->addItems(start);
    EList->viewport()->installEventFilter(this);
    EList->installEventFilter(this);
    EList->setContextMenuPolicy(Qt::CustomContextMenu);
    EListPopupMenu = new QMenu(this);
    CopytoClipboard1 = EListPopupMenu->addAction(L(kCopyToClipboardCaption));
    connect(CopytoClipboard1, &QAction::triggered, this, &TfrmClient::CopytoClipboard1Click);
    connect(EList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (EList->count() > 0)
            EListPopupMenu->popup(EList->viewport()->mapToGlobal(at));
    });
    layout->addWidget(EList, 1);

    StatusBar = new StatusLine(this);
    DescribeAs(StatusBar, L(kStatusBarName));
    layout->addWidget(StatusBar);

    connect(polling_->Timer1(), &QTimer::timeout, this, &TfrmClient::Timer1Timer);
    polling_->Timer1()->start();
    connect(polling_->Timer3(), &QTimer::timeout, this, &TfrmClient::Timer3Timer);
    Timer2 = new QTimer(this);
    Timer2->setInterval(kStatusCopyMs);
    connect(Timer2, &QTimer::timeout, this, &TfrmClient::Timer2Timer);
    Timer2->start();

    resize(305, main_.mainWindow->height());
    buildMainWindowControls();
    Timer2Timer();
    hide();
}

TfrmClient::~TfrmClient()
{
    // The one-off windows free their flashing slots as they go: end them while the table exists.
    qDeleteAll(findChildren<TfrmWriteMask*>(Qt::FindDirectChildrenOnly));
    if (main_.registerList)
        main_.registerList->setRwColumnActions(nullptr);
    connection_.reset();
}

void TfrmClient::buildConnection(QVBoxLayout* layout)
{
    auto* row = new QHBoxLayout;
    auto* group = new QGroupBox(L(kConnectionGroup), this);
    auto* g = new QHBoxLayout(group);
    btnConn = Button(kConnect, kConnectHint, group);
    btnDisco = Button(kDisconnect, kDisconnectHint, group);
    btnDisco->setEnabled(false);
    g->addWidget(btnConn);
    g->addWidget(btnDisco);
    connect(btnConn, &QPushButton::clicked, this, &TfrmClient::btnConnClick);
    connect(btnDisco, &QPushButton::clicked, this, [this] {
        DisconnectReason = kByUser;
        btnDiscoClick();
    });
    row->addWidget(group, 1);

    auto* uidGroup = new QGroupBox(L(kUidGroup), this);
    auto* u = new QHBoxLayout(uidGroup);
    CBoxUID = new QComboBox(uidGroup);
    for (int i = 0; i <= 255; ++i)
        CBoxUID->addItem(QString::number(i));
    CBoxUID->setCurrentIndex(1);
    CBoxUID->setToolTip(L(kUidHint));
    NameAfterCaption(CBoxUID, L(kUidGroup));
    connect(CBoxUID, &QComboBox::currentIndexChanged, this, [this](int i) { query_.ClientUID = std::max(i, 0); });
    u->addWidget(CBoxUID);
    row->addWidget(uidGroup);
    layout->addLayout(row);

    auto* partnerGroup = new QGroupBox(L(kPartnerGroup), this);
    auto* p = new QHBoxLayout(partnerGroup);
    Label3 = new QLabel(L(kNoPartnerText), partnerGroup);
    Label3->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Label3->setToolTip(L(kPartnerHint));
    DescribeAs(Label3, L(kPartnerGroup));
    p->addWidget(Label3);
    layout->addWidget(partnerGroup);
}

// The main window's label and button of the client, in the right column below its groups, and
// its hidden menu item.
void TfrmClient::buildMainWindowControls()
{
    auto* row = new QWidget(main_.mainWindow);
    NameAfterCaption(row, L(kClientRowName));
    auto* h = new QHBoxLayout(row);
    h->setContentsMargins(0, 0, 0, 0);
    lblClient = new QLabel(L(kStatusDisconnected), row);
    lblClient->setToolTip(L(kClientStatusHint));
    DescribeAs(lblClient, L(kClientRowName));
    BitBtnClient = new QPushButton(L(kShow), row);
    BitBtnClient->setToolTip(L(kShowHideHint));
    h->addWidget(lblClient, 1);
    h->addWidget(BitBtnClient);
    QVBoxLayout* column = main_.rightColumn;
    column->insertWidget(std::max(0, column->count() - 1), row); // above the closing stretch
    connect(BitBtnClient, &QPushButton::clicked, this, &TfrmClient::BitBtnClientClick);
    Client = new QAction(L(kClientMenuItem), main_.mainWindow);
    Client->setVisible(false);
    connect(Client, &QAction::triggered, this, &TfrmClient::BitBtnClientClick);
    if (main_.modbusMenu) {
        // Options > Modbus > "Register S&canner...": the client's command, then its own item goes grey.
        mainScannerItem = main_.modbusMenu->addAction(L(writemasktexts::kMenuScanner));
        mainScannerItem->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
        mainScannerItem->setVisible(false);
        connect(mainScannerItem, &QAction::triggered, this, [this] {
            menuScannerClick();
            mainScannerItem->setEnabled(false);
        });
    }
}

void TfrmClient::BitBtnClientClick()
{
    flashing_->dont_flash = true;
    if (BitBtnClient->text() == L(kShow))
        show();
    else
        close();
}

void TfrmClient::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    BitBtnClient->setText(L(kHide));
}

void TfrmClient::closeEvent(QCloseEvent* e)
{
    // Closing only hides: the connection and the polling go on.
    BitBtnClient->setText(L(kShow));
    if (RegisterListView* list = main_.registerList) {
        QPalette face = list->vleRW()->palette(); // the R/W column gets the button face back
        face.setColor(QPalette::Base, face.color(QPalette::Button));
        list->vleRW()->setPalette(face);
    }
    QWidget::closeEvent(e);
}

// ---- Connection ----

bool TfrmClient::connected() const
{
    return !btnConn->isEnabled();
}

void TfrmClient::btnConnClick()
{
    ResetForConnect(query_, lists_);
    inFlight_.clear();
    EventNumber = 0;
    DisconnectReason = kByUser;
    setServerIpId_ = WindowIdOf(connection_->openDialog());
}

TSetServerIP* TfrmClient::serverDialog() const
{
    return connection_->dialog();
}

void TfrmClient::btnDiscoClick()
{
    connection_->close();
    inFlight_.clear(); // no reply can come any more
    btnConn->setEnabled(true);
    btnDisco->setEnabled(false);
    polling_->Timer1()->stop();
    Label3->setText(L(kNoPartnerText));
    setStatusText(QString());
    ClientStatus = L(kStatusDisconnected);
    insertEventLines(DisconnectEvent(EventNumber, DisconnectReason, localNow(), timeSeparator_.toStdString()));
    main_.activity->ClientConnected = false;
    main_.activity->notify();
}

void TfrmClient::Timer2Timer()
{
    lblClient->setText(ClientStatus);
    if (mainScannerItem && scanner_)
        mainScannerItem->setEnabled(menuScanner->isEnabled());
    Write2->setEnabled(!lists_.WriteHoldRegAddr.empty());
    Read2->setEnabled(!lists_.ReadHoldRegAddr.empty());
    Inputregisters2->setEnabled(!lists_.ReadInputRegAddr.empty());
}

// ---- Lists ----

void TfrmClient::raiseRefresh()
{
    main_.view->VLEUpdateNeeded = true;
    main_.refresh->RefreshRegisterViewRW();
}

void TfrmClient::warn(const char* caption, const char* text)
{
    ShowMessage(this, MessageKind::Warning, L(caption), L(text));
}

void TfrmClient::applyTimers(const TimerSteps& steps)
{
    polling_->applyTimers(steps.cycleTimer, steps.delayTimer);
    if (steps.runStep)
        CheckAndSendData();
}

void TfrmClient::modeClicked(PollingMode mode)
{
    const ModeActions a = ModeButtonClick(mode, connected());
    polling_->showMode(a);
    if (a.clientStatus)
        ClientStatus = L(a.clientStatus);
    inFlight_.endWaits(); // the new mode's timing starts afresh
    applyTimers(a.timers);
}

void TfrmClient::CheckAndSendData()
{
    const StepSettings settings{polling_->OffsetCBox()->isChecked(), polling_->ForceTI()->isChecked(), connected()};
    const bool awaitedBefore = inFlight_.awaited();
    const StepResult r = korvel::CheckAndSendData(query_, lists_, single_, store_, settings);
    if (r.clientStatus)
        ClientStatus = L(r.clientStatus);
    if (r.idle)
        return;
    if (r.stopDelayTimer)
        polling_->Timer3()->stop();
    if (r.frameLength > 0 && connection_->socket()) {
        connection_->socket()->send(query_.QueryFrame.data(), r.frameLength);
        inFlight_.sent(query_, r.oneOff);
        Apply(polling_->Timer1(), MonitorAfterSend(pollingMode(), awaitedBefore));
    }
    if (!r.statusText.empty())
        setStatusText(Q(r.statusText));
}

void TfrmClient::Timer1Timer()
{
    const CycleTick tick = CycleTimerTick(pollingMode(), connected(), !lists_.allEmpty(), inFlight_.awaited());
    if (tick.runStep) {
        inFlight_.endWaits();
        CheckAndSendData();
    }
    if (tick.noReplyEvent) {
        insertEventLines(NoReplyEvent(EventNumber, localNow(), timeSeparator_.toStdString()));
        ClientStatus = L(kStatusMonitorExpired);
    }
}

void TfrmClient::Timer3Timer()
{
    const DelayTick tick = DelayTimerTick(connected(), polling_->Timer1()->isActive());
    if (tick.startCycleTimer)
        polling_->Timer1()->start();
    if (tick.runStep)
        CheckAndSendData();
}

// ---- Replies ----

LocalClock TfrmClient::localNow() const
{
    // Asking for the local time reads the zone file each time; the zone's offset is taken afresh
    // once a second instead, and every reply in between is stamped from the UTC clock.
    const qint64 ms = QDateTime::currentMSecsSinceEpoch();
    if (ms < zoneOffsetFrom_ || ms >= zoneOffsetFrom_ + 1000) {
        zoneOffsetMs_ = static_cast<qint64>(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
        zoneOffsetFrom_ = ms;
    }
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(ms + zoneOffsetMs_, Qt::UTC);
    const QDate d = now.date();
    const QTime t = now.time();
    return {d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()};
}

void TfrmClient::setStatusText(const QString& text)
{
    StatusBar->setText(text);
}

void TfrmClient::cutEventList()
{
    EList->removeLast(EventLinesToCut(EList->count()));
}

void TfrmClient::insertEventLines(const std::vector<std::string>& lines)
{
    cutEventList(); // whatever writes the event: a partner that never answers fills the list too
    QStringList event;
    event.reserve(static_cast<qsizetype>(lines.size()));
    for (const std::string& line : lines)
        event << Q(line);
    EList->insertTop(event);
}

QStringList TfrmClient::eventLines() const
{
    QStringList out;
    for (int i = 0; i < EList->count(); ++i)
        out << EList->text(i);
    return out;
}

void TfrmClient::ClientSocketRead()
{
    StreamSocket* socket = connection_->socket();
    if (!socket)
        return;
    const LocalClock now = localNow();
    const int looked = socket->peek(reply_.ReplyFrame.data(), kAreaSize);
    const PeekDecision decision = DecidePeek(reply_, looked, looked < 0 ? wsa::kENotConn : 0);
    if (decision == PeekDecision::Wait)
        return;
    if (decision == PeekDecision::ReportThenReceive)
        insertEventLines(SocketErrorEvent(looked < 0 ? wsa::kENotConn : 0));
    const int n = socket->take(reply_.ReplyFrame.data(), kAreaSize);
    if (n > 0) {
        cutEventList();
        // Judged against the query it answers.
        const ClientQueryState answered =
            inFlight_.answer(static_cast<uint16_t>(Word(reply_.ReplyFrame.data())), query_);
        const ReplyOutcome o = HandleReply(reply_, n, answered, store_, EventNumber, now, timeSeparator_.toStdString());
        insertEventLines(o.eventLines);
        if (!o.statusText.empty())
            setStatusText(Q(o.statusText));
        if (o.clientStatus)
            ClientStatus = L(o.clientStatus);
    }
    // Bytes beyond this receive are looked at again after this event.
    if (StreamSocket* still = connection_->socket(); still && still->available() > 0)
        still->recheckLater();
    applyTimers(ContinueAfterReply(pollingMode(), inFlight_.awaited()));
}

void TfrmClient::ClientSocketClose()
{
    DisconnectReason = kExternalReason;
    btnDiscoClick();
}

void TfrmClient::EListDblClick()
{
    EList->clear();
    EventNumber = 0;
}

void TfrmClient::CopytoClipboard1Click()
{
    QGuiApplication::clipboard()->setText(eventLines().join(QLatin1Char('\n')));
}

bool TfrmClient::eventFilter(QObject* watched, QEvent* e)
{
    if (!EList) // still being built
        return QWidget::eventFilter(watched, e);
    if (watched == EList->viewport() && e->type() == QEvent::MouseButtonDblClick) {
        EListDblClick();
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

// ---- One-off windows and the scanner ----

TfrmWriteMask* TfrmClient::openWriteMask(OneOffMode mode)
{
    auto* window = new TfrmWriteMask(*this, mode);
    window->Tag = flashing_->frmWriteMaskHandle.take(WindowIdOf(window));
    flashing_->dont_flash = true;
    window->show();
    return window;
}

void TfrmClient::Set1Click()
{
    openWriteMask(OneOffMode::WriteSingle);
}

void TfrmClient::Mask1Click()
{
    openWriteMask(OneOffMode::MaskWrite);
}

void TfrmClient::Readexceptionstatus1Click()
{
    openWriteMask(OneOffMode::ReadExceptionStatus);
}

void TfrmClient::setScannerWindow(QWidget* scanner)
{
    scanner_ = scanner;
    menuScanner->setVisible(scanner != nullptr);
    if (mainScannerItem) {
        mainScannerItem->setVisible(scanner != nullptr);
        mainScannerItem->setEnabled(menuScanner->isEnabled());
    }
}

void TfrmClient::menuScannerClick()
{
    if (!scanner_ || !menuScanner->isEnabled())
        return;
    scannerSlot_ = flashing_->frmWriteMaskHandle.take(WindowIdOf(scanner_));
    flashing_->dont_flash = true;
    scanner_->show();
    scanner_->raise();
    menuScanner->setEnabled(false);
}

void TfrmClient::scannerClosed()
{
    menuScanner->setEnabled(true);
    flashing_->frmWriteMaskHandle.free(scannerSlot_);
    scannerSlot_ = -1;
}

} // namespace korvel
