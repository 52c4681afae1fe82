#include "instances/port_reservation.h"

#include "instances/atom_registry.h"
#include "instances/instance_texts.h"

#include <algorithm>
#include <vector>

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
    std::vector<QString> names;
    for (int i = 0; i <= kPortTries && base + i <= kHighestPort; ++i)
        names.push_back(PortAtomName(base + i));
    PortChoice choice;
    const int taken = atoms.addFirstMissing(names, &choice.baseHolder);
    choice.port = taken < 0 ? base : base + taken;
    choice.reserved = taken >= 0;
    return choice;
}

PortChoice ReservePort(AtomRegistry& atoms, int port)
{
    PortChoice choice;
    choice.port = port;
    choice.reserved = atoms.addFirstMissing({PortAtomName(port)}, &choice.baseHolder) == 0;
    return choice;
}

} // namespace korvel
