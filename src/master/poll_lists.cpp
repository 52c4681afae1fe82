#include "master/poll_lists.h"

#include "common/numeric.h"

#include <algorithm>

namespace korvel {

namespace {

// A whole number in the decimal mode of the shared text check, as a 64-bit value (the check
// accepts what fits 64 bits; the conversion only 32).
std::optional<int64_t> WholeNumber(std::string_view text)
{
    if (!IsNumericOrHex(text, false)) {
        return std::nullopt;
    }
    try {
        return NumericOrHexToInt(text, false);
    } catch (const ConversionError&) {
        return std::nullopt; // beyond 32 bits: out of every range the lists accept
    }
}

void Reset(PollList& list, int32_t newCount)
{
    list.count = newCount;
    list.position = 0;
}

} // namespace

PollList& PollLists::list(ListKind kind)
{
    switch (kind) {
    case ListKind::InputRead:
        return ReadInputRegAddr;
    case ListKind::HoldingWrite:
        return WriteHoldRegAddr;
    case ListKind::HoldingRead:
        break;
    }
    return ReadHoldRegAddr;
}

const PollList& PollLists::list(ListKind kind) const
{
    return const_cast<PollLists*>(this)->list(kind);
}

bool PollLists::setReadLimit(int value)
{
    if (std::find(std::begin(kReadLimits), std::end(kReadLimits), value) == std::end(kReadLimits)) {
        return false;
    }
    ReadLimit = value;
    return true;
}

bool PollLists::setWriteLimit(int value)
{
    if (std::find(std::begin(kWriteLimits), std::end(kWriteLimits), value) == std::end(kWriteLimits)) {
        return false;
    }
    WriteLimit = value;
    return true;
}

const char* SeriesCaption(ListKind kind)
{
    switch (kind) {
    case ListKind::InputRead:
        return kSeriesCaptionInputRead;
    case ListKind::HoldingWrite:
        return kSeriesCaptionHoldWrite;
    case ListKind::HoldingRead:
        break;
    }
    return kSeriesCaptionHoldRead;
}

bool ComboTextAcceptable(std::string_view text)
{
    return text.empty() || IsNumericOrHex(text, false);
}

std::optional<int32_t> ListAddress(std::string_view text)
{
    const std::optional<int64_t> value = WholeNumber(text);
    if (!value || *value < kLowestListAddress || *value > kHighestListAddress) {
        return std::nullopt;
    }
    return static_cast<int32_t>(*value);
}

int32_t AddressIndex(const PollList& list, int32_t address)
{
    const auto begin = list.entries.begin();
    const auto end = begin + list.count;
    const auto at = std::lower_bound(begin, end, address);
    return at != end && *at == address ? static_cast<int32_t>(at - begin) : -1;
}

AddOutcome AddAddress(PollList& list, int32_t address, RegisterStore& store)
{
    const auto begin = list.entries.begin();
    const auto end = begin + list.count;
    const auto at = std::lower_bound(begin, end, address);
    if (at != end && *at == address) {
        return {};
    }
    const auto index = static_cast<int32_t>(at - begin);
    std::copy_backward(at, end, end + 1);
    *at = address;
    store.orFlags(static_cast<uint16_t>(address), list.flag);
    Reset(list, list.count + 1);
    return {true, index};
}

int32_t RemoveAddress(PollList& list, int32_t address, RegisterStore& store)
{
    const auto begin = list.entries.begin();
    const auto end = begin + list.count;
    const auto at = std::lower_bound(begin, end, address);
    if (at == end || *at != address) {
        return -1;
    }
    const auto index = static_cast<int32_t>(at - begin);
    store.andFlags(static_cast<uint16_t>(address), static_cast<uint8_t>(~list.flag));
    std::copy(at + 1, end, at);
    Reset(list, list.count - 1);
    return index;
}

void ClearList(PollList& list, RegisterStore& store)
{
    const auto mask = static_cast<uint8_t>(~list.flag);
    for (int32_t i = 0; i < list.count; ++i) {
        store.andFlags(static_cast<uint16_t>(list.entries[i]), mask);
    }
    Reset(list, 0);
}

std::optional<SeriesBounds> CheckSeriesBounds(std::string_view fromText, std::string_view toText)
{
    const std::optional<int64_t> from = WholeNumber(fromText);
    const std::optional<int64_t> to = WholeNumber(toText);
    if (!from || !to || *from >= *to || *from < kLowestListAddress || *to > kHighestListAddress) {
        return std::nullopt;
    }
    return SeriesBounds{static_cast<int32_t>(*from), static_cast<int32_t>(*to)};
}

void ApplySeries(PollList& list, SeriesBounds bounds, bool remove, RegisterStore& store)
{
    const int32_t oldCount = list.count;
    const auto begin = list.entries.begin();
    const auto end = begin + oldCount;
    // The entries before the range and after it stay as they are; only the middle changes.
    const auto low = std::lower_bound(begin, end, bounds.from);
    const auto high = std::upper_bound(low, end, bounds.to);
    const auto before = static_cast<int32_t>(low - begin);
    const auto after = static_cast<int32_t>(end - high);
    int32_t newCount = 0;
    if (remove) {
        const auto mask = static_cast<uint8_t>(~list.flag);
        for (auto it = low; it != high; ++it) {
            store.andFlags(static_cast<uint16_t>(*it), mask);
        }
        std::copy(high, end, low);
        newCount = before + after;
    } else {
        const int32_t span = bounds.to - bounds.from + 1;
        newCount = before + span + after;
        // The tail moves to its new place first (backwards, the ranges may overlap), then the range
        // fills the middle: every address of the range is in the new list exactly once.
        std::copy_backward(high, end, begin + newCount);
        for (int32_t i = 0; i < span; ++i) {
            list.entries[before + i] = bounds.from + i;
        }
        for (int32_t i = 0; i < newCount; ++i) {
            store.orFlags(static_cast<uint16_t>(list.entries[i]), list.flag);
        }
    }
    std::fill(begin + newCount, begin + std::max(newCount, oldCount), 0);
    Reset(list, newCount);
}

void ResetUsageFlags(RegisterStore& store)
{
    for (int address = 0; address < kRegisterCount; ++address) {
        store.andFlags(static_cast<uint16_t>(address), 0);
    }
}

} // namespace korvel
