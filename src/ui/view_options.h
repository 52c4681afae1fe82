// The program-wide view options the register list, the set-value dialogs, the variable-list file
// and the Modbus options menu share: the register-number and value formats ("Registers as Hex",
// "Values as Hex"), the register the next set-value dialog starts on, the register list's pending
// redraw, the byte order the set-value dialogs share and their bookkeeping. Window thread only.
#pragma once

#include <QObject>
#include <QString>
#include <cstdint>

namespace korvel {

class ViewOptions : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    // Register numbers are written and read as hex ("Registers as Hex").
    bool Showregistersathex() const { return registersHex_; }
    void setShowregistersathex(bool hex)
    {
        if (hex == registersHex_)
            return;
        registersHex_ = hex;
        emit formatsChanged();
    }
    // Register values are written and read as hex ("Values as Hex").
    bool ShowHex() const { return valuesHex_; }
    void setShowHex(bool hex)
    {
        if (hex == valuesHex_)
            return;
        valuesHex_ = hex;
        emit formatsChanged();
    }

    // Points the next set-value dialog at `registerText` and asks for one; the dialog opens after
    // the current event has been handled.
    void requestSetValueDialog(const QString& registerText)
    {
        VLEPointedRegister = registerText;
        emit setValueDialogRequested();
    }

    QString VLEPointedRegister;   // register number text the next set-value dialog starts on
    bool VLEUpdateNeeded = false; // the register list redraws its values on its next tick
    int ByteOrderUsed = 1;        // byte order shared by the set-value dialogs, 0..3
    int amount_of_setval_windows = 0;
    bool flash_main_window = false;              // the client's flash tick blinks the main window
    std::uintptr_t flash_main_window_handle = 0; // the set-value dialog that last asked for it

  signals:
    // "Registers as Hex" or "Values as Hex" changed.
    void formatsChanged();
    void setValueDialogRequested();

  private:
    bool registersHex_ = false;
    bool valuesHex_ = false;
};

} // namespace korvel
