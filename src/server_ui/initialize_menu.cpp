#include "server_ui/initialize_menu.h"

#include "common/register_store.h"

#include <QAction>
#include <QMenu>

namespace korvel {

namespace {
template <typename Handler>
QAction* AddItem(QMenu* menu, const char* name, const char* caption, QObject* owner, Handler handler)
{
    QAction* action = menu->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(name));
    QObject::connect(action, &QAction::triggered, owner, handler);
    return action;
}
} // namespace

InitializeMenu::InitializeMenu(QObject* owner, RegisterStore& store, QMenu* editMenu) : QObject(owner)
{
    setObjectName(QStringLiteral("InitializeMenu"));
    QMenu* initialize = editMenu->addMenu(QStringLiteral("Initiali&ze"));
    initialize->setObjectName(QStringLiteral("Initialize1"));

    QMenu* input = initialize->addMenu(QStringLiteral("&Input Registers"));
    Allto02 = AddItem(input, "Allto02", "All to '0'", this, [&store] { store.zeroInput(); });
    Ascendingvalue2 = AddItem(input, "Ascendingvalue2", "Ascending", this, [&store] { store.ascendingInput(); });

    QMenu* holding = initialize->addMenu(QStringLiteral("&Holding Registers"));
    Allto01 = AddItem(holding, "Allto01", "&All to '0'", this, [&store] { store.zeroHolding(); });
    Ascendingvalue1 = AddItem(holding, "Ascendingvalue1", "A&scending", this, [&store] { store.ascendingHolding(); });
}

} // namespace korvel
