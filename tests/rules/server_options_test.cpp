// korvel-server's command line: each option's effect on the options value, and every bad argument
// with its one-line error.
#include "rules/server_options.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvel {
namespace {

ServerOptionsParse Parse(std::vector<std::string> arguments)
{
    return ParseServerOptions(arguments);
}

TEST(ServerOptions, DefaultsAreTheWindowsStart)
{
    const ServerOptionsParse parse = Parse({});
    ASSERT_TRUE(parse.ok);
    const ServerOptions& o = parse.options;
    EXPECT_FALSE(o.port.has_value());
    EXPECT_EQ(o.bindAddress, 0u);
    EXPECT_TRUE(o.releaseUnused);
    EXPECT_FALSE(o.nagleOff);
    EXPECT_FALSE(o.quiet);
    EXPECT_TRUE(o.logFolder.empty());
    const ServerSettings defaults;
    EXPECT_EQ(o.settings.check.servedFlags, defaults.check.servedFlags);
    EXPECT_TRUE(o.settings.check.uidAny);
    EXPECT_FALSE(o.settings.WrongTIActive || o.settings.WrongPIDActive || o.settings.WrongLengthHBActive ||
                 o.settings.ReturnExceptionActive || o.settings.OutOfSynchActive || o.settings.check.addressOffset);
}

struct Accepted {
    const char* name;
    std::vector<std::string> arguments;
    bool (*holds)(const ServerOptions&);
};

class AcceptedOptions : public ::testing::TestWithParam<Accepted> {};

TEST_P(AcceptedOptions, SetsItsField)
{
    const ServerOptionsParse parse = Parse(GetParam().arguments);
    ASSERT_TRUE(parse.ok) << parse.error;
    EXPECT_TRUE(GetParam().holds(parse.options));
}

bool Served(const ServerOptions& o, std::initializer_list<uint8_t> on)
{
    for (uint8_t fc : {3, 4, 6, 7, 8, 16, 22, 23}) {
        const bool expected = std::find(on.begin(), on.end(), fc) != on.end();
        if (o.settings.check.served(fc) != expected)
            return false;
    }
    return true;
}

bool Publishes(const ServerOptions& o, int low, int high, bool input, bool holding)
{
    return o.publish && o.publish->low == low && o.publish->high == high && o.publish->input == input &&
           o.publish->holding == holding;
}

const Accepted kAccepted[] = {
    {"Port", {"--port", "1502"}, [](const ServerOptions& o) { return o.port == 1502; }},
    {"PortWithEquals", {"--port=65535"}, [](const ServerOptions& o) { return o.port == 65535; }},
    {"PortZeroIsTheSystemsChoice", {"--port", "0"}, [](const ServerOptions& o) { return o.port == 0; }},
    {"ShortHelp", {"-h"}, [](const ServerOptions& o) { return o.help; }},
    {"ShortVersion", {"-V"}, [](const ServerOptions& o) { return o.version; }},
    {"JsonEvents", {"--json-events"}, [](const ServerOptions& o) { return o.jsonEvents; }},
    {"Bind", {"--bind", "127.0.0.1"}, [](const ServerOptions& o) { return o.bindAddress == 0x7F000001u; }},
    {"Load", {"--load", "a.korvel"}, [](const ServerOptions& o) { return o.loadFile == "a.korvel"; }},
    {"Faults", {"--faults=rules.toml"}, [](const ServerOptions& o) { return o.faultsFile == "rules.toml"; }},
    {"NoFaults", {}, [](const ServerOptions& o) { return o.faultsFile.empty(); }},
    {"Log", {"--log", "/tmp"}, [](const ServerOptions& o) { return o.logFolder == "/tmp" && !o.plainLog; }},
    {"PlainLog", {"--log", "/tmp", "--plain-log"}, [](const ServerOptions& o) { return o.plainLog; }},
    {"Functions",
     {"--functions", "3,16,23"},
     [](const ServerOptions& o) {
         return Served(o, {3, 16, 23});
     }},
    {"OneFunction", {"--functions=7"}, [](const ServerOptions& o) { return Served(o, {7}); }},
    {"UidAny", {"--uid", "0"}, [](const ServerOptions& o) { return o.settings.check.uidAny; }},
    {"Uid",
     {"--uid", "17"},
     [](const ServerOptions& o) { return !o.settings.check.uidAny && o.settings.check.uid == 17; }},
    {"UidZeroOnly",
     {"--uid", "00"},
     [](const ServerOptions& o) { return !o.settings.check.uidAny && o.settings.check.uid == 0; }},
    {"Offset", {"--offset"}, [](const ServerOptions& o) { return o.settings.check.addressOffset; }},
    {"OutOfSynch", {"--out-of-synch"}, [](const ServerOptions& o) { return o.settings.OutOfSynchActive; }},
    {"HeaderFaultsTogether",
     {"--wrong-ti", "--wrong-pid", "--wrong-length"},
     [](const ServerOptions& o) {
         return o.settings.WrongTIActive && o.settings.WrongPIDActive && o.settings.WrongLengthHBActive;
     }},
    {"Exception",
     {"--exception", "11"},
     [](const ServerOptions& o) { return o.settings.ReturnExceptionActive && o.settings.ForcedExceptionCode == 11; }},
    {"KeepIdle", {"--keep-idle"}, [](const ServerOptions& o) { return !o.releaseUnused; }},
    {"NagleOff", {"--nagle-off"}, [](const ServerOptions& o) { return o.nagleOff; }},
    {"Quiet", {"--quiet"}, [](const ServerOptions& o) { return o.quiet; }},
    {"Help", {"--help"}, [](const ServerOptions& o) { return o.help; }},
    {"Version", {"--version"}, [](const ServerOptions& o) { return o.version; }},
    {"NoPublishing", {}, [](const ServerOptions& o) { return !o.publish; }},
    {"PublishAll", {"--publish", "all"}, [](const ServerOptions& o) { return Publishes(o, 0, 65535, true, true); }},
    {"PublishInput", {"--publish=input"}, [](const ServerOptions& o) { return Publishes(o, 0, 65535, true, false); }},
    {"PublishHolding",
     {"--publish", "holding"},
     [](const ServerOptions& o) { return Publishes(o, 0, 65535, false, true); }},
    {"PublishInputRange",
     {"--publish", "input:5-9"},
     [](const ServerOptions& o) { return Publishes(o, 5, 9, true, false); }},
    {"PublishHoldingRange",
     {"--publish", "holding:10-12"},
     [](const ServerOptions& o) { return Publishes(o, 10, 12, false, true); }},
    {"PublishOneHolding",
     {"--publish", "holding:7-7"},
     [](const ServerOptions& o) { return Publishes(o, 7, 7, false, true); }},
    {"PublishBothRange",
     {"--publish", "both:0-65535"},
     [](const ServerOptions& o) { return Publishes(o, 0, 65535, true, true); }},
};
INSTANTIATE_TEST_SUITE_P(Rows, AcceptedOptions, ::testing::ValuesIn(kAccepted),
                         [](const auto& info) { return std::string(info.param.name); });

struct Rejected {
    const char* name;
    std::vector<std::string> arguments;
    const char* error;
};

class RejectedOptions : public ::testing::TestWithParam<Rejected> {};

TEST_P(RejectedOptions, OneLineError)
{
    const ServerOptionsParse parse = Parse(GetParam().arguments);
    EXPECT_FALSE(parse.ok);
    EXPECT_EQ(parse.error, GetParam().error);
}

#define PUBLISH_ERROR(value)                                                                                           \
    "--publish takes input, holding, all, input:L-H, holding:L-H or both:L-H with 0 <= L <= H <= 65535, not \"" value  \
    "\""

const Rejected kRejected[] = {
    {"Unknown", {"--colour"}, "unknown argument \"--colour\""},
    {"Positional", {"file.korvel"}, "unknown argument \"file.korvel\""},
    {"SingleDash", {"-port", "1"}, "unknown argument \"-port\""},
    {"PortMissing", {"--port"}, "--port needs a value"},
    {"FaultsEmpty", {"--faults="}, "--faults needs a rule file"},
    {"FaultsMissing", {"--faults"}, "--faults needs a value"},
    {"PortTooHigh", {"--port", "65536"}, "--port needs a port number 1-65535 (0: any free port), not \"65536\""},
    {"PortText", {"--port=abc"}, "--port needs a port number 1-65535 (0: any free port), not \"abc\""},
    {"PortSigned", {"--port", "+80"}, "--port needs a port number 1-65535 (0: any free port), not \"+80\""},
    {"BindName", {"--bind", "localhost"}, "--bind needs an IPv4 address such as 127.0.0.1, not \"localhost\""},
    {"FunctionUnknown", {"--functions", "3,5"}, "--functions takes function codes from 3,4,6,7,8,16,22,23, not \"5\""},
    {"FunctionsEmptyPart", {"--functions", "3,"}, "--functions takes function codes from 3,4,6,7,8,16,22,23, not \"\""},
    {"UidTooHigh", {"--uid", "256"}, "--uid needs a unit identifier 0-255 (0: any), not \"256\""},
    {"ExceptionNine", {"--exception", "9"}, "--exception takes a code from 1-8, 10, 11, not \"9\""},
    {"ExceptionZero", {"--exception=0"}, "--exception takes a code from 1-8, 10, 11, not \"0\""},
    {"ExceptionWithHeaderFault",
     {"--wrong-pid", "--exception", "2"},
     "--exception cannot be combined with --wrong-ti, --wrong-pid or --wrong-length"},
    {"FlagWithValue", {"--quiet=yes"}, "--quiet takes no value"},
    {"Twice", {"--port", "1", "--port", "2"}, "--port given twice"},
    {"PlainLogAlone", {"--plain-log"}, "--plain-log needs --log"},
    {"LoadEmpty", {"--load="}, "--load needs a file name"},
    {"PublishMissing", {"--publish"}, "--publish needs a value"},
    {"PublishUnknown", {"--publish", "foo"}, PUBLISH_ERROR("foo")},
    {"PublishEmpty", {"--publish="}, PUBLISH_ERROR("")},
    {"PublishOneBound", {"--publish", "input:5"}, PUBLISH_ERROR("input:5")},
    {"PublishReversed", {"--publish", "holding:9-3"}, PUBLISH_ERROR("holding:9-3")},
    {"PublishPastTheTable", {"--publish", "both:0-70000"}, PUBLISH_ERROR("both:0-70000")},
    {"PublishBothWithoutRange", {"--publish", "both"}, PUBLISH_ERROR("both")},
    {"PublishAllWithRange", {"--publish", "all:1-2"}, PUBLISH_ERROR("all:1-2")},
    {"PublishNegative", {"--publish", "input:-1-5"}, PUBLISH_ERROR("input:-1-5")},
    {"PublishHex", {"--publish", "input:0x10-0x20"}, PUBLISH_ERROR("input:0x10-0x20")},
    {"PublishBlank", {"--publish", "input: 1-2"}, PUBLISH_ERROR("input: 1-2")},
    {"PublishUpperCase", {"--publish", "Input"}, PUBLISH_ERROR("Input")},
};
INSTANTIATE_TEST_SUITE_P(Rows, RejectedOptions, ::testing::ValuesIn(kRejected),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvel
