#include "dde/dde_server.h"

#include "common/activity.h"
#include "dde/dde_selections.h"
#include "dde/dde_texts.h"
#include "dde/dde_topic_windows.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMenu>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <chrono>

namespace korvel {

namespace {
constexpr int kPublishingTimer1Interval = 500; // the status timer while publishing is switched
constexpr int kLateRedrawMs = 3000;            // the R/W column again once the passes are under way
constexpr int kCloseServeMs = 10;              // the close wait looks again after this long

uint32_t NowMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
} // namespace

DdeServer::DdeServer(QWidget* window, QMenu* optionsMenu, QAction* before, RefreshRequests& refresh,
                     QTimer* statusTimer, TddeTopicWindow& input, TddeTopicWindow& holding, QString busName,
                     QObject* parent)
    : QObject(parent), window_(window), refresh_(refresh), statusTimer_(statusTimer), input_(input), holding_(holding),
      busName_(std::move(busName))
{
    action_ = new QAction(texts::kDdeServer, this);
    action_->setCheckable(true);
    optionsMenu->insertAction(before, action_);
    // The check mark is the handler's to set: a click shows the dialog or switches off.
    connect(action_, &QAction::triggered, this, [this](bool checked) {
        action_->setChecked(!checked);
        DDEServer1Click();
    });
    window_->installEventFilter(this);
}

DdeServer::~DdeServer()
{
    // Threads still running end here without their teardown; the items end with their windows.
    DDEThread1.reset();
    DDEThread3.reset();
}

void DdeServer::DDEServer1Click()
{
    if (!action_->isEnabled())
        return;
    if (action_->isChecked()) {
        if (input_.activity().InputDDEThreadRunning)
            flags_.StopInputDDEThread = true;
        if (holding_.activity().HoldDDEThreadRunning)
            flags_.StopHoldDDEThread = true;
        action_->setChecked(false);
    } else {
        createDialog()->exec();
    }
    afterSwitch();
}

void DdeServer::afterSwitch()
{
    if (statusTimer_)
        statusTimer_->setInterval(kPublishingTimer1Interval);
    refresh_.RefreshRegisterViewRW();
    QTimer::singleShot(kLateRedrawMs, &refresh_, &RefreshRequests::RefreshRegisterViewRW);
}

TfrmDDESelections* DdeServer::createDialog()
{
    auto* dialog = new TfrmDDESelections(window_, busName_, [this](const DdeRequest& r) { apply(r); });
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    return dialog;
}

void DdeServer::apply(const DdeRequest& request)
{
    flags_.DDELowAddress = request.low;
    flags_.DDEHighAddress = request.high;
    flags_.StartInputDDEReq = request.input;
    flags_.StartHoldDDEReq = request.holding;
    action_->setChecked(true);
    const Activity& activity = input_.activity();
    if (request.input)
        startThread(DDEThread1, input_, activity.InputDDEThreadRunning);
    if (request.holding)
        startThread(DDEThread3, holding_, activity.HoldDDEThreadRunning);
}

void DdeServer::startThread(std::unique_ptr<DDEThread>& thread, TddeTopicWindow& topic, bool running)
{
    if (running)
        return;
    thread.reset(); // the last one has ended: its object goes
    thread = std::make_unique<DDEThread>(topic, flags_, this, [this](bool enabled) { setMenuEnabled(enabled); });
    thread->start(QThread::NormalPriority);
}

void DdeServer::setMenuEnabled(bool enabled)
{
    action_->setEnabled(enabled);
}

void DdeServer::FormCloseQuery()
{
    const Activity& activity = input_.activity();
    auto running = [&] { return activity.InputDDEThreadRunning.load() || activity.HoldDDEThreadRunning.load(); };
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
    closing_ = true;
    CloseWait(running, askToEnd, serve, NowMs);
    closing_ = false;
}

bool DdeServer::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == window_ && event->type() == QEvent::Close) {
        if (closing_) { // a second request while the first one waits: the first one decides
            event->ignore();
            return true;
        }
        FormCloseQuery();
    }
    return QObject::eventFilter(watched, event);
}

} // namespace korvel
