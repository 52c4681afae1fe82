// Fault rules: a rule set as plain values, and the evaluation that turns one request's facts and
// the reply the engine built into a plan the runtime carries out (what to send when, and what
// happens to the connection). No sockets, no clock, no Qt: the caller passes the time in as
// milliseconds since the rule set was applied, and every random choice comes from a generator per
// rule seeded from the set's seed, so the same seed and request sequence fire the same faults.
//
// Not thread-safe: one FaultRules belongs to the thread that serves the requests (the server
// thread); commands (enable, reset, read the counters) run there too.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvel {

// The kinds of `fault =`, in the order of the rule file's table.
enum class FaultKind : uint8_t {
    Delay,
    NoReply,
    Exception,
    WrongTi,
    WrongPid,
    WrongLength,
    WrongUnit,
    WrongFunction,
    Truncate,
    ExtraBytes,
    Corrupt,
    Split,
    Duplicate,
    Close,
    Reset,
    Stall,
};
constexpr int kFaultKindCount = 16;

// The kind's name in files, log lines and on D-Bus: "delay", "no-reply", "wrong-ti" ...
std::string_view FaultKindName(FaultKind kind);
std::optional<FaultKind> FaultKindFromName(std::string_view name);

// no-reply, reset and stall: the reply is not sent, and no later rule is looked at.
constexpr bool DropsReply(FaultKind kind)
{
    return kind == FaultKind::NoReply || kind == FaultKind::Reset || kind == FaultKind::Stall;
}

// Inclusive ranges.
struct AddressRange {
    uint16_t first = 0;
    uint16_t last = 0;
    bool operator==(const AddressRange&) const = default;
};
struct UnitRange {
    uint8_t first = 0;
    uint8_t last = 0;
    bool operator==(const UnitRange&) const = default;
};

// An IPv4 address or network, host byte order: a peer matches when (peer & mask) == address.
struct PeerScope {
    uint32_t address = 0;
    uint32_t mask = 0xFFFFFFFFu;
    bool operator==(const PeerScope&) const = default;
};

// delay_ms: a number, [min, max] or { mean = M, sd = S }.
struct DelayParameter {
    enum class Shape : uint8_t { Fixed, Uniform, Normal };
    Shape shape = Shape::Fixed;
    uint32_t ms = 0;    // Fixed
    uint32_t minMs = 0; // Uniform, inclusive
    uint32_t maxMs = 0;
    double mean = 0; // Normal, ms; the draw is rounded and never below 0
    double sd = 0;
    bool operator==(const DelayParameter&) const = default;
};

// The default of `bytes` for the kinds that take it (truncate 7, extra-bytes 4, corrupt 1,
// split 1); 0 for the others.
int DefaultFaultBytes(FaultKind kind);

struct FaultRule {
    std::string name; // unique in the set
    FaultKind kind = FaultKind::Delay;

    // Kind parameters; only the kind's own are used.
    DelayParameter delay;         // delay
    uint8_t code = 0;             // exception: 1-255
    std::optional<uint8_t> value; // wrong-unit, wrong-function; none: the request's + 1
    int bytes = 0;                // truncate, extra-bytes, corrupt, split
    uint32_t gapMs = 1;           // split

    // Scope: an empty list (or 0, or no peer) matches any request.
    int connection = 0; // the connection's slot, 1..N
    std::optional<PeerScope> peer;
    std::vector<UnitRange> units;
    std::vector<uint8_t> functions;
    std::vector<AddressRange> addresses; // overlaps one of the request's register ranges

    // Schedule.
    uint64_t skip = 0;        // let the first `skip` matching requests pass
    uint64_t every = 1;       // then fire on every `every`th matching request
    uint64_t times = 0;       // fire at most so often; 0: no limit
    double probability = 1.0; // fire with this probability when due
    uint64_t afterMs = 0;     // active from this long after the set was applied
    uint64_t forMs = 0;       // active this long; 0: for ever
    bool enabled = true;

    bool operator==(const FaultRule&) const = default;
};

struct FaultRuleSet {
    uint64_t seed = 1;
    std::vector<FaultRule> rules; // in file order
    bool operator==(const FaultRuleSet&) const = default;
};

// One request's facts, as the runtime knows them after the engine executed it.
struct FaultRequest {
    int connection = 0;   // slot, 1..N
    uint32_t peer = 0;    // the master's IPv4 address, host byte order (127.0.0.1 = 0x7F000001)
    uint8_t unit = 0;     // the request's unit identifier
    uint8_t function = 0; // the request's function code
    uint16_t transactionId = 0;
    uint16_t protocolId = 0;
    std::array<AddressRange, 2> ranges{}; // the register ranges the request touches
    int rangeCount = 0;                   // 0 (FC7, FC8, others), 1 (FC3/4/6/16/22), 2 (FC23)
    uint64_t nowMs = 0;                   // since the rule set was applied
};

// The facts of `request` (at least its first 8 bytes; shorter frames give the bytes they hold and
// no ranges). The ranges are the request's own addresses plus `addressOffset` (0, or 1 with the
// server's offset option), clipped at 65535; a quantity of 0 touches nothing.
FaultRequest FaultRequestOf(std::span<const uint8_t> request, int connection, uint32_t peer, uint64_t nowMs,
                            int addressOffset = 0);

// Dotted IPv4 text to a host-order address, as PeerScope and FaultRequest hold it.
std::optional<uint32_t> ParseIpv4(std::string_view text);

// What happens to the connection once the plan's sends are out.
enum class FaultConnectionAction : uint8_t {
    None,  // stays open as usual
    Close, // closed (FIN) after the last send
    Reset, // reset (RST) at once; nothing is sent
    Stall, // nothing is sent, now or for any later request; the connection stays open and is not
           // released as idle
};

struct FaultSend {
    uint32_t delayMs = 0; // from the moment of the evaluation, not from the previous send
    std::vector<uint8_t> bytes;
    bool operator==(const FaultSend&) const = default;
};

struct FiredFault {
    std::string name; // for the log line and the Fired signal
    FaultKind kind = FaultKind::Delay;
    bool operator==(const FiredFault&) const = default;
};

// The traffic log's line before the reply of a request the rule changed:
// `Fault rule "<name>": <kind>`.
std::string FaultLogLine(const FiredFault& fired);

// The plan for one reply. When no rule fired, `fired` is empty and the reply goes out as the
// engine built it (the plan holds nothing and allocated nothing). Otherwise `sends` replaces the
// reply: every send, in order, at its delay (empty when the reply was dropped), then `action`.
// A delayed send holds back the later replies of the same connection, not of others: the runtime
// queues a connection's sends in order.
struct FaultPlan {
    std::vector<FaultSend> sends;
    FaultConnectionAction action = FaultConnectionAction::None;
    std::vector<FiredFault> fired; // in file order
    bool faulted() const { return !fired.empty(); }
};

struct FaultRuleCounters {
    std::string name;
    FaultKind kind = FaultKind::Delay;
    bool enabled = true;
    uint64_t matched = 0; // requests in the rule's scope while it was enabled and active
    uint64_t fired = 0;
    bool operator==(const FaultRuleCounters&) const = default;
};

// A small seeded generator (splitmix64): one per rule, so rules do not draw from each other.
class FaultGenerator {
  public:
    FaultGenerator() = default;
    explicit FaultGenerator(uint64_t seed) : state_(seed) {}
    uint64_t next();
    double unit();                            // [0, 1)
    uint32_t between(uint32_t a, uint32_t b); // inclusive, a <= b

  private:
    uint64_t state_ = 0;
};

class FaultRules {
  public:
    FaultRules() = default;
    explicit FaultRules(FaultRuleSet set) { apply(std::move(set)); }

    // Replaces the rules: counters 0, schedules and generators from the start. The caller's clock
    // for FaultRequest::nowMs starts at this moment.
    void apply(FaultRuleSet set);
    void clear() { apply(FaultRuleSet{}); }

    const FaultRuleSet& ruleSet() const { return set_; }
    bool empty() const { return set_.rules.empty(); }

    // Rules in file order that the request matches, each on its schedule; `reply` is what the
    // engine built (with the menu's test options applied), once per reply step of the engine (also
    // when that reply is empty: the kinds that change bytes leave an empty reply empty, exception
    // builds one). A request that no rule matches costs no allocation and no draw.
    //
    // Precedence: the rules act in file order on the bytes as the earlier ones left them. A rule
    // that drops the reply (no-reply, reset, stall) ends the list: later rules are not looked at.
    // Of truncate and split only the first that fires acts: once one fired, the later truncate
    // and split rules are not looked at for this request. Delays add up, and a split's pieces
    // follow the summed delay gap_ms apart. Duplicate sends the bytes (all pieces) twice, however
    // many duplicate rules fire. A later exception replaces what the earlier rules did to the bytes.
    // After a stall the runtime sends nothing more on that connection and need not ask again.
    FaultPlan evaluate(const FaultRequest& request, std::span<const uint8_t> reply);

    // false when no rule has that name.
    bool setEnabled(std::string_view name, bool on);
    // The counters start at 0 again; the schedules (skip, every, times) and generators go on.
    void resetCounters();
    std::vector<FaultRuleCounters> counters() const; // in file order
    int enabledCount() const;
    uint64_t firedTotal() const;

  private:
    struct RuleState {
        FaultGenerator generator;
        uint64_t seen = 0;  // matching requests, for skip and every
        uint64_t shots = 0; // times fired, for times
        uint64_t matched = 0;
        uint64_t fired = 0;
    };

    // A rule's scope in one compact value, so that a request outside every rule's scope touches
    // little more than these.
    struct Filter {
        std::array<uint64_t, 4> functions{}; // bit per function code; all set when any matches
        std::array<uint64_t, 4> units{};     // bit per unit identifier
        uint64_t fromMs = 0;                 // active in [fromMs, untilMs)
        uint64_t untilMs = 0;
        uint32_t peerAddress = 0;
        uint32_t peerMask = 0; // 0: any peer
        int connection = 0;    // 0: any
        bool enabled = true;
        bool byAddress = false; // the rule's address list applies
    };

    bool inScope(size_t rule, const FaultRequest& request) const;
    static bool due(const FaultRule& rule, RuleState& state);

    FaultRuleSet set_;
    std::vector<RuleState> states_;
    std::vector<Filter> filters_;
};

} // namespace korvel
