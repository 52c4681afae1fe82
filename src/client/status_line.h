// The client's status bar: one line of text in a sunken panel. Its text changes with every poll and
// its size never does, so a new text only repaints the line (at the window's paint rate) and never
// lays the window out again, as a label would.
#pragma once

#include <QFrame>
#include <QString>

namespace korvel {

class StatusLine : public QFrame {
    Q_OBJECT
  public:
    explicit StatusLine(QWidget* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QString text_;
};

} // namespace korvel
