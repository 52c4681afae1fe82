// Test names for rows whose own field is a text that may hold any character: a test name may
// only hold letters, digits and "_", so every other byte is spelled "_" and two hex digits ("r+1"
// -> "r_2B1"), and the empty text is "Empty". Distinct texts give distinct names. No Qt.
#pragma once

#include <cctype>
#include <cstdio>
#include <string>
#include <string_view>

namespace korvel::testing {

inline std::string ParamName(std::string_view text)
{
    if (text.empty())
        return "Empty";
    std::string name;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            name += c;
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "_%02X", byte);
            name += hex;
        }
    }
    return name;
}

} // namespace korvel::testing
