#include "master/server_connection_rules.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace korvel {
namespace {

struct FieldRow {
    const char* typed;
    bool port;
    bool okEnabled;
    const char* after;
};

TEST(ServerConnectionFields, ClampedOnEveryChange)
{
    const FieldRow rows[] = {
        {"300", false, true, "255"},         {"-5", false, true, "0"},       {"007", false, true, "7"},
        {"192", false, true, "192"},         {"", false, false, ""},         {"1a", false, false, "1a"},
        {" 12", false, true, "12"},          {"12 ", false, false, "12 "},   {"$FF", false, true, "255"},
        {"99999999999", false, true, "255"}, {"70000", true, true, "65535"}, {"0", true, true, "1"},
        {"502", true, true, "502"},          {"", true, false, ""},          {"-99999999999", true, true, "1"},
    };
    for (const FieldRow& row : rows) {
        const FieldCheck c = row.port ? PortFieldChanged(row.typed) : OctetFieldChanged(row.typed);
        EXPECT_EQ(c.okEnabled, row.okEnabled) << '"' << row.typed << '"';
        EXPECT_EQ(c.text, row.after) << '"' << row.typed << '"';
    }
}

using Octets = std::array<std::string, 4>;

TEST(ServerConnectionFields, ActivationShowsRememberedOrLocalAddress)
{
    const Activation first = ActivateServerFields({}, false, "192.168.4.20");
    EXPECT_EQ(first.fields.octets, (Octets{"192", "168", "4", "20"}));
    EXPECT_EQ(first.fields.port, "502");
    EXPECT_EQ(first.remotePort, 502);

    const Activation none = ActivateServerFields({}, false, "");
    EXPECT_EQ(none.fields.octets, (Octets{"", "", "", ""}));

    const Activation again = ActivateServerFields({{10, 0, 0, 7}, 1502}, true, "192.168.4.20");
    EXPECT_EQ(again.fields.octets, (Octets{"10", "0", "0", "7"}));
    EXPECT_EQ(again.fields.port, "1502");
    EXPECT_EQ(again.remotePort, 1502);
}

TEST(ServerConnectionFields, OkWritesTheFieldsWithDefaultsForEmptyOnes)
{
    const Confirmation ok = ConfirmServerFields({{"127", "0", "0", "1"}, "5020"});
    EXPECT_EQ(ok.serverIP, "127.0.0.1");
    EXPECT_EQ(ok.remembered.octets, (std::array<int32_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(ok.remembered.PrevPort, 5020);
    EXPECT_EQ(ok.remotePort, 5020);

    const Confirmation gap = ConfirmServerFields({{"10", "", "3", "4"}, ""});
    EXPECT_EQ(gap.serverIP, "10..3.4") << "passed on as it stands; the connect fails";
    EXPECT_EQ(gap.remembered.octets, (std::array<int32_t, 4>{10, 0, 3, 4}));
    EXPECT_EQ(gap.remembered.PrevPort, 502);
    EXPECT_FALSE(gap.remotePort.has_value()) << "the caller keeps its port";

    const Confirmation empty = ConfirmServerFields({{"", "x", "", ""}, "7"});
    EXPECT_EQ(empty.remembered.octets, (std::array<int32_t, 4>{127, 0, 0, 1}));
    EXPECT_EQ(PartnerLabelText(ok.serverIP, "5020"), "IP: 127.0.0.1  Port: 5020");
}

} // namespace
} // namespace korvel
