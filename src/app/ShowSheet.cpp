#include "ShowSheet.h"

#include "FileError.h"
#include "PrintTable.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextLayout>

namespace quillbox {

namespace {

enum class RowKind { Title, Song, Cue, Notes };

struct SheetRow {
    RowKind kind;
    QStringList cells;
};

// QTextLayout breaks lines at the line separator only.
QString Lines(QString text) {
    text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    return text;
}

std::vector<SheetRow> Rows(const ShowRecord& show, const ShowSlots& slots) {
    std::vector<SheetRow> rows{{RowKind::Title, {Lines(show.title)}}};
    for (qsizetype s = 0; s < show.songs.size(); ++s) {
        const ShowSong& song = show.songs[s];
        rows.push_back({RowKind::Song, {QStringLiteral("%1. %2").arg(s + 1).arg(Lines(song.title))}});
        if (song.cues.isEmpty())
            rows.push_back({RowKind::Cue, {QStringLiteral("No cues"), QString(), QString()}});
        for (qsizetype c = 0; c < song.cues.size(); ++c) {
            const qsizetype slot = slots.slotOfCue.value(s).value(c);
            rows.push_back({RowKind::Cue,
                            {Lines(song.cues[c].label), ShownPatchName(song.cues[c].image),
                             slot > 0 ? QStringLiteral("Slot %1").arg(slot) : QString()}});
        }
        if (!song.notes.trimmed().isEmpty())
            rows.push_back({RowKind::Notes, {Lines(song.notes)}});
    }
    return rows;
}

// The sheet's print at one scale: the title, the songs' titles, the cues and the notes.
class Sheet {
public:
    Sheet(QPaintDevice& device, qreal width, qreal scale)
        : device_(&device), width_(width), title_(QStringLiteral("DejaVu Sans")),
          songs_(device, width, {1.0}, 22, scale), cues_(device, width, {0.38, 0.37, 0.25}, 20, scale),
          notes_(device, width, {1.0}, 16, scale) {
        title_.setPointSizeF(26 * scale);
        title_.setBold(true);
    }

    qreal Height(const SheetRow& row) const {
        switch (row.kind) {
        case RowKind::Title: {
            QTextLayout layout(row.cells[0], title_, device_);
            return LayOut(layout, width_) * 1.3;
        }
        case RowKind::Song:
            return songs_.Height(row.cells, true);
        case RowKind::Cue:
            return cues_.Height(row.cells, false);
        case RowKind::Notes:
            return notes_.Height(row.cells, false);
        }
        return 0;
    }

    void Draw(QPainter& painter, qreal top, qreal height, const SheetRow& row) const {
        switch (row.kind) {
        case RowKind::Title: {
            QTextLayout layout(row.cells[0], title_, device_);
            LayOut(layout, width_);
            layout.draw(&painter, QPointF(0, top));
            break;
        }
        case RowKind::Song:
            songs_.Draw(painter, top, height, row.cells, true);
            break;
        case RowKind::Cue:
            cues_.Draw(painter, top, height, row.cells, false);
            break;
        case RowKind::Notes:
            notes_.Draw(painter, top, height, row.cells, false);
            break;
        }
    }

private:
    QPaintDevice* device_;
    qreal width_;
    QFont title_;
    PrintTable songs_, cues_, notes_;
};

} // namespace

void PrintShow(QPagedPaintDevice& device, const ShowRecord& show, const ShowSlots& slots) {
    device.setPageOrientation(QPageLayout::Portrait);
    device.setPageMargins(QMarginsF(12, 12, 12, 12), QPageLayout::Millimeter);
    QPainter painter;
    if (!painter.begin(&device))
        throw FileError{FileErrorNumber, QStringLiteral("PrintShow"),
                        QStringLiteral("Cannot print the show")};
    const qreal width = device.width(), height = device.height();
    QFont small(QStringLiteral("DejaVu Sans"));
    small.setPointSizeF(8);
    const qreal footHeight = QFontMetricsF(small, &device).height() * 1.6;
    const qreal bodyBottom = height - footHeight;
    const std::vector<SheetRow> rows = Rows(show, slots);
    // A song's title goes to the next page with its first cue.
    std::vector<bool> keep(rows.size());
    for (size_t r = 0; r < rows.size(); ++r)
        keep[r] = rows[r].kind == RowKind::Song;

    // As the set list: a sheet that runs a few rows over is set smaller when that saves a page.
    std::optional<Sheet> sheet;
    std::vector<qreal> heights;
    std::vector<size_t> pageStarts;
    for (const qreal scale : {1.0, 0.95, 0.9, 0.85}) {
        Sheet candidate(device, width, scale);
        std::vector<qreal> candidateHeights(rows.size());
        for (size_t r = 0; r < rows.size(); ++r)
            candidateHeights[r] = candidate.Height(rows[r]);
        const std::vector<size_t> starts = PageStarts(candidateHeights, 0, bodyBottom, keep);
        if (!sheet || starts.size() < pageStarts.size()) {
            sheet.emplace(std::move(candidate));
            heights = std::move(candidateHeights);
            pageStarts = starts;
        }
        if (pageStarts.size() == 1 || pageStarts.size() > 3)
            break;
    }
    const QString title = show.title.simplified();
    for (size_t page = 0; page < pageStarts.size(); ++page) {
        if (page > 0)
            device.newPage();
        const size_t end = page + 1 < pageStarts.size() ? pageStarts[page + 1] : rows.size();
        qreal y = 0;
        painter.save();
        // Notes taller than a page are cut at the page's foot.
        painter.setClipRect(QRectF(0, 0, width, bodyBottom));
        for (size_t r = pageStarts[page]; r < end; ++r) {
            sheet->Draw(painter, y, heights[r], rows[r]);
            y += heights[r];
        }
        painter.restore();
        painter.setFont(small);
        const QString foot = QStringLiteral("Page %1 of %2").arg(page + 1).arg(pageStarts.size());
        painter.drawText(QRectF(0, bodyBottom, width, footHeight), Qt::AlignHCenter | Qt::AlignBottom,
                         title.isEmpty() ? foot : title + QStringLiteral(" \u2013 ") + foot);
    }
    painter.end();
}

void WriteShowPdf(const QString& path, const ShowRecord& show, const ShowSlots& slots) {
    QSaveFile file(path);
    // Worded as every other write of the program words its failures.
    if (!file.open(QIODevice::WriteOnly))
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot open the file: ") + path};
    {
        QPdfWriter writer(&file);
        writer.setTitle(show.title);
        writer.setCreator(QStringLiteral("Quillbox"));
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setResolution(300);
        PrintShow(writer, show, slots);
    }
    if (!file.commit())
        throw FileError{FileErrorNumber, QStringLiteral("WriteToFile"),
                        QStringLiteral("Error: Cannot write to the file: ") + path};
}

} // namespace quillbox
