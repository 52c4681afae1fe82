// The event list's rows: events land at the top in reading order, the cut drops the oldest, and
// the horizontal scroll range follows the widest line wherever it stands.
#include "client/event_list.h"

#include <QApplication>
#include <QScrollBar>
#include <QTest>
#include <gtest/gtest.h>

namespace korvel::testing {
namespace {

QStringList Lines(const EventList& list)
{
    QStringList out;
    for (int i = 0; i < list.count(); ++i)
        out << list.text(i);
    return out;
}

TEST(EventListTest, EventsGoOnTopAndTheCutDropsTheOldest)
{
    EventList list;
    list.addItems({"start 1", "start 2"});
    list.insertTop({"event 1 head", "event 1 detail"});
    list.insertTop({"event 2"});
    EXPECT_EQ(Lines(list), QStringList({"event 2", "event 1 head", "event 1 detail", "start 1", "start 2"}));
    list.removeLast(2);
    EXPECT_EQ(Lines(list), QStringList({"event 2", "event 1 head", "event 1 detail"}));
    QTest::qWait(100);
    EXPECT_EQ(list.model()->rowCount(), 3) << "the view catches up";
    EXPECT_EQ(list.model()->index(0, 0).data().toString(), "event 2");

    list.insertTop({"event 3"}); // not shown yet when the cut reaches into it
    list.removeLast(3);
    EXPECT_EQ(Lines(list), QStringList({"event 3"}));
    list.removeLast(10);
    EXPECT_EQ(list.count(), 0);
}

TEST(EventListTest, ScrollRangeFollowsTheWidestLineNotTheFirst)
{
    EventList list;
    list.resize(120, 200);
    list.show();
    const QString wide(200, QLatin1Char('W'));
    list.addItems({"short", wide});
    list.insertTop({"newest, short"});
    QTest::qWait(100); // the view learns of new lines at its paint rate
    EXPECT_GT(list.horizontalScrollBar()->maximum(), 0) << "the wide line below the first can be scrolled to";

    list.removeLast(2); // the wide line leaves with the cut
    QTest::qWait(100);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), 0);
}

} // namespace
} // namespace korvel::testing
