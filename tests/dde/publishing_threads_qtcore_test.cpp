// The two publishing threads without a window and without a bus, as korvel-server runs them: the
// creation passes in their order, the update passes handed to this thread, the switch-off (also
// in the middle of a creation pass) and the end of the run. Built under ThreadSanitizer too: the
// threads share only atomics, the item table's lock and the hand-over with this thread.
#include "common/activity.h"
#include "common/register_store.h"
#include "dde/publishing_passes.h"
#include "dde/publishing_topic.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>
#include <mutex>
#include <semaphore>
#include <utility>
#include <vector>

namespace korvel {
namespace {

class PublishingThreads : public ::testing::Test {
  protected:
    // Serves this thread's events (the hand-overs) until `done` holds or `timeoutMs` passed.
    static bool serveUntil(const std::function<bool()>& done, int timeoutMs = 30000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > timeoutMs)
                return done();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        return true;
    }
    bool created()
    {
        return serveUntil([this] { return !passes.flags().StartInputDDEReq && !passes.flags().StartHoldDDEReq; });
    }
    bool ended()
    {
        return serveUntil([this] { return !passes.running(); });
    }
    int publishedCount(uint8_t flag) const
    {
        int n = 0;
        for (int a = 0; a < kRegisterCount; ++a)
            n += (store.flags(static_cast<uint16_t>(a)) & flag) != 0 ? 1 : 0;
        return n;
    }

    RegisterStore store;
    Activity activity;
    PublishingStatus status;
    // A connection that is not connected: the topics stay off the bus.
    PublishingTopic input{TopicKind::Input, store, status, activity, QDBusConnection(QString())};
    PublishingTopic holding{TopicKind::Holding, store, status, activity, QDBusConnection(QString())};
    std::vector<bool> menu; // what the teardown did to the menu item, in order (on this thread)
    // What the threads' item hook uses: it outlives the threads (members go in reverse order).
    std::mutex orderLock;
    std::vector<std::pair<TopicKind, int>> order;
    std::counting_semaphore<2> held{0};
    std::counting_semaphore<2> goOn{0};
    PublishingPasses passes{input, holding, [this](bool enabled) { menu.push_back(enabled); }};
};

TEST_F(PublishingThreads, RangeIsCreatedInputFirstThenUpdatedPokedAndTornDown)
{
    store.setInput(10, 3);
    store.setHolding(11, 5);
    passes.flags().itemCreated = [this](TopicKind kind, int address) {
        const std::lock_guard lock(orderLock);
        order.emplace_back(kind, address);
    };
    passes.start(DdeRequest{10, 12, true, true});
    ASSERT_TRUE(created());
    {
        const std::lock_guard lock(orderLock);
        const std::vector<std::pair<TopicKind, int>> expected{{TopicKind::Input, 10},   {TopicKind::Input, 11},
                                                              {TopicKind::Input, 12},   {TopicKind::Holding, 10},
                                                              {TopicKind::Holding, 11}, {TopicKind::Holding, 12}};
        EXPECT_EQ(order, expected);
    }
    EXPECT_EQ(input.items().count(), 3u);
    EXPECT_EQ(holding.items().count(), 3u);
    EXPECT_EQ(input.items().text(10), "3");
    EXPECT_EQ(holding.items().text(11), "5");
    EXPECT_FALSE(holding.items().exists(9));
    EXPECT_FALSE(holding.items().exists(13));
    EXPECT_EQ(publishedCount(kFlagInputPublished), 3);
    EXPECT_EQ(publishedCount(kFlagHoldingPublished), 3);
    EXPECT_EQ(status.DDEJobInputDonePerCent.load(), 100);
    EXPECT_EQ(status.DDEJobHoldDonePerCent.load(), 100);

    // The update passes run on this thread while it serves its events.
    store.setHolding(12, 77);
    EXPECT_TRUE(serveUntil([&] { return holding.items().text(12) == "77"; }));
    ASSERT_TRUE(holding.items().poke(10, "1234").has_value());
    EXPECT_TRUE(serveUntil([&] { return store.holding(10) == 1234; }));
    EXPECT_EQ(store.holding(11), 5);

    passes.requestStop();
    ASSERT_TRUE(ended());
    EXPECT_TRUE(serveUntil([&] { return !menu.empty() && menu.back(); }));
    EXPECT_EQ(menu, (std::vector<bool>{false, false, true})) << "disabled by each thread, enabled once at the end";
    EXPECT_EQ(input.items().count(), 0u);
    EXPECT_EQ(holding.items().count(), 0u);
    EXPECT_EQ(publishedCount(kFlagInputPublished | kFlagHoldingPublished), 0);
    EXPECT_EQ(status.DDEJobInputDonePerCent.load(), 0);
    EXPECT_EQ(status.DDEJobHoldDonePerCent.load(), 0);
    EXPECT_FALSE(passes.flags().StopInputDDEThread);
    EXPECT_FALSE(passes.flags().StopHoldDDEThread);

    // Publishing starts again with new threads.
    passes.start(DdeRequest{0, 0, false, true});
    ASSERT_TRUE(created());
    EXPECT_EQ(holding.items().count(), 1u);
    EXPECT_EQ(input.items().count(), 0u);
}

TEST_F(PublishingThreads, SwitchOffWhileTheHoldingThreadIsHeldInItsCreationPass)
{
    // The holding thread stops after its item 1000 until the switch-off was asked for.
    struct LetGo {
        std::counting_semaphore<2>& goOn;
        ~LetGo() { goOn.release(); } // a failed test must not leave the thread held
    } letGo{goOn};
    passes.flags().itemCreated = [this](TopicKind kind, int address) {
        if (kind == TopicKind::Holding && address == 1000) {
            held.release();
            goOn.acquire();
        }
    };
    passes.start(DdeRequest{0, 2000, true, true});
    ASSERT_TRUE(serveUntil([&] { return held.try_acquire(); }));
    EXPECT_EQ(input.items().count(), 2001u);
    EXPECT_EQ(holding.items().count(), 1001u);
    passes.requestStop();
    EXPECT_TRUE(passes.flags().StartHoldDDEReq.load()) << "still creating";
    goOn.release();
    ASSERT_TRUE(ended());
    EXPECT_EQ(holding.items().count(), 0u) << "item 1001 and later were never made, the others are gone";
    EXPECT_EQ(input.items().count(), 0u);
    EXPECT_LT(passes.holdingThread()->IGotThisFar(), 0);
    EXPECT_EQ(publishedCount(kFlagInputPublished | kFlagHoldingPublished), 0);
    EXPECT_FALSE(passes.flags().StartHoldDDEReq);
}

TEST_F(PublishingThreads, TheEndOfTheRunEndsThreadsInTheirCreationPass)
{
    passes.start(DdeRequest{0, 65535, true, true});
    ASSERT_TRUE(serveUntil([&] { return input.items().count() > 0; }));
    QElapsedTimer timer;
    timer.start();
    passes.closeWait();
    EXPECT_LT(timer.elapsed(), static_cast<qint64>(kCloseWaitMs));
    EXPECT_FALSE(passes.running());
    EXPECT_FALSE(activity.InputDDEThreadRunning);
    EXPECT_FALSE(activity.HoldDDEThreadRunning);
}

} // namespace
} // namespace korvel
