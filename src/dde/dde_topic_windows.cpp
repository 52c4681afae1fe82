#include "dde/dde_topic_windows.h"

#include "common/activity.h"
#include "common/register_store.h"

namespace korvel {

Tddeholding::Tddeholding(RegisterStore& store, PublishingStatus& status, Activity& activity)
    : QWidget(nullptr), store_(store), status_(status), activity_(activity)
{
    hide();
}

Tddeinput::Tddeinput(RegisterStore& store, PublishingStatus& status, Activity& activity)
    : QWidget(nullptr), store_(store), status_(status), activity_(activity)
{
    hide();
}

} // namespace korvel
