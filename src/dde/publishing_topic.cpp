#include "dde/publishing_topic.h"

namespace korvel {

PublishingTopic::PublishingTopic(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                                 QDBusConnection bus, QObject* parent)
    : QObject(parent), kind_(kind), store_(store), status_(status), activity_(activity),
      topic_(new DdeTopic(kind, items_, std::move(bus), this))
{
}

} // namespace korvel
