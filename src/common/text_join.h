// Texts built from pieces in one buffer. "r" + std::to_string(n) inserts the literal in front of
// the temporary, which GCC 12 at -O3 wrongly reports as overlapping (-Wrestrict); appending the
// pieces in order costs one allocation and warns about nothing.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace korvel {

inline std::string JoinText(std::initializer_list<std::string_view> pieces)
{
    size_t size = 0;
    for (const std::string_view piece : pieces)
        size += piece.size();
    std::string text;
    text.reserve(size);
    for (const std::string_view piece : pieces)
        text += piece;
    return text;
}

} // namespace korvel
