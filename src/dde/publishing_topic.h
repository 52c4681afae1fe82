// One publishing topic ("holding" or "input") without any window: its item table and its object
// on the session bus (present from start-up, inert without a bus), together with what publishing
// uses: the register store, the publishing progress and the activity the priority follows. Lives
// on the thread that serves the bus and runs the update passes.
#pragma once

#include "dde/dde_topic.h"
#include "rules/publishing_rules.h"

#include <QDBusConnection>
#include <QObject>

namespace korvel {

class RegisterStore;
struct Activity;
struct PublishingStatus;

class PublishingTopic : public QObject {
    Q_OBJECT
  public:
    PublishingTopic(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                    QDBusConnection bus, QObject* parent = nullptr);

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
    DdeTopic* topic_ = nullptr; // a child
};

} // namespace korvel
