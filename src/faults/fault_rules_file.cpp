// The only file that includes toml++ (its header is heavy to compile).
#include "faults/fault_rules_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace korvel::toml_checks {
// toml++'s "unreachable" points end here (see below).
[[noreturn]] void Unreachable() noexcept;
} // namespace korvel::toml_checks

// toml++ 3.3 states preconditions of its parser steps that malformed text breaks ("[[[1]]]", a "["
// at the end of a line, "[3,}]"); the steps then report the syntax error themselves. A debug build
// would abort on the assert, and an optimised clang build takes them as assumptions, which lets
// the compiler drop those very errors. So every build reads them as an optimised GCC build does:
// not at all (the sanitizer builds and the fuzz target watch what follows instead).
//
// Its whitespace table reaches an "unreachable" point for many characters beyond ASCII (U+00A1 to
// U+049A among them) wherever it asks whether a character is whitespace: outside strings and in
// multi-line strings. ParseFaultRules refuses such characters there before toml++ sees the text;
// the unreachable points stop the program instead of running on undefined.
// clang-format off
#pragma push_macro("NDEBUG")
#undef NDEBUG
#define TOML_ASSERT(expr) static_cast<void>(0)
#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/impl/preprocessor.h>
#undef TOML_UNREACHABLE
#define TOML_UNREACHABLE korvel::toml_checks::Unreachable()
#include <toml++/toml.h>
#pragma pop_macro("NDEBUG")
// clang-format on

namespace korvel {

namespace {

constexpr int64_t kMaxConnection = 1000;
constexpr int64_t kMaxDelayMs = 3600000; // an hour
constexpr int64_t kMaxBytes = 1024;
constexpr int64_t kMaxGapMs = 60000;
constexpr int64_t kMaxCount = 1000000000;
constexpr int64_t kMaxEvery = 1000000;
constexpr double kMaxDurationMs = 1000.0 * 3600 * 1000; // 1000h

constexpr const char* kDurationText = "a duration such as \"250ms\", \"2s\", \"1.5s\" or \"1m\" (at most 1000h)";
constexpr const char* kRuleKeys = "name, fault, delay_ms, code, value, bytes, gap_ms, connection, peer, unit, "
                                  "function, address, skip, every, times, probability, after, for, enabled";

// Thrown inside the reader only; ParseFaultRules turns it into its result.
struct Failure {
    FaultRulesError error;
};

[[noreturn]] void Fail(const toml::source_region& where, std::string message)
{
    throw Failure{
        FaultRulesError{static_cast<int>(where.begin.line), static_cast<int>(where.begin.column), std::move(message)}};
}

std::string Quoted(std::string_view key)
{
    return "\"" + std::string(key) + "\"";
}

int64_t Integer(const toml::node& node, std::string_view key, int64_t low, int64_t high, std::string_view what = {})
{
    const auto* value = node.as_integer();
    if (value == nullptr || value->get() < low || value->get() > high) {
        Fail(node.source(), Quoted(key) + " must be " +
                                (what.empty() ? "an integer from " + std::to_string(low) + " to " + std::to_string(high)
                                              : std::string(what)));
    }
    return value->get();
}

// An integer or a float; nullopt for anything else.
std::optional<double> Number(const toml::node& node)
{
    if (const auto* i = node.as_integer()) {
        return static_cast<double>(i->get());
    }
    if (const auto* f = node.as_floating_point()) {
        return f->get();
    }
    return std::nullopt;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<int64_t> Decimal(std::string_view s)
{
    s = Trim(s);
    int64_t v = 0;
    if (s.empty() || s.size() > 10) {
        return std::nullopt;
    }
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || v < 0) {
        return std::nullopt;
    }
    return v;
}

// "100-199", "7" or "1-3,7" into inclusive ranges inside [0, high]; false when malformed.
template <typename Range> bool RangesFromText(std::string_view text, int64_t high, std::vector<Range>& out)
{
    if (Trim(text).empty()) {
        return false;
    }
    while (true) {
        const size_t comma = text.find(',');
        const std::string_view part = text.substr(0, comma);
        const size_t dash = part.find('-');
        const auto first = Decimal(part.substr(0, dash));
        const auto last = dash == std::string_view::npos ? first : Decimal(part.substr(dash + 1));
        if (!first || !last || *first > *last || *last > high) {
            return false;
        }
        using T = decltype(Range::first);
        out.push_back(Range{static_cast<T>(*first), static_cast<T>(*last)});
        if (comma == std::string_view::npos) {
            return true;
        }
        text.remove_prefix(comma + 1);
    }
}

// A number, a range text, or an array of numbers and range texts.
template <typename Range>
std::vector<Range> Ranges(const toml::node& node, std::string_view key, int64_t high, const std::string& allowed)
{
    std::vector<Range> out;
    auto one = [&](const toml::node& n) {
        using T = decltype(Range::first);
        if (const auto* i = n.as_integer()) {
            if (i->get() < 0 || i->get() > high) {
                Fail(n.source(), Quoted(key) + " must be " + allowed);
            }
            out.push_back(Range{static_cast<T>(i->get()), static_cast<T>(i->get())});
        } else if (const auto* s = n.as_string()) {
            if (!RangesFromText(std::string_view(s->get()), high, out)) {
                Fail(n.source(), Quoted(key) + " must be " + allowed);
            }
        } else {
            Fail(n.source(), Quoted(key) + " must be " + allowed);
        }
    };
    if (const auto* array = node.as_array()) {
        if (array->empty()) {
            Fail(node.source(), Quoted(key) + " must be " + allowed);
        }
        for (const toml::node& element : *array) {
            one(element);
        }
    } else {
        one(node);
    }
    return out;
}

uint64_t Duration(const toml::node& node, std::string_view key)
{
    const auto* s = node.as_string();
    if (s == nullptr) {
        Fail(node.source(), Quoted(key) + " must be " + kDurationText);
    }
    const std::string_view text = Trim(s->get());
    size_t digits = 0;
    while (digits < text.size() && ((text[digits] >= '0' && text[digits] <= '9') || text[digits] == '.')) {
        ++digits;
    }
    const std::string_view number = text.substr(0, digits);
    const std::string_view unit = Trim(text.substr(digits));
    double factor = 0;
    if (unit == "ms") {
        factor = 1;
    } else if (unit == "s") {
        factor = 1000;
    } else if (unit == "m") {
        factor = 60000;
    } else if (unit == "h") {
        factor = 3600000;
    }
    double value = 0;
    const bool numeric = !number.empty() && number.front() != '.' && number.back() != '.';
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (factor == 0 || !numeric || ec != std::errc() || end != number.data() + number.size() ||
        !(value * factor <= kMaxDurationMs)) {
        Fail(node.source(), Quoted(key) + " must be " + kDurationText);
    }
    return static_cast<uint64_t>(std::llround(value * factor));
}

PeerScope Peer(const toml::node& node)
{
    const std::string allowed = "\"peer\" must be an IPv4 address or network such as \"127.0.0.2\" or \"10.0.0.0/8\"";
    const auto* s = node.as_string();
    if (s == nullptr) {
        Fail(node.source(), allowed);
    }
    const std::string_view text = Trim(s->get());
    const size_t slash = text.find('/');
    const auto address = ParseIpv4(text.substr(0, slash));
    int64_t bits = 32;
    if (slash != std::string_view::npos) {
        const auto b = Decimal(text.substr(slash + 1));
        bits = b && *b <= 32 ? *b : -1;
    }
    if (!address || bits < 0) {
        Fail(node.source(), allowed);
    }
    const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    return PeerScope{*address & mask, mask};
}

DelayParameter Delay(const toml::node& node)
{
    const std::string allowed = "\"delay_ms\" must be a number of ms from 0 to " + std::to_string(kMaxDelayMs) +
                                ", [min, max] with min <= max, or { mean = M, sd = S }";
    DelayParameter d;
    if (const auto* i = node.as_integer()) {
        if (i->get() < 0 || i->get() > kMaxDelayMs) {
            Fail(node.source(), allowed);
        }
        d.ms = static_cast<uint32_t>(i->get());
        return d;
    }
    if (const auto* array = node.as_array()) {
        const toml::value<int64_t>* low = array->size() == 2 ? (*array)[0].as_integer() : nullptr;
        const toml::value<int64_t>* high = array->size() == 2 ? (*array)[1].as_integer() : nullptr;
        if (low == nullptr || high == nullptr || low->get() < 0 || low->get() > high->get() ||
            high->get() > kMaxDelayMs) {
            Fail(node.source(), allowed);
        }
        d.shape = DelayParameter::Shape::Uniform;
        d.minMs = static_cast<uint32_t>(low->get());
        d.maxMs = static_cast<uint32_t>(high->get());
        return d;
    }
    if (const auto* table = node.as_table()) {
        std::optional<double> mean;
        std::optional<double> sd;
        for (auto&& [key, value] : *table) {
            const auto n = Number(value);
            const bool inRange = n && *n >= 0 && *n <= static_cast<double>(kMaxDelayMs);
            if (key.str() == "mean" && inRange) {
                mean = n;
            } else if (key.str() == "sd" && inRange) {
                sd = n;
            } else {
                Fail(key.str() == "mean" || key.str() == "sd" ? value.source() : key.source(), allowed);
            }
        }
        if (!mean || !sd) {
            Fail(node.source(), allowed);
        }
        d.shape = DelayParameter::Shape::Normal;
        d.mean = *mean;
        d.sd = *sd;
        return d;
    }
    Fail(node.source(), allowed);
}

// A table's keys in the order of the text (toml++ keeps them sorted), so that the first error
// reported is the first one in the file.
std::vector<std::pair<const toml::key*, const toml::node*>> InFileOrder(const toml::table& table)
{
    std::vector<std::pair<const toml::key*, const toml::node*>> out;
    for (auto&& [key, node] : table) {
        out.emplace_back(&key, &node);
    }
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        const toml::source_position& pa = a.first->source().begin;
        const toml::source_position& pb = b.first->source().begin;
        return pa.line != pb.line ? pa.line < pb.line : pa.column < pb.column;
    });
    return out;
}

std::string KindList()
{
    std::string out;
    for (int i = 0; i < kFaultKindCount; ++i) {
        out += (i == 0 ? "" : ", ");
        out += FaultKindName(static_cast<FaultKind>(i));
    }
    return out;
}

// The kinds a parameter belongs to; empty for keys that are not kind parameters.
std::vector<FaultKind> KindsOfParameter(std::string_view key)
{
    if (key == "delay_ms") {
        return {FaultKind::Delay};
    }
    if (key == "code") {
        return {FaultKind::Exception};
    }
    if (key == "value") {
        return {FaultKind::WrongUnit, FaultKind::WrongFunction};
    }
    if (key == "bytes") {
        return {FaultKind::Truncate, FaultKind::ExtraBytes, FaultKind::Corrupt, FaultKind::Split};
    }
    if (key == "gap_ms") {
        return {FaultKind::Split};
    }
    return {};
}

std::string KindsText(const std::vector<FaultKind>& kinds)
{
    std::string out;
    for (size_t i = 0; i < kinds.size(); ++i) {
        out += i == 0 ? "" : (i + 1 == kinds.size() ? " and " : ", ");
        out += FaultKindName(kinds[i]);
    }
    return out;
}

FaultRule Rule(const toml::table& table, size_t position)
{
    FaultRule rule;
    rule.name = "rule " + std::to_string(position);

    const toml::node* fault = table.get("fault");
    if (fault == nullptr) {
        Fail(table.source(), "\"fault\" is missing: one of " + KindList());
    }
    const auto* kindText = fault->as_string();
    const auto kind = kindText ? FaultKindFromName(kindText->get()) : std::nullopt;
    if (!kind) {
        Fail(fault->source(), "\"fault\" must be one of " + KindList());
    }
    rule.kind = *kind;
    rule.bytes = DefaultFaultBytes(rule.kind);

    bool hasDelay = false;
    bool hasCode = false;
    for (const auto& [keyPointer, nodePointer] : InFileOrder(table)) {
        const toml::key& keyName = *keyPointer;
        const toml::node& node = *nodePointer;
        const std::string_view key = keyName.str();
        const std::vector<FaultKind> owners = KindsOfParameter(key);
        if (!owners.empty() && std::find(owners.begin(), owners.end(), rule.kind) == owners.end()) {
            Fail(keyName.source(), Quoted(key) + " is a parameter of " + KindsText(owners) + ", not of " +
                                       std::string(FaultKindName(rule.kind)));
        }
        if (key == "fault") {
            continue;
        } else if (key == "name") {
            const auto* s = node.as_string();
            if (s == nullptr || s->get().empty()) {
                Fail(node.source(), "\"name\" must be a non-empty string");
            }
            rule.name = s->get();
        } else if (key == "delay_ms") {
            rule.delay = Delay(node);
            hasDelay = true;
        } else if (key == "code") {
            rule.code = static_cast<uint8_t>(Integer(node, key, 1, 255));
            hasCode = true;
        } else if (key == "value") {
            rule.value = static_cast<uint8_t>(Integer(node, key, 0, 255));
        } else if (key == "bytes") {
            const int64_t low = rule.kind == FaultKind::Truncate ? 0 : 1;
            rule.bytes = static_cast<int>(Integer(node, key, low, kMaxBytes));
        } else if (key == "gap_ms") {
            rule.gapMs = static_cast<uint32_t>(Integer(node, key, 0, kMaxGapMs));
        } else if (key == "connection") {
            rule.connection = static_cast<int>(Integer(node, key, 1, kMaxConnection));
        } else if (key == "peer") {
            rule.peer = Peer(node);
        } else if (key == "unit") {
            rule.units = Ranges<UnitRange>(
                node, key, 255,
                "a unit identifier from 0 to 255, a list such as \"1-3,7\" or an array such as [1, 2, 7]");
        } else if (key == "function") {
            const std::string allowed = "a function code from 1 to 255 or an array of them such as [3, 4]";
            const auto* array = node.as_array();
            if (array != nullptr && array->empty()) {
                Fail(node.source(), "\"function\" must be " + allowed);
            }
            auto one = [&](const toml::node& n) {
                rule.functions.push_back(static_cast<uint8_t>(Integer(n, key, 1, 255, allowed)));
            };
            if (array != nullptr) {
                for (const toml::node& element : *array) {
                    one(element);
                }
            } else {
                one(node);
            }
        } else if (key == "address") {
            rule.addresses =
                Ranges<AddressRange>(node, key, 65535, "an address from 0 to 65535 or a range such as \"100-199\"");
        } else if (key == "skip") {
            rule.skip = static_cast<uint64_t>(Integer(node, key, 0, kMaxCount));
        } else if (key == "every") {
            rule.every = static_cast<uint64_t>(Integer(node, key, 1, kMaxEvery));
        } else if (key == "times") {
            rule.times = static_cast<uint64_t>(Integer(node, key, 0, kMaxCount));
        } else if (key == "probability") {
            const auto p = Number(node);
            if (!p || !(*p >= 0.0 && *p <= 1.0)) {
                Fail(node.source(), "\"probability\" must be a number from 0 to 1");
            }
            rule.probability = *p;
        } else if (key == "after") {
            rule.afterMs = Duration(node, key);
        } else if (key == "for") {
            rule.forMs = Duration(node, key);
        } else if (key == "enabled") {
            const auto* b = node.as_boolean();
            if (b == nullptr) {
                Fail(node.source(), "\"enabled\" must be true or false");
            }
            rule.enabled = b->get();
        } else {
            Fail(keyName.source(), "unknown key " + Quoted(key) + " in a rule; allowed: " + kRuleKeys);
        }
    }
    if (rule.kind == FaultKind::Delay && !hasDelay) {
        Fail(table.source(), "\"delay_ms\" is missing: delay needs a number of ms, [min, max] or { mean = M, sd = S }");
    }
    if (rule.kind == FaultKind::Exception && !hasCode) {
        Fail(table.source(), "\"code\" is missing: exception needs a code from 1 to 255");
    }
    return rule;
}

FaultRuleSet RuleSet(const toml::table& root)
{
    FaultRuleSet set;
    for (const auto& [keyPointer, nodePointer] : InFileOrder(root)) {
        const toml::key& keyName = *keyPointer;
        const toml::node& node = *nodePointer;
        const std::string_view key = keyName.str();
        if (key == "seed") {
            set.seed = static_cast<uint64_t>(Integer(node, key, 0, std::numeric_limits<int64_t>::max()));
        } else if (key == "rule") {
            const auto* array = node.as_array();
            if (array == nullptr || !array->is_array_of_tables()) {
                Fail(node.source(), "\"rule\" must be tables written [[rule]], one per rule");
            }
            std::vector<const toml::node*> names;
            for (const toml::node& element : *array) {
                const toml::table& table = *element.as_table();
                set.rules.push_back(Rule(table, set.rules.size() + 1));
                const toml::node* name = table.get("name");
                for (size_t earlier = 0; earlier + 1 < set.rules.size(); ++earlier) {
                    if (set.rules[earlier].name == set.rules.back().name) {
                        Fail(name ? name->source() : table.source(),
                             "\"name\" \"" + set.rules.back().name + "\" is the name of rule " +
                                 std::to_string(earlier + 1) + " already; names must be unique");
                    }
                }
            }
        } else if (key == "expect") {
            Fail(keyName.source(), "\"expect\" (the master report's expectations) is not supported yet");
        } else if (key == "roles") {
            Fail(keyName.source(), "\"roles\" (the roles of Modbus/TCP Security) is not supported yet");
        } else {
            Fail(keyName.source(), "unknown key " + Quoted(key) + "; allowed at the top: seed and [[rule]] tables");
        }
    }
    return set;
}

// The first character beyond ASCII outside a one-line string or a comment, as an error; see the
// note on toml++'s whitespace table at the top. Strings are cut as TOML cuts them: escapes in basic
// strings, and a multi-line string ends with the last three quotes of a run of three to five.
std::optional<FaultRulesError> NonAsciiOutsideStrings(std::string_view text)
{
    enum class In { Value, BasicString, LiteralString, MultiLineBasic, MultiLineLiteral, Comment };
    In in = In::Value;
    int line = 1;
    int column = 0; // characters, not bytes, as toml++ counts them
    auto run = [&](size_t at, char quote) {
        size_t n = 0;
        while (at + n < text.size() && text[at + n] == quote) {
            ++n;
        }
        return n;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c & 0xC0) != 0x80) {
            ++column;
        }
        if (c == '\n') {
            ++line;
            column = 0;
            if (in != In::MultiLineBasic && in != In::MultiLineLiteral) {
                in = In::Value; // a one-line string or a comment ends here in any case
            }
            continue;
        }
        const bool multiLine = in == In::MultiLineBasic || in == In::MultiLineLiteral;
        if (c >= 0x80 && (in == In::Value || multiLine)) {
            return FaultRulesError{line, column,
                                   "characters beyond ASCII are allowed only in strings on one line and in comments"};
        }
        // Skips `count` more ASCII characters after the current one.
        auto skip = [&](size_t count) {
            i += count;
            column += static_cast<int>(count);
        };
        switch (in) {
        case In::Value:
            if (c == '#') {
                in = In::Comment;
            } else if (c == '"' || c == '\'') {
                const bool triple = run(i, static_cast<char>(c)) >= 3;
                if (triple) {
                    skip(2);
                }
                in = c == '"' ? (triple ? In::MultiLineBasic : In::BasicString)
                              : (triple ? In::MultiLineLiteral : In::LiteralString);
            }
            break;
        case In::BasicString:
        case In::MultiLineBasic:
            if (c == '\\' && i + 1 < text.size() && text[i + 1] != '\n' &&
                static_cast<unsigned char>(text[i + 1]) < 0x80) {
                skip(1); // an escaped character, which may be a quote
            } else if (c == '"' && in == In::BasicString) {
                in = In::Value;
            } else if (c == '"' && run(i, '"') >= 3) {
                skip(std::min<size_t>(run(i, '"'), 5) - 1);
                in = In::Value;
            }
            break;
        case In::LiteralString:
            if (c == '\'') {
                in = In::Value;
            }
            break;
        case In::MultiLineLiteral:
            if (c == '\'' && run(i, '\'') >= 3) {
                skip(std::min<size_t>(run(i, '\''), 5) - 1);
                in = In::Value;
            }
            break;
        case In::Comment:
            break;
        }
    }
    return std::nullopt;
}

} // namespace

void toml_checks::Unreachable() noexcept
{
    std::abort();
}

std::string FaultRulesError::text() const
{
    return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + message;
}

FaultRulesParse ParseFaultRules(std::string_view text)
{
    FaultRulesParse out;
    out.error = NonAsciiOutsideStrings(text);
    if (out.error) {
        return out;
    }
    toml::parse_result parsed = toml::parse(text);
    if (!parsed) {
        const toml::parse_error& e = parsed.error();
        out.error = FaultRulesError{static_cast<int>(e.source().begin.line), static_cast<int>(e.source().begin.column),
                                    std::string(e.description())};
        return out;
    }
    try {
        out.set = RuleSet(parsed.table());
    } catch (Failure& failure) {
        out.error = std::move(failure.error);
    }
    return out;
}

} // namespace korvel
