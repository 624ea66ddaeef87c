#pragma once

// What the printed lists (the set list, the show's stage sheet) share: text laid out in lines that
// never cut a word off, a table painted a row at a time, and rows shared out to pages.

#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QStringList>
#include <optional>
#include <vector>

class QPaintDevice;
class QPainter;
class QTextLayout;

namespace quillbox {

// Lays `layout`'s text out in lines of at most `width`: at word boundaries where it can, and inside
// a word longer than a line, so that no text is cut. Returns the height of the lines.
qreal LayOut(QTextLayout& layout, qreal width);

// A table laid out in device pixels: columns of the given parts of `width`, text of `pointSize`
// points times `scale` (which shrinks the padding too). A row's height is that of its tallest cell.
class PrintTable {
public:
    PrintTable(QPaintDevice& device, qreal width, const std::vector<double>& parts, qreal pointSize,
               qreal scale);

    // A header row is set in bold on a grey ground.
    qreal Height(const QStringList& cells, bool header) const;
    void Draw(QPainter& painter, qreal top, qreal height, const QStringList& cells, bool header) const;

private:
    QPaintDevice* device_;
    QFont font_, bold_;
    qreal padding_ = 0;
    QList<qreal> left_, widths_;
    std::optional<QFontMetricsF> metrics_, boldMetrics_;
};

// Where each page starts: rows go to a page while they fit between `top` and `bottom`. A row marked
// in `keepWithNext` goes to the next page with the row after it when that one would not fit.
std::vector<size_t> PageStarts(const std::vector<qreal>& heights, qreal top, qreal bottom,
                               const std::vector<bool>& keepWithNext = {});

} // namespace quillbox
