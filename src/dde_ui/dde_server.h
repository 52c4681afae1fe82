// The desktop publishing as the main window offers it: the Options menu item "&DDE Server...",
// its dialog, the two publishing threads (DDEThread1 for the input registers, DDEThread3 for the
// holding registers) and the close request's wait for them. Built by the program entry after the
// two topic windows; it reaches the main window only through what it is handed.
#pragma once

#include "dde/publishing_passes.h"
#include "rules/publishing_rules.h"
#include "ui/refresh_requests.h"

#include <QObject>
#include <QString>
#include <memory>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace korvel {

class TddeTopicWindow;
class TfrmDDESelections;

class DdeServer : public QObject {
    Q_OBJECT
  public:
    // Adds "&DDE Server..." to `optionsMenu` before `before`; watches `window`'s close requests.
    // `statusTimer` is the status panel's Timer1 (500 ms while publishing is switched), `refresh`
    // redraws the R/W column. `busName` is named in the help box.
    DdeServer(QWidget* window, QMenu* optionsMenu, QAction* before, RefreshRequests& refresh, QTimer* statusTimer,
              TddeTopicWindow& input, TddeTopicWindow& holding, QString busName, QObject* parent = nullptr);
    ~DdeServer() override;

    QAction* DDEServer1() const { return action_; } // "&DDE Server..."
    DdeFlags& flags() { return passes_.flags(); }
    DDEThread* inputThread() const { return passes_.inputThread(); }
    DDEThread* holdingThread() const { return passes_.holdingThread(); }

    // The menu item: switches publishing off when checked, else shows the dialog (modal).
    void DDEServer1Click();
    // The dialog the menu item shows, for callers that drive it themselves.
    TfrmDDESelections* createDialog();
    // The dialog's OK with a valid request: the range and requests, the check mark, the threads.
    void apply(const DdeRequest& request);
    // The close request: waits until the threads ended, at most kCloseWaitMs, serving their
    // hand-overs meanwhile.
    void FormCloseQuery();

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void afterSwitch(); // the menu item's step 3
    void setMenuEnabled(bool enabled);

    QWidget* window_;
    QAction* action_ = nullptr;
    RefreshRequests& refresh_;
    QTimer* statusTimer_;
    QString busName_;
    PublishingPasses passes_; // the threads
    bool closing_ = false;    // a close request is waiting
};

} // namespace korvel
