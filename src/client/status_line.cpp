#include "client/status_line.h"

#include <QPainter>

namespace korvel {

StatusLine::StatusLine(QWidget* parent) : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void StatusLine::setText(const QString& text)
{
    if (text == text_)
        return;
    text_ = text;
    update(contentsRect());
    setAccessibleName(text_); // what an assistive tool reads out; its caption is the description
}

QSize StatusLine::sizeHint() const
{
    return {0, fontMetrics().height() + 2 * frameWidth() + 2};
}

void StatusLine::paintEvent(QPaintEvent* e)
{
    QFrame::paintEvent(e);
    QPainter painter(this);
    const QRect r = contentsRect().adjusted(2, 0, -2, 0);
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, fontMetrics().elidedText(text_, Qt::ElideRight, r.width()));
}

} // namespace korvel
