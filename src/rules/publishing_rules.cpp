#include "rules/publishing_rules.h"

#include "common/numeric.h"
#include "common/text_join.h"

#include <charconv>
#include <cmath>

namespace korvel {

const char* TopicName(TopicKind kind)
{
    return kind == TopicKind::Input ? "input" : "holding";
}

uint8_t PublishedFlag(TopicKind kind)
{
    return kind == TopicKind::Input ? kFlagInputPublished : kFlagHoldingPublished;
}

std::optional<uint16_t> ItemRegister(std::string_view item)
{
    // "r" and one to five digits, the first not "0" unless it is the only one.
    if (item.size() < 2 || item.size() > 6 || item.front() != 'r')
        return std::nullopt;
    const std::string_view digits = item.substr(1);
    if (digits.size() > 1 && digits.front() == '0')
        return std::nullopt;
    uint32_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value >= static_cast<uint32_t>(kRegisterCount))
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::string ItemName(uint16_t n)
{
    return JoinText({"r", std::to_string(n)});
}

std::string_view FirstLine(std::string_view text)
{
    return text.substr(0, text.find_first_of("\r\n"));
}

namespace {

std::string_view TrimBlanks(std::string_view text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The value of a text the integer test accepted: sign, then decimal or hex after "$", "x", "X",
// "0x", "0X"; computed modulo 2^64, of which the low 16 bits count.
uint64_t IntegerBits(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        base = 16;
        text.remove_prefix(2);
    } else if (!text.empty() && (text.front() == '$' || text.front() == 'x' || text.front() == 'X')) {
        base = 16;
        text.remove_prefix(1);
    }
    uint64_t value = 0;
    for (char c : text) {
        const int digit = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
        value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return negative ? ~value + 1 : value;
}

} // namespace

std::optional<uint16_t> PokedValue(std::string_view text)
{
    const std::string_view trimmed = TrimBlanks(text);
    if (trimmed.empty() || !IsNumericOrHex(trimmed, false))
        return std::nullopt;
    return static_cast<uint16_t>(IntegerBits(trimmed) & 0xFFFFu);
}

bool IsRangeChoice(int choice)
{
    return choice == kInputRange || choice == kHoldingRange || choice == kInputAndHoldingRange;
}

std::optional<DdeRequest> DdeSelection(int choice, std::string_view from, std::string_view to)
{
    DdeRequest request;
    switch (choice) {
    case kAllInputAndHolding:
        request.input = request.holding = true;
        return request;
    case kInputRegisters:
        request.input = true;
        return request;
    case kHoldingRegisters:
        request.holding = true;
        return request;
    default:
        break;
    }
    from = TrimBlanks(from);
    to = TrimBlanks(to);
    if (!IsNumericOrHex(from, false) || !IsNumericOrHex(to, false))
        return std::nullopt;
    // Values the integer test accepted fit in 64 bits: their two's complement bits are the value.
    const auto low = static_cast<int64_t>(IntegerBits(from));
    const auto high = static_cast<int64_t>(IntegerBits(to));
    if (low > high || low < 0 || high > 65535)
        return std::nullopt;
    request.low = static_cast<int>(low);
    request.high = static_cast<int>(high);
    request.input = choice == kInputRange || choice == kInputAndHoldingRange;
    request.holding = choice == kHoldingRange || choice == kInputAndHoldingRange;
    return request;
}

void CloseWait(const std::function<bool()>& running, const std::function<void()>& askToEnd,
               const std::function<void()>& serve, const std::function<uint32_t()>& now)
{
    const uint32_t start = now();
    while (running() && now() - start < kCloseWaitMs) {
        askToEnd();
        serve();
    }
}

int ProgressPerCent(int n, int low, int high)
{
    const double share = static_cast<double>(high - n) / static_cast<double>(high - low) * 100.0;
    return 100 - static_cast<int>(std::nearbyint(share)); // the default rounding mode: ties to even
}

ItemTable::ItemTable() : items_(kRegisterCount) {}

void ItemTable::create(uint16_t n, std::string text)
{
    std::lock_guard lock(mutex_);
    Item& item = items_[n];
    if (!item.exists)
        ++count_;
    item.exists = true;
    item.poked = false;
    item.text = std::move(text);
}

void ItemTable::destroy(uint16_t n)
{
    std::lock_guard lock(mutex_);
    Item& item = items_[n];
    if (!item.exists)
        return;
    for (const std::string& client : item.links) {
        auto it = clientLinks_.find(client);
        if (it == clientLinks_.end())
            continue;
        it->second.erase(n);
        if (it->second.empty())
            clientLinks_.erase(it);
    }
    item = Item{};
    --count_;
}

bool ItemTable::exists(uint16_t n) const
{
    std::lock_guard lock(mutex_);
    return items_[n].exists;
}

size_t ItemTable::count() const
{
    std::lock_guard lock(mutex_);
    return count_;
}

std::optional<std::string> ItemTable::text(uint16_t n) const
{
    std::lock_guard lock(mutex_);
    const Item& item = items_[n];
    if (!item.exists)
        return std::nullopt;
    return item.text;
}

std::optional<ItemNotification> ItemTable::poke(uint16_t n, std::string_view text)
{
    std::lock_guard lock(mutex_);
    Item& item = items_[n];
    if (!item.exists)
        return std::nullopt;
    item.text = std::string(FirstLine(text));
    item.text.shrink_to_fit(); // a short text after a long one gives the long one's room back
    item.poked = true;
    return ItemNotification{n, item.text, {item.links.begin(), item.links.end()}};
}

std::optional<std::string> ItemTable::link(uint16_t n, const std::string& client)
{
    std::lock_guard lock(mutex_);
    Item& item = items_[n];
    if (!item.exists)
        return std::nullopt;
    item.links.insert(client);
    clientLinks_[client].insert(n);
    return item.text;
}

bool ItemTable::unlink(uint16_t n, const std::string& client)
{
    std::lock_guard lock(mutex_);
    Item& item = items_[n];
    if (!item.exists)
        return false;
    item.links.erase(client);
    auto it = clientLinks_.find(client);
    if (it != clientLinks_.end()) {
        it->second.erase(n);
        if (it->second.empty())
            clientLinks_.erase(it);
    }
    return true;
}

void ItemTable::dropClient(const std::string& client)
{
    std::lock_guard lock(mutex_);
    auto it = clientLinks_.find(client);
    if (it == clientLinks_.end())
        return;
    for (uint16_t n : it->second)
        items_[n].links.erase(client);
    clientLinks_.erase(it);
}

size_t ItemTable::linkCount(uint16_t n) const
{
    std::lock_guard lock(mutex_);
    return items_[n].links.size();
}

std::vector<ItemNotification> ItemTable::updatePass(TopicKind kind, RegisterStore& store, uint16_t* previous, int low,
                                                    int last, const std::atomic<bool>& stop)
{
    const bool input = kind == TopicKind::Input;
    std::vector<ItemNotification> notifications;
    std::lock_guard lock(mutex_);
    for (int a = low; a <= last; ++a) {
        if (stop.load(std::memory_order_relaxed))
            break;
        const auto n = static_cast<uint16_t>(a);
        Item& item = items_[n];
        if (!item.exists)
            continue;
        const uint16_t value = input ? store.input(n) : store.holding(n);
        if (value != previous[n]) {
            // The register changed: publish it (a poke in between is overwritten).
            previous[n] = value;
            item.poked = false;
            char digits[8];
            const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
            item.text.assign(digits, end);
            if (!item.links.empty())
                notifications.push_back({n, item.text, {item.links.begin(), item.links.end()}});
            continue;
        }
        if (!item.poked)
            continue;
        // A client's text that differs from the published value and is a whole integer: its low
        // 16 bits become the register's value. The item keeps the text as poked.
        item.poked = false;
        const std::optional<uint16_t> poked = PokedValue(item.text);
        if (!poked || TrimBlanks(item.text) == std::to_string(previous[n]))
            continue;
        previous[n] = *poked;
        if (input)
            store.setInput(n, *poked);
        else
            store.setHolding(n, *poked);
    }
    return notifications;
}

} // namespace korvel
