// Dates and times as the program shows and writes them: the system's formats, without the
// time-zone part that the long time format of some locales carries.
#pragma once

#include <QString>

class QDate;
class QDateTime;
class QTime;

namespace korvel {

// The time in the system's (long) time format without a time-zone part ("14:03:07").
QString SystemTimeText(const QTime& time);
// The date in the system's short date format.
QString ShortDateText(const QDate& date);
// Date, a blank, time: the status bar clock, the log header and the variable-list date comment.
QString StatusClockText(const QDateTime& now);

} // namespace korvel
