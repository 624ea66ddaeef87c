#include "SetListDocument.h"

#include "FileError.h"
#include "PrintTable.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
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
    std::optional<PrintTable> table;
    qreal headerHeight = 0;
    std::vector<qreal> heights(rows.size());
    std::vector<size_t> pageStarts;
    for (const qreal scale : {1.0, 0.95, 0.9, 0.85}) {
        PrintTable candidate(device, width, design.widths, design.pointSize, scale);
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
