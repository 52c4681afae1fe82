// The register scanner window. Created at start-up, hidden until the scanner is built. It takes
// what it will use: the register store ("Copy value to register") and the activity the priority
// follows ("scannerConnected").
#pragma once

#include <QWidget>

namespace korvel {

class RegisterStore;
struct Activity;

class Tscanner : public QWidget {
    Q_OBJECT
  public:
    Tscanner(RegisterStore& store, Activity& activity);

  signals:
    // The user closed the window (it is hidden, never destroyed): the client gives its menu item
    // and its flashing slot back.
    void closed();

  private:
    RegisterStore& store_;
    Activity& activity_;
};

} // namespace korvel
