#pragma once

// Helpers for the library tests: images with chosen names, library and side files written by hand
// (not through the code under test), and a controller wired to a FakeView in a temporary folder.

#include "CommandTable.h"
#include "FakeView.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <map>

namespace quillbox::test {

using namespace Qt::StringLiterals;

// An 18-byte image whose name decodes to `name` (device-alphabet characters, padded with blanks);
// the other bytes come from `seed`.
inline QByteArray MakeImage(const QString& name, int seed) {
    QByteArray image(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        image[i] = char((seed * 37 + i * 11 + 3) & 0xFF);
    const QString padded = name.leftJustified(6, QLatin1Char(' '), true);
    for (int bit = 0; bit < 36; ++bit) { // six bits per character, from bit 5 of byte 12 on
        const int code = int(DeviceAlphabet.indexOf(padded.at(bit / 6)));
        const int at = 5 + bit;
        char& byte = image[11 + at / 8];
        byte = char(((code >> (bit % 6)) & 1) ? (byte | (1 << (at % 8))) : (byte & ~(1 << (at % 8))));
    }
    return image;
}

// `count` images named P0, P1, ... whatever the seed: the same names at the same positions.
inline QByteArray MakeStore(qsizetype count, int seedBase = 0) {
    QByteArray store;
    for (qsizetype i = 0; i < count; ++i)
        store.append(MakeImage(u"P%1"_s.arg(i), seedBase + int(i)));
    return store;
}

inline QByteArray Entry(const QByteArray& store, qsizetype index) {
    return store.mid(index * PatchImageSize, PatchImageSize);
}

// A side file as the original platform writes it: CRLF lines, "&*&" for line breaks.
inline QByteArray SideFileBytes(const QStringList& descriptions) {
    QByteArray bytes("[Description]\r\n");
    for (qsizetype i = 0; i < descriptions.size(); ++i)
        bytes += QByteArray::number(i + 1) + '=' +
                 QString(descriptions[i]).replace(u"\r\n"_s, u"&*&"_s).toLatin1() + "\r\n";
    return bytes;
}

// prefix1, prefix2, ... prefixN.
inline QStringList Descs(qsizetype count, const QString& prefix) {
    QStringList list;
    for (qsizetype i = 1; i <= count; ++i)
        list.append(prefix + QString::number(i));
    return list;
}

struct Fixture {
    QTemporaryDir dir;
    QTemporaryDir versionsDir; // earlier versions, outside `dir` and the user's data location
    FakeView view;
    LibraryController controller{view, u"Quillbox"_s};

    Fixture() {
        view.controller = &controller;
        controller.SetVersionsFolder(versionsDir.filePath(u"versions"_s));
        controller.SetUnsavedFolder(versionsDir.filePath(u"unsaved"_s));
        controller.Startup();
    }
    ~Fixture() {
        if (!view.AnswersUsedUp() && !QTest::currentTestFailed())
            QTest::qFail("an answer was queued but never asked for", __FILE__, __LINE__);
    }
    QString Path(const QString& name) const { return dir.filePath(name); }
    LibraryController& Ctl() { return controller; }
    const LibraryState& S() const { return controller.State(); }

    // Writes `store` as a library file (or a device patch file) with a side file when there are
    // descriptions, and opens it through the File menu.
    void LoadLibrary(const QString& name, const QByteArray& store, const QStringList& descs = {}) {
        Write(name, LibraryFileBytes(store), descs);
        controller.LoadLib();
    }
    void ImportPatches(const QString& name, const QByteArray& store, const QStringList& descs = {}) {
        Write(name, store, descs);
        controller.ImportPatches();
    }
    void Write(const QString& name, const QByteArray& bytes, const QStringList& descs) {
        WriteBytes(Path(name), bytes);
        if (!descs.isEmpty())
            WriteBytes(Path(name) + u".txt"_s, SideFileBytes(descs));
        view.paths.push_back(Path(name));
    }

    // Runs a script of user actions: "L2"/"P0" click line 2/0 of the library/patches list ("L1,4,3"
    // selects lines 1, 3 and 4 with Ctrl, 3 clicked last), "mv:1,3>0" drops library lines 1 and 3
    // before line 0, "cp:0,2>5" drops patches 0 and 2 into the library before line 5, "col:C1,C2" copies
    // new patches named C1 and C2 (described "c C1", "c C2") in from the collection, "t:text"
    // types into the description box, "open:name" loads that library as from the command line,
    // "ren:NAME" renames the selected library entry in place, "drive:3", "cab:1", "spk:2" pick an entry
    // of the panel's lists, "chkD:0"/"chkC:1" press the check box (checked before the press), "all:1"
    // chooses "Change  All"; "edits" tries every panel edit and a typed description in both modes;
    // "take:0" takes bound field 0 of the selected patch into the selected library entry ("Take →");
    // "hide:L"/"hide:P" is a find hiding the selected line of that list; "reimport" imports in.pch
    // again; any other word names a menu command.
    void Run(const QString& script) {
        using C = LibraryController;
        // clang-format off
        // Menu commands by the window's command table (a word, or the object name itself); the rest
        // are the list's and the Edit menu's.
        static const std::map<QString, QString> menu = {
            {u"load"_s, u"mnuFile_LoadLib"_s}, {u"save"_s, u"mnuFile_SaveLib"_s},
            {u"saveAs"_s, u"mnuFile_SaveAsLib"_s}, {u"importLib"_s, u"mnuFile_LoadLibToPatches"_s},
            {u"importPatches"_s, u"mnuFile_LoadPatches"_s}, {u"export"_s, u"mnuFile_SaveLibAsPatches"_s},
            {u"exportSel"_s, u"mnuFile_ExportSelected"_s}, {u"copy"_s, u"mnuPatch_Copy"_s},
            {u"replace"_s, u"mnuPatch_Replace"_s}, {u"update"_s, u"mnuPatch_UpdateLib"_s},
            {u"appendAll"_s, u"mnuPatch_AppentAll"_s}, {u"appendDiff"_s, u"mnuPatch_AppendNew"_s},
            {u"updateAll"_s, u"mnuPatch_UpdateLibAll"_s}, {u"up"_s, u"mnuLibrary_MoveUp"_s},
            {u"down"_s, u"mnuLibrary_MoveDown"_s}, {u"clone"_s, u"mnuLibrary_ClonePatch"_s},
            {u"del"_s, u"mnuLibrary_DelSelected"_s}, {u"delAll"_s, u"mnuLibrary_DelAll"_s},
            {u"rnd"_s, u"mnuLibrary_Rnd"_s}, {u"sort"_s, u"mnuLibrary_SortByName"_s}};
        static const std::map<QString, std::function<void(C&)>> commands = {
            {u"dbl"_s, &C::PatchesDoubleClicked}, {u"click"_s, &C::DescriptionClicked},
            {u"undo"_s, &C::Undo}, {u"redo"_s, &C::Redo}, {u"dups"_s, &C::SelectDuplicates}};
        // clang-format on
        static const QStringList panel = u"drive cab spk chkD chkC all"_s.split(u' ');
        // clang-format off
        static const std::function<void(C&, int)> edits[] = {
            &C::DriveTypePicked, &C::CabTypePicked, &C::CabSpeakerPicked,
            [](C& c, int v) { c.DriveMousePressed(v != 0); }, [](C& c, int v) { c.CabMousePressed(v != 0); },
            [](C& c, int v) { c.SetChangeAll(v != 0); }};
        // clang-format on
        for (const QString& step : script.split(u' ')) {
            const QString name = step.section(u':', 0, 0), value = step.section(u':', 1);
            auto numbers = [](const QString& text) {
                QList<qsizetype> list;
                for (const QString& number : text.split(u','))
                    list.append(number.toInt());
                return list;
            };
            if (step.size() > 1 && step[1].isDigit() && (step[0] == u'L' || step[0] == u'P')) {
                // The user's clicks select the lines.
                const bool library = step[0] == u'L';
                QList<qsizetype> lines = numbers(step.mid(1));
                const qsizetype current = lines.last();
                std::sort(lines.begin(), lines.end());
                view.Shown(library ? ListId::Library : ListId::Patches).selected = current;
                view.Shown(library ? ListId::Library : ListId::Patches).lines =
                    lines.size() > 1 ? lines : QList<qsizetype>();
                if (lines.size() == 1)
                    library ? controller.LibraryClicked(current) : controller.PatchesClicked(current);
                else
                    library ? controller.LibrarySelected(lines, current)
                            : controller.PatchesSelected(lines, current);
            } else if (name == u"mv"_s || name == u"cp"_s) {
                const QList<qsizetype> lines = numbers(value.section(u'>', 0, 0));
                const qsizetype before = value.section(u'>', 1).toInt();
                name == u"mv"_s ? controller.MoveEntriesTo(lines, before)
                                : controller.CopyPatchesTo(lines, before);
            } else if (name == u"col"_s) {
                // Patches from the collection: one image per name, described "c NAME".
                QByteArray images;
                QStringList descriptions;
                for (const QString& patch : value.split(u',')) {
                    images.append(MakeImage(patch, 900 + int(descriptions.size())));
                    descriptions.append(u"c "_s + patch);
                }
                controller.CopyImagesIntoLibrary(images, descriptions);
            } else if (name == u"t"_s) {
                view.description = value; // the box holds what was typed
                controller.DescriptionEdited(value);
            } else if (name == u"take"_s) {
                controller.TakeParameter({ListId::Patches, S().PatchesSelection}, S().LibSelection,
                                         BoundField(value.toInt()));
            } else if (name == u"ren"_s) {
                controller.RenameEntry(controller.State().LibSelection, value);
            } else if (name == u"hide"_s) {
                controller.SelectionHidden(value == u"L"_s ? ListId::Library : ListId::Patches);
            } else if (step == u"reimport"_s) {
                controller.ImportPatchesFromPath(Path(u"in.pch"_s));
            } else if (name == u"open"_s) {
                controller.LoadLibFromPath(Path(value));
            } else if (step == u"edits"_s) {
                const QString once = u" drive:3 cab:1 spk:2 chkD:0 chkC:1 t:ghost"_s;
                Run(u"all:0"_s + once + u" all:1"_s + once);
            } else if (panel.contains(name)) {
                edits[panel.indexOf(name)](controller, value.toInt());
            } else {
                const Command* row = FindCommand(menu.contains(step) ? menu.at(step) : step);
                const auto command = commands.find(step);
                QVERIFY2((row && row->action.run) || command != commands.end(), qPrintable(step));
                if (row && row->action.run)
                    row->action.run(controller);
                else
                    command->second(controller);
            }
        }
    }
};

} // namespace quillbox::test
