// The rule file's reader: TOML text to a FaultRuleSet, or the first error with its place.
#pragma once

#include "faults/fault_rules.h"

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

struct FaultRulesError {
    int line = 0;        // from 1
    int column = 0;      // from 1
    std::string message; // names the key and what is allowed
    // "line 4, column 9: "every" must be an integer from 1 to 1000000"
    std::string text() const;
    bool operator==(const FaultRulesError&) const = default;
};

struct FaultRulesParse {
    FaultRuleSet set;                     // valid only when ok()
    std::optional<FaultRulesError> error; // the first error found; a set with one is not applied
    bool ok() const { return !error.has_value(); }
};

// Reads a rule set: `seed` and the `[[rule]]` tables. Unknown keys, wrong types, values out of
// range, duplicate names, unknown kinds, a kind's parameters on another kind and syntax errors are
// errors; so are the `[expect]` and `[roles]` tables, which are not supported yet.
FaultRulesParse ParseFaultRules(std::string_view text);

// A rule set is a few kilobytes of text; a file near this size is not one.
inline constexpr size_t kFaultRulesFileLimit = 1 << 20;

// Reads the rule file `fileName` whole into `content`: empty, or why it cannot be read (the
// system's reason, "it is a folder", "it is not a regular file", or that it is larger than
// kFaultRulesFileLimit). Opened without blocking, so that a FIFO or a device never holds a start
// or a window up.
std::string ReadFaultRulesFile(const std::string& fileName, std::string& content);

} // namespace korvel
