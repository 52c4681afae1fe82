// Texts of the "Fault Rules" window's table: a rule's scope and schedule in a few words, and the
// columns' heads. Pure functions: the window only copies what these return.
#pragma once

#include "faults/fault_rules.h"

#include <array>
#include <cstdint>
#include <string>

namespace korvel {

// The table's columns, in the order they are shown.
enum class FaultTableColumn { Enabled, Name, Kind, Scope, Schedule, Matched, Fired };
inline constexpr int kFaultTableColumnCount = 7;
inline constexpr std::array<const char*, kFaultTableColumnCount> kFaultTableHeads{
    "On", "Name", "Kind", "Scope", "Schedule", "Matched", "Fired"};

// The scope keys the rule sets, in the file's order: "conn 1, peer 10.0.0.0/8, unit 1-3,
// fc 3,4, addr 100-199"; "any" when it sets none.
std::string FaultScopeText(const FaultRule& rule);
// The schedule keys that differ from their defaults: "skip 2, every 3, times 5, p 0.5,
// after 1.5s, for 10s"; "always" when none does.
std::string FaultScheduleText(const FaultRule& rule);
// A duration as the rule file writes it: "2s" for whole seconds, else "250ms".
std::string FaultDurationText(uint64_t ms);

} // namespace korvel
