// Texts of the "Fault Rules" window and the status panel's "Fault rules:" row, and the window's
// command line: each row a rule as a file writes it, read by the rule file's reader, and the
// cell texts it gives.
#include "faults/fault_rules_file.h"
#include "rules/window_arguments.h"
#include "server/fault_table_rules.h"
#include "server/panel_rules.h"

#include <gtest/gtest.h>
#include <string>

namespace korvel {
namespace {

struct CellRow {
    const char* name;
    const char* keys; // the rule's keys after `fault = "no-reply"`
    const char* scope;
    const char* schedule;
};

const CellRow kCellRows[] = {
    {"NoKeys", "", "any", "always"},
    {"DefaultsSpelledOut", "skip = 0\nevery = 1\ntimes = 0\nprobability = 1.0\nafter = \"0s\"\nfor = \"0s\"", "any",
     "always"},
    {"Connection", "connection = 2", "conn 2", "always"},
    {"PeerAddress", "peer = \"127.0.0.2\"", "peer 127.0.0.2", "always"},
    {"PeerNetwork", "peer = \"10.1.2.3/8\"", "peer 10.0.0.0/8", "always"},
    {"PeerEverything", "peer = \"0.0.0.0/0\"", "peer 0.0.0.0/0", "always"},
    {"UnitRange", "unit = \"1-3\"", "unit 1-3", "always"},
    {"UnitList", "unit = [1, 5]", "unit 1,5", "always"},
    {"Functions", "function = [3, 16]", "fc 3,16", "always"},
    {"OneFunction", "function = 4", "fc 4", "always"},
    {"AddressRange", "address = \"100-199\"", "addr 100-199", "always"},
    {"LastAddress", "address = 65535", "addr 65535", "always"},
    {"EveryScopeKeyInFileOrder", "address = \"0-9\"\nfunction = 3\nunit = 7\npeer = \"127.0.0.1\"\nconnection = 1",
     "conn 1, peer 127.0.0.1, unit 7, fc 3, addr 0-9", "always"},
    {"Skip", "skip = 2", "any", "skip 2"},
    {"Every", "every = 3", "any", "every 3"},
    {"Times", "times = 5", "any", "times 5"},
    {"Probability", "probability = 0.25", "any", "p 0.25"},
    {"ProbabilityZero", "probability = 0.0", "any", "p 0"},
    {"AfterWholeSeconds", "after = \"2s\"", "any", "after 2s"},
    {"AfterMilliseconds", "after = \"250ms\"", "any", "after 250ms"},
    {"ForFractionOfSeconds", "for = \"1.5s\"", "any", "for 1500ms"},
    {"ForMinute", "for = \"1m\"", "any", "for 60s"},
    {"WholeSchedule", "for = \"10s\"\nafter = \"1s\"\nprobability = 0.5\ntimes = 4\nevery = 3\nskip = 1", "any",
     "skip 1, every 3, times 4, p 0.5, after 1s, for 10s"},
};

class FaultTableCells : public ::testing::TestWithParam<CellRow> {};

TEST_P(FaultTableCells, ScopeAndScheduleTexts)
{
    const CellRow& row = GetParam();
    const std::string text = std::string("[[rule]]\nfault = \"no-reply\"\n") + row.keys + "\n";
    const FaultRulesParse parsed = ParseFaultRules(text);
    ASSERT_TRUE(parsed.ok()) << parsed.error->text();
    ASSERT_EQ(parsed.set.rules.size(), 1u);
    EXPECT_EQ(FaultScopeText(parsed.set.rules[0]), row.scope);
    EXPECT_EQ(FaultScheduleText(parsed.set.rules[0]), row.schedule);
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultTableCells, ::testing::ValuesIn(kCellRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultRulesPanelRow, OffWithoutRulesElseActiveAndFired)
{
    EXPECT_EQ(FaultRulesText(false, 0, 0), "Off");
    // A set whose rules are all switched off is still in force.
    EXPECT_EQ(FaultRulesText(true, 0, 0), "0 active, 0 fired");
    EXPECT_EQ(FaultRulesText(true, 3, 17), "3 active, 17 fired");
    EXPECT_EQ(FaultRulesText(true, 1, 18446744073709551615u), "1 active, 18446744073709551615 fired");
    EXPECT_EQ(std::string(kCaptionFaultRules), "Fault rules:");
}

struct ArgumentRow {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> rest;
    std::string faultsFile;
    bool error;
};

const ArgumentRow kArgumentRows[] = {
    {"None", {}, {}, "", false},
    {"RegisterFileOnly", {"plant.korvel"}, {"plant.korvel"}, "", false},
    {"FaultsOnly", {"--faults", "f.toml"}, {}, "f.toml", false},
    {"FaultsAfterRegisterFile", {"plant.korvel", "--faults", "f.toml"}, {"plant.korvel"}, "f.toml", false},
    {"FaultsBeforeRegisterFile", {"--faults", "f.toml", "plant.korvel"}, {"plant.korvel"}, "f.toml", false},
    {"FaultsWithEquals", {"--faults=dir/f.toml", "/POWER_OF_ATOM"}, {"/POWER_OF_ATOM"}, "dir/f.toml", false},
    // The file name after the option is taken as it stands, blanks and all.
    {"FileNameWithBlanks", {"--faults", " my rules.toml"}, {}, " my rules.toml", false},
    {"FaultsWithoutFile", {"plant.korvel", "--faults"}, {"plant.korvel"}, "", true},
    {"FaultsWithEmptyValue", {"--faults="}, {}, "", true},
    {"FaultsTwice", {"--faults", "a.toml", "--faults=b.toml"}, {}, "", true},
    {"OtherDashedArgumentStays", {"--fault", "x"}, {"--fault", "x"}, "", false},
};

class WindowArgumentSplit : public ::testing::TestWithParam<ArgumentRow> {};

TEST_P(WindowArgumentSplit, FaultsOptionTakenOutTheRestInOrder)
{
    const ArgumentRow& row = GetParam();
    const WindowArguments split = SplitWindowArguments(row.arguments);
    EXPECT_EQ(split.rest, row.rest);
    EXPECT_EQ(split.faultsFile, row.faultsFile);
    EXPECT_EQ(!split.error.empty(), row.error) << split.error;
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowArgumentSplit, ::testing::ValuesIn(kArgumentRows),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace korvel
