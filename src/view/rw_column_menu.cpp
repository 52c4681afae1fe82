#include "view/rw_column_menu.h"

#include "common/register_store.h"
#include "view/rw_column_actions.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

namespace korvel {

RwColumnMenu::RwColumnMenu(QWidget& view) : QObject(&view), view_(view)
{
    // Its marks are set before it opens, never by a click.
    PopupMenuRW = new QMenu(&view);
    ReadPopUp = PopupMenuRW->addAction(QString::fromLatin1(rwtexts::kReadPopUp));
    ReadPopUp->setCheckable(true);
    WritePopUp = PopupMenuRW->addAction(QString::fromLatin1(rwtexts::kWritePopUp));
    WritePopUp->setCheckable(true);
    PopupMenuRW->addSeparator();
    PopUpClient = PopupMenuRW->addAction(QString::fromLatin1(rwtexts::kHideClient));
    connect(ReadPopUp, &QAction::triggered, this, &RwColumnMenu::ReadPopUpClick);
    connect(WritePopUp, &QAction::triggered, this, &RwColumnMenu::WritePopUpClick);
    connect(PopUpClient, &QAction::triggered, this, &RwColumnMenu::PopUpClientClick);
}

bool RwColumnMenu::open(int reg, uint8_t flags, bool inputShown, const QPoint& at)
{
    if (actions_ == nullptr)
        return false;
    inputShown_ = inputShown;
    // Marks on the read and written flags of the table shown; an input register is never written.
    if (inputShown) {
        ReadPopUp->setChecked((flags & kFlagInputRead) != 0);
        WritePopUp->setChecked(false);
    } else {
        ReadPopUp->setChecked((flags & kFlagHoldingRead) != 0);
        WritePopUp->setChecked((flags & kFlagHoldingWrite) != 0);
    }
    readChecked_ = ReadPopUp->isChecked();
    writeChecked_ = WritePopUp->isChecked();
    const bool visible = actions_->clientVisible();
    ReadPopUp->setEnabled(visible);
    WritePopUp->setEnabled(visible && !inputShown);
    PopUpClient->setText(QString::fromLatin1(visible ? rwtexts::kHideClient : rwtexts::kShowClient));
    RWPointedRegister = QString::number(reg);
    if (reg == 0)
        return false;
    PopupMenuRW->popup(at);
    return true;
}

void RwColumnMenu::ReadPopUpClick()
{
    if (actions_ == nullptr)
        return;
    actions_->rwRead(inputShown_, readChecked_, RWPointedRegister);
    view_.window()->activateWindow();
}

void RwColumnMenu::WritePopUpClick()
{
    if (actions_ == nullptr)
        return;
    actions_->rwWrite(writeChecked_, RWPointedRegister);
    view_.window()->activateWindow();
}

void RwColumnMenu::PopUpClientClick()
{
    if (actions_ != nullptr)
        actions_->rwShowHideClient();
}

} // namespace korvel
