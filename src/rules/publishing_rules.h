// The rules of the desktop publishing that need no bus and no window: item names, the first line
// of a text, poked texts as register values, the progress percentage, and the item table with its
// links (one per topic), and the update pass that compares the registers with what was published.
#pragma once

#include "common/register_store.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace korvel {

// Which register table a topic publishes.
enum class TopicKind { Input, Holding };

// "input" or "holding".
const char* TopicName(TopicKind kind);
// Bit 0x08 (input) or 0x10 (holding) of the usage flags.
uint8_t PublishedFlag(TopicKind kind);

// The register of an item name: "r" followed by 0..65535 in decimal without leading zeros, sign
// or blank ("r0", "r933"); anything else has none.
std::optional<uint16_t> ItemRegister(std::string_view item);
// "r" + n.
std::string ItemName(uint16_t n);

// What an item keeps of a text: its first line (up to the first CR or LF).
std::string_view FirstLine(std::string_view text);

// The register value a client poked: the trimmed text when it is a whole integer (the shared
// integer test: optional sign, decimal or prefixed hex, 64 bits), reduced to its low 16 bits
// ("-1" -> 65535, "70000" -> 4464); no value for any other text.
std::optional<uint16_t> PokedValue(std::string_view text);

// Progress of a pass at address n of low..high: 100 - round((high - n) / (high - low) * 100),
// ties to even (0 after the first address, 100 after the last). Only for high > low.
int ProgressPerCent(int n, int low, int high);

// The choices of the "DDE" dialog's radio group, in their order.
enum DdeChoice {
    kAllInputAndHolding = 0,
    kInputRegisters = 1,
    kInputRange = 2,
    kHoldingRegisters = 3,
    kHoldingRange = 4, // selected when the dialog opens
    kInputAndHoldingRange = 5,
};
// The choices that use the From and To edits.
bool IsRangeChoice(int choice);

// What the dialog's OK starts: the range and which tables.
struct DdeRequest {
    int low = 0;
    int high = 65535;
    bool input = false;
    bool holding = false;
};
// The dialog's OK: the request of `choice`; for a range choice `from` and `to` (trimmed of blanks)
// must be whole integers with 0 <= from <= to <= 65535, otherwise there is none (range error).
std::optional<DdeRequest> DdeSelection(int choice, std::string_view from, std::string_view to);

// The close request waits at most this long for the publishing threads, in ms.
constexpr uint32_t kCloseWaitMs = 15000;
// The close wait: while `running` holds and less than kCloseWaitMs passed since the start (clock
// `now`, ms), asks the threads to end and serves the hand-overs they wait for.
void CloseWait(const std::function<bool()>& running, const std::function<void()>& askToEnd,
               const std::function<void()>& serve, const std::function<uint32_t()>& now);

// Longest text a client may poke, in bytes: the value is a number, and every item of both tables
// may keep what a client left in it.
constexpr size_t kMaxPokeBytes = 1024;

// A text set on an item, and the bus clients linked to it that are to be told.
struct ItemNotification {
    uint16_t n = 0;
    std::string text;
    std::vector<std::string> clients;
};

// The items of one topic: which registers have an item, the item's text, and the clients linked
// to each item. Thread-safe: the publishing thread creates and destroys items while the window
// thread serves clients and runs the update pass.
class ItemTable {
  public:
    ItemTable();

    // Creates (or re-creates) the item of n with `text`, without links.
    void create(uint16_t n, std::string text);
    // Destroys the item of n and its links.
    void destroy(uint16_t n);
    bool exists(uint16_t n) const;
    size_t count() const;
    // The item's text; none when the item does not exist.
    std::optional<std::string> text(uint16_t n) const;
    // A client's poke: the first line of `text` becomes the item's text and the item is marked
    // for the next update pass. The linked clients are to be told; none when no item exists.
    std::optional<ItemNotification> poke(uint16_t n, std::string_view text);
    // Links `client` to the item of n; its text, none when no item exists.
    std::optional<std::string> link(uint16_t n, const std::string& client);
    // Removes the link; false when no item exists.
    bool unlink(uint16_t n, const std::string& client);
    // A client left the bus: all its links go.
    void dropClient(const std::string& client);
    // Number of links of the item of n (tests and the benchmark).
    size_t linkCount(uint16_t n) const;

    // The update pass over low..last (the items created so far): a register that differs from
    // what was last published (`previous`) is published; otherwise a text poked since the last
    // pass that is a whole integer different from it becomes the register's value. Ends at once
    // when `stop` is set. The texts set on linked items are returned for the notifications.
    std::vector<ItemNotification> updatePass(TopicKind kind, RegisterStore& store, uint16_t* previous, int low,
                                             int last, const std::atomic<bool>& stop);

  private:
    struct Item {
        bool exists = false;
        bool poked = false; // text set by a client since the last update pass
        std::string text;
        std::set<std::string> links; // unique bus names of the linked clients
    };
    mutable std::mutex mutex_;
    std::vector<Item> items_;
    size_t count_ = 0;
    std::map<std::string, std::set<uint16_t>> clientLinks_; // the items each linked client links
};

} // namespace korvel
