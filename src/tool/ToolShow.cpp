#include "ToolShow.h"

#include "FileAccess.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "ShowCheck.h"
#include "ShowDocument.h"
#include "ShowFile.h"
#include "ToolPairs.h"
#include "ToolSupport.h"

#include <QFileInfo>
#include <algorithm>

namespace quillbox::tool {

namespace {

// The show at `path`, after an interrupted save of it is finished or undone.
ShowRecord ReadShow(const QString& path, QTextStream& err) {
    RecoverInterruptedSave(path, err);
    return ShowFile::Read(path);
}

// Writes `show`; one beyond the reader's bounds (a label too long) is refused before anything is
// written.
void SaveShow(const QString& path, const ShowRecord& show, QTextStream& err) {
    try {
        WarnIfNotKept(ShowFile::Save(path, show), err);
    } catch (const FileError& error) {
        FileProblem(error.description);
    }
}

// A title, label or name in a tab-separated line: quoted as a path is, so that no text forges a
// field or a line; with -z free text is escaped as a description is (and a NUL shown as \0), since
// the record then ends in NUL and only the path goes unquoted.
QString Field(const QString& text, const Records& records) {
    if (!records.nul)
        return QuotePath(text);
    return EscapeDescription(text).replace(QChar(u'\0'), QStringLiteral("\\0"));
}

QString PlaceText(const CueSource& source, qsizetype position, const Records& records) {
    if (source.path.isEmpty())
        return QStringLiteral("-");
    return records.Path(source.path) + QLatin1Char(':') + QString::number(position);
}

} // namespace

int CommandShowNew(const QString& path, const std::optional<QString>& title, bool force, QTextStream& out,
                   QTextStream& err) {
    return WithTroubleAsTwo([&] {
        if (!IsShowPath(path))
            UsageError(QStringLiteral("SHOW must be a show, ending in \".psshow\": ") + QuotePath(path));
        RecoverInterruptedSave(path, err);
        if (!force)
            RefuseIfExists(path, QString());
        ShowDocument document;
        document.New(title.value_or(QString()));
        SaveShow(path, document.Show(), err);
        out << QuotePath(path) << QStringLiteral(": wrote an empty show\n");
        return int(ExitSuccess);
    });
}

int CommandShowAdd(const QString& path, const QString& song, const QString& place,
                   const std::optional<QString>& label, QTextStream& out, QTextStream& err) {
    const auto [libraryPath, positionText] = FileAndPosition(place);
    return WithTroubleAsTwo([&] {
        ShowDocument document;
        document.Open(path, ReadShow(path, err));

        RecoverInterruptedSave(libraryPath, err);
        const PairContent pair = ReadPair(libraryPath);
        const qsizetype position = PositionIn(positionText, EntryCount(pair.store), QuotePath(libraryPath));
        const QByteArray image = EntryBytes(pair.store, position - 1);
        // A cue plays, prints and builds a whole patch; the rest of a cut-short one is not known.
        if (image.size() != PatchImageSize)
            FileProblem(QuotePath(libraryPath) + QStringLiteral(": entry %1 is cut short by the end of its "
                                                                "file (%2); a cue takes a whole patch")
                                                     .arg(position)
                                                     .arg(ShortByText(PatchImageSize - image.size())));
        const ShowCue cue{label.value_or(QString()), image, pair.descriptions.value(position),
                          CueSource{QFileInfo(libraryPath).absoluteFilePath(), position, image}};

        const QList<ShowSong>& songs = document.Show().songs;
        auto found =
            std::find_if(songs.begin(), songs.end(), [&](const ShowSong& s) { return s.title == song; });
        qsizetype index = found - songs.begin();
        if (found == songs.end()) {
            if (!document.AddSong(-1, song))
                FileProblem(QStringLiteral("the song ") + QuotePath(song) +
                            QStringLiteral(" cannot be added to ") + QuotePath(path));
            index = document.Show().songs.size() - 1;
        }
        if (!document.AddCues(index, -1, {cue}))
            FileProblem(QStringLiteral("the cue cannot be added to ") + QuotePath(path));
        SaveShow(path, document.Show(), err);
        const ShowSong& added = document.Show().songs.at(index);
        out << QuotePath(path)
            << QStringLiteral(": cue %1 of song %2 (").arg(added.cues.size()).arg(index + 1)
            << QuotePath(song) << QStringLiteral("): ") << ShownPatchName(image) << QLatin1Char('\n');
        return int(ExitSuccess);
    });
}

int CommandShowList(const QString& path, const Records& records, QTextStream& out, QTextStream& err) {
    const ShowRecord show = WithTroubleAsTwo([&] { return ReadShow(path, err); });
    const ShowSlots slots = SlotsOf(show);
    const QLatin1Char tab('\t');
    for (qsizetype s = 0; s < show.songs.size(); ++s) {
        const ShowSong& song = show.songs[s];
        for (qsizetype c = 0; c < song.cues.size(); ++c)
            out << Field(song.title, records) << tab << (c + 1) << tab << Field(song.cues[c].label, records)
                << tab << Field(ShownPatchName(song.cues[c].image), records) << tab << slots.slotOfCue[s][c]
                << records.End();
    }
    return ExitSuccess;
}

int CommandShowCheck(const QString& path, const Records& records, QTextStream& out, QTextStream& err) {
    const ShowRecord show = WithTroubleAsTwo([&] { return ReadShow(path, err); });
    const ShowCheckResult result = CheckShow(show);
    const QLatin1Char tab('\t');
    for (qsizetype s = 0; s < show.songs.size(); ++s) {
        const ShowSong& song = show.songs[s];
        for (qsizetype c = 0; c < song.cues.size(); ++c) {
            const ShowCue& cue = song.cues[c];
            const CueCheck& check = result.songs[s][c];
            const qsizetype position = check.state == CueState::Moved ? check.position : cue.source.position;
            out << CueStateText(check.state) << tab << Field(song.title, records) << tab << (c + 1) << tab
                << Field(ShownPatchName(cue.image), records) << tab
                << PlaceText(cue.source, position, records) << records.End();
        }
    }
    return result.allOk ? ExitSuccess : ExitDiffers;
}

int CommandShowBuild(const QString& path, const QString& outPath, bool force, QTextStream& out,
                     QTextStream& err) {
    return WithTroubleAsTwo([&] {
        // The device file is written byte for byte: a name that says library or show would lie.
        if (IsLibraryPath(outPath) || IsShowPath(outPath))
            UsageError(QStringLiteral("OUT must be a device patch file, not a library or a show: ") +
                       QuotePath(outPath));
        const ShowRecord show = ReadShow(path, err);
        const ShowSlots slots = SlotsOf(show);
        // No device writes an empty patch file (check calls one a failed copy).
        if (slots.count == 0)
            FileProblem(QuotePath(path) + QStringLiteral(": the show holds no cues; nothing was written"));
        RecoverInterruptedSave(outPath, err);
        RefuseToReplace(outPath, force);
        const QString versionProblem = BuildDeviceFile(show, outPath);
        qsizetype cues = 0;
        for (const ShowSong& song : show.songs)
            cues += song.cues.size();
        out << QuotePath(outPath) << QStringLiteral(": wrote patch file with ") << PatchCount(slots.count)
            << QStringLiteral(" for ") << Plural(cues, "cue", "cues") << QLatin1Char('\n');
        if (FileExists(SideFilePath(outPath)))
            out << QuotePath(SideFilePath(outPath)) << QStringLiteral(": wrote the descriptions\n");
        WarnIfNotKept(versionProblem, err);
        return int(ExitSuccess);
    });
}

} // namespace quillbox::tool
