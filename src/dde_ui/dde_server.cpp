#include "dde_ui/dde_server.h"

#include "dde/dde_texts.h"
#include "dde_ui/dde_selections.h"
#include "dde_ui/dde_topic_windows.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace korvel {

namespace {
constexpr int kPublishingTimer1Interval = 500; // the status timer while publishing is switched
constexpr int kLateRedrawMs = 3000;            // the R/W column again once the passes are under way
} // namespace

DdeServer::DdeServer(QWidget* window, QMenu* optionsMenu, QAction* before, RefreshRequests& refresh,
                     QTimer* statusTimer, TddeTopicWindow& input, TddeTopicWindow& holding, QString busName,
                     QObject* parent)
    : QObject(parent), window_(window), refresh_(refresh), statusTimer_(statusTimer), busName_(std::move(busName)),
      passes_(input.publishing(), holding.publishing(), [this](bool enabled) { setMenuEnabled(enabled); })
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

// Threads still running end with passes_ without their teardown; the items end with their windows.
DdeServer::~DdeServer() = default;

void DdeServer::DDEServer1Click()
{
    if (!action_->isEnabled())
        return;
    if (action_->isChecked()) {
        passes_.requestStop();
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
    action_->setChecked(true);
    passes_.start(request);
}

void DdeServer::setMenuEnabled(bool enabled)
{
    action_->setEnabled(enabled);
}

void DdeServer::FormCloseQuery()
{
    closing_ = true;
    passes_.closeWait();
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
