#include "server_ui/logging_group.h"

#include "net/socket_layer.h"
#include "server_ui/server_connections.h"
#include "service/log_start.h"
#include "ui/message_box.h"
#include "ui/refresh_requests.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>

namespace korvel {

namespace {

} // namespace

LoggingGroup::LoggingGroup(ServerConnections& server, RefreshRequests& refresh, TrafficLog& log)
    : QGroupBox(texts::kLoggingGroup), server_(server), refresh_(refresh), log_(log)
{
    peers_ = [this] {
        const ServerSnapshot status = server_.snapshot();
        return std::make_pair(status.connection(1).PeerIP, status.connection(2).PeerIP);
    };
    RecBitBtn_ = new QPushButton(texts::kRecStart, this);
    RecBitBtn_->setObjectName(QStringLiteral("RecBitBtn"));
    RecBitBtn_->setToolTip(texts::kRecHint);
    RecBitBtn_->setEnabled(false);
    CheckBoxInterp_ = new QCheckBox(texts::kInterpretive, this);
    CheckBoxInterp_->setObjectName(QStringLiteral("CheckBoxInterp"));
    CheckBoxInterp_->setToolTip(texts::kInterpretiveHint);
    CheckBoxInterp_->setChecked(true);

    // One row: the button, then the switch; the group takes no more height than that.
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(RecBitBtn_);
    layout->addWidget(CheckBoxInterp_);
    layout->addStretch(1);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);

    connect(RecBitBtn_, &QPushButton::clicked, this, [this] { RecBitBtnClick(); });
    connect(CheckBoxInterp_, &QCheckBox::toggled, this, [this](bool on) { log_.setInterpretive(on); });
    log_.setInterpretive(CheckBoxInterp_->isChecked());
}

LoggingGroup::~LoggingGroup()
{
    // The main window's shutdown stops recording through allConnectionsClosed(); whatever is still
    // open here is only closed. (The main window itself is already gone when its children are.)
    log_.stop();
}

QString LoggingGroup::LogFolder()
{
    const QString overridden = qEnvironmentVariable("KORVEL_LOG_DIR");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (QFileInfo(exeDir).isWritable()) {
        return exeDir;
    }
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    return dataDir;
}

void LoggingGroup::RecBitBtnClick()
{
    if (!log_.LogRecording()) {
        if (!startRecording()) {
            log_.stop();
            RecBitBtn_->setText(texts::kRecStart);
            ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogCreationFailed);
        }
    } else {
        const bool closed = log_.stop();
        RecBitBtn_->setText(texts::kRecStart);
        if (!closed)
            ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogClosingFailed);
        if (log_.lost())
            ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogFileLost.arg(LogFileName_));
    }
    refresh_.RefreshServerPanel(PanelPart::Options);
}

bool LoggingGroup::startRecording()
{
    const auto [peer1, peer2] = peers_();
    RecBitBtn_->setText(texts::kRecStop);
    const LogStart started = StartTrafficLog(log_, LogFolder(), peer1, peer2, server_.ServerPort);
    LogFileName_ = started.path;
    return started.ok;
}

void LoggingGroup::recordingFailed(bool closingFailed)
{
    RecBitBtn_->setText(texts::kRecStart);
    if (closingFailed)
        ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogClosingFailed);
    ShowMessage(this, MessageKind::Warning, texts::kLogError, texts::kLogWritingError);
}

void LoggingGroup::connectionAccepted()
{
    RecBitBtn_->setEnabled(true);
    // For tests and benchmarks only: KORVEL_AUTORECORD=1 presses Record whenever a client
    // connects while nothing is being recorded.
    const bool autoRecord = qEnvironmentVariable("KORVEL_AUTORECORD") == QLatin1String("1");
    if (autoRecord && !log_.LogRecording()) {
        RecBitBtnClick();
    }
}

void LoggingGroup::allConnectionsClosed()
{
    if (log_.LogRecording()) {
        RecBitBtnClick();
    }
    RecBitBtn_->setEnabled(false);
}

} // namespace korvel
