#include "view/register_list_model.h"

#include "common/numeric.h"
#include "common/register_store.h"
#include "ui/view_options.h"
#include "view/view_texts.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>

namespace korvel {

namespace {

QString Q(const std::string& s)
{
    return QString::fromStdString(s);
}
std::string S(const QString& s)
{
    return s.toStdString();
}
size_t At(int row)
{
    return static_cast<size_t>(row);
}

} // namespace

RegisterListModel::RegisterListModel(RegisterStore& store, const ViewOptions& options, QObject* parent)
    : QAbstractTableModel(parent), store_(store), options_(options)
{
    for (int r = 0; r < kVisibleRows; ++r) {
        const QString number = QString::number(r);
        inputLabels_[At(r)] = holdLabels_[At(r)] = cells_[At(r)][RegisterColumn] = number;
        inputAddr_[At(r)] = holdAddr_[At(r)] = r;
    }
}

int RegisterListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kVisibleRows;
}

int RegisterListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant RegisterListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return {};
    const bool usage = index.column() == UsageColumn;
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    case Qt::ToolTipRole:
        return QString::fromLatin1(usage ? texts::kVLERWHint : texts::kVLEHint);
    case Qt::BackgroundRole:
        // The usage column is drawn on the button face; the list itself on the base colour.
        if (usage)
            return QApplication::palette().brush(QPalette::Button);
        return {};
    default:
        return {};
    }
}

QVariant RegisterListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case RegisterColumn:
        return QString::fromLatin1(texts::kRegisterTitle);
    case ValueColumn:
        return QString::fromLatin1(texts::kValueTitle);
    case UsageColumn:
        return QString::fromLatin1(texts::kRWTitle);
    default:
        return {};
    }
}

Qt::ItemFlags RegisterListModel::flags(const QModelIndex& index) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid))
        return Qt::NoItemFlags;
    if (index.column() == UsageColumn)
        return Qt::ItemIsEnabled; // never selected, never edited
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable;
}

bool RegisterListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !checkIndex(index, CheckIndexOption::IndexIsValid))
        return false;
    const int row = index.row();
    const QString typed = value.toString();
    const bool regsHex = options_.Showregistersathex();
    if (index.column() == RegisterColumn) {
        if (!AcceptLabel(S(typed), regsHex))
            return false;
    } else if (index.column() == ValueColumn) {
        const std::optional<uint16_t> v = AcceptValue(S(typed), options_.ShowHex());
        const std::optional<int> reg = LabelRegister(S(text(row, RegisterColumn)), regsHex);
        if (!v || !reg)
            return false;
        const uint16_t a = static_cast<uint16_t>(*reg);
        if (inputShown_)
            store_.setInput(a, *v);
        else
            store_.setHolding(a, *v);
    } else {
        return false;
    }
    setText(row, index.column(), typed);
    return true;
}

QString RegisterListModel::text(int row, int column) const
{
    if (row < 0 || row >= kVisibleRows || column < 0 || column >= kColumns)
        return {};
    return cells_[At(row)][static_cast<size_t>(column)];
}

void RegisterListModel::setText(int row, int column, const QString& text)
{
    QString& cell = cells_[At(row)][static_cast<size_t>(column)];
    if (cell == text)
        return;
    cell = text;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole, Qt::EditRole});
}

QString RegisterListModel::label(bool inputTable, int row) const
{
    if (row < 0 || row >= kVisibleRows)
        return {};
    if (inputTable == inputShown_)
        return text(row, RegisterColumn);
    return (inputTable ? inputLabels_ : holdLabels_)[At(row)];
}

void RegisterListModel::setLabel(bool inputTable, int row, const QString& text)
{
    if (row < 0 || row >= kVisibleRows)
        return;
    if (inputTable == inputShown_)
        setText(row, RegisterColumn, text);
    else
        (inputTable ? inputLabels_ : holdLabels_)[At(row)] = text;
}

int RegisterListModel::storedValue(bool inputTable, int reg) const
{
    const RegisterStore& store = store_;
    const uint16_t a = static_cast<uint16_t>(reg);
    return inputTable ? store.input(a) : store.holding(a);
}

bool RegisterListModel::takeRows()
{
    const bool regsHex = options_.Showregistersathex();
    Numbers& addr = inputShown_ ? inputAddr_ : holdAddr_;
    Numbers& values = inputShown_ ? inputValue_ : holdValue_;
    bool changed = false;
    for (int r = 0; r < kVisibleRows; ++r) {
        const std::optional<int> reg = LabelRegister(S(text(r, RegisterColumn)), regsHex);
        const int seen = reg ? *reg : -1;
        if (seen != addr[At(r)]) {
            addr[At(r)] = seen;
            changed = true;
        }
        if (!reg)
            continue;
        const int value = storedValue(inputShown_, *reg);
        if (value != values[At(r)]) {
            values[At(r)] = value;
            changed = true;
        }
    }
    return changed;
}

void RegisterListModel::render()
{
    const bool regsHex = options_.Showregistersathex();
    const bool valuesHex = options_.ShowHex();
    const Numbers& addr = inputShown_ ? inputAddr_ : holdAddr_;
    const Numbers& values = inputShown_ ? inputValue_ : holdValue_;
    for (int r = 0; r < kVisibleRows; ++r) {
        const int reg = addr[At(r)];
        if (reg < 0) {
            setText(r, UsageColumn, QString());
            setText(r, ValueColumn, QString());
            continue;
        }
        setText(r, UsageColumn, Q(RWText(inputShown_, store_.flags(static_cast<uint16_t>(reg)))));
        setText(r, RegisterColumn, Q(NumberText(reg, regsHex)));
        setText(r, ValueColumn, Q(ValueText(values[At(r)], valuesHex)));
    }
}

void RegisterListModel::showFrom(int address)
{
    const bool regsHex = options_.Showregistersathex();
    const bool valuesHex = options_.ShowHex();
    for (int r = 0; r < kVisibleRows; ++r) {
        const int reg = static_cast<uint16_t>(address + r);
        setText(r, RegisterColumn, Q(NumberText(reg, regsHex)));
        setText(r, ValueColumn, Q(ValueText(storedValue(inputShown_, reg), valuesHex)));
    }
}

void RegisterListModel::switchTable(bool toInput)
{
    Labels& leaving = toInput ? holdLabels_ : inputLabels_;
    for (int r = 0; r < kVisibleRows; ++r)
        leaving[At(r)] = text(r, RegisterColumn);
    inputShown_ = toInput;
    const Labels& shown = toInput ? inputLabels_ : holdLabels_;
    for (int r = 0; r < kVisibleRows; ++r) {
        setText(r, RegisterColumn, shown[At(r)]);
        setText(r, ValueColumn, QString::fromLatin1(texts::kNoValue));
    }
}

void RegisterListModel::convertLabels(bool hex)
{
    for (int r = 0; r < kVisibleRows; ++r) {
        inputLabels_[At(r)] = Q(ConvertLabel(S(inputLabels_[At(r)]), hex));
        holdLabels_[At(r)] = Q(ConvertLabel(S(holdLabels_[At(r)]), hex));
        setText(r, RegisterColumn, Q(ConvertLabel(S(text(r, RegisterColumn)), hex)));
    }
}

QString RegisterListModel::clipboardText() const
{
    QString out;
    for (int r = 0; r < kVisibleRows; ++r)
        out += text(r, RegisterColumn) + QLatin1Char('=') + text(r, ValueColumn) + QStringLiteral("\r\n");
    return out;
}

} // namespace korvel
