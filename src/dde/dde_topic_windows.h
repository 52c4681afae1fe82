// The two hidden windows that own the desktop-publishing topics "holding" and "input". They stay
// hidden for the whole run.
#pragma once

#include <QWidget>

namespace korvel {

class TChatForm;

class Tddeholding : public QWidget {
    Q_OBJECT
  public:
    explicit Tddeholding(TChatForm& main);

  private:
    TChatForm& main_;
};

class Tddeinput : public QWidget {
    Q_OBJECT
  public:
    explicit Tddeinput(TChatForm& main);

  private:
    TChatForm& main_;
};

} // namespace korvel
