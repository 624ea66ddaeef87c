// Writes the screenshots shown in the README: the main window with a library loaded and an entry
// selected, the find field over the library list, the window with the Edit menu open after an undo,
// several library lines selected with the Library menu open, the splash window, the help window,
// the earlier versions, the twin marks of both lists with a tool tip, the compare window, the
// reconcile window, the collection window, the show window, the stage view of a show at 1280 x 800,
// and the main and compare windows and the stage view again in a dark palette.
//
//   xvfb-run -a build/tests/gui/quillbox_screenshots docs
//
// The main window on small and scaled screens (the whole screen is taken), at 2x on 1280 x 800 and
// at 1024 x 600 (QT_SCALE_FACTOR=2 and -s "-screen 0 1280x800x24", or -s "-screen 0 1024x600x24"):
//   xvfb-run -a -s "-screen 0 1024x600x24" build/tools/screenshots/quillbox_screenshots docs small NAME.png

#include "CollectionSettings.h"
#include "CollectionWindow.h"
#include "CompareWindow.h"
#include "DialogSeam.h"
#include "EarlierVersionsDialog.h"
#include "FieldMap.h"
#include "FindField.h"
#include "HelpWindow.h"
#include "MainWindow.h"
#include "MainWindowShows.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "ReconcileWindow.h"
#include "ShowFile.h"
#include "ShowWindow.h"
#include "SplashWindow.h"
#include "StageView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPalette>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QToolTip>
#include <QWindow>
#include <algorithm>
#include <cstdio>

using namespace quillbox;

namespace {

QByteArray Image(const QString& name, int drive, int cab, int speaker, bool driveOn, bool cabOn, int seed) {
    QByteArray bytes(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        bytes[i] = char((seed * 29 + i * 17 + 5) & 0xFF);
    const QString padded = name.leftJustified(6, QLatin1Char(' '), true);
    for (int c = 0; c < 6; ++c) {
        const int code = int(std::max<qsizetype>(0, DeviceAlphabet.indexOf(padded.at(c))));
        for (int k = 0; k < 6; ++k) {
            const int bit = 5 + 6 * c + k;
            const int byte = 11 + bit / 8;
            const char mask = char(1 << (bit % 8));
            bytes[byte] = (code & (1 << k)) ? char(bytes[byte] | mask) : char(bytes[byte] & ~mask);
        }
    }
    PatchImage image(bytes);
    WriteBoundField(image, BoundField::DriveType, drive);
    WriteBoundField(image, BoundField::CabType, cab);
    WriteBoundField(image, BoundField::CabSpeaker, speaker);
    WriteBoundField(image, BoundField::DriveModule, driveOn ? 1 : 0);
    WriteBoundField(image, BoundField::CabModule, cabOn ? 1 : 0);
    return image.Bytes();
}

bool Write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void Settle(QWidget* widget) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 300 ||
           (widget->windowHandle() && !widget->windowHandle()->isExposed() && timer.elapsed() < 3000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool Save(QWidget* widget, const QString& path) {
    Settle(widget);
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

// The window with `over` (a menu or a tool tip, which grab() leaves out) painted at `at`.
bool SaveWithOverlay(QWidget& window, QWidget& over, QPoint at, const QString& path) {
    QPixmap shot = window.grab();
    {
        QPainter painter(&shot);
        painter.drawPixmap(window.mapFromGlobal(at), over.grab());
    }
    const bool ok = shot.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const QString outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
    QDir().mkpath(outDir);
    QTemporaryDir tmp;
    EnableDialogTestMode(true);

    // A small library with descriptions, and a device patch file to copy from.
    struct Patch {
        const char* name;
        int drive, cab, speaker;
        bool driveOn, cabOn;
        const char* description;
    };
    const Patch library[] = {
        {"CLEAN1", 0, 0, 0, true, true, "Clean rhythm, bridge pickup #gig"},
        {"CRUNCH", 4, 3, 3, true, true, "Light crunch for chords #gig"},
        {"LEAD 1", 9, 3, 3, true, true, "Solo lead with long delay\r\nBoost the level for the chorus"},
        {"BLUES", 1, 1, 0, true, true, "Warm blues drive #fav"},
        {"METAL", 7, 3, 4, true, true, "Tight metal rhythm"},
        {"JAZZ", 12, 0, 2, true, false, "Jazz clean, neck pickup #fav #clean"},
        {"ACOUST", 11, 2, 1, true, false, "Acoustic simulation for the electric"},
        {"FUZZ", 10, 3, 3, true, true, "Fuzz stack, 70s style"},
        {"BASS 1", 15, 5, 6, true, true, "Bass: tight and round"},
        {"AMBIEN", 0, 1, 0, true, true, "Ambient pad with reverb #clean"},
    };
    QByteArray store;
    QByteArray side("[Description]\r\n");
    for (int i = 0; i < int(std::size(library)); ++i) {
        const Patch& p = library[i];
        store += Image(QString::fromLatin1(p.name), p.drive, p.cab, p.speaker, p.driveOn, p.cabOn, i);
        side += QByteArray::number(i + 1) + '=' + QByteArray(p.description).replace("\r\n", "&*&") + "\r\n";
    }
    QByteArray body = store;
    std::reverse(body.begin(), body.end());
    const QString libPath = tmp.filePath(QStringLiteral("my-sounds.pslib"));
    const QString pchPath = tmp.filePath(QStringLiteral("gig.pch"));
    QByteArray patches;
    const char* const imported[] = {"SET 1", "SET 2", "SET 3", "ENCORE", "SOLO", "OUTRO"};
    for (int i = 0; i < int(std::size(imported)); ++i)
        patches +=
            Image(QString::fromLatin1(imported[i]), (i * 5) % 24, i % 6, i % 7, true, i % 2 == 0, 40 + i);
    if (!Write(libPath, QByteArray(1, '\x01') + body) || !Write(libPath + QStringLiteral(".txt"), side) ||
        !Write(pchPath, patches) ||
        !QFile::copy(QStringLiteral(QUILLBOX_SOURCE_HELP), tmp.filePath(QStringLiteral("Quillbox.hlp")))) {
        std::fprintf(stderr, "cannot write the sample files\n");
        return 1;
    }

    MainWindowOptions options;
    options.pause = [](int) {
    };
    options.programDirectory = tmp.path();
    // A settings file of its own: the user's recent libraries stay as they are.
    options.settings =
        std::make_shared<QSettings>(tmp.filePath(QStringLiteral("quillbox.ini")), QSettings::IniFormat);
    options.openUrl = [](const QUrl&) {
        return false;
    };
    // The collection: the folder of these files, with a cache and earlier versions of its own.
    options.collectionCache = tmp.filePath(QStringLiteral("cache/collection.sqlite"));
    options.collectionVersions = tmp.filePath(QStringLiteral("versions"));
    WriteCollectionFolders({tmp.path()}, options.settings->fileName());
    MainWindow window(options);
    window.show();
    OpenSaveDLG::setNextPath(libPath);
    window.findChild<QAction*>(QStringLiteral("mnuFile_LoadLib"))->trigger();
    OpenSaveDLG::setNextPath(pchPath);
    window.findChild<QAction*>(QStringLiteral("mnuFile_LoadPatches"))->trigger();
    window.SetCaption(QStringLiteral("Quillbox   ") + libPath);
    window.Panes().SelectListLine(ListId::Patches, 3);
    window.Controller().PatchesClicked(3);
    window.Panes().SelectListLine(ListId::Library, 2);
    window.Controller().LibraryClicked(2);

    // "small FILE": only the whole screen with the main window fitted to it (a small or scaled
    // screen), its client area scrolled to the right and lowest controls of the details panel.
    if (argc > 3 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("small")) {
        window.findChild<QWidget*>(QStringLiteral("lstLib"))->setFocus();
        Settle(&window); // the window is fitted to the screen first
        if (auto* scroller = qobject_cast<QScrollArea*>(window.centralWidget())) {
            for (const char* name : {"cbxCabSpeaker", "txtName"})
                scroller->ensureWidgetVisible(window.findChild<QWidget*>(QLatin1String(name)), 8, 8);
        }
        Settle(&window);
        const QString path = outDir + QLatin1Char('/') + QString::fromLocal8Bit(argv[3]);
        const bool saved = window.screen()->grabWindow(0).save(path);
        std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(path));
        return saved ? 0 : 1;
    }

    bool ok = Save(&window, outDir + QStringLiteral("/main-window.png"));

    // The show window: a gig of three songs from the library as loaded, one cue of which the library
    // no longer holds (the check says so beside it).
    {
        window.Controller().SetUnsavedFolder(tmp.filePath(QStringLiteral("unsaved")));
        // The cues as "Add to Show" takes them from the library list.
        const auto cue = [&](const char* label, qsizetype entry) {
            ShowCue taken = window.Shows().CuesOf(ListId::Library, {entry}).value(0);
            taken.label = QString::fromUtf8(label);
            return taken;
        };
        ShowCue changed = cue("Solo", 2);
        changed.image[0] = char(changed.image.at(0) ^ 1); // taken before the entry was edited
        changed.source.image = changed.image;
        const ShowRecord show{
            QStringLiteral("Friday at the Anchor"),
            {{QStringLiteral("Opening Blues"),
              QStringLiteral("Capo 3. Slow count in, four bars."),
              {cue("Intro", 3), cue("Verse", 0), cue("Chorus", 1), changed}},
             {QStringLiteral("Night Drive"), QString(), {cue("Verse", 9), cue("Chorus", 1)}},
             {QStringLiteral("Closer"),
              QStringLiteral("Long fade; watch the drummer."),
              {cue("Riff", 4), cue("Outro", 7)}}}};
        const QString showPath = tmp.filePath(QStringLiteral("friday.psshow"));
        try {
            ShowFile::Save(showPath, show);
            ShowWindow& shows = window.Shows().Open();
            if (!shows.OpenShowFile(showPath)) {
                for (const MessageBoxes::Shown& shown : MessageBoxes::takeShown())
                    std::fprintf(stderr, "%s\n", qPrintable(shown.text));
                ok = false;
            }
            shows.resize(860, 540);
            Settle(&shows);
            ok = Save(&shows, outDir + QStringLiteral("/show-window.png")) && ok;
            shows.close();
        } catch (const FileError& error) {
            std::fprintf(stderr, "cannot write the sample show: %s\n", qPrintable(error.description));
            ok = false;
        }
    }

    // The find field over the library list: the lines holding "clean", with their own positions.
    window.findChild<QWidget*>(QStringLiteral("lstLib"))->setFocus();
    window.FindCommand();
    auto* find = window.findChild<FindField*>(QStringLiteral("txtFindLib"));
    find->setText(QStringLiteral("clean"));
    window.Panes().SelectListLine(ListId::Library, 5);
    window.Controller().LibraryClicked(5);
    ok = Save(&window, outDir + QStringLiteral("/find-field.png")) && ok;
    find->Close();
    window.Panes().SelectListLine(ListId::Library, 2);
    window.Controller().LibraryClicked(2);

    // A change to every patch, a delete taken back, and the Edit menu open over the window.
    window.findChild<QRadioButton*>(QStringLiteral("optAll"))->setChecked(true);
    auto* cabType = window.findChild<QComboBox*>(QStringLiteral("cbxCabType"));
    cabType->setCurrentIndex(2);
    Q_EMIT cabType->activated(2);
    window.findChild<QRadioButton*>(QStringLiteral("optSelected"))->setChecked(true);
    window.findChild<QAction*>(QStringLiteral("mnuLibrary_DelSelected"))->trigger();
    window.findChild<QAction*>(QStringLiteral("mnuEdit_Undo"))->trigger();
    auto* edit = window.findChild<QMenu*>(QStringLiteral("mnuEdit"));
    window.menuBar()->setActiveAction(edit->menuAction());
    Settle(edit);
    ok = SaveWithOverlay(window, *edit, edit->pos(), outDir + QStringLiteral("/edit-menu.png")) && ok;
    edit->close();

    // Several library lines selected (Ctrl+click), the panel showing the one clicked last, and the
    // Library menu of a right click open over the selection.
    const QList<qsizetype> several{1, 3, 4};
    window.Panes().SelectListLines(ListId::Library, several, 4);
    window.Controller().LibrarySelected(several, 4);
    auto* lstLib = window.findChild<QAbstractItemView*>(QStringLiteral("lstLib"));
    auto* libraryMenu = window.findChild<QMenu*>(QStringLiteral("mnuLibrary"));
    libraryMenu->popup(lstLib->mapToGlobal(QPoint(lstLib->width() / 2, lstLib->height() / 2)));
    Settle(libraryMenu);
    ok = SaveWithOverlay(window, *libraryMenu, libraryMenu->pos(),
                         outDir + QStringLiteral("/multi-selection.png")) &&
         ok;
    libraryMenu->close();

    auto* splash = new SplashWindow;
    splash->SetStatus(QStringLiteral("Initialize ..."));
    splash->ShowNow();
    ok = Save(splash, outDir + QStringLiteral("/splash.png")) && ok;
    splash->close();

    window.HelpCommand();
    if (HelpWindow* help = window.Help())
        ok = Save(help, outDir + QStringLiteral("/help-window.png")) && ok;
    else
        ok = false;

    // Three saves, some time apart, each after a clone, keep three earlier versions.
    window.Controller().SetVersionsFolder(tmp.filePath(QStringLiteral("versions")));
    QDateTime when(QDate(2025, 3, 14), QTime(18, 5, 12));
    window.Controller().SetClock([&when] { return when; });
    for (int save = 0; save < 3; ++save, when = when.addSecs(4000 + 3600 * 20 * save)) {
        window.Panes().SelectListLine(ListId::Library, 1);
        window.Controller().LibraryClicked(1);
        window.Controller().ClonePatch();
        window.Controller().SaveLib();
    }
    EarlierVersionsDialog versions(window.Controller(), &window);
    versions.show();
    versions.findChild<QTableWidget*>(QStringLiteral("lstVersions"))->selectRow(1);
    ok = Save(&versions, outDir + QStringLiteral("/earlier-versions.png")) && ok;
    versions.close();

    // Twins: a library holding an identical pair, a sound under two names and a name with two sounds,
    // and patches that the library has, in part.
    const QByteArray crunch = Image(QStringLiteral("CRUNCH"), 4, 3, 3, true, true, 1);
    const QByteArray lead = Image(QStringLiteral("LEAD 1"), 9, 3, 3, true, true, 2);
    QByteArray twinLib = Image(QStringLiteral("CLEAN1"), 0, 0, 0, true, true, 0) + crunch + lead +
                         Image(QStringLiteral("BLUES"), 1, 1, 0, true, true, 3) + crunch;
    // CRUNCH's sound under another name.
    twinLib += Image(QStringLiteral("CRNCH2"), 4, 3, 3, true, true, 1) +
               Image(QStringLiteral("LEAD 1"), 7, 3, 4, true, true, 6);
    QByteArray twinPatches = lead + Image(QStringLiteral("BLUES"), 2, 1, 0, true, false, 8) +
                             Image(QStringLiteral("NEW 1"), 5, 2, 2, true, true, 9);
    const QString twinPath = tmp.filePath(QStringLiteral("twins.pslib"));
    const QString twinPch = tmp.filePath(QStringLiteral("twins.pch"));
    QByteArray twinBody = twinLib;
    std::reverse(twinBody.begin(), twinBody.end());
    if (!Write(twinPath, QByteArray(1, '\x01') + twinBody) || !Write(twinPch, twinPatches))
        return 1;
    OpenSaveDLG::setNextPath(twinPath);
    window.findChild<QAction*>(QStringLiteral("mnuFile_LoadLib"))->trigger();
    OpenSaveDLG::setNextPath(twinPch);
    window.findChild<QAction*>(QStringLiteral("mnuFile_LoadPatches"))->trigger();
    window.SetCaption(QStringLiteral("Quillbox   ") + twinPath);
    window.Panes().SelectListLine(ListId::Patches, 1);
    window.Controller().PatchesClicked(1);
    window.Panes().SelectListLine(ListId::Library, 3);
    window.Controller().LibraryClicked(3);
    Settle(&window);
    {
        // The tool tip of the second library line, drawn where it would show, as the tool tip label
        // looks: a shown tool tip hides itself on its own timer.
        const QModelIndex second = lstLib->model()->index(1, 0);
        const QPoint at = lstLib->viewport()->mapToGlobal(lstLib->visualRect(second).bottomRight());
        QLabel tip(second.data(Qt::ToolTipRole).toString());
        tip.setPalette(QToolTip::palette());
        tip.setFont(QToolTip::font());
        tip.setAutoFillBackground(true);
        tip.setFrameStyle(QFrame::Box | QFrame::Plain);
        tip.setMargin(3);
        tip.adjustSize();
        ok = SaveWithOverlay(window, tip, at, outDir + QStringLiteral("/twin-marks.png")) && ok;
    }

    window.CompareCommand();
    if (CompareWindow* compare = window.Compare())
        ok = Save(compare, outDir + QStringLiteral("/compare-window.png")) && ok;
    else
        ok = false;

    // The reconcile window: the library as it now stands against a patch file read back from the
    // device, on which a patch was edited and renamed, one deleted, one added and a description
    // rewritten.
    const ReconcileSide mine = window.Controller().LibrarySide();
    QByteArray device;
    QByteArray deviceSide("[Description]\r\n");
    int line = 0;
    const auto add = [&](const QByteArray& bytes, QString description) {
        device += bytes;
        deviceSide += QByteArray::number(++line) + '=' +
                      description.replace(QStringLiteral("\r\n"), QStringLiteral("&*&")).toUtf8() + "\r\n";
    };
    const qsizetype count = EntryCount(mine.store);
    for (qsizetype k = 0; k < count; ++k) {
        PatchImage image(EntryBytes(mine.store, k));
        QString description = mine.descriptions.value(k + 1);
        if (k == 4)
            continue;
        if (k == 2) {
            WriteBoundField(image, BoundField::DriveType, 8);
            QByteArray bytes = image.Bytes();
            WritePatchName(bytes, EncodePatchName(QStringLiteral("LEAD 2")).codes);
            image = PatchImage(bytes);
        }
        if (k == 0)
            description = QStringLiteral("Clean rhythm, neck pickup\r\nCompressor on");
        add(image.Bytes(), description);
        if (k == 5)
            add(Image(QStringLiteral("OCTAVE"), 14, 3, 3, true, true, 60),
                QStringLiteral("Octave fuzz for the solo"));
    }
    const QString devicePath = tmp.filePath(QStringLiteral("from-device.pch"));
    if (!Write(devicePath, device) || !Write(devicePath + QStringLiteral(".txt"), deviceSide))
        return 1;
    OpenSaveDLG::setNextPath(devicePath);
    window.findChild<QAction*>(QStringLiteral("mnuFile_ReconcileWith"))->trigger();
    if (ReconcileWindow* reconcile = window.Reconcile()) {
        auto* rows = reconcile->findChild<QTableView*>(QStringLiteral("tblRows"));
        // The row whose description differs: both texts are shown to choose from.
        for (int row = 0; row < rows->model()->rowCount(); ++row) {
            if (rows->model()->index(row, ReconcileModel::DiffersColumn).data().toString() ==
                QStringLiteral("description"))
                rows->selectRow(row);
        }
        rows->resizeColumnsToContents();
        ok = Save(reconcile, outDir + QStringLiteral("/reconcile-window.png")) && ok;
    } else {
        ok = false;
    }

    // The collection window over the folder: the library, the patch file and the one read back,
    // with the clean rhythm patch (held by two files) selected.
    window.findChild<QAction*>(QStringLiteral("mnuWindow_Collection"))->trigger();
    if (CollectionWindow* collection = window.Collection()) {
        QElapsedTimer waited;
        waited.start();
        while (collection->Scanning() && waited.elapsed() < 30000)
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        collection->resize(900, 560);
        auto* distinct = collection->findChild<QTableView*>(QStringLiteral("lstCollectionPatches"));
        for (int row = 0; row < distinct->model()->rowCount(); ++row)
            if (distinct->model()
                    ->index(row, DistinctPatchModel::Name)
                    .data()
                    .toString()
                    .startsWith(QStringLiteral("CRUNCH")))
                distinct->selectRow(row);
        distinct->resizeColumnsToContents();
        Settle(collection);
        ok = !collection->Scanning() && Save(collection, outDir + QStringLiteral("/collection-window.png")) &&
             ok;
        collection->close();
    } else {
        ok = false;
    }

    // The stage view at 1280 x 800 (again in the dark palette below), at the second cue of the first song of
    // a three-song show.
    QPointer<StageView> stage;
    {
        const auto cue = [](const char* label, const char* name, int seed) {
            return ShowCue{QString::fromUtf8(label),
                           Image(QString::fromLatin1(name), seed % 24, seed % 6, seed % 7, true, true, seed),
                           {},
                           {}};
        };
        ShowRecord show{QStringLiteral("Friday at the Crown"),
                        {{QStringLiteral("Sweet Home Highway"),
                          QStringLiteral("Capo 2. Count in four; the solo runs two rounds, then back to the "
                                         "chorus.\nStep on the boost for the last chorus."),
                          {cue("Intro", "CLEAN1", 0), cue("Verse", "CRUNCH", 1), cue("Solo", "LEAD 1", 2),
                           cue("Outro", "CLEAN1", 0)}},
                         {QStringLiteral("Slow Blues in A"),
                          QStringLiteral("Neck pickup, tone at 7."),
                          {cue("Verse", "BLUES", 3), cue("Solo", "LEAD 1", 2)}},
                         {QStringLiteral("Encore"), QString(), {cue("Riff", "FUZZ", 7)}}}};
        ShowSlots slots;
        slots.count = 5;
        slots.slotOfCue = {{1, 2, 3, 1}, {4, 3}, {5}};
        stage = new StageView(show, slots, ShowPlace{0, 1}, &window);
        stage->resize(1280, 800);
        stage->show();
        ok = Save(stage, outDir + QStringLiteral("/stage-view.png")) && ok;
    }

    // The main and compare windows in a dark palette: every colour comes from the palette.
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::AlternateBase, QColor(0x33, 0x33, 0x33));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xc7));
    dark.setColor(QPalette::HighlightedText, QColor(0xff, 0xff, 0xff));
    dark.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3a));
    dark.setColor(QPalette::ToolTipText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::PlaceholderText, QColor(0xa0, 0xa0, 0xa0));
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(0x90, 0x90, 0x90));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x90, 0x90, 0x90));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x90, 0x90, 0x90));
    QApplication::setPalette(dark);
    Settle(&window);
    ok = Save(&window, outDir + QStringLiteral("/main-window-dark.png")) && ok;
    if (CompareWindow* compare = window.Compare()) {
        Settle(compare);
        ok = Save(compare, outDir + QStringLiteral("/compare-window-dark.png")) && ok;
    }
    if (stage) {
        ok = Save(stage, outDir + QStringLiteral("/stage-view-dark.png")) && ok;
        stage->close();
    }
    return ok ? 0 : 1;
}
