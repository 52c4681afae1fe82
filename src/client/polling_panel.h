// The client's polling controls: the four modes, the cycle (or monitoring) time and the delay of
// "Wait after response" with their arrows, the offset and forced-identifier boxes, and the two
// timers those times set. Every rule is in query_building; what a tick or a mode does to the
// connection is the client window's.
#pragma once

#include "master/query_building.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QTimer;

namespace korvel {

class UpDown;

class PollingPanel : public QWidget {
    Q_OBJECT
  public:
    explicit PollingPanel(QWidget* parent);

    QRadioButton* RBCyclic() const { return RBCyclic_; }
    QRadioButton* RBImmediate() const { return RBImmediate_; }
    QRadioButton* RBWaitAfter() const { return RBWaitAfter_; }
    QRadioButton* RBPause() const { return RBPause_; }
    QLabel* Label1() const { return Label1_; }  // "Cycle" / "Monitor"
    QLineEdit* Edit1() const { return Edit1_; } // cycle / monitoring time, ms
    UpDown* UpDown1() const { return UpDown1_; }
    QLineEdit* Edit2() const { return Edit2_; } // delay of "Wait after response", ms
    UpDown* UpDown2() const { return UpDown2_; }
    QCheckBox* OffsetCBox() const { return OffsetCBox_; }
    QCheckBox* ForceTI() const { return ForceTI_; }
    QTimer* Timer1() const { return Timer1_; } // cycle timer; monitor timer in the reply-driven modes, 1000 ms
    QTimer* Timer3() const { return Timer3_; } // delay of "Wait after response", 100 ms

    PollingMode pollingMode() const;
    // A mode's button was clicked: the label of the first field and whether the delay is editable.
    void showMode(const ModeActions& actions);
    void applyTimers(TimerAction cycle, TimerAction delay);
    void Edit1Exit();
    void Edit2Exit();

  signals:
    void modeClicked(PollingMode mode);

  private:
    void applyField(const FieldOutcome& o, QLineEdit* field, UpDown* arrows, QTimer* timer, QLineEdit* other,
                    UpDown* otherArrows);

    QRadioButton* RBCyclic_ = nullptr;
    QRadioButton* RBImmediate_ = nullptr;
    QRadioButton* RBWaitAfter_ = nullptr;
    QRadioButton* RBPause_ = nullptr;
    QLabel* Label1_ = nullptr;
    QLineEdit* Edit1_ = nullptr;
    UpDown* UpDown1_ = nullptr;
    QLabel* Label2_ = nullptr;
    QLineEdit* Edit2_ = nullptr;
    UpDown* UpDown2_ = nullptr;
    QCheckBox* OffsetCBox_ = nullptr;
    QCheckBox* ForceTI_ = nullptr;
    QTimer* Timer1_ = nullptr;
    QTimer* Timer3_ = nullptr;
};

// Starts, stops or restarts `timer` as `action` says.
void Apply(QTimer* timer, TimerAction action);

} // namespace korvel
