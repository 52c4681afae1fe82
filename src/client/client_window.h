// The Modbus/TCP client window. Created at start-up, hidden until the client is built.
#pragma once

#include <QWidget>

namespace korvel {

class TChatForm;

class TfrmClient : public QWidget {
    Q_OBJECT
  public:
    explicit TfrmClient(TChatForm& main);

  private:
    TChatForm& main_;
};

} // namespace korvel
