#include "scanner/scan_result_list.h"

#include <QScrollBar>

namespace korvel {

ScanResultModel::ScanResultModel(QObject* parent) : QAbstractListModel(parent)
{
    batch_.setSingleShot(true);
    batch_.setInterval(kBatchMs);
    connect(&batch_, &QTimer::timeout, this, &ScanResultModel::flush);
}

void ScanResultModel::append(const QString& line)
{
    pending_.push_back(line);
    if (!batch_.isActive())
        batch_.start();
}

void ScanResultModel::clear()
{
    batch_.stop();
    pending_.clear();
    if (lines_.empty())
        return;
    beginResetModel();
    lines_.clear();
    lines_.shrink_to_fit(); // a cleared full-range scan gives its memory back
    endResetModel();
}

void ScanResultModel::flush()
{
    batch_.stop();
    if (pending_.empty())
        return;
    const int first = static_cast<int>(lines_.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(pending_.size()) - 1);
    lines_.insert(lines_.end(), std::make_move_iterator(pending_.begin()), std::make_move_iterator(pending_.end()));
    pending_.clear();
    endInsertRows();
}

QStringList ScanResultModel::allLines() const
{
    QStringList out;
    out.reserve(lineCount());
    for (const QString& line : lines_)
        out << line;
    for (const QString& line : pending_)
        out << line;
    return out;
}

int ScanResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant ScanResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(lines_.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return lines_[static_cast<size_t>(index.row())];
    if (role == Qt::SizeHintRole && rowSize_.isValid())
        return rowSize_;
    return {};
}

ScanListView::ScanListView(QWidget* parent) : QListView(parent)
{
    setUniformItemSizes(true);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideNone);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
}

void ScanListView::setHorizontalRange(int pixels)
{
    horizontalRange_ = pixels;
    setHorizontalScrollBarPolicy(pixels > 0 ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    updateGeometries();
}

void ScanListView::updateGeometries()
{
    QListView::updateGeometries();
    // The range is the window's choice, not the width of the lines.
    horizontalScrollBar()->setRange(0, horizontalRange_);
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void ScanListView::mouseDoubleClickEvent(QMouseEvent* e)
{
    QListView::mouseDoubleClickEvent(e);
    emit listDoubleClicked();
}

} // namespace korvel
