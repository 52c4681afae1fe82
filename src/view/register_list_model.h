// The register list's rows as a table model: 26 rows of register number, value and usage (R/W)
// over the register store. It keeps what each cell shows, the labels of the table not shown and
// the register numbers and values last seen per row; what a cell shows comes from the register
// view rules. A cell that changes says so on its own (one dataChanged per cell), so a refresh
// repaints only what changed.
#pragma once

#include "rules/register_view_rules.h"

#include <QAbstractTableModel>
#include <QString>
#include <array>

namespace korvel {

class RegisterStore;
class ViewOptions;

class RegisterListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column { RegisterColumn = 0, ValueColumn = 1, UsageColumn = 2 };
    static constexpr int kColumns = 3;

    // The formats come from `options`, the values and usage flags from `store`. Both tables start
    // on registers 0..25 with cached values 0, the holding table shown, no values drawn yet.
    RegisterListModel(RegisterStore& store, const ViewOptions& options, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // A typed cell. A label that names a register in the register format is kept as typed; a value
    // in the value format goes into the register the row's label names, in the table shown, and is
    // kept as typed until the next redraw. Anything else is refused and the cell stays as it was.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    // What cell (`row`, `column`) shows; empty outside the list.
    QString text(int row, int column) const;
    bool inputShown() const { return inputShown_; }
    // Row labels of either table: the cells when that table is shown, else the parked labels.
    QString label(bool inputTable, int row) const;
    void setLabel(bool inputTable, int row, const QString& text);

    // Takes the register number and value each row shows into the shown table's caches; true when
    // any of them differed.
    bool takeRows();
    // Redraws every row from the caches: labels in the register format, values in the value format
    // and the usage text. A label that names no register stays as typed, without value or usage.
    void render();
    // Shows registers `address`..`address`+25 with their values straight from the store; the usage
    // column and the caches catch up at the next refresh.
    void showFrom(int address);
    // Parks the labels of the table shown and shows the other table's, without values ("-").
    void switchTable(bool toInput);
    // Converts every label, shown and parked, for the register-number format `hex`.
    void convertLabels(bool hex);
    // The list as "label=value" lines, each ended by CR LF.
    QString clipboardText() const;

  private:
    using Labels = std::array<QString, kVisibleRows>;
    using Numbers = std::array<int, kVisibleRows>;
    void setText(int row, int column, const QString& text);
    int storedValue(bool inputTable, int reg) const;

    RegisterStore& store_;
    const ViewOptions& options_;
    std::array<std::array<QString, kColumns>, kVisibleRows> cells_;
    bool inputShown_ = false;
    Labels inputLabels_, holdLabels_;    // parked labels of the table not shown
    Numbers inputAddr_{}, holdAddr_{};   // register each row named at the last look, -1 none
    Numbers inputValue_{}, holdValue_{}; // its value then
};

} // namespace korvel
