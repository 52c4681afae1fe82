// The scanner's results list, built for a full-range scan of 65536 lines: a plain list model whose
// new lines wait in a batch and join the view at the paint rate, so that a reply never waits for
// a repaint, and a list view with uniform rows and a horizontal scroll range set by the window
// (0 or 300 pixels) rather than by the width of its lines.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <vector>

namespace korvel {

class ScanResultModel : public QAbstractListModel {
    Q_OBJECT
  public:
    // How long a new line waits at most before the view takes it (one frame at 25 per second).
    static constexpr int kBatchMs = 40;

    explicit ScanResultModel(QObject* parent = nullptr);

    // Adds a line at the end; the view shows it with the next batch.
    void append(const QString& line);
    // Empties the list, the waiting lines too.
    void clear();
    // Hands the waiting lines to the view now.
    void flush();
    // Every line, shown or waiting.
    int lineCount() const { return static_cast<int>(lines_.size() + pending_.size()); }
    QStringList allLines() const;
    // The size every row takes (the view asks for one row only).
    void setRowSize(QSize size) { rowSize_ = size; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

  private:
    std::vector<QString> lines_;   // what the view shows
    std::vector<QString> pending_; // added since the last batch
    QTimer batch_;
    QSize rowSize_;
};

class ScanListView : public QListView {
    Q_OBJECT
  public:
    explicit ScanListView(QWidget* parent = nullptr);
    // The horizontal scroll range in pixels; 0 hides the scroll bar.
    void setHorizontalRange(int pixels);
    int horizontalRange() const { return horizontalRange_; }

  signals:
    void listDoubleClicked(); // anywhere in the list, on a line or not

  protected:
    void updateGeometries() override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    int horizontalRange_ = 0;
};

} // namespace korvel
