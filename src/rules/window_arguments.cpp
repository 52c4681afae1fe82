#include "rules/window_arguments.h"

#include <string_view>

namespace korvel {

WindowArguments SplitWindowArguments(const std::vector<std::string>& arguments)
{
    WindowArguments out;
    const std::string_view option = kFaultsOption;
    const std::string withValue = std::string(option) + "=";
    int given = 0;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        std::string file;
        if (argument == option) {
            if (i + 1 == arguments.size()) {
                out.error = std::string(option) + " needs the name of a rule file";
                ++given;
                continue;
            }
            file = arguments[++i];
        } else if (argument.rfind(withValue, 0) == 0) {
            file = argument.substr(withValue.size());
        } else {
            out.rest.push_back(argument);
            continue;
        }
        if (file.empty())
            out.error = std::string(option) + " needs the name of a rule file";
        if (++given == 2)
            out.error = std::string(option) + " is given more than once";
        out.faultsFile = file;
    }
    if (!out.error.empty())
        out.faultsFile.clear();
    return out;
}

} // namespace korvel
