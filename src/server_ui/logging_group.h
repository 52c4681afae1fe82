// The "Logging" group of the main window: the Record button and the "Interpretive" switch that
// drive the traffic log (TrafficLog), which the server thread writes.
#pragma once

#include "log/log_lines.h"
#include "log/traffic_log.h"

#include <QGroupBox>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

class QCheckBox;
class QPushButton;

namespace korvel {

class RefreshRequests;
class ServerConnections;

namespace texts {
inline const QString kLoggingGroup = QStringLiteral("Logging");
inline const QString kRecStart = QStringLiteral("Start");
inline const QString kRecStop = QStringLiteral("Stop");
inline const QString kRecHint = QStringLiteral("Start and stop server data exchange logging");
inline const QString kInterpretive = QStringLiteral("Interpretive");
inline const QString kInterpretiveHint = QStringLiteral("Use verbose logging");
inline const QString kFileError = QStringLiteral("File Error");
inline const QString kLogCreationFailed =
    QStringLiteral("Log file creation or writing to log file failed. Check user privileges.");
inline const QString kLogClosingFailed = QStringLiteral("Closing of log file failed");
inline const QString kLogFileLost = QStringLiteral("The log file was removed while recording; the session is lost: %1");
inline const QString kLogError = QStringLiteral("Log error");
inline const QString kLogWritingError = QStringLiteral("Log -file writing error");
} // namespace texts

class LoggingGroup : public QGroupBox {
    Q_OBJECT
  public:
    // Records `server`'s traffic into `log`; a start or stop asks `refresh` to redraw the logged
    // packets label.
    LoggingGroup(ServerConnections& server, RefreshRequests& refresh, TrafficLog& log);
    ~LoggingGroup() override;

    bool LogRecording() const { return log_.LogRecording(); }
    int LoggedPackets() const { return log_.LoggedPackets(); }
    TrafficLog& trafficLog() { return log_; }
    // A server connection was accepted: the Record button becomes usable.
    void connectionAccepted();
    // Both server connections are closed (or the program shuts down): stop recording as the
    // Record button would, and disable the button.
    void allConnectionsClosed();
    // Writing the log failed and it stopped itself: the button says so, and the boxes tell.
    void recordingFailed(bool closingFailed);

    // Where the peers of the log's file name and header come from (the server's status unless a
    // test says otherwise).
    using PeerSource = std::function<std::pair<std::string, std::string>()>;
    void setPeerSource(PeerSource peers) { peers_ = std::move(peers); }

    // The Record button's action: starts a new log file or stops the current one.
    void RecBitBtnClick();

    // Full path of the current (or last) log file.
    QString LogFileName() const { return LogFileName_; }

    // The folder new log files go to: $KORVEL_LOG_DIR when set, else the executable's folder, or
    // the user's data folder where the executable's folder is not writable.
    static QString LogFolder();

    QPushButton* RecBitBtn() const { return RecBitBtn_; }
    QCheckBox* CheckBoxInterp() const { return CheckBoxInterp_; }

    // Tests replace the millisecond tick.
    void setTickSource(std::function<uint32_t()> tick) { log_.setTick(std::move(tick)); }

  private:
    bool startRecording();

    ServerConnections& server_;
    RefreshRequests& refresh_;
    TrafficLog& log_;
    QPushButton* RecBitBtn_ = nullptr;
    QCheckBox* CheckBoxInterp_ = nullptr;
    QString LogFileName_;
    PeerSource peers_;
};

} // namespace korvel
