// The "Server connection" dialog: the partner's address, port and keepalive option for the client
// or the scanner. It knows its caller only through ServerConnectionCaller, so both windows open
// the same class.
#pragma once

#include "master/server_connection_rules.h"

#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QLabel;
class QTimer;

namespace korvel {

// What the dialog reads and writes of the window that opened it.
struct ServerConnectionCaller {
    RememberedPartner* remembered = nullptr; // PrevA..PrevD and PrevPort
    bool* Use_keepalive = nullptr;           // written whenever the keepalive box is clicked
    QString* serverIP = nullptr;             // ClientServerIP / scannerServerIP
    int32_t* remotePort = nullptr;           // ClientRemotePort / scannerRemotePort
    QString LocalHostAddress;                // shown while the caller remembers no address
    // Whether the caller remembers an address (the client: PrevA is not -1; the scanner: PrevPort
    // is not 0).
    std::function<bool()> hasRemembered;
    // Opens the caller's connection; `done(ok)` is called once when the attempt has ended (later,
    // never from inside this call). The dialog's OK stays disabled meanwhile; a caller that sees
    // the dialog finish while its attempt runs abandons the attempt.
    std::function<void(std::function<void(bool ok)> done)> createConnection;
    // The caller's partner label.
    std::function<void(const QString&)> setPartnerLabel;
    // After a successful connect, before the dialog closes (the client starts polling and writes
    // its event); may be empty.
    std::function<void()> connected;
};

class TSetServerIP : public QDialog {
    Q_OBJECT
  public:
    TSetServerIP(ServerConnectionCaller caller, QWidget* owner);
    ~TSetServerIP() override;

    QLineEdit* Edit1 = nullptr; // octets, first to fourth
    QLineEdit* Edit2 = nullptr;
    QLineEdit* Edit3 = nullptr;
    QLineEdit* Edit4 = nullptr;
    QLineEdit* Edit5 = nullptr;     // port
    QPushButton* Button3 = nullptr; // OK
    QPushButton* Button2 = nullptr; // Cancel
    QCheckBox* CBoxKA = nullptr;
    QLabel* StatusBar1 = nullptr;
    QTimer* Timer1 = nullptr; // clears the status line once, 3000 ms after opening

    QString statusLine() const;
    bool connecting() const { return connecting_; }

    void FormActivate();
    void Button3Click(); // OK
    void Timer1Timer();
    void CBoxKAClick();

  protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void fieldChanged(QLineEdit* edit, bool port);
    void attemptEnded(bool ok);

    ServerConnectionCaller caller_;
    bool activated_ = false;
    bool connecting_ = false;
    bool okAllowed_ = true; // what the field checks last said
    std::shared_ptr<int> life_ = std::make_shared<int>(0);
};

} // namespace korvel
