#include "rules/server_options.h"

#include "common/modbus_protocol.h"

#include <algorithm>
#include <arpa/inet.h>
#include <charconv>
#include <vector>

namespace korvel {

namespace {

// A whole decimal number in [low, high], nothing else.
std::optional<int> DecimalIn(std::string_view text, int low, int high)
{
    if (text.empty() || text.size() > 6 ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    int value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

std::vector<std::string_view> Split(std::string_view text, char separator)
{
    std::vector<std::string_view> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + 1;
    }
}

enum class Takes { Nothing, Value };

struct OptionRow {
    std::string_view name;
    Takes takes;
    // Applies the option; returns an error text, empty on success.
    std::string (*apply)(ServerOptions& options, std::string_view value);
};

std::string Port(ServerOptions& o, std::string_view v)
{
    const auto port = DecimalIn(v, 0, 65535);
    if (!port)
        return "--port needs a port number 1-65535 (0: any free port), not \"" + std::string(v) + "\"";
    o.port = static_cast<uint16_t>(*port);
    return {};
}

std::string Bind(ServerOptions& o, std::string_view v)
{
    in_addr address{};
    if (::inet_pton(AF_INET, std::string(v).c_str(), &address) != 1)
        return "--bind needs an IPv4 address such as 127.0.0.1, not \"" + std::string(v) + "\"";
    o.bindAddress = ntohl(address.s_addr);
    return {};
}

std::string Load(ServerOptions& o, std::string_view v)
{
    if (v.empty())
        return "--load needs a file name";
    o.loadFile = v;
    return {};
}

std::string Faults(ServerOptions& o, std::string_view v)
{
    if (v.empty())
        return "--faults needs a rule file";
    o.faultsFile = v;
    return {};
}

std::string Log(ServerOptions& o, std::string_view v)
{
    if (v.empty())
        return "--log needs a folder";
    o.logFolder = v;
    return {};
}

std::string Functions(ServerOptions& o, std::string_view v)
{
    std::array<bool, kFunctionCount> served{};
    for (std::string_view part : Split(v, ',')) {
        const auto code = DecimalIn(part, 0, 255);
        const FunctionInfo* function = code ? FindFunction(static_cast<uint8_t>(*code)) : nullptr;
        if (!function)
            return "--functions takes function codes from 3,4,6,7,8,16,22,23, not \"" + std::string(part) + "\"";
        served[function->servedIndex] = true;
    }
    o.settings.check.servedFlags = served;
    return {};
}

std::string Uid(ServerOptions& o, std::string_view v)
{
    if (!DecimalIn(v, 0, 255))
        return "--uid needs a unit identifier 0-255 (0: any), not \"" + std::string(v) + "\"";
    // The UID selector's text: exactly "0" answers any unit identifier, "00" only unit 0.
    o.settings.check.setUidSelectorText(std::string(v));
    return {};
}

std::string Exception(ServerOptions& o, std::string_view v)
{
    const auto code = DecimalIn(v, 0, 255);
    if (!code || !ExceptionName(static_cast<uint8_t>(*code)))
        return "--exception takes a code from 1-8, 10, 11, not \"" + std::string(v) + "\"";
    o.settings.ReturnExceptionActive = true;
    o.settings.ForcedExceptionCode = static_cast<uint8_t>(*code);
    return {};
}

// The forms of --publish: a name alone, or a name with ":L-H", and the dialog choice each one is.
struct PublishForm {
    std::string_view name;
    bool range;
    int choice;
};
constexpr PublishForm kPublishForms[] = {
    {"all", false, kAllInputAndHolding},   {"input", false, kInputRegisters}, {"input", true, kInputRange},
    {"holding", false, kHoldingRegisters}, {"holding", true, kHoldingRange},  {"both", true, kInputAndHoldingRange},
};

std::string Publish(ServerOptions& o, std::string_view v)
{
    const std::string error = "--publish takes input, holding, all, input:L-H, holding:L-H or both:L-H with "
                              "0 <= L <= H <= 65535, not \"" +
                              std::string(v) + "\"";
    const size_t colon = v.find(':');
    const std::string_view name = v.substr(0, colon);
    const bool range = colon != std::string_view::npos;
    const auto form = std::find_if(std::begin(kPublishForms), std::end(kPublishForms),
                                   [&](const PublishForm& f) { return f.name == name && f.range == range; });
    if (form == std::end(kPublishForms))
        return error;
    std::string_view from;
    std::string_view to;
    if (range) {
        const std::vector<std::string_view> bounds = Split(v.substr(colon + 1), '-');
        // Plain decimal bounds only; the order and the limits are the dialog's own check.
        if (bounds.size() != 2 || !DecimalIn(bounds[0], 0, 999999) || !DecimalIn(bounds[1], 0, 999999))
            return error;
        from = bounds[0];
        to = bounds[1];
    }
    o.publish = DdeSelection(form->choice, from, to);
    return o.publish ? std::string() : error;
}

constexpr OptionRow kOptions[] = {
    {"--port", Takes::Value, Port},
    {"--bind", Takes::Value, Bind},
    {"--load", Takes::Value, Load},
    {"--faults", Takes::Value, Faults},
    {"--log", Takes::Value, Log},
    {"--plain-log", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.plainLog = true, std::string()); }},
    {"--functions", Takes::Value, Functions},
    {"--uid", Takes::Value, Uid},
    {"--offset", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.settings.check.addressOffset = true, std::string()); }},
    {"--out-of-synch", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.settings.OutOfSynchActive = true, std::string()); }},
    {"--wrong-ti", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.settings.WrongTIActive = true, std::string()); }},
    {"--wrong-pid", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.settings.WrongPIDActive = true, std::string()); }},
    {"--wrong-length", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.settings.WrongLengthHBActive = true, std::string()); }},
    {"--exception", Takes::Value, Exception},
    {"--keep-idle", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.releaseUnused = false, std::string()); }},
    {"--nagle-off", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.nagleOff = true, std::string()); }},
    {"--publish", Takes::Value, Publish},
    {"--quiet", Takes::Nothing, [](ServerOptions& o, std::string_view) { return (o.quiet = true, std::string()); }},
    {"--json-events", Takes::Nothing,
     [](ServerOptions& o, std::string_view) { return (o.jsonEvents = true, std::string()); }},
    {"--help", Takes::Nothing, [](ServerOptions& o, std::string_view) { return (o.help = true, std::string()); }},
    {"--version", Takes::Nothing, [](ServerOptions& o, std::string_view) { return (o.version = true, std::string()); }},
};

} // namespace

ServerOptionsParse ParseServerOptions(std::span<const std::string> arguments)
{
    ServerOptionsParse result;
    std::vector<std::string_view> seen;
    for (size_t i = 0; i < arguments.size(); ++i) {
        // The short forms every command-line program takes.
        const std::string_view argument = arguments[i] == "-h"   ? std::string_view("--help")
                                          : arguments[i] == "-V" ? std::string_view("--version")
                                                                 : std::string_view(arguments[i]);
        const size_t equals = argument.find('=');
        const std::string_view name = argument.substr(0, equals);
        const auto row = std::find_if(std::begin(kOptions), std::end(kOptions),
                                      [name](const OptionRow& r) { return r.name == name; });
        if (row == std::end(kOptions) || !argument.starts_with("--")) {
            result.error = "unknown argument \"" + std::string(argument) + "\"";
            return result;
        }
        if (std::find(seen.begin(), seen.end(), row->name) != seen.end()) {
            result.error = std::string(row->name) + " given twice";
            return result;
        }
        seen.push_back(row->name);
        std::string_view value;
        if (row->takes == Takes::Value) {
            if (equals != std::string_view::npos) {
                value = argument.substr(equals + 1);
            } else if (i + 1 < arguments.size()) {
                value = arguments[++i];
            } else {
                result.error = std::string(row->name) + " needs a value";
                return result;
            }
        } else if (equals != std::string_view::npos) {
            result.error = std::string(row->name) + " takes no value";
            return result;
        }
        std::string error = row->apply(result.options, value);
        if (!error.empty()) {
            result.error = std::move(error);
            return result;
        }
    }
    const ServerSettings& s = result.options.settings;
    // As in the window: a forced exception and the header faults exclude each other.
    if (s.ReturnExceptionActive && (s.WrongTIActive || s.WrongPIDActive || s.WrongLengthHBActive)) {
        result.error = "--exception cannot be combined with --wrong-ti, --wrong-pid or --wrong-length";
        return result;
    }
    if (result.options.plainLog && result.options.logFolder.empty()) {
        result.error = "--plain-log needs --log";
        return result;
    }
    result.ok = true;
    return result;
}

std::string ServerUsage()
{
    return "usage: korvel-server [--port N] [--bind ADDR] [--load FILE.korvel] [--log DIR] [--plain-log]\n"
           "                     [--functions 3,4,6,...] [--uid N] [--offset] [--out-of-synch]\n"
           "                     [[--wrong-ti] [--wrong-pid] [--wrong-length] | --exception CODE]\n"
           "                     [--keep-idle] [--nagle-off] [--faults FILE.toml]\n"
           "                     [--publish input|holding|all|input:L-H|holding:L-H|both:L-H]\n"
           "                     [--quiet] [--json-events] [-h|--help] [-V|--version]\n"
           "A Modbus/TCP server simulating a device with 65536 holding and 65536 input registers.\n"
           "  --port N           listen on port N (default 502, or KORVEL_PORT; 0: a free port)\n"
           "  --bind ADDR        listen on this IPv4 address only (default: all)\n"
           "  --load FILE        load register values from a variable-list file (.korvel)\n"
           "  --log DIR          record every session (first connection until both close) into DIR\n"
           "                     (created when missing)\n"
           "  --plain-log        log hex lines only, without the interpretation\n"
           "  --functions LIST   serve only these function codes (default all: 3,4,6,7,8,16,22,23)\n"
           "  --uid N            answer only unit identifier N (0: any, the default; 00: unit 0 only)\n"
           "  --offset           use the address offset (register used = requested address + 1)\n"
           "  --out-of-synch     answer every request one frame late\n"
           "  --wrong-ti         reply with transaction identifier DE AD\n"
           "  --wrong-pid        reply with protocol identifier AB CD\n"
           "  --wrong-length     reply with length high byte EF\n"
           "  --exception CODE   answer every request with this exception code (1-8, 10, 11)\n"
           "  --keep-idle        keep idle connections (default: release after more than 60 s)\n"
           "  --nagle-off        disable Nagle's algorithm on every connection\n"
           "  --faults FILE      apply the fault rules of FILE (TOML) before listening; D-Bus\n"
           "                     org.korvel.Faults changes them while serving\n"
           "  --publish WHAT     publish registers on the D-Bus session bus (topics /input and /holding):\n"
           "                     input, holding, all (both tables), or a range input:L-H, holding:L-H,\n"
           "                     both:L-H (L and H from 0-65535)\n"
           "  --quiet            no event lines on standard error\n"
           "  --json-events      each event also as one JSON object per line on standard output\n"
           "  -h, --help         this text;  -V, --version  the version\n"
           "Exit codes: 0 stopped by SIGTERM or SIGINT, 1 file or folder unusable or a rule file with an\n"
           "error, 2 port unusable, 64 bad arguments.\n";
}

std::string AddressText(uint32_t address)
{
    std::string text = std::to_string(address >> 24);
    for (const int shift : {16, 8, 0}) {
        text += '.';
        text += std::to_string((address >> shift) & 0xFF);
    }
    return text;
}

} // namespace korvel
