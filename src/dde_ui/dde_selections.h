// The dialog "DDE": which registers to publish (six choices, the fifth preselected), the range
// edits shown only for the range choices, and the help box that says how a desktop client
// addresses an item on the bus.
#pragma once

#include "rules/publishing_rules.h"

#include <QDialog>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace korvel {

class TfrmDDESelections : public QDialog {
    Q_OBJECT
  public:
    // `apply` runs the OK's steps with a valid request; the dialog then closes. `busName` names
    // the service in the help box's examples.
    TfrmDDESelections(QWidget* mainWindow, QString busName, std::function<void(const DdeRequest&)> apply);

    QRadioButton* choice(int i) const { return choices_[i]; } // DdeChoice order
    int selectedChoice() const;
    QLineEdit* EditLow = nullptr;  // "From:"
    QLineEdit* Edithigh = nullptr; // "To:"
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QToolButton* HelpBtn = nullptr; // the picture button

    void OKClick();
    void HelpBtnClick();
    // The help box's title and text (lines ended by a CR each); `rare` picks the 1-in-30 title.
    static QString HelpTitle(bool rare);
    static QString HelpText(const QString& busName);

  private:
    void ChoiceClick(); // a choice changed: the range edits follow
    QRadioButton* choices_[6] = {};
    QLabel* lowLabel_ = nullptr;
    QLabel* highLabel_ = nullptr;
    QString busName_;
    std::function<void(const DdeRequest&)> apply_;
};

} // namespace korvel
