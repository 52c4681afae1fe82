#include "server_ui/status_panel.h"

#include "common/activity.h"
#include "common/numeric.h"
#include "log/packet_log.h"
#include "server/panel_rules.h"
#include "server/server_engine.h"
#include "server_ui/server_connections.h"
#include "ui/tray_icon.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QSystemTrayIcon>
#include <QTimer>
#include <algorithm>

namespace korvel {

namespace {
// Widest texts the value labels must hold without clipping: an IPv4 address or a field text
// ("FF FF  (65535)") per connection; "65535    DEACTIVE" and the like for the single rows.
constexpr int kConnectionValueChars = 15;
constexpr int kSingleValueChars = 2 * kConnectionValueChars + 1;
// Refreshes of the connection rows: a frame and how many of them are copied at once per frame.
constexpr int kFrameMs = 40;
constexpr int kImmediateRefreshesPerFrame = 8;

// Changes the label only when its text differs, so a refresh after every request stays cheap.
void SetText(QLabel* label, const std::string& text)
{
    const QLatin1String latin(text.data(), static_cast<qsizetype>(text.size()));
    if (label->text() != latin)
        label->setText(latin);
}

} // namespace

ServerStatusPanel::ServerStatusPanel(QWidget* window, ServerConnections& server, PublishingStatus& publishing,
                                     RefreshRequests& refresh, StatusSink status)
    : QGroupBox(QStringLiteral("Server")), window_(window), server_(server), publishing_(publishing), refresh_(refresh),
      status_(std::move(status))
{
    setObjectName(QStringLiteral("ServerStatusPanel"));
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    const QFontMetrics metrics(fixed);
    const int charWidth = metrics.horizontalAdvance(QLatin1Char('0'));

    auto* grid = new QGridLayout(this);
    grid->setVerticalSpacing(1);
    grid->setHorizontalSpacing(charWidth);
    int row = 0;

    auto caption = [&](const char* text) {
        auto* label = new QLabel(QString::fromLatin1(text), this);
        label->setFont(fixed);
        grid->addWidget(label, row, 0);
    };
    auto value = [&](const QString& name, int column, int chars) {
        auto* label = new QLabel(QStringLiteral("--"), this);
        label->setObjectName(name);
        label->setFont(fixed);
        // Fixed size: changing texts never re-lay out the window (a label whose height may still
        // change asks its layout to recompute every size hint on each new text).
        label->setFixedSize(chars * charWidth + 2, label->sizeHint().height());
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(label, row, column, 1, chars == kSingleValueChars ? 2 : 1);
        return label;
    };
    // A value's text is what assistive technology reads as its name; its row caption (and the
    // connection it belongs to) is told as its description.
    auto described = [](const char* text) { return QString::fromLatin1(text).remove(QLatin1Char(':')); };
    auto connectionRow = [&](const char* text, const char* name, QLabel* ConnectionLabels::*member) {
        caption(text);
        for (int c = 0; c < 2; ++c) {
            conn_[c].*member = value(QString::fromLatin1(name) + QString::number(c + 1), c + 1, kConnectionValueChars);
            (conn_[c].*member)->setAccessibleDescription(described(text) + QStringLiteral(" #%1").arg(c + 1));
        }
        ++row;
    };
    auto singleRow = [&](const char* text, const char* name) {
        caption(text);
        QLabel* label = value(QString::fromLatin1(name), 1, kSingleValueChars);
        label->setAccessibleDescription(described(text));
        ++row;
        return label;
    };

    // Column heads over the two connections' values.
    for (int c = 1; c <= 2; ++c) {
        auto* head = new QLabel(QStringLiteral("#%1").arg(c), this);
        head->setFont(fixed);
        grid->addWidget(head, row, c);
    }
    ++row;
    connectionRow(kCaptionConnectionIp, "lblIP", &ConnectionLabels::ip);
    connectionRow(kCaptionNagle, "lblNagle", &ConnectionLabels::nagle);
    connectionRow(kCaptionPollInterval, "lblPoll", &ConnectionLabels::poll);
    connectionRow(kCaptionPacketSize, "lblPacketSize", &ConnectionLabels::packetSize);
    connectionRow(kCaptionHeaderCheck, "lblHeaderCheck", &ConnectionLabels::headerCheck);
    connectionRow(kCaptionTransactionId, "lblTI", &ConnectionLabels::ti);
    connectionRow(kCaptionProtocolId, "lblPID", &ConnectionLabels::pid);
    connectionRow(kCaptionMessageLength, "lblMsgLen", &ConnectionLabels::msgLen);
    connectionRow(kCaptionUnitId, "lblUID", &ConnectionLabels::uid);
    connectionRow(kCaptionFunctionCode, "lblFC", &ConnectionLabels::fc);
    connectionRow(kCaptionStartAddress, "lblStartAdd", &ConnectionLabels::startAdd);
    connectionRow(kCaptionWordCount, "lblWordCount", &ConnectionLabels::wordCount);
    connectionRow(kCaptionDataReceived, "lblDataRecv", &ConnectionLabels::dataRecv);
    connectionRow(kCaptionDataSent, "lblDataSent", &ConnectionLabels::dataSent);
    lblPort = singleRow(kCaptionLocalPort, "lblPort");
    lblRecords = singleRow(kCaptionLoggedPackets, "lblRecords");
    lblAddrOffset = singleRow(kCaptionAddressOffset, "lblAddrOffset");
    lblOutOfSynchStatus = singleRow(kCaptionOutOfSynch, "lblOutOfSynchStatus");
    lblIncorrLength = singleRow(kCaptionIncorrectLength, "lblIncorrLength");
    lblIncorrPID = singleRow(kCaptionIncorrectPid, "lblIncorrPID");
    lblIncorrTI = singleRow(kCaptionIncorrectTi, "lblIncorrTI");
    lblRetExc = singleRow(kCaptionReturnException, "lblRetExc");
    lblFaultRules = singleRow(kCaptionFaultRules, "lblFaultRules");
    grid->setColumnStretch(3, 1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    connect(&refresh_, &RefreshRequests::serverPanelRefreshRequested, this, &ServerStatusPanel::RefreshServerPanel);
    // Loaded, cleared, switched or reset: from the window, the command line or D-Bus.
    connect(&server_.service(), &ServerService::faultRulesChanged, this,
            [this] { RefreshServerPanel(PanelPart::Options); });

    catchUp_ = new QTimer(this);
    catchUp_->setSingleShot(true);
    connect(catchUp_, &QTimer::timeout, this, &ServerStatusPanel::catchUp);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setInterval(kTimer1StartInterval);
    connect(timer1_, &QTimer::timeout, this, &ServerStatusPanel::Timer1Timer);
    timer1_->start();

    RefreshServerPanel(PanelPart::Everything);
}

void ServerStatusPanel::RefreshServerPanel(PanelPart part)
{
    const bool all = part == PanelPart::Everything;
    const int row = part == PanelPart::Connection1 ? 1 : part == PanelPart::Connection2 ? 2 : 0;
    // A connection row refreshed after every one of thousands of requests a second costs more
    // than the request: past a few refreshes within one frame (the window paints at most 25 times
    // a second anyway) the row is copied at the end of the frame instead, with the last request's
    // values. A failed request is always shown at once, so its status-bar text is never lost.
    if (row != 0 && !server_.snapshot().shownConnection(row).failed) {
        if (!frame_.isValid() || frame_.elapsed() >= kFrameMs) {
            frame_.start();
            refreshesInFrame_ = 0;
        }
        if (++refreshesInFrame_ > kImmediateRefreshesPerFrame) {
            pendingRows_ |= 1 << (row - 1);
            if (!catchUp_->isActive())
                catchUp_->start(std::max<int>(0, kFrameMs - static_cast<int>(frame_.elapsed())));
            return;
        }
    }
    if (all)
        pendingRows_ = 0;
    else if (row != 0)
        pendingRows_ &= ~(1 << (row - 1));
    if (all || row == 1)
        refreshConnection(1);
    if (all || row == 2)
        refreshConnection(2);
    if (all || part == PanelPart::Options)
        refreshOptions();
}

void ServerStatusPanel::catchUp()
{
    const int rows = pendingRows_;
    pendingRows_ = 0;
    for (int c = 1; c <= 2; ++c)
        if (rows & (1 << (c - 1)))
            refreshConnection(c);
}

void ServerStatusPanel::refreshConnection(int c)
{
    const ServerSnapshot snapshot = server_.snapshot();
    const ConnectionStatus& state = snapshot.shownConnection(c);
    const ConnectionLabels& l = conn_[c - 1];
    SetText(l.ip, state.PeerIP);
    SetText(l.nagle, NagleText(state.open, state.NagleDisabled));
    SetText(l.poll, PollIntervalText(state.ShownInterval));
    SetText(l.packetSize, DecText(state.PacketSize));
    SetText(l.headerCheck, HeaderCheckLabelText(state.failed, state.checkText));
    if (state.failed) {
        const std::string time = SystemTimeText(QTime::currentTime()).toStdString();
        status_(QString::fromStdString(FailureStatusText(time, c, state.checkText)));
    }
    const RequestFields fields = state.fields();
    SetText(l.ti, fields.ti);
    SetText(l.pid, fields.pid);
    SetText(l.msgLen, fields.length);
    SetText(l.uid, fields.uid);
    SetText(l.fc, fields.fc);
    SetText(l.startAdd, fields.startAddress);
    SetText(l.wordCount, fields.wordCount);
    SetText(l.dataRecv, DecText(static_cast<int64_t>(state.BytesReceived)));
    SetText(l.dataSent, DecText(static_cast<int64_t>(state.BytesSent)));
    refreshFaultRules(snapshot);
}

void ServerStatusPanel::refreshOptions()
{
    const ServerSettings& s = server_.settings();
    SetText(lblPort, LocalPortText(server_.ServerPort, server_.ListenActive));
    const PacketLog* log = server_.packetLog();
    const bool recording = log != nullptr && log->LogRecording();
    SetText(lblRecords, LoggedPacketsText(recording, recording ? log->LoggedPackets() : 0));
    SetText(lblAddrOffset, OnOffText(s.check.addressOffset));
    SetText(lblOutOfSynchStatus, OnOffText(s.OutOfSynchActive));
    SetText(lblIncorrLength, OnOffText(s.WrongLengthHBActive));
    SetText(lblIncorrPID, OnOffText(s.WrongPIDActive));
    SetText(lblIncorrTI, OnOffText(s.WrongTIActive));
    SetText(lblRetExc, ReturnExceptionText(s.ReturnExceptionActive, s.ForcedExceptionCode));
    refreshFaultRules(server_.snapshot());
}

void ServerStatusPanel::refreshFaultRules(const ServerSnapshot& snapshot)
{
    SetText(lblFaultRules, FaultRulesText(snapshot.faultRulesLoaded, snapshot.faultRulesEnabled, snapshot.faultsFired));
}

void ServerStatusPanel::Timer1Timer()
{
    const ServerSnapshot snapshot = server_.snapshot();
    const ConnectionStatus& c1 = snapshot.connection(1);
    const ConnectionStatus& c2 = snapshot.connection(2);
    TrayTickInput in;
    in.peerIp1 = c1.PeerIP;
    in.peerIp2 = c2.PeerIP;
    in.sent1 = c1.BytesSent;
    in.sent2 = c2.BytesSent;
    in.received1 = c1.BytesReceived;
    in.received2 = c2.BytesReceived;
    in.checkText1 = c1.checkText;
    in.checkText2 = c2.checkText;
    in.ddeInputPercent = publishing_.DDEJobInputDonePerCent.load();
    in.ddeHoldingPercent = publishing_.DDEJobHoldDonePerCent.load();
    in.picture = tray_ ? tray_->picture() : 1;
    in.traySentReference = TraySentReference_;
    // The failure mark stands while the last request failed and no tick has shown it yet.
    in.trayFailed = snapshot.lastRequestFailed && snapshot.processedRequests != trayShownRequests_;
    in.caption = window_->windowTitle().toStdString();

    const TrayTickResult out = TrayTimerStep(in);
    timer1_->setInterval(out.interval);
    if (out.redrawRegisterFlags)
        refresh_.RefreshRegisterViewRW();
    const QString caption = QString::fromStdString(out.caption);
    if (caption != window_->windowTitle())
        window_->setWindowTitle(caption);
    if (tray_ != nullptr) {
        if (QSystemTrayIcon* icon = tray_->icon())
            icon->setToolTip(QString::fromStdString(out.tooltip));
        tray_->setPicture(out.picture);
    }
    TraySentReference_ = out.traySentReference;
    trayShownRequests_ = snapshot.processedRequests;
}

} // namespace korvel
