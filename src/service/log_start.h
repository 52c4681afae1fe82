// Starting the traffic log on a new file, as the window's Record button and the headless server's
// --log option do it: the file named from the peers and the start time, the header line with the
// date, time, local host, peers and port.
#pragma once

#include "log/traffic_log.h"

#include <QString>
#include <string>

namespace korvel {

struct LogStart {
    QString path; // the new file's full path (also when starting failed)
    bool ok = false;
};

// Starts `log` on a new file in `folder`; peer1, peer2: the connections' peer texts ("--" when none).
LogStart StartTrafficLog(TrafficLog& log, const QString& folder, const std::string& peer1, const std::string& peer2,
                         int port);

} // namespace korvel
