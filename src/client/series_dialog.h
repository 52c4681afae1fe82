// The series dialog: a range of addresses added to or removed from one poll list.
#pragma once

#include "master/poll_lists.h"

#include <QDialog>

class QCheckBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;

namespace korvel {

class PollListPanel;

// The series dialog: adds or removes a range of addresses in one list. The opener sets its caption.
class TfrmSeries : public QDialog {
    Q_OBJECT
  public:
    TfrmSeries(PollListPanel& panel, ListKind kind);
    QLineEdit* EditLow = nullptr;
    QLineEdit* Edithigh = nullptr;
    QPushButton* Button1 = nullptr; // OK
    QPushButton* Button2 = nullptr; // Cancel
    QCheckBox* CBRemove = nullptr;
    int SerieType; // 1 input read, 2 holding write, 3 holding read
    void Button1Click();

  protected:
    void reject() override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    PollListPanel& panel_;
};

} // namespace korvel
