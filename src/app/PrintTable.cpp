#include "PrintTable.h"

#include <QPainter>
#include <QTextLayout>

namespace quillbox {

qreal LayOut(QTextLayout& layout, qreal width) {
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return y;
}

PrintTable::PrintTable(QPaintDevice& device, qreal width, const std::vector<double>& parts, qreal pointSize,
                       qreal scale)
    : device_(&device), font_(QStringLiteral("DejaVu Sans")) {
    font_.setPointSizeF(pointSize * scale);
    bold_ = font_;
    bold_.setBold(true);
    padding_ = device.logicalDpiX() * 0.04 * scale; // about 1 mm
    qreal x = 0;
    for (const double part : parts) {
        left_.append(x);
        widths_.append(width * part);
        x += width * part;
    }
    metrics_.emplace(font_, &device);
    boldMetrics_.emplace(bold_, &device);
}

qreal PrintTable::Height(const QStringList& cells, bool header) const {
    const QFontMetricsF& metrics = header ? *boldMetrics_ : *metrics_;
    qreal tallest = metrics.height();
    for (qsizetype c = 0; c < cells.size(); ++c) {
        const qreal room = widths_[c] - 2 * padding_;
        // Most cells fit on one line; only the others are laid out line by line.
        if (!cells[c].contains(QChar::LineSeparator) && metrics.horizontalAdvance(cells[c]) <= room)
            continue;
        QTextLayout layout(cells[c], header ? bold_ : font_, device_);
        tallest = std::max(tallest, LayOut(layout, room));
    }
    return tallest + 2 * padding_;
}

void PrintTable::Draw(QPainter& painter, qreal top, qreal height, const QStringList& cells,
                      bool header) const {
    const qreal width = left_.last() + widths_.last();
    if (header)
        painter.fillRect(QRectF(0, top, width, height), QColor(0xe8, 0xe8, 0xe8));
    for (qsizetype c = 0; c < cells.size(); ++c) {
        QTextLayout layout(cells[c], header ? bold_ : font_, device_);
        LayOut(layout, widths_[c] - 2 * padding_);
        layout.draw(&painter, QPointF(left_[c] + padding_, top + padding_));
    }
    painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 0));
    painter.drawLine(QPointF(0, top + height), QPointF(width, top + height));
    painter.setPen(Qt::black);
}

std::vector<size_t> PageStarts(const std::vector<qreal>& heights, qreal top, qreal bottom,
                               const std::vector<bool>& keepWithNext) {
    std::vector<size_t> starts{0};
    qreal y = top;
    for (size_t r = 0; r < heights.size(); ++r) {
        qreal needed = heights[r];
        if (r < keepWithNext.size() && keepWithNext[r] && r + 1 < heights.size())
            needed += heights[r + 1];
        if (y + needed > bottom && y > top) {
            starts.push_back(r);
            y = top;
        }
        y += heights[r];
    }
    return starts;
}

} // namespace quillbox
