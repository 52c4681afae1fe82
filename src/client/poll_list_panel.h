// The client's two poll-list groups: the read list (holding or input registers, chosen by the
// radio buttons) and the holding write list, each an editable combo with Add and Remove, and the
// series dialog that adds or removes a range. Every rule is in poll_lists; this panel holds the
// controls and keeps each combo showing its list.
#pragma once

#include "master/poll_lists.h"

#include <QString>
#include <QWidget>
#include <functional>

class QComboBox;
class QPushButton;
class QRadioButton;

namespace korvel {

class RegisterStore;
class TfrmSeries;

class PollListPanel : public QWidget {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<void()> changed; // a list changed: the register list's R/W column is redrawn
        std::function<void()> noFlash; // a box or dialog of the client opens: the next flash is cancelled
    };
    PollListPanel(PollLists& lists, RegisterStore& store, Hooks hooks, QWidget* parent);

    QRadioButton* RBInput() const { return RBInput_; }
    QRadioButton* RBHold() const { return RBHold_; }
    QComboBox* ReadCBox() const { return ReadCBox_; }
    QPushButton* AddBtnRead() const { return AddBtnRead_; }
    QPushButton* btnRemoveRead() const { return btnRemoveRead_; }
    QComboBox* WriteCBox() const { return WriteCBox_; }
    QPushButton* AddBtnWrite() const { return AddBtnWrite_; }
    QPushButton* btnRemoveWrite() const { return btnRemoveWrite_; }

    void AddBtnReadClick();
    void AddBtnWriteClick();
    void btnRemoveReadClick();
    void btnRemoveWriteClick();
    void RBHoldClick();
    void RBInputClick();
    // After the question `question` was answered Yes: empties the list and its combo.
    void clearList(ListKind kind, const char* question);
    TfrmSeries* openSeries(ListKind kind);
    // The series dialog's OK after its bounds passed: merges or removes, refills the combo.
    void applySeries(ListKind kind, SeriesBounds bounds, bool remove);
    void suppressFlash();

    // The register list's R/W column menu: adds or removes the register `registerText` names.
    void rwRead(bool inputTable, bool remove, const QString& registerText);
    void rwWrite(bool remove, const QString& registerText);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void comboChanged(QComboBox* combo, QPushButton* remove);
    void fillCombo(QComboBox* combo, const PollList& list);
    void addAddress(QComboBox* combo, QPushButton* remove, PollList& list);
    void removeAddress(QComboBox* combo, QPushButton* remove, PollList& list);
    // Selects the combo's item of the register `registerText` names (none when not listed).
    void selectAddress(QComboBox* combo, const PollList& list, const QString& registerText);
    PollList& readList();
    void warn(const char* caption, const char* text);

    PollLists& lists_;
    RegisterStore& store_;
    Hooks hooks_;
    QRadioButton* RBInput_ = nullptr;
    QRadioButton* RBHold_ = nullptr;
    QComboBox* ReadCBox_ = nullptr;
    QPushButton* AddBtnRead_ = nullptr;
    QPushButton* btnRemoveRead_ = nullptr;
    QComboBox* WriteCBox_ = nullptr;
    QPushButton* AddBtnWrite_ = nullptr;
    QPushButton* btnRemoveWrite_ = nullptr;
};

} // namespace korvel
