// The register scanner window. Created at start-up, hidden until the scanner is built.
#pragma once

#include <QWidget>

namespace korvel {

class TChatForm;

class Tscanner : public QWidget {
    Q_OBJECT
  public:
    explicit Tscanner(TChatForm& main);

  private:
    TChatForm& main_;
};

} // namespace korvel
