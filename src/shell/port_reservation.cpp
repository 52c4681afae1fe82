#include "shell/port_reservation.h"

#include "shell/atom_registry.h"
#include "shell/shell_texts.h"

#include <algorithm>

namespace korvel {

namespace {
constexpr int kPortTries = 999; // base + 1 ... base + 999
constexpr int kHighestPort = 65535;
} // namespace

int BasePort()
{
    bool ok = false;
    const QString text = qEnvironmentVariable("KORVEL_PORT").trimmed();
    const int port = text.toInt(&ok);
    const bool digitsOnly =
        !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar ch) { return ch.isDigit(); });
    return ok && digitsOnly && port >= 1 && port <= kHighestPort ? port : 502;
}

QString PortAtomName(int port)
{
    return texts::kPortAtomPrefix + QString::number(port);
}

PortChoice ChooseAndReservePort(AtomRegistry& atoms, int base)
{
    for (int i = 0; i <= kPortTries && base + i <= kHighestPort; ++i) {
        const int port = base + i;
        if (!atoms.find(PortAtomName(port)))
            return {port, atoms.add(PortAtomName(port))};
    }
    return {base, false};
}

} // namespace korvel
