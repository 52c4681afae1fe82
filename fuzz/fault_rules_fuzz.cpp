// The fault rule reader on arbitrary text, and the rules it accepts on a few requests: the reader
// must return a set or an error with a place and a reason, and whatever set it accepts must
// evaluate without reading outside the reply or the request.
#include "faults/fault_rules.h"
#include "faults/fault_rules_file.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const korvel::FaultRulesParse parsed = korvel::ParseFaultRules(text);
    if (!parsed.ok()) {
        if (parsed.error->message.empty()) {
            __builtin_trap();
        }
        (void)parsed.error->text();
        return 0;
    }
    std::set<std::string> names;
    for (const korvel::FaultRule& rule : parsed.set.rules) {
        if (!names.insert(rule.name).second || rule.every == 0 || !(rule.probability >= 0 && rule.probability <= 1)) {
            __builtin_trap();
        }
    }
    korvel::FaultRules rules(parsed.set);
    // Requests of every length up to a full FC23, cut from the input itself, then a clean FC3.
    const std::vector<uint8_t> fc3 = {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x64, 0x00, 0x0A};
    const std::vector<uint8_t> reply = {0x00, 0x01, 0x00, 0x00, 0x00, 0x07, 0x01, 0x03, 0x04, 0x00, 0x0A, 0x00, 0x0B};
    for (size_t n = 0; n <= 21 && n <= size; n += 3) {
        const std::vector<uint8_t> request(data, data + n);
        const korvel::FaultRequest facts =
            korvel::FaultRequestOf(request, 1 + static_cast<int>(n % 3), 0x7F000001, n * 700, static_cast<int>(n & 1));
        (void)rules.evaluate(facts, std::vector<uint8_t>(reply.begin(), reply.begin() + static_cast<long>(n % 14)));
    }
    for (int i = 0; i < 4; ++i) {
        const korvel::FaultPlan plan = rules.evaluate(korvel::FaultRequestOf(fc3, 1, 0x7F000001, 2000), reply);
        size_t sent = 0;
        for (const korvel::FaultSend& send : plan.sends) {
            sent += send.bytes.size();
        }
        if (sent > 4 * (reply.size() + 1024 * parsed.set.rules.size())) {
            __builtin_trap();
        }
    }
    (void)rules.counters();
    return 0;
}
