// The one-off window: writes one holding register, mask-writes one, or reads the exception status
// of the client's partner. Any number may be open; they share the client's pending request and its
// "Use Function 16" choice. The window's Close button destroys it; its title-bar close box only
// hides it (it keeps its flashing slot and the FC16 choice).
#pragma once

#include "master/one_off_requests.h"
#include "view/view_texts.h"

#include <QWidget>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QTimer;

namespace korvel {

class TfrmClient;

namespace writemasktexts {
// The client's "M&odbus" menu.
inline constexpr const char* kModbusMenu = "M&odbus";
inline constexpr const char* kSet1 = "Write &Single Register...";
inline constexpr const char* kMask1 = "&Mask Write Register...";
inline constexpr const char* kReadexceptionstatus1 = "&Read Exception Status...";
inline constexpr const char* kMenuScanner = "Register S&canner...";
// The window's controls at creation.
inline constexpr const char* kAddressGroup = "Address";
inline constexpr const char* kValueGroup = texts::kValueTitle;
inline constexpr const char* kOrGroup = "OR (Hex)";
inline constexpr const char* kValueHintAtCreation = "AND pattern of masking";
inline constexpr const char* kOrHint = "OR pattern of masking";
inline constexpr const char* kApply = "Apply";
inline constexpr const char* kApplyHint = "Write value to connection partner";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kCloseHint = texts::kCloseWindowHint;
inline constexpr const char* kUseFc16 = "Use Function 16";
inline constexpr const char* kUseFc16Hint = "Use FC16 instead of FC6";
inline constexpr const char* kMaskBox = "Mask AND + OR";
} // namespace writemasktexts

constexpr int kWriteMaskTimer1Ms = 300; // exception-status result into the field
constexpr int kWriteMaskTimer2Ms = 200; // Apply enabling

class TfrmWriteMask : public QWidget {
    Q_OBJECT
  public:
    // A tool window of `client`, set up for `mode`; not shown yet.
    TfrmWriteMask(TfrmClient& client, OneOffMode mode);
    ~TfrmWriteMask() override; // frees its slot of the client's flashing table

    OneOffMode mode() const { return mode_; }
    int Tag = -1; // slot of the client's flashing table, -1: none

    QGroupBox* GroupBox1 = nullptr; // "Address"
    QLineEdit* Edit3 = nullptr;     // register address
    QGroupBox* GroupBox2 = nullptr; // value, AND pattern or status
    QLineEdit* Edit1 = nullptr;
    QGroupBox* GroupBox3 = nullptr; // "OR (Hex)"
    QLineEdit* Edit2 = nullptr;     // OR pattern
    QPushButton* Button2 = nullptr; // Apply
    QPushButton* Button1 = nullptr; // Close
    QCheckBox* CB_FC16 = nullptr;
    QCheckBox* CheckBox1 = nullptr;   // never visible: mask mode
    QCheckBox* CheckBoxExp = nullptr; // never visible: exception-status mode
    QTimer* Timer1 = nullptr;         // exception-status result, 300 ms, started by Apply
    QTimer* Timer2 = nullptr;         // Apply enabling, 200 ms

    void Edit1Change();
    void Edit2Change();
    void Edit3Change();
    void CB_FC16Click();
    void Button2Click(); // Apply
    void Button1Click(); // Close: destroys the window
    void Timer1Timer();
    void Timer2Timer();

  protected:
    void closeEvent(QCloseEvent* e) override; // the close box only hides
    void keyPressEvent(QKeyEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void fieldChecked(QLineEdit* field, const OneOffFieldCheck& check);

    TfrmClient& client_;
    OneOffMode mode_;
};

} // namespace korvel
