#include "dde/dde_topic_windows.h"

#include "common/activity.h"
#include "common/register_store.h"

namespace korvel {

TddeTopicWindow::TddeTopicWindow(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                                 QDBusConnection bus)
    : QWidget(nullptr), kind_(kind), store_(store), status_(status), activity_(activity),
      topic_(new DdeTopic(kind, items_, std::move(bus), this))
{
    setWindowTitle(QLatin1String(TopicName(kind))); // the caption names the topic
    hide();
}

Tddeholding::Tddeholding(RegisterStore& store, PublishingStatus& status, Activity& activity, QDBusConnection bus)
    : TddeTopicWindow(TopicKind::Holding, store, status, activity, std::move(bus))
{
}

Tddeinput::Tddeinput(RegisterStore& store, PublishingStatus& status, Activity& activity, QDBusConnection bus)
    : TddeTopicWindow(TopicKind::Input, store, status, activity, std::move(bus))
{
}

} // namespace korvel
