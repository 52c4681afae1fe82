// The two hidden windows that own the desktop-publishing topics "holding" and "input". They stay
// hidden for the whole run; each owns its topic's items and the topic's object on the session bus
// (present from start-up, inert without a bus), and takes what publishing uses: the register
// store, the publishing progress and the activity the priority follows.
#pragma once

#include "dde/dde_topic.h"
#include "dde/publishing_rules.h"

#include <QDBusConnection>
#include <QWidget>

namespace korvel {

class RegisterStore;
struct Activity;
struct PublishingStatus;

// What the two topic windows share.
class TddeTopicWindow : public QWidget {
    Q_OBJECT
  public:
    TddeTopicWindow(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                    QDBusConnection bus);

    TopicKind kind() const { return kind_; }
    ItemTable& items() { return items_; }
    DdeTopic& topic() { return *topic_; }
    RegisterStore& store() { return store_; }
    PublishingStatus& status() { return status_; }
    Activity& activity() { return activity_; }

  private:
    TopicKind kind_;
    RegisterStore& store_;
    PublishingStatus& status_;
    Activity& activity_;
    ItemTable items_;
    DdeTopic* topic_ = nullptr;
};

class Tddeholding : public TddeTopicWindow {
    Q_OBJECT
  public:
    Tddeholding(RegisterStore& store, PublishingStatus& status, Activity& activity,
                QDBusConnection bus = QDBusConnection::sessionBus());
};

class Tddeinput : public TddeTopicWindow {
    Q_OBJECT
  public:
    Tddeinput(RegisterStore& store, PublishingStatus& status, Activity& activity,
              QDBusConnection bus = QDBusConnection::sessionBus());
};

} // namespace korvel
