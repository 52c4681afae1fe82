// The client's three poll lists (holding registers to read, input registers to read, holding
// registers to write), their usage flags in the register store and the two transaction limiters.
// Plain data and pure operations: the client window keeps the combo boxes in step with what these
// functions return and raises the register view's refresh after every change.
#pragma once

#include "common/register_store.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace korvel {

// Texts of the list editing.
inline constexpr const char* kDigitsPleaseText = "Digits, please";
inline constexpr const char* kInvalidAddressText = "Invalid address value";
inline constexpr const char* kSeriesRangeErrorText = "Range error (1 - 65535) - check values";
inline constexpr const char* kClearCaption = "Clear";
inline constexpr const char* kClearWriteQuestion =
    "Do you want to remove all Holding registers to write from the client?";
inline constexpr const char* kClearHoldReadQuestion =
    "Do you want to remove all Holding registers to read from the client?";
inline constexpr const char* kClearInputQuestion = "Do you want to remove all Input registers from the client?";
// Captions of the series dialog by list.
inline constexpr const char* kSeriesCaptionHoldWrite = "Holding registers, write";
inline constexpr const char* kSeriesCaptionHoldRead = "Holding registers, read";
inline constexpr const char* kSeriesCaptionInputRead = "Input registers, read";

constexpr int kLowestListAddress = 1;
constexpr int kHighestListAddress = 65535;
// Room for every address a list can hold; the array keeps stale entries behind the count.
constexpr int kListCapacity = 65536;

// One poll list: entries 0 .. count-1 are addresses 1..65535, strictly ascending. Entries at and
// beyond the count are left over from earlier contents and mean nothing (they are never read).
struct PollList {
    explicit PollList(uint8_t flag) : flag(flag), entries(kListCapacity, 0) {}

    uint8_t flag;                 // the list's usage bit in the register store (kFlagHoldingRead, ...)
    std::vector<int32_t> entries; // always kListCapacity long
    int32_t count = 0;
    int32_t position = 0; // index of the next run a query serves; every change of the list resets it

    bool empty() const { return count == 0; }
    // Entries 0 .. count-1.
    std::vector<int32_t> addresses() const { return {entries.begin(), entries.begin() + count}; }
};

// Which list; the numbers are the series dialog's `SerieType`.
enum class ListKind { InputRead = 1, HoldingWrite = 2, HoldingRead = 3 };

// The transaction limiters: the most registers one read or one write query may cover.
inline constexpr int kReadLimits[] = {5, 50, 100, 125};
inline constexpr int kWriteLimits[] = {50, 100, 123};
constexpr int kInitialReadLimit = 125;
constexpr int kInitialWriteLimit = 100;

struct PollLists {
    PollList ReadHoldRegAddr{kFlagHoldingRead};
    PollList ReadInputRegAddr{kFlagInputRead};
    PollList WriteHoldRegAddr{kFlagHoldingWrite};
    int32_t ReadLimit = kInitialReadLimit;   // one of kReadLimits
    int32_t WriteLimit = kInitialWriteLimit; // one of kWriteLimits

    PollList& list(ListKind kind);
    const PollList& list(ListKind kind) const;
    bool allEmpty() const { return ReadHoldRegAddr.empty() && ReadInputRegAddr.empty() && WriteHoldRegAddr.empty(); }
    // Sets a limiter when the value is one of its menu's; returns false and keeps it otherwise.
    bool setReadLimit(int value);
    bool setWriteLimit(int value);
};

// The series dialog's caption for a list.
const char* SeriesCaption(ListKind kind);

// A combo box's text while it is typed: empty or a whole number (decimal mode of the shared text
// check). false means: erase it and show kDigitsPleaseText.
bool ComboTextAcceptable(std::string_view text);

// The address a combo text names for Add: a whole number 1..65535, else nothing (kInvalidAddressText).
std::optional<int32_t> ListAddress(std::string_view text);

// Where Add puts a new address: the index of the first entry greater than it, or nothing when the
// list holds it already (Remove stays disabled, nothing is added).
struct AddOutcome {
    bool added = false;
    int32_t index = -1; // where the combo inserts the typed text
};

// Adds one address (1..65535) in order, sets its usage flag, resets the position.
AddOutcome AddAddress(PollList& list, int32_t address, RegisterStore& store);

// Removes one address when the list holds it: clears its usage flag, resets the position.
// Returns the index it had (the combo item to delete), -1 when it was not in the list.
int32_t RemoveAddress(PollList& list, int32_t address, RegisterStore& store);

// The index of `address` among the list's entries, -1 when the list does not hold it.
int32_t AddressIndex(const PollList& list, int32_t address);

// Clears the usage flag of every listed address and sets the count (and position) to 0. The
// entries themselves stay in the array behind the count.
void ClearList(PollList& list, RegisterStore& store);

// The series dialog's bounds: both whole numbers, from < to, from >= 1, to <= 65535. nullopt
// means kSeriesRangeErrorText and the dialog stays open.
struct SeriesBounds {
    int32_t from;
    int32_t to;
};
std::optional<SeriesBounds> CheckSeriesBounds(std::string_view fromText, std::string_view toText);

// Merges from..to into the list (ascending, no duplicates) and sets the flag of every address of
// the new list; with `remove`, takes from..to out of the list and clears their flags (addresses of
// the range the list does not hold are ignored). Entries from the new count up to the old count
// become 0; the position becomes 0. Linear in the list's size plus the range's.
void ApplySeries(PollList& list, SeriesBounds bounds, bool remove, RegisterStore& store);

// Sets all 65536 flag bytes to 0; done when the client window is created (before any publishing).
void ResetUsageFlags(RegisterStore& store);

} // namespace korvel
