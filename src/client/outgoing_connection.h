// One outgoing connection of a window: the partner it remembers, the "Server connection" dialog
// that asks for it, the connect under way and the socket once it stands. The client and the
// scanner each own one; what differs between them comes in as handlers.
#pragma once

#include "master/server_connection_rules.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace korvel {

class PendingConnect;
class QtEventLoop;
class StreamSocket;
class TSetServerIP;

class OutgoingConnection : public QObject {
    Q_OBJECT
  public:
    struct Handlers {
        std::function<void()> read;        // bytes arrived
        std::function<void()> closed;      // the partner closed
        std::function<void()> established; // the socket stands: the window enables its controls
        std::function<void()> failed;      // an attempt ended without a connection
        std::function<void(const QString&)> setPartnerLabel;
        std::function<void()> connectedInDialog; // before the dialog closes on success; may be empty
        // Whether a partner is remembered (else the dialog offers this computer's address).
        std::function<bool(const RememberedPartner&)> hasRemembered;
        std::function<QString()> localHostAddress; // this computer's first IPv4 address, "" unknown
    };

    // The dialog and the keepalive warning open over `owner`.
    OutgoingConnection(QWidget& owner, RememberedPartner remembered, Handlers handlers);
    ~OutgoingConnection() override;

    // The Connect button: opens the "Server connection" dialog. Closing it while a connect runs
    // abandons the attempt.
    TSetServerIP* openDialog();
    TSetServerIP* dialog() const;
    // Opens the connection to serverIP:remotePort in the background; `done(ok)` follows once the
    // attempt has ended, never from inside this call.
    void CreateConnection(std::function<void(bool ok)> done);
    // Drops the socket (and with it the connection); nothing more is read or sent.
    void close();
    StreamSocket* socket() const { return socket_.get(); }

    QString serverIP;
    int32_t remotePort = kDefaultRemotePort;
    RememberedPartner partner;
    bool Use_keepalive = false;

  private:
    QWidget& owner_;
    Handlers handlers_;
    std::unique_ptr<QtEventLoop> loop_;
    std::unique_ptr<StreamSocket> socket_;    // none while not connected
    std::unique_ptr<PendingConnect> pending_; // a connect under way
    QPointer<TSetServerIP> dialog_;
};

} // namespace korvel
