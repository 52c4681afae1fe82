#include "service/log_start.h"

#include "log/log_lines.h"
#include "net/socket_layer.h"
#include "service/time_text.h"

#include <QDateTime>
#include <QDir>

namespace korvel {

LogStart StartTrafficLog(TrafficLog& log, const QString& folder, const std::string& peer1, const std::string& peer2,
                         int port)
{
    const QTime now = QTime::currentTime();
    const std::string timeText = LogTimeText(now.hour(), now.minute(), now.second(), now.msec());
    LogStart result;
    result.path = QDir(folder).filePath(QString::fromStdString(LogFileName(peer1, peer2, timeText)));

    // The host name as the system reports it and the first IPv4 address found for it, as the
    // window title has it; either is empty when it cannot be determined.
    const LocalHostLookup host = LookUpLocalHost();
    const QDateTime stamp = QDateTime::currentDateTime();
    const std::string header =
        LogHeaderLine(ShortDateText(stamp.date()).toStdString(), SystemTimeText(stamp.time()).toStdString(),
                      host.ok ? host.address : std::string(), host.hostName, peer1, peer2, port);
    result.ok = log.start(result.path.toStdString(), header);
    return result;
}

} // namespace korvel
