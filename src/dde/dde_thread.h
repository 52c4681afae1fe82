// The publishing thread of one register table (DDEThread1 publishes the input registers,
// DDEThread3 the holding registers): it creates an item per register of its range, then hands an
// update pass to the window thread every 50 ms and waits for it, and on request destroys its items
// again, highest first. It talks to the window thread only through the shared flags, the
// percentages, the usage-flag bits and queued calls.
#pragma once

#include "rules/publishing_rules.h"

#include <QThread>
#include <atomic>
#include <functional>
#include <vector>

namespace korvel {

class PublishingTopic;

// The flags of the publishing that the window thread and the two threads share; each one is
// written by one side and polled by the other.
struct DdeFlags {
    std::atomic<int> DDELowAddress{0};         // the range to publish, read by a thread when it starts
    std::atomic<int> DDEHighAddress{65535};    //
    std::atomic<bool> StartInputDDEReq{false}; // creation requested or running; the thread clears it
    std::atomic<bool> StartHoldDDEReq{false};
    std::atomic<bool> StopInputDDEThread{false}; // asked to stop; the thread clears it at its end
    std::atomic<bool> StopHoldDDEThread{false};
    // Called by a thread after each item of its creation pass (a test holds the pass there); set
    // before the threads start.
    std::function<void(TopicKind, int)> itemCreated;
};

// Sleep between update passes, and the step of the holding thread's waits, in ms.
constexpr int kPublishingPassPauseMs = 50;
constexpr int kHoldingWaitStepMs = 150;

class DDEThread : public QThread {
    Q_OBJECT
  public:
    // `context` lives on the window thread: update passes and `setMenuEnabled` (the menu item
    // "&DDE Server..." disabled for the teardown and enabled after it) run there.
    DDEThread(PublishingTopic& publishing, DdeFlags& flags, QObject* context, std::function<void(bool)> setMenuEnabled);
    ~DDEThread() override;

    // The highest address whose item exists; low - 1 while none does.
    int IGotThisFar() const { return got_.load(); }

  protected:
    void run() override;

  private:
    bool input() const;
    std::atomic<bool>& startRequest() const;
    std::atomic<bool>& stopRequest() const;
    std::atomic<bool>& running() const;      // this thread's running flag
    std::atomic<bool>& otherRunning() const; // the other table's thread
    std::atomic<int>& percent() const;

    void creationPass();
    void teardown();
    void handOverUpdatePass();
    void updatePass(); // on the window thread
    void setMenuEnabled(bool enabled);

    PublishingTopic& publishing_;
    DdeFlags& flags_;
    QObject* context_;
    std::function<void(bool)> setMenuEnabled_;
    std::vector<uint16_t> previous_; // PrevInputReg / PrevHoldReg: the value last published
    std::atomic<int> got_{-1};       // IGotThisFar
    int low_ = 0;                    // DDELowAddress, copied at the start
    int high_ = 0;                   // DDEHighAddress, copied at the start
};

} // namespace korvel
