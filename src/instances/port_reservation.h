// The server port among several instances, without any window: the base port, the reservation
// names in the atom registry and the choice of a port no other instance holds. The window's port
// control and the headless server both choose their port here.
#pragma once

#include <QString>

namespace korvel {

class AtomRegistry;

// The port the server starts from: 502, or KORVEL_PORT when it holds 1..65535.
int BasePort();
// The reservation name of a port: "KORVEL_PORT_502".
QString PortAtomName(int port);

struct PortChoice {
    int port = 0;
    bool reserved = false;    // this instance added the port's reservation
    long long baseHolder = 0; // the process holding `base` when another one does and is known
};
// `base` when no running instance holds it, else the first of base + 1 ... base + 999 (up to
// 65535) that none holds; that port is reserved by this process, looked up and reserved under one
// lock so that two instances starting together never take the same port. When every one is held:
// `base`, without a reservation.
PortChoice ChooseAndReservePort(AtomRegistry& atoms, int base);
// `port` alone: reserved when no running instance holds it (else `baseHolder` names the holder).
PortChoice ReservePort(AtomRegistry& atoms, int port);

} // namespace korvel
