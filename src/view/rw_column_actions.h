// What the R/W column's context menu drives: the client window's own list operations, so that
// every rule of the poll lists (flags, order, limits, messages) applies as when the user types
// the address in the client window. The client window implements it; main.cpp hands it over.
#pragma once

#include <QString>

namespace korvel {

namespace rwtexts {
inline constexpr const char* kReadPopUp = "Read";
inline constexpr const char* kWritePopUp = "Write";
inline constexpr const char* kHideClient = "Hide Client";
inline constexpr const char* kShowClient = "Show Client";
} // namespace rwtexts

class RwColumnActions {
  public:
    virtual ~RwColumnActions() = default;
    virtual bool clientVisible() const = 0;
    // "Read": adds `registerText` (decimal) to the client's read list of the input or holding
    // table, or removes it when `remove`.
    virtual void rwRead(bool inputTable, bool remove, const QString& registerText) = 0;
    // "Write": the same with the client's write list (holding registers).
    virtual void rwWrite(bool remove, const QString& registerText) = 0;
    // "Hide Client" / "Show Client": the main window's Show/Hide button of the client.
    virtual void rwShowHideClient() = 0;
};

} // namespace korvel
