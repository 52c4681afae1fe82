// Edit > "Initiali&ze": set all input or holding registers to 0 or to their own address. Values
// only: the usage flags keep their bits, and the register list notices the change on its own tick.
#pragma once

#include <QObject>

class QAction;
class QMenu;

namespace korvel {

class RegisterStore;

class InitializeMenu : public QObject {
    Q_OBJECT
  public:
    // Adds "Initiali&ze" to `editMenu`; its items change `store`. Owned by `owner`.
    InitializeMenu(QObject* owner, RegisterStore& store, QMenu* editMenu);

    QAction* Allto02 = nullptr;         // input registers, all to 0
    QAction* Ascendingvalue2 = nullptr; // input register i := i
    QAction* Allto01 = nullptr;         // holding registers, all to 0
    QAction* Ascendingvalue1 = nullptr; // holding register i := i
};

} // namespace korvel
