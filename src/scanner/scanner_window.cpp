#include "scanner/scanner_window.h"

#include "common/activity.h"
#include "common/register_store.h"

namespace korvel {

Tscanner::Tscanner(RegisterStore& store, Activity& activity) : QWidget(nullptr), store_(store), activity_(activity)
{
    setWindowTitle(QStringLiteral("Register Scanner"));
    hide();
}

} // namespace korvel
