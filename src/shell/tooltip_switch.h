// "&Show Tooltips": tooltips of the whole application on or off.
#pragma once

#include <QObject>

namespace korvel {

class TooltipSwitch : public QObject {
    Q_OBJECT
  public:
    // Watches the whole application; tooltips start on.
    explicit TooltipSwitch(QObject* parent);
    ~TooltipSwitch() override;
    void setEnabled(bool on);
    bool enabled() const { return enabled_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool enabled_ = true;
};

} // namespace korvel
