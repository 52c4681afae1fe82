// The client window's menu bar: adding and clearing series, the limiter, the one-off writes and
// the scanner.
#include "client/client_texts.h"
#include "client/client_window.h"
#include "client/poll_list_panel.h"
#include "client/write_mask_window.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <span>

namespace korvel {

using namespace clienttexts;

namespace {

QString L(const char* s)
{
    return QString::fromLatin1(s);
}

} // namespace

void TfrmClient::buildMenu()
{
    menuBar = new QMenuBar(this);
    QMenu* edit = menuBar->addMenu(L(kEditMenu));
    QMenu* serie = edit->addMenu(L(kAddSerie));
    QMenu* serieHold = serie->addMenu(L(kHoldingRegisters));
    connect(serieHold->addAction(L(kWriteItem)), &QAction::triggered, this, &TfrmClient::Write1Click);
    connect(serieHold->addAction(L(kReadItem)), &QAction::triggered, this, &TfrmClient::Read1Click);
    connect(serie->addAction(L(kInputRegisters)), &QAction::triggered, this, &TfrmClient::Inputregisters1Click);

    QMenu* clear = edit->addMenu(L(kClear));
    QMenu* clearHold = clear->addMenu(L(kHoldingRegisters));
    Write2 = clearHold->addAction(L(kWriteItem));
    connect(Write2, &QAction::triggered, this, &TfrmClient::Write2Click);
    Read2 = clearHold->addAction(L(kReadItem));
    connect(Read2, &QAction::triggered, this, &TfrmClient::Read2Click);
    Inputregisters2 = clear->addAction(L(kInputRegisters));
    connect(Inputregisters2, &QAction::triggered, this, &TfrmClient::Inputregisters2Click);

    QMenu* limiter = edit->addMenu(L(kLimiter));
    // One checkable item per limit, the initial one checked; choosing one sets the lists' limit.
    const auto addLimits = [this](QMenu* menu, std::span<const int> limits, std::span<const char* const> captions,
                                  int initial, bool (PollLists::*set)(int)) {
        auto* group = new QActionGroup(this);
        for (size_t i = 0; i < limits.size(); ++i) {
            QAction* a = menu->addAction(L(captions[i]));
            a->setCheckable(true);
            a->setData(limits[i]);
            a->setChecked(limits[i] == initial);
            group->addAction(a);
            connect(a, &QAction::toggled, this, [this, a, set](bool on) {
                if (on)
                    (lists_.*set)(a->data().toInt());
            });
        }
        return group;
    };
    readLimits_ = addLimits(limiter->addMenu(L(kLimiterRead)), kReadLimits, kReadLimitItems, kInitialReadLimit,
                            &PollLists::setReadLimit);
    writeLimits_ = addLimits(limiter->addMenu(L(kLimiterWrite)), kWriteLimits, kWriteLimitItems, kInitialWriteLimit,
                             &PollLists::setWriteLimit);
    Close1 = edit->addAction(L(kHideWindow));
    connect(Close1, &QAction::triggered, this, &QWidget::close);

    using namespace writemasktexts;
    Modbus1 = menuBar->addMenu(L(kModbusMenu));
    Set1 = Modbus1->addAction(L(kSet1));
    Set1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    connect(Set1, &QAction::triggered, this, &TfrmClient::Set1Click);
    Mask1 = Modbus1->addAction(L(kMask1));
    Mask1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_M));
    connect(Mask1, &QAction::triggered, this, &TfrmClient::Mask1Click);
    Readexceptionstatus1 = Modbus1->addAction(L(kReadexceptionstatus1));
    Readexceptionstatus1->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_R));
    connect(Readexceptionstatus1, &QAction::triggered, this, &TfrmClient::Readexceptionstatus1Click);
    menuScanner = Modbus1->addAction(L(kMenuScanner));
    menuScanner->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C));
    menuScanner->setVisible(false); // until there is a scanner window to open
    connect(menuScanner, &QAction::triggered, this, &TfrmClient::menuScannerClick);
}

QAction* TfrmClient::readLimitItem(int limit) const
{
    for (QAction* a : readLimits_->actions())
        if (a->data().toInt() == limit)
            return a;
    return nullptr;
}

QAction* TfrmClient::writeLimitItem(int limit) const
{
    for (QAction* a : writeLimits_->actions())
        if (a->data().toInt() == limit)
            return a;
    return nullptr;
}

void TfrmClient::Write2Click()
{
    listPanel_->clearList(ListKind::HoldingWrite, kClearWriteQuestion);
}

void TfrmClient::Read2Click()
{
    listPanel_->clearList(ListKind::HoldingRead, kClearHoldReadQuestion);
}

void TfrmClient::Inputregisters2Click()
{
    listPanel_->clearList(ListKind::InputRead, kClearInputQuestion);
}

void TfrmClient::Write1Click()
{
    listPanel_->openSeries(ListKind::HoldingWrite);
}

void TfrmClient::Read1Click()
{
    listPanel_->openSeries(ListKind::HoldingRead);
}

void TfrmClient::Inputregisters1Click()
{
    listPanel_->openSeries(ListKind::InputRead);
}

} // namespace korvel
