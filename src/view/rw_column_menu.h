// The R/W column's context menu: "Read" and "Write" marked from the register's usage flags as it
// opens, and "Hide Client"/"Show Client". Its items drive the client window's list operations
// through RwColumnActions; with no client it never opens.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

class QAction;
class QMenu;
class QPoint;
class QWidget;

namespace korvel {

class RwColumnActions;

class RwColumnMenu : public QObject {
    Q_OBJECT
  public:
    explicit RwColumnMenu(QWidget& view);

    void setActions(RwColumnActions* actions) { actions_ = actions; }
    bool hasActions() const { return actions_ != nullptr; }
    // Marks the items for register `reg` of the table shown (`flags` its usage flags) and opens
    // the menu at `at`; register 0 gets its marks but no menu (false).
    bool open(int reg, uint8_t flags, bool inputShown, const QPoint& at);
    void ReadPopUpClick();
    void WritePopUpClick();
    void PopUpClientClick();

    QMenu* popupMenuRW() const { return PopupMenuRW; }
    QAction* readPopUp() const { return ReadPopUp; }
    QAction* writePopUp() const { return WritePopUp; }
    QAction* popUpClient() const { return PopUpClient; }
    QString RWPointedRegister; // decimal register number of the row the menu was last opened on

  private:
    QWidget& view_;
    QMenu* PopupMenuRW = nullptr;
    QAction* ReadPopUp = nullptr;
    QAction* WritePopUp = nullptr;
    QAction* PopUpClient = nullptr;
    RwColumnActions* actions_ = nullptr;
    bool inputShown_ = false;
    bool readChecked_ = false; // the marks as the menu opened (a click toggles the item's own)
    bool writeChecked_ = false;
};

} // namespace korvel
