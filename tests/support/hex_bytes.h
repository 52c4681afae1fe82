// Hex strings for byte-exact frame tables: "00 01 00 00" <-> bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace korvel::testing_hex {

inline std::vector<uint8_t> Bytes(const std::string& hex)
{
    std::vector<uint8_t> out;
    unsigned value = 0;
    int digits = 0;
    for (char ch : hex) {
        int v = -1;
        if (ch >= '0' && ch <= '9') {
            v = ch - '0';
        } else if (ch >= 'A' && ch <= 'F') {
            v = ch - 'A' + 10;
        } else if (ch >= 'a' && ch <= 'f') {
            v = ch - 'a' + 10;
        }
        if (v < 0) {
            continue;
        }
        value = value * 16 + static_cast<unsigned>(v);
        if (++digits == 2) {
            out.push_back(static_cast<uint8_t>(value));
            value = 0;
            digits = 0;
        }
    }
    return out;
}

inline std::string Hex(const uint8_t* bytes, int count)
{
    std::string out;
    char buffer[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(buffer, sizeof buffer, i == 0 ? "%02X" : " %02X", bytes[i]);
        out += buffer;
    }
    return out;
}

} // namespace korvel::testing_hex
