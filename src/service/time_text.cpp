#include "service/time_text.h"

#include <QDateTime>
#include <QLocale>

namespace korvel {

namespace {
// The time format of the system without its time-zone part (the long format carries "t").
QString TimeFormatWithoutZone(const QString& format)
{
    QString out;
    bool quoted = false;
    for (const QChar ch : format) {
        if (ch == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && ch == QLatin1Char('t'))
            continue;
        out += ch;
    }
    out = out.trimmed();
    while (out.contains(QLatin1String("  ")))
        out.replace(QLatin1String("  "), QLatin1String(" "));
    return out.isEmpty() ? QStringLiteral("HH:mm:ss") : out;
}
} // namespace

QString SystemTimeText(const QTime& time)
{
    const QLocale locale = QLocale::system();
    return locale.toString(time, TimeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

QString ShortDateText(const QDate& date)
{
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString StatusClockText(const QDateTime& now)
{
    return ShortDateText(now.date()) + QLatin1Char(' ') + SystemTimeText(now.time());
}

} // namespace korvel
