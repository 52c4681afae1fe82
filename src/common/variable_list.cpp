#include "common/variable_list.h"

#include "common/numeric.h"
#include "common/small_file.h"
#include "common/text_join.h"

#include <cctype>
#include <cstring>

namespace korvel {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kVersionLine = "#Korvel 1.8.2";
constexpr int32_t kInputKeyBase = 1000000;
constexpr int32_t kHoldingKeyBase = 2000000;
constexpr int kKeyLength = 7;

void AddLine(std::string& out, std::string_view line)
{
    out.append(line);
    out.append(kLineEnd);
}

// Blanks and control characters at both ends go.
std::string_view Trim(std::string_view text)
{
    size_t first = 0;
    while (first < text.size() && static_cast<unsigned char>(text[first]) <= ' ') {
        ++first;
    }
    size_t last = text.size();
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ') {
        --last;
    }
    return text.substr(first, last - first);
}

// A list entry must be a register number in decimal: digits only, 0..65535.
bool IsDecimalRegisterNumber(std::string_view text, int32_t& value)
{
    if (text.empty() || text.size() > 10) {
        return false;
    }
    int64_t v = 0;
    for (char ch : text) {
        if (ch < '0' || ch > '9') {
            return false;
        }
        v = v * 10 + (ch - '0');
    }
    if (v >= kRegisterCount) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

struct LineFailure {
    std::string text;
};

// One register line: the key in the first seven characters, the value after the first "|".
void LoadRegisterLine(std::string_view trimmed, RegisterStore& store)
{
    const int32_t key = NumericOrHexToInt(trimmed.substr(0, kKeyLength), false);
    // The value text is what follows the first "|" of the trimmed line (the whole trimmed line
    // without one). Taken from the trimmed line, so that blanks or a tab after the value do not
    // make a hand-edited file fail; for every line without trailing blanks it is the same text as
    // the last characters of the line as read.
    const size_t bar = trimmed.find('|');
    const std::string_view valueText = bar == std::string_view::npos ? trimmed : trimmed.substr(bar + 1);
    const int32_t value = NumericOrHexToInt(valueText, false);
    const auto low16 = static_cast<uint16_t>(static_cast<uint32_t>(value) & 0xFFFFu);
    if (key >= kHoldingKeyBase && key < kHoldingKeyBase + kRegisterCount) {
        store.setHolding(static_cast<uint16_t>(key - kHoldingKeyBase), low16);
    } else if (key >= kInputKeyBase && key < kInputKeyBase + kRegisterCount) {
        store.setInput(static_cast<uint16_t>(key - kInputKeyBase), low16);
    } else {
        throw LineFailure{
            JoinText({"Register key ", std::to_string(key), " is outside 1000000-1065535 and 2000000-2065535"})};
    }
}

void LoadListEntry(std::string_view trimmed, bool hexRegisters, bool inputList, RegisterListLabels& labels, int& count)
{
    const char* which = inputList ? "input" : "holding";
    if (count >= kVariableListRows) {
        throw LineFailure{std::string("More than 26 entries in the ") + which + " register list"};
    }
    int32_t number = 0;
    if (!IsDecimalRegisterNumber(trimmed, number)) {
        throw LineFailure{"'" + QuotedExcerpt(trimmed) + "' is not a register number (0 - 65535) for the " + which +
                          " register list"};
    }
    labels[static_cast<size_t>(count)] = hexRegisters ? HexText(number) : std::string(trimmed);
    ++count;
}

} // namespace

RegisterList LabelsToRegisters(const RegisterListLabels& labels, bool hex)
{
    RegisterList list{};
    for (size_t i = 0; i < labels.size(); ++i) {
        list[i] = NumericOrHexToInt(labels[i], hex);
    }
    return list;
}

std::string WriteVariableList(const RegisterStore& store, const RegisterList& inputList, const RegisterList& holdList,
                              std::string_view dateTime)
{
    std::string out;
    out.reserve(4096);
    AddLine(out, kVersionLine);
    AddLine(out, "//");
    int inputLines = 0;
    int holdLines = 0;
    for (int i = 0; i < kRegisterCount; ++i) {
        const auto address = static_cast<uint16_t>(i);
        if (const uint16_t value = store.input(address); value != 0) {
            AddLine(out, JoinText({std::to_string(kInputKeyBase + i), "|", std::to_string(value)}));
            ++inputLines;
        }
        if (const uint16_t value = store.holding(address); value != 0) {
            AddLine(out, JoinText({std::to_string(kHoldingKeyBase + i), "|", std::to_string(value)}));
            ++holdLines;
        }
    }
    AddLine(out, "#EOR");
    for (int32_t number : inputList) {
        AddLine(out, std::to_string(number));
    }
    AddLine(out, "#EOVLI");
    for (int32_t number : holdList) {
        AddLine(out, std::to_string(number));
    }
    AddLine(out, "#EOVLH");
    AddLine(out, "//");
    AddLine(out, JoinText({"// ", std::to_string(inputLines + holdLines), " (", std::to_string(inputLines), "/",
                           std::to_string(holdLines), ")"}));
    AddLine(out, JoinText({"// ", dateTime}));
    AddLine(out, "#EOF");
    return out;
}

std::string VariableListLoad::messageText() const
{
    if (ok) {
        return {};
    }
    return JoinText({error, "\nLine ", std::to_string(failingLine), ": ", failingLineText});
}

VariableListLoad ReadVariableList(std::string_view content, RegisterStore& store, bool hexRegisters)
{
    store.zeroHolding();
    store.zeroInput();
    return ReadVariableListOver(content, store, hexRegisters);
}

VariableListLoad ReadVariableListOver(std::string_view content, RegisterStore& store, bool hexRegisters)
{
    VariableListLoad result;

    int section = 0;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos < content.size()) {
        // A line ends at CR LF, LF or CR.
        size_t end = pos;
        while (end < content.size() && content[end] != '\r' && content[end] != '\n') {
            ++end;
        }
        const std::string_view asRead = content.substr(pos, end - pos);
        pos = end;
        if (pos < content.size() && content[pos] == '\r') {
            ++pos;
        }
        if (pos < content.size() && content[pos] == '\n') {
            ++pos;
        }
        ++lineNumber;

        // A comment only counts from the first column.
        if (asRead.substr(0, 2) == "//") {
            continue;
        }
        const std::string_view trimmed = Trim(asRead);
        if (trimmed.empty()) {
            continue;
        }
        if (trimmed.front() == '#') {
            if (trimmed == "#EOR" || trimmed == "#EOVLI") {
                ++section;
            } else if (trimmed == "#EOVLH") {
                ++section;
            } else if (trimmed == "#EOF") {
                break;
            }
            continue;
        }
        try {
            if (section == 0) {
                LoadRegisterLine(trimmed, store);
            } else if (section == 1) {
                LoadListEntry(trimmed, hexRegisters, true, result.inputLabels, result.inputCount);
            } else if (section == 2) {
                LoadListEntry(trimmed, hexRegisters, false, result.holdLabels, result.holdCount);
            }
        } catch (const ConversionError& e) {
            result.ok = false;
            result.error = e.what();
        } catch (const LineFailure& e) {
            result.ok = false;
            result.error = e.text;
        }
        if (!result.ok) {
            result.failingLine = lineNumber;
            result.failingLineText = QuotedExcerpt(asRead);
            break;
        }
    }
    return result;
}

std::string ReadVariableListFile(const std::string& fileName, std::string& content)
{
    return ReadSmallFile(fileName, kMaxVariableListBytes, "a variable-list file", content);
}

bool HasVariableListExtension(std::string_view fileName)
{
    if (fileName.size() < 6) {
        return false;
    }
    const std::string_view tail = fileName.substr(fileName.size() - 6);
    static constexpr std::string_view kExtension = "KORVEL";
    for (size_t i = 0; i < 6; ++i) {
        if (std::toupper(static_cast<unsigned char>(tail[i])) != kExtension[i]) {
            return false;
        }
    }
    return true;
}

} // namespace korvel
