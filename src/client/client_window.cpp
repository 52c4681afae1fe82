#include "client/client_window.h"

#include "shell/main_window.h"

namespace korvel {

TfrmClient::TfrmClient(TChatForm& main) : QWidget(nullptr), main_(main)
{
    setWindowTitle(QStringLiteral("Modbus/TCP Client"));
    hide();
}

} // namespace korvel
