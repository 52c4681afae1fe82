// The client's event list: lines newest first, inserted as whole events at the top and cut at the
// bottom. A list view over a model of its own with rows of one height, so that a list at its
// 15000-line cut takes a new event without measuring every line again; the widest line still sets
// the horizontal scroll range. The list's lines change at once; the view learns of them at most
// 25 times a second, so that a flood of events is not laid out once per event.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <map>

namespace korvel {

class EventLines : public QAbstractListModel {
    Q_OBJECT
  public:
    explicit EventLines(QObject* parent = nullptr) : QAbstractListModel(parent) {}
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void setFont(const QFont& font);
    void insertTop(const QStringList& lines); // lines[0] becomes row 0
    void append(const QStringList& lines);
    void removeLast(int count);
    void clear();
    const QString& text(int row) const { return lines_[static_cast<size_t>(row)]; }

  private:
    int measure(const QString& line) const;
    void forget(int width);

    std::deque<QString> lines_;
    std::deque<int> lineWidths_; // each line's width in pixels, measured once
    std::map<int, int> widths_;  // line width in pixels -> how many lines have it
    QFont font_;
};

class EventList : public QListView {
    Q_OBJECT
  public:
    explicit EventList(QWidget* parent = nullptr);

    int count() const { return static_cast<int>(top_.size()) + lines_.rowCount() - cutPending_; }
    QString text(int row) const;
    void insertTop(const QStringList& lines);
    void addItems(const QStringList& lines);
    void removeLast(int count);
    void clear();

  protected:
    void changeEvent(QEvent* e) override;

  private:
    void showChanges(); // hands what changed to the view

    EventLines lines_;   // what the view shows
    QStringList top_;    // lines above them, not shown yet
    int cutPending_ = 0; // lines at the bottom of `lines_` already cut
    QTimer showTimer_;
};

} // namespace korvel
