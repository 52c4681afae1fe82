// A run of neighbouring columns of a flat table model shown as a model of its own, so that two
// views side by side can show parts of one model. Every cell change of the source reaches the
// slice as the same cells (never widened to whole rows), so a view repaints only what changed.
// The source's rows and columns never change in number while a slice watches it.
#pragma once

#include <QAbstractProxyModel>

namespace korvel {

class ColumnSlice : public QAbstractProxyModel {
    Q_OBJECT
  public:
    // Columns `first`..`first`+`count`-1 of `source`.
    ColumnSlice(QAbstractItemModel& source, int first, int count, QObject* parent = nullptr);

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

  private:
    void forwardDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles);
    void forwardHeaderDataChanged(Qt::Orientation orientation, int first, int last);

    int first_;
    int count_;
};

} // namespace korvel
