// The "Logging" group of the main window: the Record button and the "Interpretive" switch, and the
// traffic log file they drive. Every packet's lines are handed to the operating system before the
// server sends its reply, so a crash of the program loses no logged packet.
#pragma once

#include "log/log_lines.h"
#include "log/packet_log.h"

#include <QFile>
#include <QGroupBox>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QCheckBox;
class QPushButton;

namespace korvel {

class TChatForm;

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
inline const QString kLogError = QStringLiteral("Log error");
inline const QString kLogWritingError = QStringLiteral("Log -file writing error");
} // namespace texts

class LoggingGroup : public QGroupBox, public PacketLog {
    Q_OBJECT
  public:
    explicit LoggingGroup(TChatForm& main);
    ~LoggingGroup() override;

    bool LogRecording() const override { return LogRecording_; }
    int LoggedPackets() const override { return counters_.LoggedPackets; }
    void LogPacket(bool isQuery, int count, bool hasErrors, int connection) override;
    void connectionAccepted() override;
    void allConnectionsClosed() override;

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
    void setTickSource(std::function<uint32_t()> tick) { tick_ = std::move(tick); }

  private:
    bool startRecording(const QString& timeText);
    bool stopRecording();
    bool writeText(const std::string& text);
    // A box shown after the current event, so that the reply being processed goes out first.
    void showLater(const QString& caption, const QString& text);

    TChatForm& main_;
    QPushButton* RecBitBtn_ = nullptr;
    QCheckBox* CheckBoxInterp_ = nullptr;

    bool LogRecording_ = false;
    QFile LogFile_;
    QString LogFileName_;
    LogCounters counters_;
    std::string buffer_; // one packet's lines, written with a single call
    std::function<uint32_t()> tick_;
};

} // namespace korvel
