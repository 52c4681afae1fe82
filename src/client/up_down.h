// Arrow buttons beside a number field (the client's timing fields, the scanner's range).
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace korvel {

// Arrow buttons beside a number field: each click moves the position by one step within its
// range, writes it into the field and reports the new position.
class UpDown : public QWidget {
    Q_OBJECT
  public:
    UpDown(QLineEdit* buddy, int minimum, int maximum, int step, int position, QWidget* parent);
    int position() const { return position_; }
    void setPosition(int position); // clamped; writes the field
    QToolButton* up() const { return up_; }
    QToolButton* down() const { return down_; }
  signals:
    void clicked(int position);

  private:
    void move(int direction);
    QLineEdit* buddy_;
    int minimum_, maximum_, step_, position_;
    QToolButton* up_;
    QToolButton* down_;
};

} // namespace korvel
