#include "TwinMarks.h"

#include "TwinIndex.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quillbox {

namespace {

QPixmap DrawMark(TwinKind kind, int side, const QColor& edge) {
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    if (kind == TwinNone)
        return pixmap;
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = side;
    const QRectF box(0.5, 0.5, s - 1, s - 1);
    const TwinMarkColours colours = MarkColours(kind);
    const QPen outline = edge.isValid() ? QPen(edge, 1) : QPen(Qt::NoPen);
    QPen symbol(colours.symbol, std::max(1.0, s / 8), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    switch (kind) {
    case TwinNone:
        break;
    case TwinIdentical:
        painter.setPen(outline);
        painter.setBrush(colours.fill);
        painter.drawEllipse(box);
        painter.setPen(symbol);
        painter.drawLine(QPointF(s * 0.28, s * 0.38), QPointF(s * 0.72, s * 0.38));
        painter.drawLine(QPointF(s * 0.28, s * 0.62), QPointF(s * 0.72, s * 0.62));
        break;
    case TwinSameSound: {
        painter.setPen(outline);
        painter.setBrush(colours.fill);
        painter.drawRoundedRect(box, s / 5, s / 5);
        QPainterPath wave(QPointF(s * 0.18, s * 0.5));
        wave.cubicTo(QPointF(s * 0.34, s * 0.12), QPointF(s * 0.42, s * 0.12), QPointF(s * 0.5, s * 0.5));
        wave.cubicTo(QPointF(s * 0.58, s * 0.88), QPointF(s * 0.66, s * 0.88), QPointF(s * 0.82, s * 0.5));
        painter.setPen(symbol);
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
        painter.setPen(edge.isValid() ? outline : QPen(QColor(0x8a, 0x5a, 0x00), 1));
        painter.setBrush(colours.fill);
        painter.drawPath(label);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours.symbol);
        painter.drawEllipse(QPointF(s * 0.34, s * 0.5), s * 0.09, s * 0.09);
        break;
    }
    }
    return pixmap;
}

} // namespace

TwinMarkColours MarkColours(TwinKind kind) {
    switch (kind) {
    case TwinIdentical:
        return {QColor(0xc6, 0x28, 0x28), Qt::white};
    case TwinSameSound:
        return {QColor(0x15, 0x65, 0xc0), Qt::white};
    case TwinSameName: // a dark hole: white would hardly show on amber
        return {QColor(0xf0, 0xa8, 0x00), QColor(0x2b, 0x1d, 0x00)};
    case TwinNone:
        break;
    }
    return {};
}

QIcon TwinMarkIcon(unsigned kinds, QSize size, const QColor& edge) {
    const TwinKind kind = (kinds & TwinIdentical)   ? TwinIdentical
                          : (kinds & TwinSameSound) ? TwinSameSound
                          : (kinds & TwinSameName)  ? TwinSameName
                                                    : TwinNone;
    const int side = std::max(8, std::min(size.width(), size.height()));
    // Drawn once per kind and size: the lists ask for a mark per visible line on every repaint.
    static QHash<std::pair<quint64, QRgb>, QIcon> cache;
    const std::pair<quint64, QRgb> key{(quint64(side) << 8) | kind, edge.isValid() ? edge.rgba() : 0};
    auto it = cache.find(key);
    if (it == cache.end())
        it = cache.insert(key, QIcon(DrawMark(kind, side, edge)));
    return it.value();
}

} // namespace quillbox
