#include "view/column_slice.h"

#include <algorithm>

namespace korvel {

ColumnSlice::ColumnSlice(QAbstractItemModel& source, int first, int count, QObject* parent)
    : QAbstractProxyModel(parent), first_(first), count_(count)
{
    setSourceModel(&source);
    connect(&source, &QAbstractItemModel::dataChanged, this, &ColumnSlice::forwardDataChanged);
    connect(&source, &QAbstractItemModel::headerDataChanged, this, &ColumnSlice::forwardHeaderDataChanged);
    connect(&source, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&source, &QAbstractItemModel::modelReset, this, [this] { endResetModel(); });
}

QModelIndex ColumnSlice::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= count_)
        return {};
    return createIndex(row, column);
}

QModelIndex ColumnSlice::parent(const QModelIndex&) const
{
    return {};
}

int ColumnSlice::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : sourceModel()->rowCount();
}

int ColumnSlice::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : count_;
}

QModelIndex ColumnSlice::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid())
        return {};
    return sourceModel()->index(proxyIndex.row(), proxyIndex.column() + first_);
}

QModelIndex ColumnSlice::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.parent().isValid())
        return {};
    return index(sourceIndex.row(), sourceIndex.column() - first_);
}

void ColumnSlice::forwardDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                                     const QList<int>& roles)
{
    if (topLeft.parent().isValid())
        return;
    const int left = std::max(topLeft.column(), first_) - first_;
    const int right = std::min(bottomRight.column(), first_ + count_ - 1) - first_;
    if (left > right)
        return; // none of this slice's columns
    emit dataChanged(index(topLeft.row(), left), index(bottomRight.row(), right), roles);
}

void ColumnSlice::forwardHeaderDataChanged(Qt::Orientation orientation, int first, int last)
{
    if (orientation == Qt::Vertical) {
        emit headerDataChanged(orientation, first, last);
        return;
    }
    const int left = std::max(first, first_) - first_;
    const int right = std::min(last, first_ + count_ - 1) - first_;
    if (left <= right)
        emit headerDataChanged(orientation, left, right);
}

} // namespace korvel
