#include "faults/fault_rules.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace korvel {

namespace {

constexpr std::array<std::string_view, kFaultKindCount> kKindNames = {
    "delay",    "no-reply",    "exception", "wrong-ti", "wrong-pid", "wrong-length", "wrong-unit", "wrong-function",
    "truncate", "extra-bytes", "corrupt",   "split",    "duplicate", "close",        "reset",      "stall",
};

constexpr int kHeaderBytes = 7; // TI, PID, length, unit: what corrupt leaves alone

uint64_t Mix64(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

uint16_t WordAt(std::span<const uint8_t> bytes, size_t at)
{
    return static_cast<uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

// The registers from `address` (plus the offset) on, `quantity` of them, clipped at 65535.
bool RangeOf(uint16_t address, uint16_t quantity, int offset, AddressRange& out)
{
    const uint32_t first = static_cast<uint32_t>(address) + static_cast<uint32_t>(offset);
    if (quantity == 0 || first > 0xFFFF) {
        return false;
    }
    out.first = static_cast<uint16_t>(first);
    out.last = static_cast<uint16_t>(std::min<uint32_t>(first + quantity - 1, 0xFFFF));
    return true;
}

uint32_t DrawDelay(const DelayParameter& d, FaultGenerator& g)
{
    switch (d.shape) {
    case DelayParameter::Shape::Fixed:
        return d.ms;
    case DelayParameter::Shape::Uniform:
        return g.between(d.minMs, d.maxMs);
    case DelayParameter::Shape::Normal: {
        // Box-Muller; 1 - unit() is in (0, 1], so the logarithm stays finite.
        const double u1 = 1.0 - g.unit();
        const double u2 = g.unit();
        const double z = std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * 3.14159265358979323846 * u2);
        const double ms = std::round(d.mean + d.sd * z);
        if (!(ms > 0)) {
            return 0;
        }
        return ms >= static_cast<double>(std::numeric_limits<uint32_t>::max()) ? std::numeric_limits<uint32_t>::max()
                                                                               : static_cast<uint32_t>(ms);
    }
    }
    return 0;
}

} // namespace

std::string_view FaultKindName(FaultKind kind)
{
    const auto i = static_cast<size_t>(kind);
    return i < kKindNames.size() ? kKindNames[i] : std::string_view();
}

std::optional<FaultKind> FaultKindFromName(std::string_view name)
{
    for (size_t i = 0; i < kKindNames.size(); ++i) {
        if (kKindNames[i] == name) {
            return static_cast<FaultKind>(i);
        }
    }
    return std::nullopt;
}

std::string FaultLogLine(const FiredFault& fired)
{
    std::string line = "Fault rule \"";
    line += fired.name;
    line += "\": ";
    line += FaultKindName(fired.kind);
    return line;
}

int DefaultFaultBytes(FaultKind kind)
{
    switch (kind) {
    case FaultKind::Truncate:
        return kHeaderBytes;
    case FaultKind::ExtraBytes:
        return 4;
    case FaultKind::Corrupt:
    case FaultKind::Split:
        return 1;
    default:
        return 0;
    }
}

std::optional<uint32_t> ParseIpv4(std::string_view text)
{
    uint32_t address = 0;
    int parts = 0;
    size_t i = 0;
    while (parts < 4) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') {
            return std::nullopt;
        }
        uint32_t part = 0;
        int digits = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            part = part * 10 + static_cast<uint32_t>(text[i] - '0');
            if (++digits > 3 || part > 255) {
                return std::nullopt;
            }
            ++i;
        }
        address = (address << 8) | part;
        if (++parts < 4) {
            if (i >= text.size() || text[i] != '.') {
                return std::nullopt;
            }
            ++i;
        }
    }
    if (i != text.size()) {
        return std::nullopt;
    }
    return address;
}

FaultRequest FaultRequestOf(std::span<const uint8_t> request, int connection, uint32_t peer, uint64_t nowMs,
                            int addressOffset)
{
    FaultRequest r;
    r.connection = connection;
    r.peer = peer;
    r.nowMs = nowMs;
    const size_t n = request.size();
    if (n >= 2) {
        r.transactionId = WordAt(request, 0);
    }
    if (n >= 4) {
        r.protocolId = WordAt(request, 2);
    }
    if (n >= 7) {
        r.unit = request[6];
    }
    if (n < 8) {
        return r;
    }
    r.function = request[7];
    auto add = [&](uint16_t address, uint16_t quantity) {
        if (RangeOf(address, quantity, addressOffset, r.ranges[static_cast<size_t>(r.rangeCount)])) {
            ++r.rangeCount;
        }
    };
    switch (r.function) {
    case 3:
    case 4:
    case 16:
        if (n >= 12) {
            add(WordAt(request, 8), WordAt(request, 10));
        }
        break;
    case 6:
    case 22:
        if (n >= 10) {
            add(WordAt(request, 8), 1);
        }
        break;
    case 23:
        if (n >= 16) {
            add(WordAt(request, 8), WordAt(request, 10));  // read
            add(WordAt(request, 12), WordAt(request, 14)); // write
        }
        break;
    default:
        break;
    }
    return r;
}

uint64_t FaultGenerator::next()
{
    state_ += 0x9E3779B97F4A7C15ull;
    return Mix64(state_);
}

double FaultGenerator::unit()
{
    return static_cast<double>(next() >> 11) * 0x1.0p-53;
}

uint32_t FaultGenerator::between(uint32_t a, uint32_t b)
{
    const uint64_t span = static_cast<uint64_t>(b) - a + 1;
    return a + static_cast<uint32_t>(next() % span);
}

namespace {

void SetBit(std::array<uint64_t, 4>& bits, unsigned i)
{
    bits[i >> 6] |= uint64_t{1} << (i & 63);
}

bool HasBit(const std::array<uint64_t, 4>& bits, unsigned i)
{
    return (bits[i >> 6] & (uint64_t{1} << (i & 63))) != 0;
}

} // namespace

void FaultRules::apply(FaultRuleSet set)
{
    set_ = std::move(set);
    states_.assign(set_.rules.size(), RuleState{});
    filters_.assign(set_.rules.size(), Filter{});
    for (size_t i = 0; i < set_.rules.size(); ++i) {
        const FaultRule& rule = set_.rules[i];
        // The rule's position enters the seed: two rules of one set draw different streams.
        states_[i].generator = FaultGenerator(Mix64(set_.seed ^ Mix64(i + 1)));
        Filter& f = filters_[i];
        if (rule.functions.empty()) {
            f.functions.fill(~uint64_t{0});
        }
        for (const uint8_t code : rule.functions) {
            SetBit(f.functions, code);
        }
        if (rule.units.empty()) {
            f.units.fill(~uint64_t{0});
        }
        for (const UnitRange& u : rule.units) {
            for (unsigned unit = u.first; unit <= u.last; ++unit) {
                SetBit(f.units, unit);
            }
        }
        f.fromMs = rule.afterMs;
        f.untilMs = rule.forMs == 0 || rule.forMs > std::numeric_limits<uint64_t>::max() - rule.afterMs
                        ? std::numeric_limits<uint64_t>::max()
                        : rule.afterMs + rule.forMs;
        if (rule.peer) {
            f.peerAddress = rule.peer->address & rule.peer->mask;
            f.peerMask = rule.peer->mask;
        }
        f.connection = rule.connection;
        f.enabled = rule.enabled;
        f.byAddress = !rule.addresses.empty();
    }
}

bool FaultRules::inScope(size_t i, const FaultRequest& r) const
{
    const Filter& f = filters_[i];
    if (!f.enabled || (f.connection != 0 && f.connection != r.connection) || !HasBit(f.functions, r.function) ||
        !HasBit(f.units, r.unit) || (r.peer & f.peerMask) != f.peerAddress || r.nowMs < f.fromMs ||
        r.nowMs >= f.untilMs) {
        return false;
    }
    if (!f.byAddress) {
        return true;
    }
    const std::vector<AddressRange>& addresses = set_.rules[i].addresses;
    for (int k = 0; k < r.rangeCount; ++k) {
        const AddressRange& touched = r.ranges[static_cast<size_t>(k)];
        if (std::any_of(addresses.begin(), addresses.end(),
                        [&](const AddressRange& a) { return touched.first <= a.last && a.first <= touched.last; })) {
            return true;
        }
    }
    return false;
}

bool FaultRules::due(const FaultRule& rule, RuleState& state)
{
    ++state.matched;
    ++state.seen;
    if (state.seen <= rule.skip || (state.seen - rule.skip) % rule.every != 0) {
        return false;
    }
    if (rule.times != 0 && state.shots >= rule.times) {
        return false;
    }
    if (rule.probability < 1.0 && !(rule.probability > 0.0 && state.generator.unit() < rule.probability)) {
        return false;
    }
    ++state.shots;
    ++state.fired;
    return true;
}

FaultPlan FaultRules::evaluate(const FaultRequest& request, std::span<const uint8_t> reply)
{
    FaultPlan plan;
    std::vector<uint8_t> bytes;
    uint64_t delayMs = 0;
    bool dropped = false;
    bool shaped = false; // a truncate or split fired
    bool duplicate = false;
    int splitBytes = 0;
    uint32_t gapMs = 0;

    const size_t count = filters_.size();
    for (size_t i = 0; i < count && !dropped; ++i) {
        if (!inScope(i, request)) {
            continue; // the rule itself is not touched: only its filter
        }
        const FaultRule& rule = set_.rules[i];
        const bool shaping = rule.kind == FaultKind::Truncate || rule.kind == FaultKind::Split;
        RuleState& state = states_[i];
        if ((shaping && shaped) || !due(rule, state)) {
            continue;
        }
        if (plan.fired.empty()) {
            bytes.assign(reply.begin(), reply.end());
        }
        plan.fired.push_back(FiredFault{rule.name, rule.kind});
        switch (rule.kind) {
        case FaultKind::Delay:
            delayMs += DrawDelay(rule.delay, state.generator);
            break;
        case FaultKind::NoReply:
            dropped = true;
            break;
        case FaultKind::Exception:
            bytes = {static_cast<uint8_t>(request.transactionId >> 8),
                     static_cast<uint8_t>(request.transactionId),
                     static_cast<uint8_t>(request.protocolId >> 8),
                     static_cast<uint8_t>(request.protocolId),
                     0,
                     3,
                     request.unit,
                     static_cast<uint8_t>(request.function + 0x80),
                     rule.code};
            break;
        case FaultKind::WrongTi:
            // As the menu's option: DE AD, or BA BE when the request's TI ends in AD.
            if (bytes.size() >= 2) {
                const bool endsInAd = (request.transactionId & 0xFF) == 0xAD;
                bytes[0] = endsInAd ? 0xBA : 0xDE;
                bytes[1] = endsInAd ? 0xBE : 0xAD;
            }
            break;
        case FaultKind::WrongPid:
            if (bytes.size() >= 4) {
                bytes[2] = 0xAB;
                bytes[3] = 0xCD;
            }
            break;
        case FaultKind::WrongLength:
            if (bytes.size() >= 5) {
                bytes[4] = 0xEF;
            }
            break;
        case FaultKind::WrongUnit:
            if (bytes.size() >= 7) {
                bytes[6] = rule.value.value_or(static_cast<uint8_t>(request.unit + 1));
            }
            break;
        case FaultKind::WrongFunction:
            if (bytes.size() >= 8) {
                bytes[7] = rule.value.value_or(static_cast<uint8_t>(request.function + 1));
            }
            break;
        case FaultKind::Truncate:
            shaped = true;
            if (bytes.size() > static_cast<size_t>(rule.bytes)) {
                bytes.resize(static_cast<size_t>(rule.bytes));
            }
            break;
        case FaultKind::ExtraBytes:
            for (int b = 0; b < rule.bytes; ++b) {
                bytes.push_back(static_cast<uint8_t>(state.generator.next()));
            }
            break;
        case FaultKind::Corrupt:
            // Each byte is changed for certain: it is xored with a non-zero value.
            for (size_t b = kHeaderBytes; b < bytes.size() && b < static_cast<size_t>(kHeaderBytes + rule.bytes); ++b) {
                bytes[b] ^= static_cast<uint8_t>(1 + state.generator.next() % 255);
            }
            break;
        case FaultKind::Split:
            shaped = true;
            splitBytes = rule.bytes;
            gapMs = rule.gapMs;
            break;
        case FaultKind::Duplicate:
            duplicate = true;
            break;
        case FaultKind::Close:
            plan.action = FaultConnectionAction::Close;
            break;
        case FaultKind::Reset:
            dropped = true;
            plan.action = FaultConnectionAction::Reset;
            break;
        case FaultKind::Stall:
            dropped = true;
            plan.action = FaultConnectionAction::Stall;
            break;
        }
    }
    if (!plan.faulted() || dropped || bytes.empty()) {
        return plan;
    }

    uint64_t at = delayMs;
    auto clamp = [](uint64_t ms) {
        return static_cast<uint32_t>(std::min<uint64_t>(ms, std::numeric_limits<uint32_t>::max()));
    };
    if (splitBytes <= 0 && !duplicate) {
        plan.sends.push_back(FaultSend{clamp(at), std::move(bytes)});
        return plan;
    }
    for (int copy = 0; copy < (duplicate ? 2 : 1); ++copy) {
        if (splitBytes <= 0) {
            plan.sends.push_back(FaultSend{clamp(at), bytes});
            continue;
        }
        for (size_t from = 0; from < bytes.size(); from += static_cast<size_t>(splitBytes)) {
            const size_t to = std::min(bytes.size(), from + static_cast<size_t>(splitBytes));
            plan.sends.push_back(
                FaultSend{clamp(at), std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                                                          bytes.begin() + static_cast<std::ptrdiff_t>(to))});
            at += gapMs;
        }
    }
    return plan;
}

bool FaultRules::setEnabled(std::string_view name, bool on)
{
    for (size_t i = 0; i < set_.rules.size(); ++i) {
        if (set_.rules[i].name == name) {
            set_.rules[i].enabled = on;
            filters_[i].enabled = on;
            return true;
        }
    }
    return false;
}

void FaultRules::resetCounters()
{
    for (RuleState& state : states_) {
        state.matched = 0;
        state.fired = 0;
    }
}

std::vector<FaultRuleCounters> FaultRules::counters() const
{
    std::vector<FaultRuleCounters> out;
    out.reserve(set_.rules.size());
    for (size_t i = 0; i < set_.rules.size(); ++i) {
        const FaultRule& rule = set_.rules[i];
        out.push_back(FaultRuleCounters{rule.name, rule.kind, rule.enabled, states_[i].matched, states_[i].fired});
    }
    return out;
}

int FaultRules::enabledCount() const
{
    return static_cast<int>(
        std::count_if(set_.rules.begin(), set_.rules.end(), [](const FaultRule& r) { return r.enabled; }));
}

uint64_t FaultRules::firedTotal() const
{
    uint64_t total = 0;
    for (const RuleState& state : states_) {
        total += state.fired;
    }
    return total;
}

} // namespace korvel
