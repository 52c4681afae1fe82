#include "dde/publishing_passes.h"

#include "common/activity.h"
#include "dde/publishing_topic.h"

#include <QCoreApplication>
#include <QThread>
#include <chrono>

namespace korvel {

namespace {
constexpr int kCloseServeMs = 10; // the close wait looks again after this long

uint32_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
} // namespace

PublishingPasses::PublishingPasses(PublishingTopic& input, PublishingTopic& holding,
                                   std::function<void(bool)> setMenuEnabled, QObject* parent)
    : QObject(parent), input_(input), holding_(holding), setMenuEnabled_(std::move(setMenuEnabled))
{
}

PublishingPasses::~PublishingPasses()
{
    DDEThread1.reset();
    DDEThread3.reset();
}

bool PublishingPasses::running() const
{
    const Activity& activity = input_.activity();
    return activity.InputDDEThreadRunning.load() || activity.HoldDDEThreadRunning.load();
}

void PublishingPasses::start(const DdeRequest& request)
{
    flags_.DDELowAddress = request.low;
    flags_.DDEHighAddress = request.high;
    flags_.StartInputDDEReq = request.input;
    flags_.StartHoldDDEReq = request.holding;
    const Activity& activity = input_.activity();
    if (request.input)
        startThread(DDEThread1, input_, activity.InputDDEThreadRunning);
    if (request.holding)
        startThread(DDEThread3, holding_, activity.HoldDDEThreadRunning);
}

void PublishingPasses::startThread(std::unique_ptr<DDEThread>& thread, PublishingTopic& topic, bool running)
{
    if (running)
        return;
    thread.reset(); // the last one has ended: its object goes
    thread = std::make_unique<DDEThread>(topic, flags_, this, [this](bool enabled) {
        if (setMenuEnabled_)
            setMenuEnabled_(enabled);
    });
    // Running from here on, not only once the thread got its first time slice: a switch-off that
    // comes before then must still reach it.
    std::atomic<bool>& runningFlag = topic.kind() == TopicKind::Input ? topic.activity().InputDDEThreadRunning
                                                                      : topic.activity().HoldDDEThreadRunning;
    runningFlag = true;
    thread->start(QThread::NormalPriority);
}

void PublishingPasses::requestStop()
{
    if (input_.activity().InputDDEThreadRunning)
        flags_.StopInputDDEThread = true;
    if (holding_.activity().HoldDDEThreadRunning)
        flags_.StopHoldDDEThread = true;
}

void PublishingPasses::closeWait()
{
    auto askToEnd = [this] {
        for (DDEThread* t : {DDEThread1.get(), DDEThread3.get()}) {
            if (t && t->isRunning())
                t->requestInterruption();
        }
        flags_.StopInputDDEThread = true;
        flags_.StopHoldDDEThread = true;
    };
    // Serves the hand-overs the threads wait for, so that none of them is kept from its end.
    auto serve = [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, kCloseServeMs);
        QThread::msleep(kCloseServeMs);
    };
    CloseWait([this] { return running(); }, askToEnd, serve, NowMs);
}

} // namespace korvel
