#include "scanner/scanner_window.h"

#include "client/client_texts.h"
#include "client/outgoing_connection.h"
#include "client/up_down.h"
#include "common/accessible_names.h"
#include "common/activity.h"
#include "common/numeric.h"
#include "common/register_store.h"
#include "net/socket_layer.h"
#include "scanner/scan_result_list.h"
#include "scanner/scanner_texts.h"
#include "ui/message_box.h"
#include "ui/qt_event_loop.h"
#include "ui/window_texts.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <optional>

namespace korvel {

using namespace scannertexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

// Digits only, and no more than `maximum` of them typed; a text the program puts into the field
// (the timeout arrows reach 10000) is never cut.
class DigitsField : public QValidator {
  public:
    DigitsField(QLineEdit* edit, int maximum) : QValidator(edit), edit_(edit), maximum_(maximum) {}
    State validate(QString& input, int& /*pos*/) const override
    {
        for (const QChar c : input)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        if (input.size() <= maximum_ || input.size() < edit_->text().size())
            return Acceptable;
        return Invalid;
    }

  private:
    QLineEdit* edit_;
    int maximum_;
};

std::optional<int32_t> Integer(const QString& text)
{
    try {
        return NumericOrHexToInt(text.toStdString(), false);
    } catch (const ConversionError&) {
        return std::nullopt;
    }
}

QPushButton* Button(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QPushButton(L(caption), parent);
    b->setToolTip(L(hint));
    b->setAutoDefault(false);
    return b;
}

QCheckBox* Check(const char* caption, const char* hint, QWidget* parent)
{
    auto* b = new QCheckBox(L(caption), parent);
    b->setToolTip(L(hint));
    return b;
}

// The longest line the list can hold, so that every row is wide enough for any line.
constexpr const char* kWidestLine = "Register 65535, Gateway target device failed to respond";

} // namespace

Tscanner::Tscanner(RegisterStore& store, Activity& activity, std::function<QString()> localHostAddress)
    : QWidget(nullptr), store_(store), activity_(activity), loop_(std::make_unique<QtEventLoop>(this))
{
    OutgoingConnection::Handlers handlers;
    handlers.read = [this] { scannerSocketRead(); };
    handlers.closed = [this] { scannerSocketClose(); };
    handlers.established = [this] {
        btnDisco->setEnabled(true);
        btnStart->setEnabled(true);
        btnConn->setEnabled(false);
        activity_.scannerConnected = true;
        activity_.notify();
    };
    handlers.failed = [this] { btnDiscoClick(); };
    handlers.setPartnerLabel = [this](const QString& text) { lblPartner->setText(text); };
    handlers.hasRemembered = [](const RememberedPartner& p) { return p.PrevPort != 0; };
    handlers.localHostAddress = std::move(localHostAddress);
    connection_ = std::make_unique<OutgoingConnection>(*this, RememberedPartner{{0, 0, 0, 0}, 0}, std::move(handlers));

    setWindowTitle(L(kCaption));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   Qt::WindowMinimizeButtonHint);

    auto* layout = new QVBoxLayout(this);
    menuBar = new QMenuBar(this);
    Close1 = menuBar->addAction(L(kClose));
    connect(Close1, &QAction::triggered, this, &Tscanner::Close1Click);
    layout->setMenuBar(menuBar);

    auto* grid = new QGridLayout;
    buildConnection(this, grid);
    buildRange(this, grid);
    buildMisc(this, grid);
    layout->addLayout(grid);
    buildResults(layout);

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setTimerType(Qt::PreciseTimer); // a reply is never given up on early
    Timer1->setInterval(kScanTimeoutDefault);
    connect(Timer1, &QTimer::timeout, this, &Tscanner::Timer1Timer);
    progressPaint_ = new QTimer(this);
    progressPaint_->setSingleShot(true);
    progressPaint_->setInterval(ScanResultModel::kBatchMs);
    connect(progressPaint_, &QTimer::timeout, this, [this] { ProgressBar1->setValue(progress_); });

    resize(660, 580);
    hide();
}

Tscanner::~Tscanner()
{
    connection_.reset();
}

void Tscanner::buildConnection(QWidget* parent, QGridLayout* grid)
{
    auto* group = new QGroupBox(L(kConnectionGroup), parent);
    auto* g = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    btnConn = Button(kConnect, kConnectHint, group);
    btnDisco = Button(kDisconnect, kDisconnectHint, group);
    btnDisco->setEnabled(false);
    connect(btnConn, &QPushButton::clicked, this, &Tscanner::btnConnClick);
    connect(btnDisco, &QPushButton::clicked, this, &Tscanner::btnDiscoClick);
    row->addWidget(btnConn);
    row->addWidget(btnDisco);
    g->addLayout(row);
    lblPartner = new QLabel(L(kNoPartnerText), group);
    lblPartner->setToolTip(L(kPartnerHint));
    DescribeAs(lblPartner, L(kConnectionGroup));
    g->addWidget(lblPartner);
    grid->addWidget(group, 0, 0);

    auto* type = new QGroupBox(L(kTypeGroup), parent);
    auto* t = new QHBoxLayout(type);
    RBInput = new QRadioButton(L(kInput), type);
    RBInput->setToolTip(L(kInputHint));
    RBHold = new QRadioButton(L(kHolding), type);
    RBHold->setToolTip(L(kHoldingHint));
    RBHold->setChecked(true);
    scanUID = new QComboBox(type);
    for (int uid = 0; uid <= 255; ++uid)
        scanUID->addItem(QString::number(uid));
    scanUID->setCurrentIndex(0);
    scanUID->setToolTip(L(kUidHint));
    NameAfterCaption(scanUID, L(kUidName));
    t->addWidget(RBInput);
    t->addWidget(RBHold);
    t->addWidget(new QLabel(L(kUidName), type));
    t->addWidget(scanUID);
    grid->addWidget(type, 1, 0);
}

void Tscanner::buildRange(QWidget* parent, QGridLayout* grid)
{
    auto* group = new QGroupBox(L(kRangeGroup), parent);
    auto* g = new QGridLayout(group);
    auto field = [&](int row, const char* caption, const char* hint, int length, const char* text) {
        auto* label = new QLabel(L(caption), group);
        auto* edit = new QLineEdit(L(text), group);
        edit->setValidator(new DigitsField(edit, length));
        edit->setToolTip(L(hint));
        NameAfterCaption(edit, label->text());
        label->setBuddy(edit);
        g->addWidget(label, row, 0);
        g->addWidget(edit, row, 1);
        return edit;
    };
    Edit1 = field(0, kFrom, kFromHint, kAddressFieldLength, "1");
    Edit2 = field(1, kTo, kToHint, kAddressFieldLength, "1");
    Edit3 = field(2, kTimeout, kTimeoutHint, kTimeoutFieldLength, "100");
    UpDown1 = new UpDown(Edit1, 0, kScanAddressMax, 1, 1, group);
    UpDown2 = new UpDown(Edit2, 0, kScanAddressMax, 1, 1, group);
    UpDown3 = new UpDown(Edit3, kScanTimeoutMin, kScanTimeoutMax, kScanTimeoutStep, kScanTimeoutDefault, group);
    g->addWidget(UpDown1, 0, 2);
    g->addWidget(UpDown2, 1, 2);
    g->addWidget(UpDown3, 2, 2);
    // The arrows start from what the field shows, typed or not.
    const std::pair<QLineEdit*, UpDown*> pairs[] = {{Edit1, UpDown1}, {Edit2, UpDown2}, {Edit3, UpDown3}};
    for (const auto& [edit, arrows] : pairs) {
        connect(arrows->up(), &QToolButton::pressed, this, [this, edit, arrows] { syncArrows(edit, arrows); });
        connect(arrows->down(), &QToolButton::pressed, this, [this, edit, arrows] { syncArrows(edit, arrows); });
    }
    // After the arrows moved (also at the end of their range, where they stay put): "To:" follows
    // "From:" when it is now below it; the timeout takes what its arrows show.
    auto fromArrows = [this] {
        const std::string to = ScanToTextAfterFromArrows(Edit1->text().toStdString(), Edit2->text().toStdString());
        if (QString::fromStdString(to) != Edit2->text())
            UpDown2->setPosition(Integer(QString::fromStdString(to)).value_or(0));
    };
    auto timeoutArrows = [this] { Timer1->setInterval(UpDown3->position()); };
    for (QToolButton* b : {UpDown1->up(), UpDown1->down()})
        connect(b, &QToolButton::clicked, this, fromArrows);
    for (QToolButton* b : {UpDown3->up(), UpDown3->down()})
        connect(b, &QToolButton::clicked, this, timeoutArrows);
    connect(Edit3, &QLineEdit::editingFinished, this, &Tscanner::Edit3Exit);

    ProgressBar1 = new QProgressBar(group);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setRange(0, 1);
    ProgressBar1->setValue(0);
    NameAfterCaption(ProgressBar1, L(kProgressName));
    g->addWidget(ProgressBar1, 3, 0, 1, 3);
    grid->addWidget(group, 0, 1, 2, 1);
}

void Tscanner::buildMisc(QWidget* parent, QGridLayout* grid)
{
    auto* group = new QGroupBox(L(kMiscGroup), parent);
    auto* g = new QVBoxLayout(group);
    CBoxOffset = Check(kOffset, kOffsetHint, group);
    CBoxFailedOnly = Check(kFailedOnly, kFailedOnlyHint, group);
    CBoxCopy = Check(kCopy, kCopyHint, group);
    g->addWidget(CBoxOffset);
    g->addWidget(CBoxFailedOnly);
    g->addWidget(CBoxCopy);
    auto* row = new QHBoxLayout;
    btnStart = Button(kStart, kStartHint, group);
    btnStop = Button(kStop, kStopHint, group);
    btnStart->setEnabled(false);
    btnStop->setEnabled(false);
    btnStop->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(btnStart, &QPushButton::clicked, this, &Tscanner::btnStartClick);
    connect(btnStop, &QPushButton::clicked, this, &Tscanner::btnStopClick);
    row->addWidget(btnStart);
    row->addWidget(btnStop);
    g->addLayout(row);
    grid->addWidget(group, 0, 2, 2, 1);
}

void Tscanner::buildResults(QVBoxLayout* layout)
{
    auto* group = new QGroupBox(L(kResultsGroup), this);
    auto* g = new QVBoxLayout(group);
    results_ = new ScanResultModel(this);
    scanList = new ScanListView(group);
    scanList->setModel(results_);
    scanList->setToolTip(L(kListHintAtStart));
    NameAfterCaption(scanList, L(kResultsGroup));
    const QFontMetrics metrics(scanList->font());
    results_->setRowSize(QSize(metrics.horizontalAdvance(L(kWidestLine)) + 8, metrics.height() + 2));
    connect(scanList, &ScanListView::listDoubleClicked, this, &Tscanner::scanListDblClick);
    g->addWidget(scanList, 1);

    scanListPopupMenu = new QMenu(this);
    CopytoClipboard1 = scanListPopupMenu->addAction(L(kCopyToClipboard));
    Clear1 = scanListPopupMenu->addAction(L(kClear));
    connect(CopytoClipboard1, &QAction::triggered, this, &Tscanner::CopytoClipboard1Click);
    connect(Clear1, &QAction::triggered, this, &Tscanner::Clear1Click);
    scanList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(scanList, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (results_->lineCount() > 0)
            scanListPopupMenu->popup(scanList->viewport()->mapToGlobal(at));
    });
    layout->addWidget(group, 1);

    StatusBar1 = new QLabel(this);
    StatusBar1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    DescribeAs(StatusBar1, L(kStatusName));
    layout->addWidget(StatusBar1);
}

// ---- Connection ----

void Tscanner::btnConnClick()
{
    connection_->openDialog();
}

TSetServerIP* Tscanner::serverDialog() const
{
    return connection_->dialog();
}

bool Tscanner::connected() const
{
    return connection_->socket() != nullptr;
}

void Tscanner::btnDiscoClick()
{
    connection_->close();
    btnConn->setEnabled(true);
    btnDisco->setEnabled(false);
    btnStart->setEnabled(false);
    btnStop->setEnabled(false);
    Timer1->stop();
    progressPaint_->stop();
    ProgressBar1->setValue(ProgressBar1->minimum());
    StatusBar1->clear();
    lblPartner->setText(L(kNoPartnerText));
    activity_.scannerConnected = false;
    // A running scan ends as Stop ends it, without its status text.
    session_.stop();
    setScanning(false);
    btnStart->setEnabled(false);
    activity_.notify();
}

void Tscanner::scannerSocketClose()
{
    btnDiscoClick();
}

// ---- Range ----

void Tscanner::syncArrows(QLineEdit* edit, UpDown* arrows)
{
    if (const std::optional<int32_t> value = Integer(edit->text()))
        if (*value != arrows->position())
            arrows->setPosition(*value);
}

void Tscanner::Edit3Exit()
{
    const ScanTimeoutField r = ScanTimeoutFieldLeft(Edit3->text().toStdString());
    if (r.message)
        message(r.message);
    if (QString::fromStdString(r.fieldText) != Edit3->text())
        Edit3->setText(QString::fromStdString(r.fieldText));
    Timer1->setInterval(r.timeout);
}

// ---- Scan ----

ScanSettings Tscanner::settings() const
{
    ScanSettings s;
    s.to = Integer(Edit2->text()).value_or(session_.to());
    s.uid = static_cast<uint8_t>(scanUID->currentIndex() < 0 ? 0 : scanUID->currentIndex());
    s.holding = RBHold->isChecked();
    s.useOffset = CBoxOffset->isChecked();
    s.listFailedOnly = CBoxFailedOnly->isChecked();
    s.copyValue = CBoxCopy->isChecked();
    return s;
}

void Tscanner::setScanning(bool scanning)
{
    for (QWidget* w : {static_cast<QWidget*>(Edit1), static_cast<QWidget*>(Edit2), static_cast<QWidget*>(UpDown1),
                       static_cast<QWidget*>(UpDown2), static_cast<QWidget*>(RBInput), static_cast<QWidget*>(RBHold)})
        w->setEnabled(!scanning);
    btnStart->setEnabled(!scanning);
    btnStop->setEnabled(scanning);
}

void Tscanner::btnStartClick()
{
    const ScanStartCheck check = CheckScanStart({Edit1->text().toStdString(), Edit2->text().toStdString(),
                                                 Edit3->text().toStdString(), CBoxOffset->isChecked()});
    if (!check.ok()) {
        message(check.message);
        QLineEdit* field = check.field == ScanField::From ? Edit1 : check.field == ScanField::To ? Edit2 : Edit3;
        field->setFocus();
        if (check.selectText)
            field->selectAll();
        else
            field->deselect();
        return;
    }
    ProgressBar1->setRange(check.from, check.to);
    ProgressBar1->setValue(check.from);
    results_->clear();
    updateListHint();
    setScanning(true);
    scanList->setHorizontalRange(0);
    setStatus(QString::fromStdString(ScanningStatusText(check.to - check.from + 1, RBHold->isChecked())));
    applyPollStep(session_.start(check.from, check.to, loop_->now(), settings()));
}

void Tscanner::btnStopClick()
{
    if (session_.stopClearsStatus())
        StatusBar1->clear();
    session_.stop();
    Timer1->stop();
    progressPaint_->stop();
    setScanning(false);
    ProgressBar1->setValue(ProgressBar1->minimum());
}

void Tscanner::PollStep(bool byTimeout)
{
    Timer1->stop();
    applyPollStep(session_.pollStep(byTimeout, loop_->now(), settings()));
}

void Tscanner::Timer1Timer()
{
    PollStep(true);
}

void Tscanner::applyPollStep(const ScanPollStep& step)
{
    Timer1->stop();
    if (!step.ran)
        return;
    if (!step.timeoutLine.empty())
        addLine(step.timeoutLine);
    if (step.completed) {
        setStatus(QString::fromStdString(step.summary));
        btnStopClick();
        return;
    }
    if (!step.send)
        return;
    if (StreamSocket* socket = connection_->socket())
        socket->send(step.request.data(), kScanRequestLength);
    // A progress bar repaints at once when its value moves a pixel: it follows at the paint rate.
    progress_ = step.progress;
    if (!progressPaint_->isActive())
        progressPaint_->start();
    // The timeout field is read anew for every request; a text outside its range leaves the
    // timer's interval as it was.
    if (const std::optional<int32_t> timeout = Integer(Edit3->text()))
        if (*timeout >= kScanTimeoutMin && *timeout <= kScanTimeoutMax)
            Timer1->setInterval(*timeout);
    Timer1->start();
}

void Tscanner::scannerSocketRead()
{
    StreamSocket* socket = connection_->socket();
    if (!socket)
        return;
    const int looked = socket->peek(receive_.data(), kAreaSize);
    const ScanPeek peek = ExamineScanReply(receive_.data(), looked, looked < 0 ? wsa::kENotConn : 0);
    switch (peek.kind) {
    case ScanPeekKind::Invalid:
        btnDiscoClick();
        setStatus(L(kScanIncorrectData));
        return;
    case ScanPeekKind::SocketError:
        setStatus(QString::fromStdString(ScanSocketErrorText(peek.errorCode)));
        return;
    case ScanPeekKind::Wait:
        return;
    case ScanPeekKind::Frame:
        break;
    }
    // Exactly one reply is taken; one behind it is evaluated after this event, not dropped.
    const int n = socket->take(receive_.data(), peek.length);
    if (n <= 0)
        return;
    const ScanReplyStep r = session_.reply(receive_.data(), n, loop_->now(), settings());
    if (r.widenList)
        scanList->setHorizontalRange(kScanListScrollWidth);
    if (!r.line.empty())
        addLine(r.line);
    if (r.copy) {
        if (r.copyToHolding)
            store_.setHolding(r.registerNumber, r.value);
        else
            store_.setInput(r.registerNumber, r.value);
    }
    applyPollStep(r.next);
    if (StreamSocket* still = connection_->socket(); still && still->available() > 0)
        still->recheckLater();
}

// ---- Results ----

void Tscanner::addLine(const std::string& line)
{
    results_->append(QString::fromStdString(line));
    if (results_->lineCount() == 1)
        updateListHint();
}

void Tscanner::updateListHint()
{
    scanList->setToolTip(results_->lineCount() > 0 ? L(kListHintWithLines) : QString());
}

QStringList Tscanner::lines() const
{
    return results_->allLines();
}

QString Tscanner::statusText() const
{
    return StatusBar1->text();
}

void Tscanner::setStatus(const QString& text)
{
    StatusBar1->setText(text);
}

void Tscanner::message(const char* text)
{
    ShowMessage(this, MessageKind::Information, texts::kApplicationTitle, L(text));
}

void Tscanner::scanListDblClick()
{
    scanList->setHorizontalRange(scanList->horizontalRange() > 0 ? 0 : kScanListScrollWidth);
}

void Tscanner::CopytoClipboard1Click()
{
    QString text;
    for (const QString& line : lines())
        text += line + QLatin1Char('\n');
    QGuiApplication::clipboard()->setText(text);
}

void Tscanner::Clear1Click()
{
    results_->clear();
    updateListHint();
}

// ---- Closing ----

void Tscanner::Close1Click()
{
    close();
}

void Tscanner::closeEvent(QCloseEvent* e)
{
    if (btnDisco->isEnabled())
        btnDiscoClick();
    QWidget::closeEvent(e);
    emit closed();
}

} // namespace korvel
