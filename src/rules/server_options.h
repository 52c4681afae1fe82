// The command line of korvel-server: every test option of the window's server as an option, read
// into one plain value. Pure: no files are opened and no port is tried here.
#pragma once

#include "rules/publishing_rules.h"
#include "server/server_engine.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korvel {

// Exit codes of korvel-server.
constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;     // a file to load, a rule file or a log folder that cannot be used
constexpr int kExitPortFailure = 2; // the port is reserved, busy or not permitted
constexpr int kExitUsage = 64;      // bad arguments (EX_USAGE)

struct ServerOptions {
    std::optional<uint16_t> port; // --port; none: the base port (502 or KORVEL_PORT); 0: the system's choice
    uint32_t bindAddress = 0;     // --bind, host byte order; 0: all local IPv4 addresses
    std::string loadFile;         // --load: a variable-list file
    std::string faultsFile;       // --faults: a fault rule file (TOML), applied before listening
    std::string logFolder;        // --log: record each session into a new file there
    bool plainLog = false;        // --plain-log: no interpretation after the hex lines
    ServerSettings settings;      // --functions, --uid, --offset, --out-of-synch, the faults
    bool releaseUnused = true;    // --keep-idle turns the release of idle connections off
    bool nagleOff = false;        // --nagle-off: TCP_NODELAY on every accepted connection
    bool quiet = false;           // --quiet: no event lines on standard error
    bool jsonEvents = false;      // --json-events: each event also as a JSON object on standard output
    // --publish: the registers published on the session bus, as the window's "DDE" dialog asks
    std::optional<DdeRequest> publish;
    bool help = false;
    bool version = false;
};

struct ServerOptionsParse {
    bool ok = false;
    std::string error; // one line, without the program name
    ServerOptions options;
};

// Reads the arguments (without the program name). Options take their value as the next argument
// or after "=" ("--port 1502", "--port=1502").
ServerOptionsParse ParseServerOptions(std::span<const std::string> arguments);

// The usage text, lines ended by "\n".
std::string ServerUsage();

// The dotted text of an address in host byte order ("127.0.0.1").
std::string AddressText(uint32_t address);

} // namespace korvel
