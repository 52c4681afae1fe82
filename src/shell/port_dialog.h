// The port dialog: asks for the server's new port. OK is enabled only for a whole number that no
// instance (this one included) has reserved; a number outside 1-65535 is refused with a message.
#pragma once

#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace korvel {

class TfrmSetPort : public QDialog {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<bool(int port)> portAtomExist;
        // Takes the new port: reservations, ServerPort, the "Monitor port" caption.
        std::function<void(int port)> applyPort;
        // Closes the connections and listens on the new port: 0, or the socket error number.
        std::function<int()> listenAgain;
    };
    TfrmSetPort(QWidget* mainWindow, int currentPort, Hooks hooks);

    QLineEdit* PortNumber() const { return portNumber_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }
    QLabel* currentPortLabel() const { return current_; }

    void PortNumberChange(); // recomputes whether OK is enabled
    void OKClick();

  private:
    int currentPort_;
    Hooks hooks_;
    QLineEdit* portNumber_ = nullptr;
    QLabel* current_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace korvel
