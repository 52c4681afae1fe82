#include "shell/tooltip_switch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QToolTip>

namespace korvel {

TooltipSwitch::TooltipSwitch(QObject* parent) : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
}

TooltipSwitch::~TooltipSwitch()
{
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
}

void TooltipSwitch::setEnabled(bool on)
{
    enabled_ = on;
    if (!on)
        QToolTip::hideText();
}

bool TooltipSwitch::eventFilter(QObject* watched, QEvent* event)
{
    if (!enabled_ && event->type() == QEvent::ToolTip)
        return true; // swallowed: no tooltip appears
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
