#include "log/logging_group.h"

#include "common/time_text.h"

#include "common/message_box.h"
#include "shell/main_window.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QStandardPaths>
#include <QHBoxLayout>

namespace korvel {

namespace {

uint32_t MonotonicTick()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<uint32_t>(clock.elapsed());
}

// The host name as the system reports it (up to 100 characters) and the first IPv4 address found
// for that name; either is empty when it cannot be determined.
void LocalHostNameAndAddress(QString& hostName, QString& address)
{
    hostName = QHostInfo::localHostName().left(100);
    address.clear();
    if (hostName.isEmpty()) {
        return;
    }
    const QHostInfo info = QHostInfo::fromName(hostName);
    for (const QHostAddress& a : info.addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            address = a.toString();
            return;
        }
    }
}

} // namespace

LoggingGroup::LoggingGroup(TChatForm& main) : QGroupBox(texts::kLoggingGroup), main_(main), tick_(MonotonicTick)
{
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
    buffer_.reserve(4096);
}

LoggingGroup::~LoggingGroup()
{
    // The main window's shutdown stops recording through allConnectionsClosed(); whatever is still
    // open here is only closed. (The main window itself is already gone when its children are.)
    LogFile_.close();
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
    const QTime now = QTime::currentTime();
    const QString timeText = QString::fromStdString(LogTimeText(now.hour(), now.minute(), now.second(), now.msec()));
    counters_.LoggedPackets = 0;
    LogRecording_ = !LogRecording_;
    if (LogRecording_) {
        if (!startRecording(timeText)) {
            LogFile_.close();
            LogRecording_ = false;
            RecBitBtn_->setText(texts::kRecStart);
            ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogCreationFailed);
        }
    } else if (!stopRecording()) {
        ShowMessage(this, MessageKind::Warning, texts::kFileError, texts::kLogClosingFailed);
    }
    main_.RefreshServerPanel(4);
}

bool LoggingGroup::startRecording(const QString& timeText)
{
    const ConnectionState& c1 = main_.engine().connection(1);
    const ConnectionState& c2 = main_.engine().connection(2);
    const QString name = QString::fromStdString(korvel::LogFileName(c1.PeerIP, c2.PeerIP, timeText.toStdString()));
    LogFileName_ = QDir(LogFolder()).filePath(name);

    LogFile_.close();
    LogFile_.setFileName(LogFileName_);
    // Create (or empty) the file, make sure it can be opened, then keep it open for appending.
    if (!LogFile_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    LogFile_.close();
    if (!LogFile_.open(QIODevice::ReadOnly)) {
        return false;
    }
    LogFile_.close();
    RecBitBtn_->setText(texts::kRecStop);
    // Unbuffered: each packet's lines go to the operating system in one write.
    if (!LogFile_.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        return false;
    }

    QString hostName;
    QString address;
    LocalHostNameAndAddress(hostName, address);
    const QDateTime stamp = QDateTime::currentDateTime();
    const std::string header =
        LogHeaderLine(ShortDateText(stamp.date()).toStdString(), SystemTimeText(stamp.time()).toStdString(),
                      address.toStdString(),
                      hostName.toUtf8().toStdString(), c1.PeerIP, c2.PeerIP, main_.ServerPort);
    std::string text = header;
    text.append(kLogLineEnd);
    text.append(kLogLineEnd);
    return writeText(text);
}

bool LoggingGroup::stopRecording()
{
    LogFile_.unsetError();
    LogFile_.close();
    RecBitBtn_->setText(texts::kRecStart);
    return LogFile_.error() == QFileDevice::NoError;
}

bool LoggingGroup::writeText(const std::string& text)
{
    const auto size = static_cast<qint64>(text.size());
    return LogFile_.write(text.data(), size) == size;
}

void LoggingGroup::LogPacket(bool isQuery, int count, bool hasErrors, int connection)
{
    if (!LogRecording_) {
        return;
    }
    ServerEngine& engine = main_.engine();
    LogPacketInput packet;
    packet.isQuery = isQuery;
    packet.count = count;
    packet.hasErrors = hasErrors;
    packet.connection = connection;
    packet.checkText = engine.connection(connection).checkText;
    packet.interpretive = CheckBoxInterp_->isChecked();
    packet.source =
        DecodeSource{engine.workArea(), engine.replyArea(), engine.settings.check.addressOffset, &main_.store()};
    buffer_.clear();
    AppendPacketLines(counters_, packet, tick_(), buffer_);
    if (!writeText(buffer_)) {
        // Stop as the Record button would, then tell; the server goes on serving.
        counters_.LoggedPackets = 0;
        LogRecording_ = false;
        if (!stopRecording()) {
            showLater(texts::kFileError, texts::kLogClosingFailed);
        }
        showLater(texts::kLogError, texts::kLogWritingError);
    }
    // "Logged packets:" is one of the panel's option labels.
    main_.RefreshServerPanel(4);
}

void LoggingGroup::showLater(const QString& caption, const QString& text)
{
    QPointer<LoggingGroup> self(this);
    QMetaObject::invokeMethod(
        this,
        [self, caption, text] {
            if (self) {
                ShowMessage(self, MessageKind::Warning, caption, text);
            }
        },
        Qt::QueuedConnection);
}

void LoggingGroup::connectionAccepted()
{
    RecBitBtn_->setEnabled(true);
    // For tests and benchmarks only: KORVEL_AUTORECORD=1 presses Record whenever a client
    // connects while nothing is being recorded.
    const bool autoRecord = qEnvironmentVariable("KORVEL_AUTORECORD") == QLatin1String("1");
    if (autoRecord && !LogRecording_) {
        RecBitBtnClick();
    }
}

void LoggingGroup::allConnectionsClosed()
{
    if (LogRecording_) {
        RecBitBtnClick();
    }
    RecBitBtn_->setEnabled(false);
}

} // namespace korvel
