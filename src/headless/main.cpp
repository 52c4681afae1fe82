// korvel-server: the Modbus/TCP simulator without a window, for pipelines and servers without a
// desktop. Parses the command line, starts the server, serves until SIGTERM, SIGINT or SIGHUP.
#include "common/activity.h"
#include "dde/bus_names.h"
#include "dde/publishing_passes.h"
#include "dde/publishing_topic.h"
#include "dde/server_control.h"
#include "headless/headless_server.h"
#include "instances/termination_signals.h"
#include "rules/server_options.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {
// A start-up failure or a bad argument: "korvel-server: " and the message.
void PrintLine(const std::string& line)
{
    std::string text = "korvel-server: ";
    text += line;
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
}

// Where the events go: "korvel-server: <local time, ISO 8601 with date, ms and offset> <text>" on
// standard error unless --quiet, and with --json-events {"time": ..., "event": ...} on standard
// output. Events come from the server thread and this one.
class EventLines {
  public:
    EventLines(bool lines, bool json) : lines_(lines), json_(json) {}
    void operator()(const std::string& text)
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QString time = now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
        std::lock_guard lock(mutex_);
        if (lines_) {
            std::string line = "korvel-server: ";
            line += time.toStdString();
            line += ' ';
            line += text;
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stderr);
        }
        if (json_) {
            const QJsonObject event{{QStringLiteral("time"), time},
                                    {QStringLiteral("event"), QString::fromStdString(text)}};
            QByteArray line = QJsonDocument(event).toJson(QJsonDocument::Compact);
            line += '\n';
            std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
            std::fflush(stdout);
        }
    }
    bool any() const { return lines_ || json_; }

  private:
    const bool lines_;
    const bool json_;
    std::mutex mutex_;
};
} // namespace

int main(int argc, char** argv)
{
    // Before any thread starts, so that only the watching thread takes the signals. Until the
    // server's stop is installed below, a signal ends korvel-server at once, its reservation gone.
    korvel::WatchTerminationSignals();
    std::vector<std::string> arguments(argv + 1, argv + argc);
    const korvel::ServerOptionsParse parse = korvel::ParseServerOptions(arguments);
    if (!parse.ok) {
        PrintLine(parse.error);
        std::fputs(korvel::ServerUsage().c_str(), stderr);
        return korvel::kExitUsage;
    }
    if (parse.options.help) {
        std::fputs(korvel::ServerUsage().c_str(), stdout);
        return korvel::kExitOk;
    }
    if (parse.options.version) {
        std::printf("korvel-server %s\n", KORVEL_VERSION);
        return korvel::kExitOk;
    }

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvel"));
    EventLines lines(!parse.options.quiet, parse.options.jsonEvents);
    const auto tell = [&lines](const std::string& text) { lines(text); };
    korvel::HeadlessServer::EventSink events;
    if (lines.any())
        events = tell;
    korvel::HeadlessServer server(parse.options, events);
    std::string error;
    const int started = server.start(error);
    if (started != korvel::kExitOk) {
        PrintLine(error);
        if (started == korvel::kExitUsage)
            std::fputs(korvel::ServerUsage().c_str(), stderr);
        return started;
    }
    // The publishing's topics and threads, made below when asked for.
    korvel::Activity activity;
    korvel::PublishingStatus progress;
    std::unique_ptr<korvel::PublishingTopic> inputTopic;
    std::unique_ptr<korvel::PublishingTopic> holdingTopic;
    std::unique_ptr<korvel::PublishingPasses> passes;
    // Listening has been told and clients may be served: from here on a signal stops the server in
    // order (the log closed, "stopped" told), also while the steps below still run.
    korvel::OnTerminationSignals(server, [&server, &passes] {
        if (passes) // the threads end before the server: their items go with the topics
            passes->closeWait();
        server.stop();
        QCoreApplication::exit(korvel::kExitOk);
    });
    // D-Bus control, when there is a session bus.
    korvel::ServerControl control(server.service());
    QObject::connect(&server, &korvel::HeadlessServer::connectionChanged, &control,
                     &korvel::ServerControl::tellConnectionChanged);
    QObject::connect(&server.service(), &korvel::ServerService::settingsChanged, &control,
                     &korvel::ServerControl::settingsChanged);
    QDBusConnection bus = QDBusConnection::sessionBus();
    korvel::BusNames names(bus, QCoreApplication::applicationFilePath());
    // Desktop publishing (--publish): the window's two topics and threads, with the update passes
    // on this thread. The topics are on the bus before its names are.
    const std::optional<korvel::DdeRequest>& publish = parse.options.publish;
    if (publish && !bus.isConnected()) {
        tell(korvel::texts::kPublishingNoBus);
    } else if (publish) {
        inputTopic = std::make_unique<korvel::PublishingTopic>(korvel::TopicKind::Input, server.store(), progress,
                                                               activity, bus);
        holdingTopic = std::make_unique<korvel::PublishingTopic>(korvel::TopicKind::Holding, server.store(), progress,
                                                                 activity, bus);
        passes = std::make_unique<korvel::PublishingPasses>(*inputTopic, *holdingTopic);
        passes->start(*publish);
    }
    if (control.registerOn(bus)) {
        names.start(server.port()); // org.korvel.korvel_server and org.korvel.korvel.Port<port>
        const QString name = names.portName().isEmpty() ? bus.baseService() : names.portName();
        tell(korvel::FillText(korvel::texts::kDbusControl, {name.toStdString()}));
    }
    // The names this instance owns (its port name; the service name only while it holds it), told
    // again whenever the service name comes or goes.
    auto tellPublishing = [&names, &bus, &passes, &publish, &tell] {
        if (!passes)
            return;
        QStringList owned = names.ownedNames();
        if (owned.isEmpty())
            owned << bus.baseService();
        const std::string ownedText = owned.join(QStringLiteral(", ")).toStdString();
        for (const auto& [kind, on] : {std::pair(korvel::TopicKind::Input, publish->input),
                                       std::pair(korvel::TopicKind::Holding, publish->holding)}) {
            if (on)
                tell(korvel::FillText(
                    korvel::texts::kPublishing,
                    {ownedText, korvel::TopicName(kind), std::to_string(publish->low), std::to_string(publish->high)}));
        }
    };
    tellPublishing();
    QObject::connect(&names, &korvel::BusNames::ownedNamesChanged, &names, tellPublishing);
    if (korvel::TerminationRequested())
        return korvel::kExitOk; // stopped by a signal already, from an event loop of the steps above
    return QCoreApplication::exec();
}
