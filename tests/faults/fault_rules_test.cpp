#include "faults/fault_rules.h"
#include "server/server_engine.h"
#include "support/hex_bytes.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

// Rules are written with designated initializers that name only the fields a row sets; the rest
// keep their defaults on purpose.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace korvel {
namespace {

using testing_hex::Bytes;
using testing_hex::Hex;
using Shape = DelayParameter::Shape;

constexpr uint32_t kLocalhost = 0x7F000001;
const char* const kFc3Request = "00 01 00 00 00 06 01 03 00 64 00 0A"; // 10 registers from 100
const char* const kFc3Reply = "00 01 00 00 00 07 01 03 04 00 0A 00 0B";

FaultRule RuleOf(FaultKind kind, std::string name = "r")
{
    FaultRule rule;
    rule.name = std::move(name);
    rule.kind = kind;
    rule.bytes = DefaultFaultBytes(kind);
    return rule;
}

FaultRequest RequestOf(const std::string& hex, int connection = 1, uint32_t peer = kLocalhost, uint64_t now = 0)
{
    return FaultRequestOf(Bytes(hex), connection, peer, now);
}

std::string HexOf(const std::vector<uint8_t>& bytes)
{
    return Hex(bytes.data(), static_cast<int>(bytes.size()));
}

// ---- request facts ----

struct FactsCase {
    const char* name;
    const char* request;
    uint8_t unit;
    uint8_t function;
    std::vector<AddressRange> ranges;
    int offset = 0;
};

class FactsTest : public testing::TestWithParam<FactsCase> {};

TEST_P(FactsTest, RangesFromTheFrame)
{
    const FactsCase& c = GetParam();
    const FaultRequest r = FaultRequestOf(Bytes(c.request), 2, kLocalhost, 5, c.offset);
    EXPECT_EQ(r.connection, 2);
    EXPECT_EQ(r.unit, c.unit);
    EXPECT_EQ(r.function, c.function);
    EXPECT_EQ(std::vector<AddressRange>(r.ranges.begin(), r.ranges.begin() + r.rangeCount), c.ranges);
}

const FactsCase kFactsRows[] = {
    {"Fc3", "12 34 00 00 00 06 05 03 00 64 00 0A", 5, 3, {{100, 109}}},
    {"Fc3WithOffset", "12 34 00 00 00 06 05 03 00 64 00 0A", 5, 3, {{101, 110}}, 1},
    {"Fc4AtTheTop", "00 01 00 00 00 06 01 04 FF FE 00 05", 1, 4, {{65534, 65535}}},
    {"Fc3QuantityZero", "00 01 00 00 00 06 01 03 00 64 00 00", 1, 3, {}},
    {"Fc6", "00 01 00 00 00 06 01 06 00 0A 12 34", 1, 6, {{10, 10}}},
    {"Fc16", "00 01 00 00 00 0B 01 10 00 64 00 02 04 11 11 22 22", 1, 16, {{100, 101}}},
    {"Fc22", "00 01 00 00 00 08 01 16 00 05 00 F2 00 25", 1, 22, {{5, 5}}},
    {"Fc23ReadAndWrite",
     "00 17 00 00 00 0F 01 17 00 63 00 04 00 C8 00 02 04 AA AA BB BB",
     1,
     23,
     {{99, 102}, {200, 201}}},
    {"Fc7", "00 07 00 00 00 02 01 07", 1, 7, {}},
    {"Fc8", "00 08 00 00 00 06 01 08 00 0A 00 00", 1, 8, {}},
    {"ShortFc3", "00 01 00 00 00 06 01 03 00", 1, 3, {}},
};
INSTANTIATE_TEST_SUITE_P(Faults, FactsTest, testing::ValuesIn(kFactsRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultFacts, Ipv4Texts)
{
    EXPECT_EQ(ParseIpv4("127.0.0.1"), kLocalhost);
    EXPECT_EQ(ParseIpv4("10.20.30.255"), 0x0A141EFFu);
    for (const char* bad : {"", "127.0.0", "127.0.0.1.", "256.0.0.1", "1.2.3.4x", "1..2.3", "0001.2.3.4", " 1.2.3.4"}) {
        EXPECT_FALSE(ParseIpv4(bad).has_value()) << bad;
    }
}

// ---- scope ----

struct ScopeCase {
    const char* name;
    std::function<void(FaultRule&)> scope;
    const char* request;
    int connection;
    const char* peer;
    bool matches;
};

class ScopeTest : public testing::TestWithParam<ScopeCase> {};

TEST_P(ScopeTest, MatchesOnlyItsRequests)
{
    const ScopeCase& c = GetParam();
    FaultRule rule = RuleOf(FaultKind::WrongPid);
    c.scope(rule);
    FaultRules rules(FaultRuleSet{1, {rule}});
    const FaultPlan plan = rules.evaluate(RequestOf(c.request, c.connection, *ParseIpv4(c.peer)), Bytes(kFc3Reply));
    EXPECT_EQ(plan.faulted(), c.matches);
    EXPECT_EQ(rules.counters()[0].matched, c.matches ? 1u : 0u);
    EXPECT_EQ(rules.firedTotal(), c.matches ? 1u : 0u);
}

const char* const kFc23 =
    "00 17 00 00 00 0F 01 17 00 63 00 04 00 C8 00 02 04 AA AA BB BB"; // reads 99-102, writes 200-201

void All(FaultRule& r)
{
    r.connection = 2;
    r.peer = PeerScope{0x0A000000, 0xFF000000};
    r.units = {{1, 3}, {7, 7}};
    r.functions = {3, 4};
    r.addresses = {{105, 199}};
}

const ScopeCase kScopeRows[] = {
    {"NoScopeMatchesAny", [](FaultRule&) {}, kFc3Request, 1, "127.0.0.1", true},
    {"ConnectionSame", [](FaultRule& r) { r.connection = 2; }, kFc3Request, 2, "127.0.0.1", true},
    {"ConnectionOther", [](FaultRule& r) { r.connection = 2; }, kFc3Request, 1, "127.0.0.1", false},
    {"PeerSame",
     [](FaultRule& r) {
         r.peer = PeerScope{0x7F000002, 0xFFFFFFFF};
     },
     kFc3Request, 1, "127.0.0.2", true},
    {"PeerOther",
     [](FaultRule& r) {
         r.peer = PeerScope{0x7F000002, 0xFFFFFFFF};
     },
     kFc3Request, 1, "127.0.0.1", false},
    {"PeerInNetwork",
     [](FaultRule& r) {
         r.peer = PeerScope{0x0A000000, 0xFF000000};
     },
     kFc3Request, 1, "10.9.8.7", true},
    {"PeerOutsideNetwork",
     [](FaultRule& r) {
         r.peer = PeerScope{0x0A000000, 0xFF000000};
     },
     kFc3Request, 1, "11.0.0.1", false},
    {"UnitInRange",
     [](FaultRule& r) {
         r.units = {{1, 3}};
     },
     "00 01 00 00 00 06 03 03 00 64 00 0A", 1, "127.0.0.1", true},
    {"UnitInList",
     [](FaultRule& r) {
         r.units = {{1, 3}, {7, 7}};
     },
     "00 01 00 00 00 06 07 03 00 64 00 0A", 1, "127.0.0.1", true},
    {"UnitOutside",
     [](FaultRule& r) {
         r.units = {{1, 3}, {7, 7}};
     },
     "00 01 00 00 00 06 04 03 00 64 00 0A", 1, "127.0.0.1", false},
    {"FunctionListed",
     [](FaultRule& r) {
         r.functions = {4, 3};
     },
     kFc3Request, 1, "127.0.0.1", true},
    {"FunctionNotListed",
     [](FaultRule& r) {
         r.functions = {4, 16};
     },
     kFc3Request, 1, "127.0.0.1", false},
    {"FunctionAbove127", [](FaultRule& r) { r.functions = {200}; }, "00 01 00 00 00 02 01 C8", 1, "127.0.0.1", true},
    {"AddressOverlapsTheStart",
     [](FaultRule& r) {
         r.addresses = {{90, 100}};
     },
     kFc3Request, 1, "127.0.0.1", true},
    {"AddressOverlapsTheEnd",
     [](FaultRule& r) {
         r.addresses = {{109, 300}};
     },
     kFc3Request, 1, "127.0.0.1", true},
    {"AddressInside",
     [](FaultRule& r) {
         r.addresses = {{104, 104}};
     },
     kFc3Request, 1, "127.0.0.1", true},
    {"AddressJustBelow",
     [](FaultRule& r) {
         r.addresses = {{0, 99}};
     },
     kFc3Request, 1, "127.0.0.1", false},
    {"AddressJustAbove",
     [](FaultRule& r) {
         r.addresses = {{110, 65535}};
     },
     kFc3Request, 1, "127.0.0.1", false},
    {"AddressSecondListed",
     [](FaultRule& r) {
         r.addresses = {{0, 5}, {105, 105}};
     },
     kFc3Request, 1, "127.0.0.1", true},
    {"AddressFc23WriteRange",
     [](FaultRule& r) {
         r.addresses = {{201, 201}};
     },
     kFc23, 1, "127.0.0.1", true},
    {"AddressFc23Between",
     [](FaultRule& r) {
         r.addresses = {{103, 199}};
     },
     kFc23, 1, "127.0.0.1", false},
    {"AddressFc8TouchesNone",
     [](FaultRule& r) {
         r.addresses = {{0, 65535}};
     },
     "00 08 00 00 00 06 01 08 00 00 12 34", 1, "127.0.0.1", false},
    {"AllKeysMatch", All, "00 01 00 00 00 06 07 04 00 64 00 0A", 2, "10.1.2.3", true},
    {"AllKeysButConnection", All, "00 01 00 00 00 06 07 04 00 64 00 0A", 1, "10.1.2.3", false},
    {"AllKeysButPeer", All, "00 01 00 00 00 06 07 04 00 64 00 0A", 2, "192.168.1.1", false},
    {"AllKeysButUnit", All, "00 01 00 00 00 06 08 04 00 64 00 0A", 2, "10.1.2.3", false},
    {"AllKeysButFunction", All, "00 01 00 00 00 06 07 06 00 64 00 0A", 2, "10.1.2.3", false},
    {"AllKeysButAddress", All, "00 01 00 00 00 06 07 04 00 00 00 0A", 2, "10.1.2.3", false},
    {"Disabled", [](FaultRule& r) { r.enabled = false; }, kFc3Request, 1, "127.0.0.1", false},
};
INSTANTIATE_TEST_SUITE_P(Faults, ScopeTest, testing::ValuesIn(kScopeRows),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- schedule ----

// Fires of one rule over a request sequence: "x" fired, "." passed.
std::string Pattern(FaultRules& rules, int requests, uint64_t stepMs = 0,
                    const std::vector<std::string>& frames = {kFc3Request})
{
    std::string out;
    for (int i = 0; i < requests; ++i) {
        const std::string& frame = frames[static_cast<size_t>(i) % frames.size()];
        out += rules.evaluate(RequestOf(frame, 1, kLocalhost, static_cast<uint64_t>(i) * stepMs), Bytes(kFc3Reply))
                       .faulted()
                   ? 'x'
                   : '.';
    }
    return out;
}

struct ScheduleCase {
    const char* name;
    uint64_t skip, every, times;
    const char* fires; // over 12 requests
};

class ScheduleTest : public testing::TestWithParam<ScheduleCase> {};

TEST_P(ScheduleTest, FiresOnTheRightRequests)
{
    const ScheduleCase& c = GetParam();
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.skip = c.skip;
    rule.every = c.every;
    rule.times = c.times;
    FaultRules rules(FaultRuleSet{1, {rule}});
    EXPECT_EQ(Pattern(rules, 12), c.fires);
    EXPECT_EQ(rules.counters()[0].matched, 12u);
}

const ScheduleCase kScheduleRows[] = {
    {"Always", 0, 1, 0, "xxxxxxxxxxxx"},
    {"SkipThree", 3, 1, 0, "...xxxxxxxxx"},
    {"EveryThird", 0, 3, 0, "..x..x..x..x"},
    {"TimesTwo", 0, 1, 2, "xx.........."},
    {"SkipTwoEveryFourth", 2, 4, 0, ".....x...x.."},
    {"SkipEveryTimes", 1, 2, 3, "..x.x.x....."},
};
INSTANTIATE_TEST_SUITE_P(Faults, ScheduleTest, testing::ValuesIn(kScheduleRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultSchedule, CountsOnlyRequestsInScope)
{
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.functions = {3};
    rule.every = 2;
    FaultRules rules(FaultRuleSet{1, {rule}});
    // FC3, FC6, FC3, FC6 ...: every second FC3 fires, the FC6 ones do not count.
    EXPECT_EQ(Pattern(rules, 8, 0, {kFc3Request, "00 01 00 00 00 06 01 06 00 0A 12 34"}), "..x...x.");
    EXPECT_EQ(rules.counters()[0].matched, 4u);
    EXPECT_EQ(rules.counters()[0].fired, 2u);
}

FaultRules Chance(uint64_t seed, double p, std::vector<uint8_t> functions = {})
{
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.probability = p;
    rule.functions = std::move(functions);
    return FaultRules(FaultRuleSet{seed, {rule}});
}

TEST(FaultSchedule, ProbabilityFollowsTheSeed)
{
    FaultRules first = Chance(42, 0.5);
    FaultRules again = Chance(42, 0.5);
    FaultRules other = Chance(43, 0.5);
    const std::string a = Pattern(first, 200);
    EXPECT_EQ(Pattern(again, 200), a);
    EXPECT_NE(Pattern(other, 200), a);
    const auto fired = std::count(a.begin(), a.end(), 'x');
    EXPECT_GT(fired, 70);
    EXPECT_LT(fired, 130);
    EXPECT_EQ(first.counters()[0].fired, static_cast<uint64_t>(fired));
}

TEST(FaultSchedule, ProbabilityDrawsOnlyInScope)
{
    // The FC3 requests fire the same whether FC6 requests come between them or not.
    FaultRules alone = Chance(7, 0.3, {3});
    FaultRules mixed = Chance(7, 0.3, {3});
    const std::string a = Pattern(alone, 60);
    const std::string m = Pattern(mixed, 120, 0, {kFc3Request, "00 01 00 00 00 06 01 06 00 0A 12 34"});
    std::string mFc3;
    for (size_t i = 0; i < m.size(); i += 2) {
        mFc3 += m[i];
        EXPECT_EQ(m[i + 1], '.');
    }
    EXPECT_EQ(mFc3, a);
}

TEST(FaultSchedule, ProbabilityZeroAndOne)
{
    FaultRules never = Chance(1, 0.0);
    FaultRules always = Chance(1, 1.0);
    EXPECT_EQ(Pattern(never, 20), std::string(20, '.'));
    EXPECT_EQ(Pattern(always, 20), std::string(20, 'x'));
    EXPECT_EQ(never.counters()[0].matched, 20u);
}

TEST(FaultSchedule, RulesDrawFromTheirOwnGenerators)
{
    // Two rules of the same set with the same probability fire on different requests.
    FaultRule a = RuleOf(FaultKind::WrongPid, "a");
    FaultRule b = RuleOf(FaultKind::WrongLength, "b");
    a.probability = b.probability = 0.5;
    FaultRules rules(FaultRuleSet{9, {a, b}});
    std::string firedA;
    std::string firedB;
    for (int i = 0; i < 64; ++i) {
        const FaultPlan plan = rules.evaluate(RequestOf(kFc3Request), Bytes(kFc3Reply));
        bool hitA = false;
        bool hitB = false;
        for (const FiredFault& f : plan.fired) {
            hitA = hitA || f.name == "a";
            hitB = hitB || f.name == "b";
        }
        firedA += hitA ? 'x' : '.';
        firedB += hitB ? 'x' : '.';
    }
    EXPECT_NE(firedA, firedB);
}

TEST(FaultSchedule, GeneratorIsSplitmix64)
{
    // The streams are part of what a seed means to a user: they must not change between versions.
    FaultGenerator g(0);
    EXPECT_EQ(g.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(g.next(), 0x6E789E6AA1B965F4ull);
    FaultGenerator u(5);
    for (int i = 0; i < 1000; ++i) {
        const uint32_t v = u.between(10, 12);
        EXPECT_GE(v, 10u);
        EXPECT_LE(v, 12u);
        const double d = u.unit();
        EXPECT_GE(d, 0.0);
        EXPECT_LT(d, 1.0);
    }
}

struct WindowCase {
    const char* name;
    uint64_t afterMs, forMs;
    const char* fires; // requests at 0, 100, 200 ... 900 ms
};

class WindowTest : public testing::TestWithParam<WindowCase> {};

TEST_P(WindowTest, ActiveOnlyInItsWindow)
{
    const WindowCase& c = GetParam();
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.afterMs = c.afterMs;
    rule.forMs = c.forMs;
    rule.every = 1;
    FaultRules rules(FaultRuleSet{1, {rule}});
    const std::string fires = Pattern(rules, 10, 100);
    EXPECT_EQ(fires, c.fires);
    // Outside its window a request is not counted as matched.
    EXPECT_EQ(rules.counters()[0].matched, static_cast<uint64_t>(std::count(fires.begin(), fires.end(), 'x')));
}

const WindowCase kWindowRows[] = {
    {"ForEver", 0, 0, "xxxxxxxxxx"},
    {"AfterOneAndAHalfTenths", 150, 0, "..xxxxxxxx"},
    {"AfterExactlyThreeTenths", 300, 0, "...xxxxxxx"},
    {"ForTwoTenths", 0, 200, "xx........"},
    {"AfterAndFor", 200, 300, "..xxx....."},
};
INSTANTIATE_TEST_SUITE_P(Faults, WindowTest, testing::ValuesIn(kWindowRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultSchedule, EveryCountsFromTheStartOfTheWindow)
{
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.afterMs = 300;
    rule.every = 2;
    FaultRules rules(FaultRuleSet{1, {rule}});
    EXPECT_EQ(Pattern(rules, 10, 100), "....x.x.x.");
}

// ---- every kind's bytes ----

struct KindCase {
    const char* name;
    FaultRule rule;
    const char* request;
    const char* reply;
    std::vector<std::pair<uint32_t, std::string>> sends;
    FaultConnectionAction action = FaultConnectionAction::None;
};

FaultRule With(FaultKind kind, const std::function<void(FaultRule&)>& set)
{
    FaultRule rule = RuleOf(kind);
    set(rule);
    return rule;
}

class KindTest : public testing::TestWithParam<KindCase> {};

TEST_P(KindTest, BytesExact)
{
    const KindCase& c = GetParam();
    FaultRules rules(FaultRuleSet{1, {c.rule}});
    const FaultPlan plan = rules.evaluate(RequestOf(c.request), Bytes(c.reply));
    ASSERT_EQ(plan.fired.size(), 1u);
    EXPECT_EQ(plan.fired[0], (FiredFault{"r", c.rule.kind}));
    std::vector<std::pair<uint32_t, std::string>> sends;
    for (const FaultSend& s : plan.sends) {
        sends.emplace_back(s.delayMs, HexOf(s.bytes));
    }
    EXPECT_EQ(sends, c.sends);
    EXPECT_EQ(plan.action, c.action);
}

const char* const kFc3x2 = "00 01 00 00 00 06 01 03 00 00 00 02";
const char* const kFc3x2Reply = "00 01 00 00 00 07 01 03 04 00 0A 00 0B";

const KindCase kKindRows[] = {
    {"DelayFixed",
     With(FaultKind::Delay, [](FaultRule& r) { r.delay.ms = 40; }),
     kFc3x2,
     kFc3x2Reply,
     {{40, kFc3x2Reply}}},
    {"DelayUniformSameBounds",
     {.name = "r", .kind = FaultKind::Delay, .delay = {.shape = Shape::Uniform, .minMs = 25, .maxMs = 25}},
     kFc3x2,
     kFc3x2Reply,
     {{25, kFc3x2Reply}}},
    {"DelayNormalWithoutSpread",
     {.name = "r", .kind = FaultKind::Delay, .delay = {.shape = Shape::Normal, .mean = 30.4}},
     kFc3x2,
     kFc3x2Reply,
     {{30, kFc3x2Reply}}},
    {"NoReply", RuleOf(FaultKind::NoReply), kFc3x2, kFc3x2Reply, {}},
    {"Exception",
     With(FaultKind::Exception, [](FaultRule& r) { r.code = 4; }),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00 03 01 83 04"}}},
    {"ExceptionKeepsTiPidUnit",
     With(FaultKind::Exception, [](FaultRule& r) { r.code = 0xFF; }),
     "BE EF 00 07 00 06 11 10 00 00 00 01 02 00 01",
     "BE EF 00 07 00 06 11 10 00 00 00 01",
     {{0, "BE EF 00 07 00 03 11 90 FF"}}},
    {"WrongTi", RuleOf(FaultKind::WrongTi), kFc3x2, kFc3x2Reply, {{0, "DE AD 00 00 00 07 01 03 04 00 0A 00 0B"}}},
    {"WrongTiOfTiEndingInAd",
     RuleOf(FaultKind::WrongTi),
     "12 AD 00 00 00 06 01 03 00 00 00 02",
     "12 AD 00 00 00 07 01 03 04 00 0A 00 0B",
     {{0, "BA BE 00 00 00 07 01 03 04 00 0A 00 0B"}}},
    {"WrongPid", RuleOf(FaultKind::WrongPid), kFc3x2, kFc3x2Reply, {{0, "00 01 AB CD 00 07 01 03 04 00 0A 00 0B"}}},
    {"WrongLength",
     RuleOf(FaultKind::WrongLength),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 EF 07 01 03 04 00 0A 00 0B"}}},
    {"WrongUnitDefault",
     RuleOf(FaultKind::WrongUnit),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00 07 02 03 04 00 0A 00 0B"}}},
    {"WrongUnitWraps",
     RuleOf(FaultKind::WrongUnit),
     "00 01 00 00 00 06 FF 03 00 00 00 02",
     "00 01 00 00 00 07 FF 03 04 00 0A 00 0B",
     {{0, "00 01 00 00 00 07 00 03 04 00 0A 00 0B"}}},
    {"WrongUnitValue",
     With(FaultKind::WrongUnit, [](FaultRule& r) { r.value = 9; }),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00 07 09 03 04 00 0A 00 0B"}}},
    {"WrongFunctionDefault",
     RuleOf(FaultKind::WrongFunction),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00 07 01 04 04 00 0A 00 0B"}}},
    {"WrongFunctionValue",
     With(FaultKind::WrongFunction, [](FaultRule& r) { r.value = 0x83; }),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00 07 01 83 04 00 0A 00 0B"}}},
    {"TruncateToTheHeader", RuleOf(FaultKind::Truncate), kFc3x2, kFc3x2Reply, {{0, "00 01 00 00 00 07 01"}}},
    {"TruncateThree",
     With(FaultKind::Truncate, [](FaultRule& r) { r.bytes = 3; }),
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00"}}},
    {"TruncateLongerThanTheReply",
     With(FaultKind::Truncate, [](FaultRule& r) { r.bytes = 100; }),
     kFc3x2,
     kFc3x2Reply,
     {{0, kFc3x2Reply}}},
    {"TruncateToNothing", With(FaultKind::Truncate, [](FaultRule& r) { r.bytes = 0; }), kFc3x2, kFc3x2Reply, {}},
    {"SplitFiveBytesTenMsApart",
     {.name = "r", .kind = FaultKind::Split, .bytes = 5, .gapMs = 10},
     kFc3x2,
     kFc3x2Reply,
     {{0, "00 01 00 00 00"}, {10, "07 01 03 04 00"}, {20, "0A 00 0B"}}},
    {"SplitByDefault",
     RuleOf(FaultKind::Split),
     kFc3x2,
     "00 01 00 00 00 03 01 83 02",
     {{0, "00"}, {1, "01"}, {2, "00"}, {3, "00"}, {4, "00"}, {5, "03"}, {6, "01"}, {7, "83"}, {8, "02"}}},
    {"Duplicate", RuleOf(FaultKind::Duplicate), kFc3x2, kFc3x2Reply, {{0, kFc3x2Reply}, {0, kFc3x2Reply}}},
    {"Close", RuleOf(FaultKind::Close), kFc3x2, kFc3x2Reply, {{0, kFc3x2Reply}}, FaultConnectionAction::Close},
    {"Reset", RuleOf(FaultKind::Reset), kFc3x2, kFc3x2Reply, {}, FaultConnectionAction::Reset},
    {"Stall", RuleOf(FaultKind::Stall), kFc3x2, kFc3x2Reply, {}, FaultConnectionAction::Stall},
};
INSTANTIATE_TEST_SUITE_P(Faults, KindTest, testing::ValuesIn(kKindRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FaultKinds, ExtraBytesFollowTheReply)
{
    FaultRule rule = RuleOf(FaultKind::ExtraBytes);
    FaultRules rules(FaultRuleSet{3, {rule}});
    FaultRules again(FaultRuleSet{3, {rule}});
    const std::vector<uint8_t> reply = Bytes(kFc3x2Reply);
    const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), reply);
    ASSERT_EQ(plan.sends.size(), 1u);
    const std::vector<uint8_t>& sent = plan.sends[0].bytes;
    ASSERT_EQ(sent.size(), reply.size() + 4);
    EXPECT_TRUE(std::equal(reply.begin(), reply.end(), sent.begin()));
    EXPECT_EQ(again.evaluate(RequestOf(kFc3x2), reply).sends, plan.sends);
    // The next request gets other bytes from the same generator.
    EXPECT_NE(rules.evaluate(RequestOf(kFc3x2), reply).sends, plan.sends);
}

TEST(FaultKinds, CorruptChangesBytesAfterTheHeaderOnly)
{
    for (const int count : {1, 3, 50}) {
        FaultRule rule = RuleOf(FaultKind::Corrupt);
        rule.bytes = count;
        FaultRules rules(FaultRuleSet{11, {rule}});
        const std::vector<uint8_t> reply = Bytes(kFc3x2Reply);
        for (int round = 0; round < 50; ++round) {
            const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), reply);
            ASSERT_EQ(plan.sends.size(), 1u);
            const std::vector<uint8_t>& sent = plan.sends[0].bytes;
            ASSERT_EQ(sent.size(), reply.size());
            for (size_t i = 0; i < reply.size(); ++i) {
                const bool corrupted = i >= 7 && i < 7 + static_cast<size_t>(count);
                EXPECT_EQ(sent[i] != reply[i], corrupted) << "count " << count << " byte " << i;
            }
        }
    }
}

TEST(FaultKinds, HeaderFaultsAreTheMenusBytes)
{
    // wrong-ti, wrong-pid and wrong-length on a clean reply give what the menu's options give.
    struct Option {
        FaultKind kind;
        bool ServerSettings::*flag;
    };
    for (const Option option : {Option{FaultKind::WrongTi, &ServerSettings::WrongTIActive},
                                Option{FaultKind::WrongPid, &ServerSettings::WrongPIDActive},
                                Option{FaultKind::WrongLength, &ServerSettings::WrongLengthHBActive}}) {
        for (const char* request :
             {kFc3x2, "12 AD 00 00 00 06 01 03 00 00 00 02", "00 AD 00 00 00 06 01 06 00 01 00 02"}) {
            RegisterStore store;
            ServerEngine engine(store);
            engine.connectionAccepted(1, "127.0.0.1", 0);
            const std::vector<uint8_t> frame = Bytes(request);
            const ProcessResult clean = engine.process(1, frame, 0);
            const std::vector<uint8_t> cleanReply(clean.reply.begin(), clean.reply.end());
            engine.settings.*option.flag = true;
            const ProcessResult menu = engine.process(1, frame, 0);
            FaultRules rules(FaultRuleSet{1, {RuleOf(option.kind)}});
            const FaultPlan plan = rules.evaluate(RequestOf(request), cleanReply);
            ASSERT_EQ(plan.sends.size(), 1u);
            EXPECT_EQ(HexOf(plan.sends[0].bytes), Hex(menu.reply.data(), menu.replyLength))
                << FaultKindName(option.kind) << " " << request;
        }
    }
}

// ---- precedence ----

TEST(FaultPrecedence, RulesActInFileOrder)
{
    // wrong-function, then exception: the exception replaces; the other order keeps both.
    FaultRule wrongFc = RuleOf(FaultKind::WrongFunction, "fc");
    FaultRule exception = With(FaultKind::Exception, [](FaultRule& r) { r.code = 2; });
    exception.name = "ex";
    FaultRules fcFirst(FaultRuleSet{1, {wrongFc, exception}});
    FaultPlan plan = fcFirst.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    EXPECT_EQ(HexOf(plan.sends.at(0).bytes), "00 01 00 00 00 03 01 83 02");
    EXPECT_EQ(plan.fired, (std::vector<FiredFault>{{"fc", FaultKind::WrongFunction}, {"ex", FaultKind::Exception}}));
    FaultRules exFirst(FaultRuleSet{1, {exception, wrongFc}});
    plan = exFirst.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    EXPECT_EQ(HexOf(plan.sends.at(0).bytes), "00 01 00 00 00 03 01 04 02");
}

TEST(FaultPrecedence, DroppingRuleEndsTheList)
{
    for (const FaultKind drop : {FaultKind::NoReply, FaultKind::Reset, FaultKind::Stall}) {
        FaultRule first = RuleOf(FaultKind::WrongPid, "first");
        FaultRule dropping = RuleOf(drop, "drop");
        FaultRule later = RuleOf(FaultKind::Close, "later");
        FaultRules rules(FaultRuleSet{1, {first, dropping, later}});
        const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
        EXPECT_TRUE(plan.sends.empty());
        EXPECT_EQ(plan.fired, (std::vector<FiredFault>{{"first", FaultKind::WrongPid}, {"drop", drop}}));
        EXPECT_EQ(rules.counters()[2].matched, 0u) << "the rule after the drop was looked at";
        EXPECT_EQ(plan.action, drop == FaultKind::Reset   ? FaultConnectionAction::Reset
                               : drop == FaultKind::Stall ? FaultConnectionAction::Stall
                                                          : FaultConnectionAction::None);
    }
}

TEST(FaultPrecedence, DroppingRuleThatDoesNotFireEndsNothing)
{
    FaultRule dropping = RuleOf(FaultKind::NoReply, "drop");
    dropping.skip = 1;
    FaultRules rules(FaultRuleSet{1, {dropping, RuleOf(FaultKind::WrongPid, "later")}});
    const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    EXPECT_EQ(plan.fired, (std::vector<FiredFault>{{"later", FaultKind::WrongPid}}));
    EXPECT_EQ(plan.sends.size(), 1u);
}

TEST(FaultPrecedence, FirstOfTruncateAndSplitWins)
{
    const FaultRule truncate{.name = "cut", .kind = FaultKind::Truncate, .bytes = 4};
    const FaultRule split{.name = "split", .kind = FaultKind::Split, .bytes = 2};
    FaultRules cutFirst(FaultRuleSet{1, {truncate, split}});
    FaultPlan plan = cutFirst.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    ASSERT_EQ(plan.sends.size(), 1u);
    EXPECT_EQ(HexOf(plan.sends[0].bytes), "00 01 00 00");
    EXPECT_EQ(plan.fired, (std::vector<FiredFault>{{"cut", FaultKind::Truncate}}));
    EXPECT_EQ(cutFirst.counters()[1].fired, 0u);

    FaultRules splitFirst(FaultRuleSet{1, {split, truncate}});
    plan = splitFirst.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    EXPECT_EQ(plan.sends.size(), 7u); // 13 bytes in pieces of 2
    EXPECT_EQ(plan.fired, (std::vector<FiredFault>{{"split", FaultKind::Split}}));
}

TEST(FaultPrecedence, DelaysAddUpAndShiftEverySend)
{
    const FaultRule a{.name = "a", .kind = FaultKind::Delay, .delay = {.ms = 20}};
    const FaultRule b{.name = "b", .kind = FaultKind::Delay, .delay = {.ms = 30}};
    FaultRule split{.name = "r", .kind = FaultKind::Split, .bytes = 7, .gapMs = 5};
    FaultRule dup = RuleOf(FaultKind::Duplicate, "dup");
    FaultRules rules(FaultRuleSet{1, {a, split, b, dup, RuleOf(FaultKind::Close, "close")}});
    const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    std::vector<std::pair<uint32_t, std::string>> sends;
    for (const FaultSend& s : plan.sends) {
        sends.emplace_back(s.delayMs, HexOf(s.bytes));
    }
    const std::vector<std::pair<uint32_t, std::string>> expected = {{50, "00 01 00 00 00 07 01"},
                                                                    {55, "03 04 00 0A 00 0B"},
                                                                    {60, "00 01 00 00 00 07 01"},
                                                                    {65, "03 04 00 0A 00 0B"}};
    EXPECT_EQ(sends, expected);
    EXPECT_EQ(plan.action, FaultConnectionAction::Close);
}

TEST(FaultPrecedence, UniformAndNormalDelaysStayInBounds)
{
    const FaultRule uniform{.kind = FaultKind::Delay, .delay = {.shape = Shape::Uniform, .minMs = 20, .maxMs = 80}};
    const FaultRule normal{.kind = FaultKind::Delay, .delay = {.shape = Shape::Normal, .mean = 5, .sd = 50}};
    FaultRules u(FaultRuleSet{1, {uniform}});
    FaultRules n(FaultRuleSet{1, {normal}});
    bool sawLow = false;
    bool sawHigh = false;
    int zeros = 0;
    double sum = 0;
    for (int i = 0; i < 2000; ++i) {
        const uint32_t d = u.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply)).sends.at(0).delayMs;
        ASSERT_GE(d, 20u);
        ASSERT_LE(d, 80u);
        sawLow = sawLow || d == 20;
        sawHigh = sawHigh || d == 80;
        const uint32_t nd = n.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply)).sends.at(0).delayMs;
        zeros += nd == 0 ? 1 : 0;
        sum += nd;
        ASSERT_LT(nd, 1000u);
    }
    EXPECT_TRUE(sawLow && sawHigh) << "the bounds are inclusive";
    EXPECT_GT(zeros, 500) << "a normal draw below 0 is 0"; // about 46 % of the draws
    EXPECT_GT(sum / 2000, 15.0);
}

// ---- commands and counters ----

TEST(FaultCommands, EnableResetAndCountersInFileOrder)
{
    FaultRule b = RuleOf(FaultKind::WrongPid, "b");
    FaultRule a = RuleOf(FaultKind::Duplicate, "a");
    a.functions = {6};
    FaultRules rules(FaultRuleSet{1, {b, a}});
    for (int i = 0; i < 3; ++i) {
        rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    }
    EXPECT_EQ(rules.counters(), (std::vector<FaultRuleCounters>{{"b", FaultKind::WrongPid, true, 3, 3},
                                                                {"a", FaultKind::Duplicate, true, 0, 0}}));
    EXPECT_EQ(rules.enabledCount(), 2);
    EXPECT_FALSE(rules.setEnabled("c", false));
    EXPECT_TRUE(rules.setEnabled("b", false));
    EXPECT_EQ(rules.enabledCount(), 1);
    EXPECT_FALSE(rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply)).faulted());
    EXPECT_EQ(rules.counters()[0].matched, 3u);
    rules.resetCounters();
    EXPECT_EQ(rules.firedTotal(), 0u);
    EXPECT_TRUE(rules.setEnabled("b", true));
    EXPECT_TRUE(rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply)).faulted());
    EXPECT_EQ(rules.counters()[0], (FaultRuleCounters{"b", FaultKind::WrongPid, true, 1, 1}));
    rules.clear();
    EXPECT_TRUE(rules.empty());
    EXPECT_FALSE(rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply)).faulted());
}

TEST(FaultCommands, ApplyStartsTheSchedulesAgain)
{
    FaultRule rule = RuleOf(FaultKind::Duplicate);
    rule.times = 1;
    rule.probability = 0.5;
    FaultRules rules(FaultRuleSet{5, {rule}});
    const std::string first = Pattern(rules, 30);
    EXPECT_EQ(std::count(first.begin(), first.end(), 'x'), 1);
    rules.apply(FaultRuleSet{5, {rule}});
    EXPECT_EQ(Pattern(rules, 30), first);
}

TEST(FaultCommands, TenRulesThatMatchNothingLeaveTheReplyAlone)
{
    FaultRuleSet set;
    for (int i = 0; i < 10; ++i) {
        FaultRule rule = RuleOf(FaultKind::Corrupt, "r" + std::to_string(i));
        rule.functions = {16};
        rule.probability = 0.5;
        set.rules.push_back(rule);
    }
    FaultRules rules(set);
    const FaultPlan plan = rules.evaluate(RequestOf(kFc3x2), Bytes(kFc3x2Reply));
    EXPECT_FALSE(plan.faulted());
    EXPECT_TRUE(plan.sends.empty());
    EXPECT_EQ(plan.sends.capacity(), 0u);
    EXPECT_EQ(plan.action, FaultConnectionAction::None);
    EXPECT_EQ(rules.firedTotal(), 0u);
}

TEST(FaultKinds, NamesBothWays)
{
    for (int i = 0; i < kFaultKindCount; ++i) {
        const auto kind = static_cast<FaultKind>(i);
        EXPECT_EQ(FaultKindFromName(FaultKindName(kind)), kind);
    }
    EXPECT_EQ(FaultKindName(FaultKind::NoReply), "no-reply");
    EXPECT_EQ(FaultKindName(FaultKind::ExtraBytes), "extra-bytes");
    EXPECT_FALSE(FaultKindFromName("Delay").has_value());
    EXPECT_EQ(FaultLogLine(FiredFault{"slow reads", FaultKind::NoReply}), "Fault rule \"slow reads\": no-reply");
    EXPECT_TRUE(DropsReply(FaultKind::Stall));
    EXPECT_FALSE(DropsReply(FaultKind::Close));
}

} // namespace
} // namespace korvel
