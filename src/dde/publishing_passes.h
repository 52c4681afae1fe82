// The two publishing threads of a pair of topics (DDEThread1 for the input registers, DDEThread3
// for the holding registers): starts the creation and update passes a request asks for, asks the
// running ones to tear their items down, and waits for them at the end of the run. Lives on the
// thread that serves the update passes (the window thread, or korvel-server's main thread).
#pragma once

#include "dde/dde_thread.h"
#include "rules/publishing_rules.h"

#include <QObject>
#include <functional>
#include <memory>

namespace korvel {

class PublishingTopic;

class PublishingPasses : public QObject {
    Q_OBJECT
  public:
    // `setMenuEnabled` follows the teardown (false while it runs, true after it); may be empty.
    PublishingPasses(PublishingTopic& input, PublishingTopic& holding, std::function<void(bool)> setMenuEnabled = {},
                     QObject* parent = nullptr);
    // Threads still running end here without their teardown.
    ~PublishingPasses() override;

    DdeFlags& flags() { return flags_; }
    DDEThread* inputThread() const { return DDEThread1.get(); }
    DDEThread* holdingThread() const { return DDEThread3.get(); }
    // A publishing thread is running.
    bool running() const;

    // The range and tables of `request`; starts each requested thread that is not running yet.
    void start(const DdeRequest& request);
    // Asks the running threads to destroy their items and end.
    void requestStop();
    // The end of the run: waits until the threads ended, at most kCloseWaitMs, serving their
    // hand-overs meanwhile.
    void closeWait();

  private:
    void startThread(std::unique_ptr<DDEThread>& thread, PublishingTopic& topic, bool running);

    PublishingTopic& input_;
    PublishingTopic& holding_;
    std::function<void(bool)> setMenuEnabled_;
    DdeFlags flags_;
    std::unique_ptr<DDEThread> DDEThread1; // the input thread last started
    std::unique_ptr<DDEThread> DDEThread3; // the holding thread last started
};

} // namespace korvel
