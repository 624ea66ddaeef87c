#include "TwinMarks.h"

#include "TwinIndex.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillbox {

namespace {

QPixmap DrawMark(TwinKind kind, int side) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    if (kind == TwinNone)
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    const QRectF box(0.5, 0.5, s - 1, s - 1);
    QPen white(Qt::white, std::max(1.0, s / 8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (kind) {
    case TwinNone:
        break;
    case TwinIdentical:
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xc6, 0x28, 0x28));
        painter.drawEllipse(box);
        painter.setPen(white);
        painter.drawLine(QPointF(s * 0.28, s * 0.38), QPointF(s * 0.72, s * 0.38));
        painter.drawLine(QPointF(s * 0.28, s * 0.62), QPointF(s * 0.72, s * 0.62));
        break;
    case TwinSameSound: {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x15, 0x65, 0xc0));
        painter.drawRoundedRect(box, s / 5, s / 5);
        QPainterPath wave(QPointF(s * 0.18, s * 0.5));
        wave.cubicTo(QPointF(s * 0.34, s * 0.12), QPointF(s * 0.42, s * 0.12), QPointF(s * 0.5, s * 0.5));
        wave.cubicTo(QPointF(s * 0.58, s * 0.88), QPointF(s * 0.66, s * 0.88), QPointF(s * 0.82, s * 0.5));
        painter.setPen(white);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(wave);
        break;
    }
    case TwinSameName: {
        // A luggage label: a pentagon pointing left, with its hole.
        QPainterPath label;
        label.moveTo(s * 0.02, s * 0.5);
        label.lineTo(s * 0.36, s * 0.12);
        label.lineTo(s * 0.98, s * 0.12);
        label.lineTo(s * 0.98, s * 0.88);
        label.lineTo(s * 0.36, s * 0.88);
        label.closeSubpath();
        painter.setPen(QPen(QColor(0x8a, 0x5a, 0x00), 1));
        painter.setBrush(QColor(0xf0, 0xa8, 0x00));
        painter.drawPath(label);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::white);
        painter.drawEllipse(QPointF(s * 0.34, s * 0.5), s * 0.09, s * 0.09);
        break;
    }
    }
    return pixmap;
}

} // namespace

QIcon TwinMarkIcon(unsigned kinds, QSize size) {
    const TwinKind kind = (kinds & TwinIdentical)   ? TwinIdentical
                          : (kinds & TwinSameSound) ? TwinSameSound
                          : (kinds & TwinSameName)  ? TwinSameName
                                                    : TwinNone;
    const int side = std::max(8, std::min(size.width(), size.height()));
    // Drawn once per kind and size: the lists ask for a mark per visible line on every repaint.
    static QHash<quint64, QIcon> cache;
    const quint64 key = (quint64(side) << 8) | kind;
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, QIcon(DrawMark(kind, side)));
    return it.value();
}

} // namespace quillbox
