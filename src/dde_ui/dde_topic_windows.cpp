#include "dde_ui/dde_topic_windows.h"

namespace korvel {

TddeTopicWindow::TddeTopicWindow(TopicKind kind, RegisterStore& store, PublishingStatus& status, Activity& activity,
                                 QDBusConnection bus)
    : QWidget(nullptr), publishing_(new PublishingTopic(kind, store, status, activity, std::move(bus), this))
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
