// The register list's model without a window: its cells and roles, the typed cells it takes or
// refuses, the two tables' labels, and which cells a refresh reports as changed (one dataChanged
// per changed cell, none for a refresh that changes nothing), through the column slices too.
#include "common/register_store.h"
#include "ui/view_options.h"
#include "view/column_slice.h"
#include "view/register_list_model.h"
#include "view/view_texts.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>
#include <QSignalSpy>
#include <gtest/gtest.h>
#include <memory>
#include <set>
#include <utility>

namespace korvel {
namespace {

using Cell = std::pair<int, int>; // row, column

class RegisterListModelTest : public ::testing::Test {
  protected:
    // The cells the spied dataChanged signals named, each signal one cell; fails on a wider range.
    static std::multiset<Cell> changedCells(const QSignalSpy& spy)
    {
        std::multiset<Cell> cells;
        for (const QList<QVariant>& signal : spy) {
            const auto topLeft = signal.at(0).value<QModelIndex>();
            const auto bottomRight = signal.at(1).value<QModelIndex>();
            EXPECT_EQ(topLeft, bottomRight) << "a range wider than one cell";
            cells.insert({topLeft.row(), topLeft.column()});
        }
        return cells;
    }
    // One refresh tick in Monitor mode as the list runs it.
    bool tick()
    {
        const bool changed = model.takeRows();
        model.render();
        return changed;
    }
    QString at(int row, int column) const { return model.text(row, column); }
    bool type(int row, int column, const QString& text) { return model.setData(model.index(row, column), text); }

    RegisterStore store;
    ViewOptions options;
    RegisterListModel model{store, options};
    static constexpr int kReg = RegisterListModel::RegisterColumn;
    static constexpr int kValue = RegisterListModel::ValueColumn;
    static constexpr int kUsage = RegisterListModel::UsageColumn;
};

TEST_F(RegisterListModelTest, RowsColumnsHeadersAndFlags)
{
    EXPECT_EQ(model.rowCount(), 26);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.rowCount(model.index(0, 0)), 0) << "a flat table";
    EXPECT_EQ(model.headerData(0, Qt::Horizontal), "Register");
    EXPECT_EQ(model.headerData(1, Qt::Horizontal), "Value");
    EXPECT_EQ(model.headerData(2, Qt::Horizontal), "R/W");
    EXPECT_TRUE(model.flags(model.index(3, kReg)).testFlag(Qt::ItemIsEditable));
    EXPECT_TRUE(model.flags(model.index(3, kValue)).testFlags(Qt::ItemIsEditable | Qt::ItemIsSelectable));
    EXPECT_EQ(model.flags(model.index(3, kUsage)), Qt::ItemIsEnabled);
    // Before the first redraw: labels 0..25, nothing else.
    EXPECT_EQ(at(0, kReg), "0");
    EXPECT_EQ(at(25, kReg), "25");
    EXPECT_EQ(at(25, kValue), "");
    EXPECT_EQ(at(25, kUsage), "");
    EXPECT_EQ(at(26, kReg), "") << "outside the list";
    EXPECT_FALSE(model.data(model.index(26, 0)).isValid());
}

TEST_F(RegisterListModelTest, DisplayTooltipAndBackgroundRoles)
{
    store.setHolding(4, 0x1234);
    store.orFlags(4, kFlagHoldingRead);
    tick();
    const QModelIndex value = model.index(4, kValue);
    const QModelIndex usage = model.index(4, kUsage);
    EXPECT_EQ(model.data(value, Qt::DisplayRole), "4660");
    EXPECT_EQ(model.data(value, Qt::EditRole), "4660");
    EXPECT_EQ(model.data(usage, Qt::DisplayRole), " R/-");
    EXPECT_EQ(model.data(model.index(4, kReg), Qt::ToolTipRole), texts::kVLEHint);
    EXPECT_EQ(model.data(value, Qt::ToolTipRole), texts::kVLEHint);
    EXPECT_EQ(model.data(usage, Qt::ToolTipRole), texts::kVLERWHint);
    EXPECT_FALSE(model.data(value, Qt::BackgroundRole).isValid()) << "the list keeps its base colour";
    EXPECT_EQ(model.data(usage, Qt::BackgroundRole).value<QBrush>(), QApplication::palette().brush(QPalette::Button));
}

TEST_F(RegisterListModelTest, RefreshReportsOnlyTheCellsWhoseTextChanged)
{
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    tick(); // the first redraw: every value and usage text, no label (they are already 0..25)
    std::multiset<Cell> first = changedCells(spy);
    EXPECT_EQ(first.size(), 52u);
    EXPECT_EQ(first.count({0, kReg}), 0u);
    spy.clear();

    EXPECT_FALSE(tick()) << "nothing new";
    EXPECT_EQ(spy.count(), 0);

    store.setHolding(5, 7);
    store.setHolding(100, 9); // not shown
    store.orFlags(3, kFlagHoldingWrite);
    EXPECT_TRUE(tick());
    EXPECT_EQ(changedCells(spy), (std::multiset<Cell>{{3, kUsage}, {5, kValue}}));
    EXPECT_EQ(at(5, kValue), "7");
    EXPECT_EQ(at(3, kUsage), " -/W");
    spy.clear();

    // A value that changes and changes back between two ticks is no change.
    store.setHolding(6, 1);
    store.setHolding(6, 0);
    EXPECT_FALSE(tick());
    EXPECT_EQ(spy.count(), 0);

    options.setShowHex(true);
    tick();
    EXPECT_EQ(changedCells(spy).size(), 26u) << "every value in its new format";
    EXPECT_EQ(at(5, kValue), "0007");
}

TEST_F(RegisterListModelTest, LabelsThatNameNoRegisterStayAsTypedWithoutValue)
{
    store.setHolding(2, 5);
    tick();
    model.setLabel(false, 2, QStringLiteral("1z"));
    EXPECT_TRUE(tick());
    EXPECT_EQ(at(2, kReg), "1z");
    EXPECT_EQ(at(2, kValue), "");
    EXPECT_EQ(at(2, kUsage), "");
    model.setLabel(false, 2, QStringLiteral("0777"));
    store.setHolding(777, 3);
    EXPECT_TRUE(tick());
    EXPECT_EQ(at(2, kReg), "777") << "redrawn in the register format";
    EXPECT_EQ(at(2, kValue), "3");
}

TEST_F(RegisterListModelTest, TypedCellsAreCheckedAndValuesStored)
{
    QSignalSpy spy(&model, &QAbstractItemModel::dataChanged);
    for (const char* bad : {"65536", "-1", "1x", ""})
        EXPECT_FALSE(type(5, kReg, QString::fromLatin1(bad))) << bad;
    for (const char* bad : {"65536", "-1", "abc", ""})
        EXPECT_FALSE(type(5, kValue, QString::fromLatin1(bad))) << bad;
    EXPECT_FALSE(type(5, kUsage, QStringLiteral("R")));
    EXPECT_FALSE(model.setData(model.index(5, kValue), QStringLiteral("1"), Qt::DisplayRole));
    EXPECT_EQ(spy.count(), 0) << "a refused cell stays as it was";
    EXPECT_EQ(store.holding(5), 0);

    EXPECT_TRUE(type(5, kReg, QStringLiteral("0300")));
    EXPECT_EQ(at(5, kReg), "0300") << "kept as typed";
    EXPECT_TRUE(type(5, kValue, QStringLiteral("0042")));
    EXPECT_EQ(store.holding(300), 42);
    EXPECT_EQ(at(5, kValue), "0042");
    EXPECT_EQ(spy.count(), 2);

    // A value needs a row that names a register; hex values while values are hex.
    model.setLabel(false, 6, QStringLiteral("zz"));
    EXPECT_FALSE(type(6, kValue, QStringLiteral("1")));
    options.setShowHex(true);
    EXPECT_TRUE(type(7, kValue, QStringLiteral("ffff")));
    EXPECT_EQ(store.holding(7), 65535);

    // The input table takes the values while it is shown.
    model.switchTable(true);
    EXPECT_TRUE(type(7, kValue, QStringLiteral("00FF")));
    EXPECT_EQ(store.input(7), 255);
    EXPECT_EQ(store.holding(7), 65535);
}

TEST_F(RegisterListModelTest, EachTableKeepsItsLabelsAcrossSwitchesAndFormats)
{
    store.setInput(1, 11);
    model.setLabel(false, 3, QStringLiteral("777"));
    model.setLabel(true, 4, QStringLiteral("401"));
    EXPECT_EQ(at(4, kReg), "4") << "the input label is parked";

    model.switchTable(true);
    EXPECT_TRUE(model.inputShown());
    EXPECT_EQ(at(3, kReg), "3");
    EXPECT_EQ(at(4, kReg), "401");
    EXPECT_EQ(at(1, kValue), "-");
    EXPECT_EQ(model.label(false, 3), "777");
    tick();
    EXPECT_EQ(at(1, kValue), "11");

    model.convertLabels(true);
    EXPECT_EQ(at(4, kReg), "0191");
    EXPECT_EQ(model.label(false, 3), "0309");
    model.convertLabels(false);
    model.switchTable(false);
    EXPECT_EQ(at(3, kReg), "777");
    EXPECT_EQ(model.label(true, 4), "401");
}

TEST_F(RegisterListModelTest, RowsFromAStartAddressAndTheClipboardText)
{
    store.setHolding(65535, 8);
    model.showFrom(65510);
    EXPECT_EQ(at(0, kReg), "65510");
    EXPECT_EQ(at(25, kReg), "65535");
    EXPECT_EQ(at(25, kValue), "8") << "straight from the store";
    EXPECT_EQ(at(25, kUsage), "") << "the usage catches up at the next tick";
    EXPECT_TRUE(tick());
    EXPECT_EQ(at(25, kUsage), " -/-");

    const QStringList lines = model.clipboardText().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 27);
    EXPECT_EQ(lines[0], "65510=0");
    EXPECT_EQ(lines[25], "65535=8");
}

TEST_F(RegisterListModelTest, SlicesShowTheirColumnsAndForwardOnlyTheirCells)
{
    ColumnSlice list(model, kReg, 2);
    ColumnSlice usage(model, kUsage, 1);
    EXPECT_EQ(list.rowCount(), 26);
    EXPECT_EQ(list.columnCount(), 2);
    EXPECT_EQ(usage.columnCount(), 1);
    EXPECT_EQ(list.headerData(1, Qt::Horizontal), "Value");
    EXPECT_EQ(usage.headerData(0, Qt::Horizontal), "R/W");
    EXPECT_FALSE(list.index(0, 2).isValid());
    EXPECT_EQ(usage.mapToSource(usage.index(4, 0)), model.index(4, kUsage));
    EXPECT_FALSE(usage.mapFromSource(model.index(4, kValue)).isValid());
    EXPECT_EQ(usage.flags(usage.index(4, 0)), Qt::ItemIsEnabled);

    tick();
    QSignalSpy listSpy(&list, &QAbstractItemModel::dataChanged);
    QSignalSpy usageSpy(&usage, &QAbstractItemModel::dataChanged);
    store.setHolding(9, 99);
    store.orFlags(2, kFlagHoldingPublished);
    tick();
    EXPECT_EQ(changedCells(listSpy), (std::multiset<Cell>{{9, 1}}));
    EXPECT_EQ(changedCells(usageSpy), (std::multiset<Cell>{{2, 0}}));
    EXPECT_EQ(list.index(9, 1).data(), "99");
    EXPECT_EQ(usage.index(2, 0).data(), "*-/-");

    // A range over several columns reaches each slice clipped to its own.
    listSpy.clear();
    usageSpy.clear();
    emit model.dataChanged(model.index(1, kValue), model.index(3, kUsage));
    ASSERT_EQ(listSpy.count(), 1);
    EXPECT_EQ(listSpy[0][0].value<QModelIndex>(), list.index(1, 1));
    EXPECT_EQ(listSpy[0][1].value<QModelIndex>(), list.index(3, 1));
    ASSERT_EQ(usageSpy.count(), 1);
    EXPECT_EQ(usageSpy[0][1].value<QModelIndex>(), usage.index(3, 0));

    // Typing through a slice reaches the model.
    EXPECT_TRUE(list.setData(list.index(0, 1), QStringLiteral("5")));
    EXPECT_EQ(store.holding(0), 5);
}

} // namespace
} // namespace korvel
