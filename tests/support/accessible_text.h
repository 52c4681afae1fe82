// What a screen reader hears of a window's controls, read through Qt's accessibility interfaces.
#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>
#include <string>

namespace korvel::testing {

inline QString AccessibleText(QWidget* w, QAccessible::Text which)
{
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(which) : QString();
}

// The controls of `window` whose name breaks the rules: a name with an "&" marker, or a label or
// button showing a text that its name does not contain. One line per fault.
inline std::string AccessibleNameFaults(QWidget* window)
{
    static const QRegularExpression marker(QStringLiteral("&(?!&)"));
    QStringList faults;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->window() != window || w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        QString shown;
        if (auto* label = qobject_cast<QLabel*>(w))
            shown = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(w))
            shown = button->text();
        shown.remove(marker);
        const QString name = AccessibleText(w, QAccessible::Name);
        if (name.contains(marker) || !name.contains(shown))
            faults << QStringLiteral("%1 \"%2\" named \"%3\"")
                          .arg(QString::fromLatin1(w->metaObject()->className()), shown, name);
    }
    return faults.join(QLatin1Char('\n')).toStdString();
}

} // namespace korvel::testing
