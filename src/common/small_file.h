// Reading a small file whole, as the register files and the rule files are read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvel {

// Reads `fileName` whole into `content`: empty, or why it cannot be read: the system's reason,
// "it is a folder", "it is not a regular file", or "it is larger than <what> can be (...)" for a
// file of more than `limit` bytes (also one that grew while it was read). Opened without blocking,
// so that a FIFO or a device never holds the caller up.
std::string ReadSmallFile(const std::string& fileName, size_t limit, std::string_view what, std::string& content);

} // namespace korvel
