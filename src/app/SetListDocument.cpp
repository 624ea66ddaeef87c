#include "SetListDocument.h"

#include "FileError.h"

#include <QLocale>
#include <QPageLayout>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

namespace quillbox {

namespace {

// Column widths in percent of the page, in SetListHeader's order.
constexpr int ColumnWidths[] = {8, 11, 15, 13, 14, 5, 5, 29};

} // namespace

void PrintSetList(QPagedPaintDevice& device, const QString& title, QDate date,
                  const std::vector<SetListRow>& rows) {
    device.setPageOrientation(QPageLayout::Landscape);
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSizeF(9);
    document.setDefaultFont(font);
    QTextCursor cursor(&document);

    QTextCharFormat heading;
    heading.setFontPointSize(14);
    heading.setFontWeight(QFont::Bold);
    cursor.insertText(title, heading);
    QTextCharFormat plain;
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("Set list of %1 patches, %2")
                          .arg(rows.size())
                          .arg(QLocale().toString(date, QLocale::LongFormat)),
                      plain);
    cursor.insertBlock();

    const QStringList header = SetListHeader();
    QTextTableFormat format;
    format.setHeaderRowCount(1);
    format.setCellPadding(3);
    format.setCellSpacing(0);
    format.setBorder(0.5);
    format.setBorderCollapse(true);
    format.setWidth(QTextLength(QTextLength::PercentageLength, 100));
    QList<QTextLength> widths;
    for (int width : ColumnWidths)
        widths.append(QTextLength(QTextLength::PercentageLength, width));
    format.setColumnWidthConstraints(widths);
    QTextTable* table = cursor.insertTable(int(rows.size()) + 1, int(header.size()), format);

    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    for (int column = 0; column < header.size(); ++column) {
        QTextCursor cell = table->cellAt(0, column).firstCursorPosition();
        cell.insertText(header.at(column), bold);
    }
    for (int row = 0; row < int(rows.size()); ++row) {
        const SetListRow& r = rows[size_t(row)];
        QString description = r.description;
        description.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QString cells[] = {r.position,   r.name,  r.driveType, r.cabType,
                                 r.cabSpeaker, r.drive, r.cab,       description};
        for (int column = 0; column < int(std::size(cells)); ++column)
            table->cellAt(row + 1, column).firstCursorPosition().insertText(cells[column], plain);
    }
    // Printing a document without a page size of its own lays it out page by page on the device,
    // numbering the pages at their foot.
    document.print(&device);
}

void WriteSetListPdf(const QString& path, const QString& title, QDate date,
                     const std::vector<SetListRow>& rows) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw FileError{FileErrorNumber, QStringLiteral("WriteSetListPdf"),
                        QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString()};
    {
        QPdfWriter writer(&file);
        writer.setTitle(title);
        writer.setCreator(QStringLiteral("Quillbox"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        PrintSetList(writer, title, date, rows);
    }
    if (!file.commit())
        throw FileError{FileErrorNumber, QStringLiteral("WriteSetListPdf"),
                        QStringLiteral("Cannot write ") + path + QStringLiteral(": ") + file.errorString()};
}

} // namespace quillbox
