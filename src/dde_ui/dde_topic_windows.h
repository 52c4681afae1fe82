// The two hidden windows that own the desktop-publishing topics "holding" and "input". They stay
// hidden for the whole run; each owns its topic (the items and the object on the session bus, see
// PublishingTopic), which the publishing threads use.
#pragma once

#include "dde/publishing_topic.h"

#include <QDBusConnection>
#include <QWidget>

namespace korvel {

// What the two topic windows share.
class TddeTopicWindow : public QWidget {
    Q_OBJECT
  public:
    TddeTopicWindow(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                    QDBusConnection bus);

    PublishingTopic& publishing() { return *publishing_; }
    TopicKind kind() const { return publishing_->kind(); }
    ItemTable& items() { return publishing_->items(); }
    DdeTopic& topic() { return publishing_->topic(); }
    RegisterStore& store() { return publishing_->store(); }
    PublishingStatus& status() { return publishing_->status(); }
    Activity& activity() { return publishing_->activity(); }

  private:
    PublishingTopic* publishing_ = nullptr; // a child
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
