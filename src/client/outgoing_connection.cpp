#include "client/outgoing_connection.h"

#include "client/client_texts.h"
#include "client/server_ip_dialog.h"
#include "net/connect_socket.h"
#include "net/socket_layer.h"
#include "ui/message_box.h"
#include "ui/qt_event_loop.h"

#include <QDialog>
#include <QTimer>
#include <QWidget>

namespace korvel {

OutgoingConnection::OutgoingConnection(QWidget& owner, RememberedPartner remembered, Handlers handlers)
    : partner(remembered), owner_(owner), handlers_(std::move(handlers)), loop_(std::make_unique<QtEventLoop>(this))
{
}

OutgoingConnection::~OutgoingConnection()
{
    pending_.reset();
    socket_.reset();
}

TSetServerIP* OutgoingConnection::openDialog()
{
    ServerConnectionCaller caller;
    caller.remembered = &partner;
    caller.Use_keepalive = &Use_keepalive;
    caller.serverIP = &serverIP;
    caller.remotePort = &remotePort;
    caller.LocalHostAddress = handlers_.localHostAddress ? handlers_.localHostAddress() : QString();
    caller.hasRemembered = [this] { return handlers_.hasRemembered(partner); };
    caller.createConnection = [this](std::function<void(bool)> done) { CreateConnection(std::move(done)); };
    caller.setPartnerLabel = handlers_.setPartnerLabel;
    caller.connected = handlers_.connectedInDialog;
    auto* dialog = new TSetServerIP(std::move(caller), &owner_);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog_ = dialog;
    connect(dialog, &QDialog::finished, this, [this] { pending_.reset(); });
    dialog->show();
    return dialog;
}

TSetServerIP* OutgoingConnection::dialog() const
{
    return dialog_;
}

void OutgoingConnection::CreateConnection(std::function<void(bool ok)> done)
{
    const std::optional<uint32_t> address = ParseIPv4(serverIP.toStdString());
    auto ended = [this, done](int error, std::unique_ptr<StreamSocket> socket) {
        pending_.reset(); // the attempt has ended; it may be destroyed from inside its report
        if (error != 0 || !socket) {
            handlers_.failed();
            done(false);
            return;
        }
        socket_ = std::move(socket);
        socket_->setHandlers(handlers_.read, handlers_.closed);
        handlers_.established();
        done(true);
    };
    if (!address) {
        // A text that names no address cannot be connected to: a failed attempt, after this event.
        QTimer::singleShot(0, this, [ended] { ended(wsa::kEAddrNotAvail, nullptr); });
        return;
    }
    pending_ = ConnectSocket(*loop_, *address, static_cast<uint16_t>(remotePort), Use_keepalive, ended);
    if (pending_->keepAliveError() != 0)
        ShowMessage(&owner_, MessageKind::Warning, QString::fromLatin1(clienttexts::kKeepaliveCaption),
                    QString::fromLatin1(Use_keepalive ? kKeepaliveOnFailedText : kKeepaliveOffFailedText));
}

void OutgoingConnection::close()
{
    socket_.reset();
}

} // namespace korvel
