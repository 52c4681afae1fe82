// The R/W column's context menu of the main window driving the client window's lists: the marks
// and enabling as the menu opens, register 0, Read and Write adding and removing through the
// client's own list operations, and the column's text afterwards.
#include "client/client_window_fixture.h"
#include "support/text_constants.h"
#include "view/register_list_view.h"
#include "view/rw_column_actions.h"
#include "view/rw_column_menu.h"

#include <QAction>
#include <QMenu>
#include <QRadioButton>
#include <QTableView>

namespace korvel::testing {
namespace {

class RwMenuTest : public ClientWindowTest {
  protected:
    void SetUp() override
    {
        ClientWindowTest::SetUp();
        list = form->registerList();
        list->setRwColumnActions(client.get());
    }
    // Right mouse button on the R/W cell of `row`; true when the menu opened.
    bool rightClick(int row)
    {
        list->rwMenu().popupMenuRW()->hide();
        QWidget* viewport = list->vleRW()->viewport();
        const QRect cell = list->vleRW()->visualRect(list->vleRW()->model()->index(row, 0));
        QTest::mouseClick(viewport, Qt::RightButton, {}, cell.center());
        return list->rwMenu().popupMenuRW()->isVisible();
    }
    QString rwText(int row)
    {
        list->Timer2Timer(); // the refresh tick redraws what the client asked for
        return list->vleRW()->model()->index(row, 0).data().toString();
    }
    RegisterListView* list = nullptr;
};

TEST_F(RwMenuTest, HiddenClientAndRegisterZero)
{
    ASSERT_FALSE(client->isVisible());
    ASSERT_TRUE(rightClick(3));
    EXPECT_EQ(list->rwMenu().popUpClient()->text(), L(rwtexts::kShowClient));
    EXPECT_FALSE(list->rwMenu().readPopUp()->isEnabled());
    EXPECT_FALSE(list->rwMenu().writePopUp()->isEnabled());
    EXPECT_EQ(list->rwMenu().RWPointedRegister, QStringLiteral("3"));

    // "Show Client" works as the main window's button.
    list->rwMenu().popUpClient()->trigger();
    EXPECT_TRUE(client->isVisible());
    EXPECT_TRUE(rightClick(3));
    EXPECT_EQ(list->rwMenu().popUpClient()->text(), L(rwtexts::kHideClient));
    EXPECT_TRUE(list->rwMenu().readPopUp()->isEnabled());
    EXPECT_TRUE(list->rwMenu().writePopUp()->isEnabled());

    // Row 0 shows register 0: no menu, but the register is still taken.
    EXPECT_FALSE(rightClick(0));
    EXPECT_EQ(list->rwMenu().RWPointedRegister, QStringLiteral("0"));
}

TEST_F(RwMenuTest, ReadAndWriteGoThroughTheClientsLists)
{
    client->show();
    QTest::mouseClick(client->listPanel().RBInput(), Qt::LeftButton); // the client shows its input list

    // Holding view: Read on register 5 adds it to the holding read list.
    ASSERT_TRUE(rightClick(5));
    EXPECT_FALSE(list->rwMenu().readPopUp()->isChecked());
    list->rwMenu().readPopUp()->trigger();
    EXPECT_EQ(store->flags(5) & kFlagHoldingRead, kFlagHoldingRead);
    EXPECT_EQ(rwText(5), QStringLiteral(" R/-"));
    EXPECT_TRUE(client->listPanel().RBInput()->isChecked()) << "the client's table selection is given back";
    QTest::mouseClick(client->listPanel().RBHold(), Qt::LeftButton);
    EXPECT_EQ(client->listPanel().ReadCBox()->itemText(0), QStringLiteral("5"));

    // Write adds it to the write list; the marks follow the flags.
    ASSERT_TRUE(rightClick(5));
    EXPECT_TRUE(list->rwMenu().readPopUp()->isChecked());
    EXPECT_FALSE(list->rwMenu().writePopUp()->isChecked());
    list->rwMenu().writePopUp()->trigger();
    EXPECT_EQ(rwText(5), QStringLiteral(" R/W"));
    EXPECT_EQ(client->listPanel().WriteCBox()->itemText(0), QStringLiteral("5"));

    // Read again removes it.
    ASSERT_TRUE(rightClick(5));
    EXPECT_TRUE(list->rwMenu().readPopUp()->isChecked());
    EXPECT_TRUE(list->rwMenu().writePopUp()->isChecked());
    list->rwMenu().readPopUp()->trigger();
    EXPECT_EQ(store->flags(5) & kFlagHoldingRead, 0);
    EXPECT_EQ(rwText(5), QStringLiteral(" -/W"));
    EXPECT_EQ(client->listPanel().ReadCBox()->count(), 0);
    EXPECT_TRUE(env.messages.empty());
}

// An entry typed (or pasted) in another spelling of its number is found by its number: the menu
// removes it from both lists.
TEST_F(RwMenuTest, ReadAndWriteRemoveEntriesTypedInAnySpelling)
{
    client->show();
    for (const char* typed : {"007", "+7", " 7", "$7", "x7"}) {
        SCOPED_TRACE(typed);
        client->listPanel().ReadCBox()->setEditText(QString::fromLatin1(typed));
        QTest::mouseClick(client->listPanel().AddBtnRead(), Qt::LeftButton);
        client->listPanel().WriteCBox()->setEditText(QString::fromLatin1(typed));
        QTest::mouseClick(client->listPanel().AddBtnWrite(), Qt::LeftButton);
        ASSERT_EQ(store->flags(7), kFlagHoldingRead | kFlagHoldingWrite);
        ASSERT_TRUE(rightClick(7));
        list->rwMenu().readPopUp()->trigger();
        ASSERT_TRUE(rightClick(7));
        list->rwMenu().writePopUp()->trigger();
        EXPECT_EQ(store->flags(7), 0);
        EXPECT_EQ(client->listPanel().ReadCBox()->count(), 0);
        EXPECT_EQ(client->listPanel().WriteCBox()->count(), 0);
    }
    EXPECT_TRUE(env.messages.empty());
}

TEST_F(RwMenuTest, InputViewReadsInputRegistersAndCannotWrite)
{
    client->show();
    QTest::mouseClick(list->inputButton(), Qt::LeftButton);
    ASSERT_TRUE(rightClick(7));
    EXPECT_TRUE(list->rwMenu().readPopUp()->isEnabled());
    EXPECT_FALSE(list->rwMenu().writePopUp()->isEnabled());
    EXPECT_FALSE(list->rwMenu().writePopUp()->isChecked());
    list->rwMenu().readPopUp()->trigger();
    EXPECT_EQ(store->flags(7), kFlagInputRead);
    EXPECT_EQ(rwText(7), QStringLiteral("  R"));
    EXPECT_TRUE(client->listPanel().RBHold()->isChecked()) << "the client went back to its holding list";
    ASSERT_TRUE(rightClick(7));
    EXPECT_TRUE(list->rwMenu().readPopUp()->isChecked());
}

} // namespace
} // namespace korvel::testing
