#include "dde/dde_thread.h"

#include "common/activity.h"
#include "common/register_store.h"
#include "dde/publishing_topic.h"

#include <QSemaphore>
#include <memory>

namespace korvel {

namespace {
// How often a thread waiting for its hand-over looks whether it is to end, in ms.
constexpr int kHandOverPollMs = 20;
} // namespace

DDEThread::DDEThread(PublishingTopic& publishing, DdeFlags& flags, QObject* context,
                     std::function<void(bool)> setMenuEnabled)
    : publishing_(publishing), flags_(flags), context_(context), setMenuEnabled_(std::move(setMenuEnabled)),
      previous_(kRegisterCount)
{
}

DDEThread::~DDEThread()
{
    requestInterruption();
    wait();
}

bool DDEThread::input() const
{
    return publishing_.kind() == TopicKind::Input;
}
std::atomic<bool>& DDEThread::startRequest() const
{
    return input() ? flags_.StartInputDDEReq : flags_.StartHoldDDEReq;
}
std::atomic<bool>& DDEThread::stopRequest() const
{
    return input() ? flags_.StopInputDDEThread : flags_.StopHoldDDEThread;
}
std::atomic<bool>& DDEThread::running() const
{
    return input() ? publishing_.activity().InputDDEThreadRunning : publishing_.activity().HoldDDEThreadRunning;
}
std::atomic<bool>& DDEThread::otherRunning() const
{
    return input() ? publishing_.activity().HoldDDEThreadRunning : publishing_.activity().InputDDEThreadRunning;
}
std::atomic<int>& DDEThread::percent() const
{
    return input() ? publishing_.status().DDEJobInputDonePerCent : publishing_.status().DDEJobHoldDonePerCent;
}

void DDEThread::run()
{
    running() = true;
    low_ = flags_.DDELowAddress.load();
    high_ = flags_.DDEHighAddress.load();
    got_ = low_ - 1;
    while (!isInterruptionRequested()) {
        if (stopRequest()) {
            teardown();
            break;
        }
        if (startRequest()) {
            publishing_.activity().notify();
            try {
                creationPass();
            } catch (...) {
                // A failed item ends the pass; the items made so far stay published.
            }
            startRequest() = false;
        } else {
            handOverUpdatePass();
        }
        msleep(kPublishingPassPauseMs);
    }
    stopRequest() = false;
    // Once the running flag falls, the window may replace this object by a new thread's: from
    // there on nothing of this object is read.
    const Activity& activity = publishing_.activity();
    running() = false;
    activity.notify();
}

void DDEThread::creationPass()
{
    const TopicKind kind = publishing_.kind();
    RegisterStore& store = publishing_.store();
    const uint8_t flag = PublishedFlag(kind);
    got_ = low_ - 1;
    for (int a = low_; a <= high_; ++a) {
        // The holding items follow the input items when both are requested.
        while (!input() && flags_.StartInputDDEReq && !stopRequest() && !isInterruptionRequested())
            msleep(kHoldingWaitStepMs);
        if (stopRequest() || isInterruptionRequested()) {
            startRequest() = false;
            return;
        }
        const auto n = static_cast<uint16_t>(a);
        const uint16_t value = input() ? store.input(n) : store.holding(n);
        publishing_.items().create(n, std::to_string(value));
        previous_[n] = value;
        store.orFlags(n, flag);
        if (high_ != low_)
            percent() = ProgressPerCent(a, low_, high_);
        got_ = a;
        if (flags_.itemCreated)
            flags_.itemCreated(kind, a);
    }
}

void DDEThread::teardown()
{
    setMenuEnabled(false);
    // The holding items go after the input thread has ended.
    while (!input() && otherRunning() && !isInterruptionRequested())
        msleep(kHoldingWaitStepMs);
    RegisterStore& store = publishing_.store();
    const auto keep = static_cast<uint8_t>(~PublishedFlag(publishing_.kind()));
    for (int a = got_; a >= low_ && !isInterruptionRequested(); --a) {
        const auto n = static_cast<uint16_t>(a);
        publishing_.items().destroy(n);
        store.andFlags(n, keep);
        if (high_ != low_)
            percent() = ProgressPerCent(a, low_, high_);
        got_ = a - 1;
    }
    if (!otherRunning() && !isInterruptionRequested())
        setMenuEnabled(true);
}

void DDEThread::handOverUpdatePass()
{
    auto done = std::make_shared<QSemaphore>(0);
    QMetaObject::invokeMethod(
        context_,
        [this, done] {
            updatePass();
            done->release();
        },
        Qt::QueuedConnection);
    // Waits for the window thread, but leaves when told to end (the close does so).
    while (!done->tryAcquire(1, kHandOverPollMs)) {
        if (isInterruptionRequested())
            return;
    }
}

void DDEThread::updatePass()
{
    try {
        const std::vector<ItemNotification> notes = publishing_.items().updatePass(
            publishing_.kind(), publishing_.store(), previous_.data(), low_, got_.load(), stopRequest());
        publishing_.topic().notify(notes);
    } catch (...) {
        // A failed pass is not reported; the next one tries again.
    }
}

void DDEThread::setMenuEnabled(bool enabled)
{
    QMetaObject::invokeMethod(
        context_, [f = setMenuEnabled_, enabled] { f(enabled); }, Qt::QueuedConnection);
}

} // namespace korvel
