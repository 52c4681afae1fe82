// The real korvel program for end-to-end tests: started offscreen on a free port with a private
// atom folder and message file, ended (gracefully, then by force) when the object goes.
#pragma once

#include "support/test_net.h"

#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace korvel::testing {

class KorvelProcess {
  public:
    // `atomDir` empty: a private one. `basePort` 0: a free port. `program`: korvel, or
    // korvel-server (which listens on the base port too).
    explicit KorvelProcess(QString atomDir = {}, uint16_t basePort = 0, QStringList arguments = {},
                           QString program = QStringLiteral(KORVEL_EXECUTABLE))
        : atomDir_(std::move(atomDir)), basePort_(basePort), arguments_(std::move(arguments)),
          program_(std::move(program))
    {
        if (atomDir_.isEmpty())
            atomDir_ = dir_.filePath(QStringLiteral("atoms"));
        if (basePort_ == 0)
            basePort_ = FreeLoopbackPort(4); // room for the ports of further instances
    }
    ~KorvelProcess() { stop(); }

    // Starts the program and waits until `listenPort` (default: the base port) accepts.
    bool start(uint16_t listenPort = 0)
    {
        if (!launch())
            return false;
        return waitListening(listenPort);
    }
    // Starts the program without waiting for anything.
    bool launch()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("KORVEL_PORT"), QString::number(basePort_));
        env.insert(QStringLiteral("KORVEL_ATOM_DIR"), atomDir_);
        env.insert(QStringLiteral("KORVEL_MESSAGE_LOG"), messageFile());
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(captureErrors_ ? QProcess::SeparateChannels : QProcess::ForwardedErrorChannel);
        process_.start(program_, arguments_);
        return process_.waitForStarted(10000);
    }
    bool waitListening(uint16_t listenPort = 0)
    {
        const uint16_t port = listenPort ? listenPort : basePort_;
        if (!readyText_.isEmpty()) {
            // Without a probe connection, which the server would count, log and tell.
            return WaitUntil([&] { return errors().contains(readyText_) || process_.state() != QProcess::Running; },
                             15000) &&
                   process_.state() == QProcess::Running;
        }
        return WaitUntil(
                   [&] {
                       QTcpSocket probe;
                       probe.connectToHost(QHostAddress::LocalHost, port);
                       const bool up = probe.waitForConnected(200);
                       probe.abort();
                       return up || process_.state() != QProcess::Running;
                   },
                   15000) &&
               process_.state() == QProcess::Running;
    }

    // Asks the program to end as a user would close it (SIGTERM); kills it if it does not.
    void stop()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    void killHard()
    {
        process_.kill();
        process_.waitForFinished(5000);
    }

    // Standard error is kept for errors() instead of passing through (call before start()).
    void captureErrors() { captureErrors_ = true; }
    // start() waits for `text` on standard error instead of probing the port (implies captureErrors).
    void waitForErrorText(const QString& text)
    {
        captureErrors_ = true;
        readyText_ = text;
    }
    QString errors()
    {
        errors_ += QString::fromUtf8(process_.readAllStandardError());
        return errors_;
    }

    QStringList messages() const
    {
        QFile f(messageFile());
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QString messageFile() const { return dir_.filePath(QStringLiteral("messages.txt")); }
    QString atomDir() const { return atomDir_; }
    uint16_t basePort() const { return basePort_; }
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }
    QProcess& process() { return process_; }

  private:
    QTemporaryDir dir_;
    QString atomDir_;
    uint16_t basePort_;
    QStringList arguments_;
    QString program_;
    bool captureErrors_ = false;
    QString readyText_;
    QString errors_;
    QProcess process_;
};

// Runs a peer program to its end; exit code and standard output.
struct ToolRun {
    int exitCode = -1;
    QString output;
};
inline ToolRun RunTool(const QString& program, const QStringList& arguments, int timeoutMs = 30000)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    ToolRun run;
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(3000);
        run.output = QStringLiteral("timed out: ") + QString::fromUtf8(tool.readAll());
        return run;
    }
    run.exitCode = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    run.output = QString::fromUtf8(tool.readAll());
    return run;
}

} // namespace korvel::testing
