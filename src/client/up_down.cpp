#include "client/up_down.h"

#include "common/accessible_names.h"

#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace korvel {

UpDown::UpDown(QLineEdit* buddy, int minimum, int maximum, int step, int position, QWidget* parent)
    : QWidget(parent), buddy_(buddy), minimum_(minimum), maximum_(maximum), step_(step), position_(position)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    NameAfterCaption(up_, buddy->accessibleName() + QStringLiteral(" up"));
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    NameAfterCaption(down_, buddy->accessibleName() + QStringLiteral(" down"));
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { move(1); });
    connect(down_, &QToolButton::clicked, this, [this] { move(-1); });
}

void UpDown::setPosition(int position)
{
    position_ = std::clamp(position, minimum_, maximum_);
    buddy_->setText(QString::number(position_));
}

void UpDown::move(int direction)
{
    const int next = std::clamp(position_ + direction * step_, minimum_, maximum_);
    if (next == position_)
        return;
    setPosition(next);
    emit clicked(position_);
}

} // namespace korvel
