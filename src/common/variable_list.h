// The variable-list file (".korvel"): the values of every non-zero input and holding register and
// the two 26-entry register lists of the register view. Writing and reading are pure functions over
// the register store and the label lists; the program does the dialogs, and reads the disk with
// ReadVariableListFile.
#pragma once

#include "common/register_store.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace korvel {

constexpr int kVariableListRows = 26;

using RegisterListLabels = std::array<std::string, kVariableListRows>;
using RegisterList = std::array<int32_t, kVariableListRows>;

// Reads the labels of one list as register numbers in the view's register-number format (hex when
// `hex`). Throws ConversionError for a label that does not convert.
RegisterList LabelsToRegisters(const RegisterListLabels& labels, bool hex);

// The whole file, every line ended by CR LF: version line, register lines, the two lists in
// decimal, the count comment, "// " + dateTime, "#EOF".
std::string WriteVariableList(const RegisterStore& store, const RegisterList& inputList, const RegisterList& holdList,
                              std::string_view dateTime);

struct VariableListLoad {
    bool ok = true;
    std::string error;           // the failure's own text
    int failingLine = 0;         // 1-based number of the failing line
    std::string failingLineText; // that line as read
    // The list entries read, converted to the view's format; the first inputCount / holdCount
    // positions were replaced (also when the load failed later).
    RegisterListLabels inputLabels;
    RegisterListLabels holdLabels;
    int inputCount = 0;
    int holdCount = 0;

    // What the "Opening file" box says: the failure's text, then "Line <n>: <line>".
    std::string messageText() const;
};

// Clears every input and holding register, then loads `content` line by line into the store and
// the returned lists, until "#EOF", the end or the first failing line. hexRegisters: the view shows
// register numbers in hex, so the list entries are converted to 4-digit hex labels.
VariableListLoad ReadVariableList(std::string_view content, RegisterStore& store, bool hexRegisters);

// The same without clearing the store first: only the registers the file names are written.
// (The fuzz target reads thousands of files a second into one store.)
VariableListLoad ReadVariableListOver(std::string_view content, RegisterStore& store, bool hexRegisters);

// The largest file taken: a complete file of every register of both tables is under 2 MB; the
// rest is room for hand-edited blanks and comments.
constexpr size_t kMaxVariableListBytes = 4 * 1024 * 1024;

// Reads the whole file `fileName` into `content`, without blocking on a FIFO or a device; only a
// regular file of at most kMaxVariableListBytes is read. An empty text, or why it is not read.
std::string ReadVariableListFile(const std::string& fileName, std::string& content);

// True when the last six characters of `fileName`, upper-cased, are "KORVEL".
bool HasVariableListExtension(std::string_view fileName);

} // namespace korvel
