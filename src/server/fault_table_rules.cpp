#include "server/fault_table_rules.h"

#include "common/numeric.h"
#include "common/text_join.h"

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

namespace {

// Texts are appended piece by piece (or joined): GCC 12 at -O3 mistakes `"key " + text` for an
// overlapping copy (-Wrestrict).
void Append(std::string& text, std::string_view key, std::string_view value)
{
    if (!text.empty())
        text += ", ";
    text += key;
    text += ' ';
    text += value;
}

std::string Ipv4Text(uint32_t address)
{
    return JoinText({DecText(address >> 24), ".", DecText((address >> 16) & 0xFF), ".", DecText((address >> 8) & 0xFF),
                     ".", DecText(address & 0xFF)});
}

int MaskBits(uint32_t mask)
{
    int bits = 0;
    for (; bits < 32 && (mask & (0x80000000u >> bits)) != 0; ++bits) {
    }
    return bits;
}

template <typename Range> std::string RangesText(const std::vector<Range>& ranges)
{
    std::string text;
    for (const Range& range : ranges) {
        if (!text.empty())
            text += ',';
        text += DecText(range.first);
        if (range.last != range.first) {
            text += '-';
            text += DecText(range.last);
        }
    }
    return text;
}

std::string ProbabilityText(double p)
{
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, p);
    return error == std::errc() ? std::string(buffer, end) : std::string("?");
}

} // namespace

std::string FaultDurationText(uint64_t ms)
{
    if (ms % 1000 == 0)
        return std::to_string(ms / 1000) + "s";
    return std::to_string(ms) + "ms";
}

std::string FaultScopeText(const FaultRule& rule)
{
    std::string text;
    if (rule.connection != 0)
        Append(text, "conn", DecText(rule.connection));
    if (rule.peer) {
        const int bits = MaskBits(rule.peer->mask);
        std::string peer = Ipv4Text(rule.peer->address);
        if (bits != 32) {
            peer += '/';
            peer += DecText(bits);
        }
        Append(text, "peer", peer);
    }
    if (!rule.units.empty())
        Append(text, "unit", RangesText(rule.units));
    if (!rule.functions.empty()) {
        std::string functions;
        for (const uint8_t fc : rule.functions) {
            if (!functions.empty())
                functions += ',';
            functions += DecText(fc);
        }
        Append(text, "fc", functions);
    }
    if (!rule.addresses.empty())
        Append(text, "addr", RangesText(rule.addresses));
    return text.empty() ? "any" : text;
}

std::string FaultScheduleText(const FaultRule& rule)
{
    std::string text;
    if (rule.skip != 0)
        Append(text, "skip", std::to_string(rule.skip));
    if (rule.every != 1)
        Append(text, "every", std::to_string(rule.every));
    if (rule.times != 0)
        Append(text, "times", std::to_string(rule.times));
    if (rule.probability != 1.0)
        Append(text, "p", ProbabilityText(rule.probability));
    if (rule.afterMs != 0)
        Append(text, "after", FaultDurationText(rule.afterMs));
    if (rule.forMs != 0)
        Append(text, "for", FaultDurationText(rule.forMs));
    return text.empty() ? "always" : text;
}

} // namespace korvel
