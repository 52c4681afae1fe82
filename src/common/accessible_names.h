// Names and descriptions for assistive technology. A label, button or box that shows its own text
// is named by Qt after that text (without the "&" marker); these set the name of a control that
// shows no text of its own from the caption that labels it, and tell the caption of a control
// whose text changes as its description.
#pragma once

#include <QString>
#include <QWidget>

namespace korvel {

// A caption as it is read out: "&Start" is "Start", "A&&B" is "A&B".
inline QString WithoutMnemonic(const QString& caption)
{
    QString text;
    text.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size())
            ++i; // the marker goes; of "&&" one "&" stays
        text += caption[i];
    }
    return text;
}

// The name of `control` (an edit, a list, a box without text) from the caption that labels it.
inline void NameAfterCaption(QWidget* control, const QString& caption)
{
    control->setAccessibleName(WithoutMnemonic(caption));
}

// `caption` as the description of `control`, whose own changing text stays its name.
inline void DescribeAs(QWidget* control, const QString& caption)
{
    control->setAccessibleDescription(WithoutMnemonic(caption));
}

} // namespace korvel
