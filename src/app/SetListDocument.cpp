#include "SetListDocument.h"

#include "FileError.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>
#include <array>

namespace quillbox {

namespace {

// The columns each print shows, in SetListHeader's order, with their widths in parts of the
// table's width, and the size of the table's text in points.
struct PrintDesign {
    std::vector<int> columns;
    std::vector<double> widths;
    QStringList header;
    qreal pointSize;
};

PrintDesign Design(SetListPrint print) {
    if (print == SetListPrint::LargePrint) // "Position" would not fit its column in large letters
        return {{0, 1, 7},
                {0.1, 0.24, 0.66},
                {QStringLiteral("No."), QStringLiteral("Name"), QStringLiteral("Description")},
                20};
    return {{0, 1, 2, 3, 4, 5, 6, 7}, {0.08, 0.11, 0.15, 0.13, 0.14, 0.05, 0.05, 0.29}, SetListHeader(), 9};
}

QStringList Cells(const SetListRow& row, const std::vector<int>& columns) {
    QString description = row.description;
    // QTextLayout breaks lines at the line separator only.
    description.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    const std::array<QString, 8> all{row.position,   row.name,  row.driveType, row.cabType,
                                     row.cabSpeaker, row.drive, row.cab,       description};
    QStringList cells;
    for (const int c : columns)
        cells.append(all[size_t(c)]);
    return cells;
}

// Lays `layout`'s text out in lines of at most `width`: at word boundaries where it can, and inside
// a word longer than a line, so that no text is cut. Returns the height of the lines.
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

// The table laid out in device pixels: a row's height is that of its tallest cell. `scale` shrinks
// the text and the padding a little to keep a short list on fewer pages.
class Table {
public:
    Table(QPaintDevice& device, qreal width, const PrintDesign& design, qreal scale)
        : device_(&device), font_(QStringLiteral("DejaVu Sans")) {
        font_.setPointSizeF(design.pointSize * scale);
        bold_ = font_;
        bold_.setBold(true);
        padding_ = device.logicalDpiX() * 0.04 * scale; // about 1 mm
        qreal x = 0;
        for (const double part : design.widths) {
            left_.append(x);
            widths_.append(width * part);
            x += width * part;
        }
        metrics_.emplace(font_, &device);
        boldMetrics_.emplace(bold_, &device);
    }

    qreal Height(const QStringList& cells, bool header) const {
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

    void Draw(QPainter& painter, qreal top, qreal height, const QStringList& cells, bool header) const {
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

private:
    QPaintDevice* device_;
    QFont font_, bold_;
    qreal padding_ = 0;
    QList<qreal> left_, widths_;
    std::optional<QFontMetricsF> metrics_, boldMetrics_;
};

// Where each page starts: rows go to a page while they fit between its header and its foot.
std::vector<size_t> PageStarts(const std::vector<qreal>& heights, qreal top, qreal bottom) {
    std::vector<size_t> starts{0};
    qreal y = top;
    for (size_t r = 0; r < heights.size(); ++r) {
        if (y + heights[r] > bottom && y > top) {
            starts.push_back(r);
            y = top;
        }
        y += heights[r];
    }
    return starts;
}

} // namespace

void PrintSetList(QPagedPaintDevice& device, const QString& title, QDate date,
                  const std::vector<SetListRow>& rows, SetListPrint print) {
    device.setPageOrientation(print == SetListPrint::LargePrint ? QPageLayout::Portrait
                                                                : QPageLayout::Landscape);
    device.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        throw FileError{FileErrorNumber, QStringLiteral("PrintSetList"),
                        QStringLiteral("Cannot print the set list")};
    // Painted rather than laid out as a rich text table: a table of a hundred thousand rows is laid out
    // in one pass here, a row at a time.
    const qreal width = device.width(), height = device.height();
    const PrintDesign design = Design(print);
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPointSizeF(12);
    titleFont.setBold(true);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSizeF(8);
    const QFontMetricsF titleMetrics(titleFont, &device), smallMetrics(small, &device);
    const qreal titleHeight = titleMetrics.height() * 1.4;
    const qreal footHeight = smallMetrics.height() * 1.6;
    const qreal bodyBottom = height - footHeight;
    const QStringList& header = design.header;

    // Rows to pages first, so that every page can say how many there are. A list that runs a few
    // rows onto another page is set a little smaller when that saves the page; a long list keeps
    // its size (it needs its pages anyway).
    std::optional<Table> table;
    qreal headerHeight = 0;
    std::vector<qreal> heights(rows.size());
    std::vector<size_t> pageStarts;
    for (const qreal scale : {1.0, 0.95, 0.9, 0.85}) {
        Table candidate(device, width, design, scale);
        const qreal candidateHeader = candidate.Height(header, true);
        std::vector<qreal> candidateHeights(rows.size());
        for (size_t r = 0; r < rows.size(); ++r)
            candidateHeights[r] = candidate.Height(Cells(rows[r], design.columns), false);
        const std::vector<size_t> starts =
            PageStarts(candidateHeights, titleHeight + candidateHeader, bodyBottom);
        if (!table || starts.size() < pageStarts.size()) {
            table.emplace(std::move(candidate));
            headerHeight = candidateHeader;
            heights = std::move(candidateHeights);
            pageStarts = starts;
        }
        if (pageStarts.size() == 1 || pageStarts.size() > 3)
            break;
    }
    const QString subtitle = QStringLiteral("Set list of %1 patches, %2")
                                 .arg(rows.size())
                                 .arg(QLocale().toString(date, QLocale::LongFormat));
    for (size_t page = 0; page < pageStarts.size(); ++page) {
        if (page > 0)
            device.newPage();
        painter.setFont(titleFont);
        painter.drawText(QRectF(0, 0, width, titleHeight), Qt::AlignLeft | Qt::AlignTop, title);
        painter.setFont(small);
        painter.drawText(QRectF(0, 0, width, titleHeight), Qt::AlignRight | Qt::AlignTop, subtitle);
        table->Draw(painter, titleHeight, headerHeight, header, true);
        const size_t end = page + 1 < pageStarts.size() ? pageStarts[page + 1] : rows.size();
        qreal y = titleHeight + headerHeight;
        painter.save();
        // A description taller than a page is cut at the page's foot.
        painter.setClipRect(QRectF(0, 0, width, bodyBottom));
        for (size_t r = pageStarts[page]; r < end; ++r) {
            table->Draw(painter, y, heights[r], Cells(rows[r], design.columns), false);
            y += heights[r];
        }
        painter.restore();
        painter.setFont(small);
        painter.drawText(QRectF(0, bodyBottom, width, footHeight), Qt::AlignHCenter | Qt::AlignBottom,
                         QStringLiteral("Page %1 of %2").arg(page + 1).arg(pageStarts.size()));
    }
    painter.end();
}

void WriteSetListPdf(const QString& path, const QString& title, QDate date,
                     const std::vector<SetListRow>& rows, SetListPrint print) {
    QSaveFile file(path);
    // Worded as every other write of the program words its failures.
    if (!file.open(QIODevice::WriteOnly))
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot open the file: ") + path};
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Quillbox"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        PrintSetList(writer, title, date, rows, print);
    }
    if (!file.commit())
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot write to the file: ") + path};
}

} // namespace quillbox
