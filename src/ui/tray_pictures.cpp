#include "ui/tray_pictures.h"

#include <QPainter>
#include <QPixmap>
#include <array>
#include <cmath>
#include <numbers>

namespace korvel {

namespace {
constexpr int kSide = 32;
constexpr int kDots = 12;

QPixmap Draw(int index)
{
    QPixmap pixmap(kSide, kSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const bool failed = index == kTrayPictures;
    p.setPen(Qt::NoPen);
    p.setBrush(failed ? QColor(0xC6, 0x28, 0x28) : QColor(0x1E, 0x4E, 0x8C));
    p.drawRoundedRect(QRectF(1, 1, kSide - 2, kSide - 2), 6, 6);

    if (failed) {
        QPen cross(Qt::white, 4, Qt::SolidLine, Qt::RoundCap);
        p.setPen(cross);
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
        return pixmap;
    }
    // Twelve dots on a dial; the one of this picture is bright and large.
    const QPointF centre(kSide / 2.0, kSide / 2.0);
    for (int i = 0; i < kDots; ++i) {
        const double angle = 2 * std::numbers::pi * i / kDots - std::numbers::pi / 2;
        const QPointF at(centre.x() + 11 * std::cos(angle), centre.y() + 11 * std::sin(angle));
        const bool current = i == index - 1;
        p.setBrush(current ? QColor(0xFF, 0xD5, 0x4F) : QColor(0x90, 0xB4, 0xE0));
        const double r = current ? 3.5 : 1.6;
        p.drawEllipse(at, r, r);
    }
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 3, 3);
    return pixmap;
}
} // namespace

QIcon TrayPicture(int index)
{
    static const std::array<QIcon, kTrayPictures> pictures = [] {
        std::array<QIcon, kTrayPictures> all;
        for (int i = 0; i < kTrayPictures; ++i)
            all[static_cast<std::size_t>(i)] = QIcon(Draw(i + 1));
        return all;
    }();
    if (index < 1 || index > kTrayPictures)
        index = 1;
    return pictures[static_cast<std::size_t>(index - 1)];
}

} // namespace korvel
