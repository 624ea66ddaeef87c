#include "SetListDocument.h"

#include "FileError.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

namespace quillbox {

namespace {

// Column widths in parts of the table's width, in SetListHeader's order.
constexpr double ColumnWidths[] = {0.08, 0.11, 0.15, 0.13, 0.14, 0.05, 0.05, 0.29};
constexpr int TextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

QStringList Cells(const SetListRow& row) {
    QString description = row.description;
    description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return {row.position,   row.name,  row.driveType, row.cabType,
            row.cabSpeaker, row.drive, row.cab,       description};
}

// The table laid out in device pixels: a row's height is that of its tallest cell.
class Table {
public:
    Table(const QPaintDevice& device, qreal width) : font_(QStringLiteral("DejaVu Sans")) {
        font_.setPointSizeF(9);
        bold_ = font_;
        bold_.setBold(true);
        padding_ = device.logicalDpiX() * 0.04; // about 1 mm
        qreal x = 0;
        for (double part : ColumnWidths) {
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
            // Most cells fit on one line; only the others are laid out word by word.
            if (!cells[c].contains(QLatin1Char('\n')) && metrics.horizontalAdvance(cells[c]) <= room)
                continue;
            tallest = std::max(tallest,
                               metrics.boundingRect(QRectF(0, 0, room, 1e9), TextFlags, cells[c]).height());
        }
        return tallest + 2 * padding_;
    }

    void Draw(QPainter& painter, qreal top, qreal height, const QStringList& cells, bool header) const {
        const qreal width = left_.last() + widths_.last();
        if (header)
            painter.fillRect(QRectF(0, top, width, height), QColor(0xe8, 0xe8, 0xe8));
        painter.setFont(header ? bold_ : font_);
        for (qsizetype c = 0; c < cells.size(); ++c) {
            const QRectF cell(left_[c] + padding_, top + padding_, widths_[c] - 2 * padding_,
                              height - 2 * padding_);
            painter.drawText(cell, TextFlags, cells[c]);
        }
        painter.setPen(QPen(QColor(0x90, 0x90, 0x90), 0));
        painter.drawLine(QPointF(0, top + height), QPointF(width, top + height));
        painter.setPen(Qt::black);
    }

private:
    QFont font_, bold_;
    qreal padding_ = 0;
    QList<qreal> left_, widths_;
    std::optional<QFontMetricsF> metrics_, boldMetrics_;
};

} // namespace

void PrintSetList(QPagedPaintDevice& device, const QString& title, QDate date,
                  const std::vector<SetListRow>& rows) {
    device.setPageOrientation(QPageLayout::Landscape);
    device.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        throw FileError{FileErrorNumber, QStringLiteral("PrintSetList"),
                        QStringLiteral("Cannot print the set list")};
    // Painted rather than laid out as a rich text table: a table of a hundred thousand rows is laid out
    // in one pass here, a row at a time.
    const qreal width = device.width(), height = device.height();
    const Table table(device, width);
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setPointSizeF(12);
    titleFont.setBold(true);
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSizeF(8);
    const QFontMetricsF titleMetrics(titleFont, &device), smallMetrics(small, &device);
    const qreal titleHeight = titleMetrics.height() * 1.4;
    const qreal footHeight = smallMetrics.height() * 1.6;
    const qreal bodyBottom = height - footHeight;
    const QStringList header = SetListHeader();
    const qreal headerHeight = table.Height(header, true);

    // Rows to pages first, so that every page can say how many there are.
    std::vector<qreal> heights(rows.size());
    std::vector<size_t> pageStarts{0};
    qreal y = titleHeight + headerHeight;
    for (size_t r = 0; r < rows.size(); ++r) {
        heights[r] = table.Height(Cells(rows[r]), false);
        if (y + heights[r] > bodyBottom && y > titleHeight + headerHeight) {
            pageStarts.push_back(r);
            y = titleHeight + headerHeight;
        }
        y += heights[r];
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
        table.Draw(painter, titleHeight, headerHeight, header, true);
        const size_t end = page + 1 < pageStarts.size() ? pageStarts[page + 1] : rows.size();
        y = titleHeight + headerHeight;
        painter.save();
        // A description taller than a page is cut at the page's foot.
        painter.setClipRect(QRectF(0, 0, width, bodyBottom));
        for (size_t r = pageStarts[page]; r < end; ++r) {
            table.Draw(painter, y, heights[r], Cells(rows[r]), false);
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
                     const std::vector<SetListRow>& rows) {
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
        PrintSetList(writer, title, date, rows);
    }
    if (!file.commit())
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot write to the file: ") + path};
}

} // namespace quillbox
