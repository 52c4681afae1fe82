#include "client/event_list.h"

#include <QEvent>
#include <QFontMetrics>
#include <QSize>
#include <algorithm>

namespace korvel {

namespace {
constexpr int kLineHeight = 12;
constexpr int kTextMargin = 8; // room the item delegate keeps beside the text
constexpr int kShowEveryMs = 40;
} // namespace

int EventLines::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant EventLines::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return lines_[static_cast<size_t>(index.row())];
    // Rows are of one size, read from the first row: the widest line's width.
    if (role == Qt::SizeHintRole)
        return QSize(widths_.empty() ? 0 : widths_.rbegin()->first + kTextMargin, kLineHeight);
    return {};
}

int EventLines::measure(const QString& line) const
{
    return QFontMetrics(font_).horizontalAdvance(line);
}

void EventLines::forget(int width)
{
    const auto it = widths_.find(width);
    if (it != widths_.end() && --it->second == 0)
        widths_.erase(it);
}

void EventLines::setFont(const QFont& font)
{
    beginResetModel();
    font_ = font;
    widths_.clear();
    for (size_t i = 0; i < lines_.size(); ++i)
        ++widths_[lineWidths_[i] = measure(lines_[i])];
    endResetModel();
}

void EventLines::insertTop(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    beginInsertRows({}, 0, static_cast<int>(lines.size()) - 1);
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        lines_.push_front(*it);
        lineWidths_.push_front(measure(*it));
        ++widths_[lineWidths_.front()];
    }
    endInsertRows();
}

void EventLines::append(const QStringList& lines)
{
    if (lines.isEmpty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    for (const QString& line : lines) {
        lines_.push_back(line);
        lineWidths_.push_back(measure(line));
        ++widths_[lineWidths_.back()];
    }
    endInsertRows();
}

void EventLines::removeLast(int count)
{
    count = std::min(count, rowCount());
    if (count <= 0)
        return;
    beginRemoveRows({}, rowCount() - count, rowCount() - 1);
    for (int i = 0; i < count; ++i) {
        forget(lineWidths_.back());
        lines_.pop_back();
        lineWidths_.pop_back();
    }
    endRemoveRows();
}

void EventLines::clear()
{
    beginResetModel();
    lines_.clear();
    lineWidths_.clear();
    widths_.clear();
    endResetModel();
}

EventList::EventList(QWidget* parent) : QListView(parent)
{
    showTimer_.setSingleShot(true);
    showTimer_.setInterval(kShowEveryMs);
    connect(&showTimer_, &QTimer::timeout, this, &EventList::showChanges);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    lines_.setFont(font());
    setModel(&lines_);
}

QString EventList::text(int row) const
{
    const int above = static_cast<int>(top_.size());
    return row < above ? top_[row] : lines_.text(row - above);
}

void EventList::insertTop(const QStringList& lines)
{
    top_ = lines + top_;
    if (!showTimer_.isActive())
        showTimer_.start();
}

void EventList::addItems(const QStringList& lines)
{
    showChanges();
    lines_.append(lines);
}

void EventList::removeLast(int count)
{
    const int shown = lines_.rowCount() - cutPending_;
    const int fromShown = std::clamp(count, 0, shown);
    cutPending_ += fromShown;
    const int fromTop = std::min(count - fromShown, static_cast<int>(top_.size()));
    top_.remove(top_.size() - fromTop, fromTop);
    if (fromShown > 0 && !showTimer_.isActive())
        showTimer_.start();
}

void EventList::clear()
{
    showTimer_.stop();
    top_.clear();
    cutPending_ = 0;
    lines_.clear();
}

void EventList::showChanges()
{
    showTimer_.stop();
    lines_.removeLast(cutPending_);
    cutPending_ = 0;
    lines_.insertTop(top_);
    top_.clear();
}

void EventList::changeEvent(QEvent* e)
{
    if (e->type() == QEvent::FontChange)
        lines_.setFont(font());
    QListView::changeEvent(e);
}

} // namespace korvel
