// The two hidden windows that own the desktop-publishing topics "holding" and "input". They stay
// hidden for the whole run, and take what publishing uses: the register store, the publishing
// progress and the activity the priority follows.
#pragma once

#include <QWidget>

namespace korvel {

class RegisterStore;
struct Activity;
struct PublishingStatus;

class Tddeholding : public QWidget {
    Q_OBJECT
  public:
    Tddeholding(RegisterStore& store, PublishingStatus& status, Activity& activity);

  private:
    RegisterStore& store_;
    PublishingStatus& status_;
    Activity& activity_;
};

class Tddeinput : public QWidget {
    Q_OBJECT
  public:
    Tddeinput(RegisterStore& store, PublishingStatus& status, Activity& activity);

  private:
    RegisterStore& store_;
    PublishingStatus& status_;
    Activity& activity_;
};

} // namespace korvel
