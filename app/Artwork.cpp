// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Artwork.h"

#include <QPainter>
#include <QPainterPath>

QPixmap tonvikPicture(const QSize &size) {
    return QPixmap::fromImage(tonvikImage(size));
}

QImage tonvikImage(const QSize &size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = size.width();
    const double h = size.height();

    // One octave of keys along the bottom half.
    const double keysTop = h * 0.55;
    const double whiteW = w / 7.0;
    p.setPen(QPen(QColor(40, 40, 60), 1.5));
    p.setBrush(QColor(250, 248, 240));
    for (int i = 0; i < 7; ++i)
        p.drawRoundedRect(QRectF(i * whiteW + 1, keysTop, whiteW - 2, h - keysTop - 1), 3, 3);
    p.setBrush(QColor(30, 30, 40));
    for (int i : {0, 1, 3, 4, 5})
        p.drawRoundedRect(QRectF((i + 0.65) * whiteW, keysTop, whiteW * 0.7, (h - keysTop) * 0.6),
                          2, 2);

    // Two beamed eighth notes above.
    const QColor ink(60, 40, 140);
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const double r = h * 0.07;
    const QPointF heads[] = {{w * 0.36, h * 0.42}, {w * 0.64, h * 0.36}};
    for (const QPointF &c : heads) {
        p.save();
        p.translate(c);
        p.rotate(-20);
        p.drawEllipse(QRectF(-r * 1.3, -r, 2.6 * r, 2 * r));
        p.restore();
    }
    p.setPen(QPen(ink, h * 0.025, Qt::SolidLine, Qt::FlatCap));
    const double stemX0 = heads[0].x() + r * 1.15, stemX1 = heads[1].x() + r * 1.15;
    p.drawLine(QPointF(stemX0, heads[0].y() - r * 0.3), QPointF(stemX0, h * 0.08));
    p.drawLine(QPointF(stemX1, heads[1].y() - r * 0.3), QPointF(stemX1, h * 0.02));
    QPainterPath beam;
    beam.moveTo(stemX0 - h * 0.0125, h * 0.08);
    beam.lineTo(stemX1 + h * 0.0125, h * 0.02);
    beam.lineTo(stemX1 + h * 0.0125, h * 0.02 + h * 0.07);
    beam.lineTo(stemX0 - h * 0.0125, h * 0.08 + h * 0.07);
    beam.closeSubpath();
    p.setPen(Qt::NoPen);
    p.drawPath(beam);
    return image;
}
