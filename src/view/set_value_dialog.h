// The set-value dialog: watches one register, writes a typed or bit-ticked value into it, and
// shows the register pair starting there as a 32-bit unsigned integer and float in the byte order
// shared by all these dialogs. Any number may be open; each refreshes itself ten times a second.
#pragma once

#include <QWidget>
#include <array>
#include <optional>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace korvel {

class RegisterListView;
class RegisterStore;
class TypedLengthLimit;
class ViewOptions;

class TfrmSetVal : public QWidget {
    Q_OBJECT
  public:
    // A tool window of `owner`. Starts on the register named by options.VLEPointedRegister and
    // counts itself in options.amount_of_setval_windows until it is destroyed. `list` (may be
    // nullptr) says which table the register list shows, the table the dialog starts on.
    TfrmSetVal(QWidget* owner, ViewOptions& options, RegisterStore& store, const RegisterListView* list);
    ~TfrmSetVal() override;

    void Edit2Change();       // register box changed
    void Edit1Change();       // value box changed
    void bitClicked(int bit); // a bit box changed its state other than by following the value box
    void BtnSetClick();
    void BtnCloseClick(); // destroys the dialog
    void Label1DblClick();
    void Timer1Timer(); // display refresh, 100 ms
    void Timer2Timer(); // the main window's flash request, then byte-order synchronisation, 700 ms
    void byteOrderClick(int order);

    int CurrentRegisterValue = 0; // register the dialog points at
    int ByteOrderUsed = -1;       // this dialog's copy of the shared byte order

    // Controls, for tests.
    QGroupBox* registerGroup() const { return RG1; }
    QRadioButton* inputButton() const { return RG1Input; }
    QRadioButton* holdingButton() const { return RG1Holding; }
    QLineEdit* registerBox() const { return Edit2; }
    QLineEdit* valueBox() const { return Edit1; }
    QGroupBox* valueGroup() const { return GroupBox1; }
    QLabel* currentValueLabel() const { return Label1; }
    QLabel* uintLabel() const { return Label2; }
    QLabel* floatLabel() const { return Label3; }
    QGroupBox* representationGroup() const { return GroupBox2; }
    QPushButton* setButton() const { return BtnSet; }
    QPushButton* closeButton() const { return BtnClose; }
    QCheckBox* bitBox(int bit) const { return bits_[static_cast<size_t>(bit)]; }
    QAction* byteOrderAction(int order) const { return byteOrder_[static_cast<size_t>(order)]; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Builders of the constructor, in the order it calls them; FormCreate is the creation proper.
    void buildRegisterGroup(const QFont& fixed);
    void buildValueGroups(const QFont& fixed);
    void buildBitmask();
    void buildRepresentation(const QFont& fixed);
    QMenuBar* buildMenu();
    void buildLayout(QMenuBar* bar);
    void connectHandlers();
    void buildTimers();
    void FormCreate();

    void updateSetEnabled();
    void setBits(uint16_t value);

    ViewOptions& options_;
    RegisterStore& store_;
    const RegisterListView* list_;

    QGroupBox* RG1 = nullptr; // table the dialog works on
    QRadioButton* RG1Input = nullptr;
    QRadioButton* RG1Holding = nullptr;
    QLineEdit* Edit2 = nullptr; // register number
    TypedLengthLimit* edit2Limit_ = nullptr;
    QGroupBox* GroupBox3 = nullptr; // "Current value"
    QLabel* Label1 = nullptr;       // current value, large fixed pitch
    QGroupBox* GroupBox1 = nullptr; // "Edit value"
    QLineEdit* Edit1 = nullptr;     // value to set
    TypedLengthLimit* edit1Limit_ = nullptr;
    QPushButton* BtnSet = nullptr;
    QGroupBox* GroupBox4 = nullptr;     // "Bitmask"
    std::array<QCheckBox*, 16> bits_{}; // CheckBox1 (bit 0) .. CheckBox16 (bit 15)
    QGroupBox* GroupBox2 = nullptr;     // "32-bit Representation"
    QLabel* Label2 = nullptr;           // Uint
    QLabel* Label3 = nullptr;           // Float
    QPushButton* BtnClose = nullptr;
    std::array<QAction*, 4> byteOrder_{}; // BO_0123, BO_1032, BO_2301, BO_3210
    QTimer* Timer1 = nullptr;             // display refresh, 100 ms
    QTimer* Timer2 = nullptr;             // byte order from the main window, 700 ms

    bool ValueFromCreation = true; // the first refresh still has to fill in the value
    bool PrevRegsathex = false;
    bool PrevHex = false;
    bool registerValid_ = false;
    bool bitsByProgram_ = false;           // the boxes are being set to follow the value box
    std::optional<uint16_t> enteredValue_; // the value box's number, in the format it was typed in
};

// Creates a set-value dialog owned by `owner` (the main window) and shows it (not modal).
TfrmSetVal* CreateSetVal(QWidget* owner, ViewOptions& options, RegisterStore& store, const RegisterListView* list);

} // namespace korvel
