// The window's command line: `--faults FILE.toml` (or `--faults=FILE.toml`) anywhere among the
// arguments names a fault rule file; the other arguments keep their order and their meaning (the
// first of them is the variable-list file or /POWER_OF_ATOM).
#pragma once

#include <string>
#include <vector>

namespace korvel {

inline constexpr const char* kFaultsOption = "--faults";

struct WindowArguments {
    std::vector<std::string> rest; // the arguments without the fault rule option
    std::string faultsFile;        // empty when none was named
    std::string error;             // the option given without a file or twice; no rule applies then
};

WindowArguments SplitWindowArguments(const std::vector<std::string>& arguments);

} // namespace korvel
