// The main window as a user meets it: start-up state, menus, controls and their sizes, lists,
// details panel, description box and the closing question.

#include "GuiTestSupport.h"
#include "MainLayout.h"
#include "SplashWindow.h"
#include "ValueTables.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QWheelEvent>

using namespace quillbox;
using namespace quillbox::test;

namespace {
const QStringList DetailControls = {
    QStringLiteral("cbxCabSpeaker"), QStringLiteral("cbxCabType"),  QStringLiteral("cbxDriveType"),
    QStringLiteral("cbxEqHigh"),     QStringLiteral("cbxEqLevel"),  QStringLiteral("cbxEqLow"),
    QStringLiteral("cbxEqMid"),      QStringLiteral("cbxModType"),  QStringLiteral("cbxRevType"),
    QStringLiteral("cbxTotalLevel"), QStringLiteral("cbxZNRLevel"), QStringLiteral("chkCab"),
    QStringLiteral("chkDrive"),      QStringLiteral("chkEq"),       QStringLiteral("chkMod"),
    QStringLiteral("chkRev"),        QStringLiteral("chkZnr"),      QStringLiteral("txtName"),
    QStringLiteral("lblName"),       QStringLiteral("lblLevel"),    QStringLiteral("txtDescription")};

const QStringList LibNames = {QStringLiteral("ALPHA"), QStringLiteral("BRAVO"), QStringLiteral("CHARLY"),
                              QStringLiteral("DELTA")};
const QStringList LibDescriptions = {QStringLiteral("first"), QStringLiteral("second\r\nline"), QString(),
                                     QStringLiteral("fourth")};
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    WindowFixture f;

    // Loads a library of LibNames with LibDescriptions through the dialog seam.
    void LoadSample() {
        const QString path = f.Path(QStringLiteral("sample.pslib"));
        WriteLibrary(path, Store(LibNames), LibDescriptions);
        f.Choose("mnuFile_LoadLib", path);
        QCOMPARE(OpenSaveDLG::takeShown().size(), 1);
        QCOMPARE(f.Lib()->model()->rowCount(), LibNames.size());
    }

    // Imports a device patch file of `names` into the patches list.
    void ImportSample(const QStringList& names) {
        const QString path = f.Path(QStringLiteral("device.pch"));
        WriteBytes(path, Store(names));
        f.Choose("mnuFile_LoadPatches", path);
        QCOMPARE(OpenSaveDLG::takeShown().size(), 1);
        QCOMPARE(f.Patches()->model()->rowCount(), names.size());
    }

    QComboBox* Combo(const char* name) { return f.Find<QComboBox>(QString::fromLatin1(name)); }
    QCheckBox* Check(const char* name) { return f.Find<QCheckBox>(QString::fromLatin1(name)); }
    DescriptionBox* Description() { return f.Find<DescriptionBox>(QStringLiteral("txtDescription")); }

private Q_SLOTS:
    void init() { f.Start(); }
    void cleanup() { f.Finish(); }

    void startUpState() {
        MainWindow& w = *f.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Quillbox - 1.0  (C) 2024-2025 the Quillbox team"));
        QCOMPARE(f.Lib()->model()->rowCount(), 0);
        QCOMPARE(f.Patches()->model()->rowCount(), 0);
        for (const QString& name : DetailControls)
            QVERIFY2(!f.Find(name)->isEnabled(), qPrintable(name));
        QVERIFY(f.Find(QStringLiteral("optAll"))->isEnabled());
        QVERIFY(f.Find<QRadioButton>(QStringLiteral("optSelected"))->isChecked());
        QVERIFY(!f.Find<QRadioButton>(QStringLiteral("optAll"))->isChecked());
        for (const char* name : {"chkDrive", "chkCab", "chkZnr", "chkEq", "chkMod", "chkRev"})
            QVERIFY2(!Check(name)->isChecked(), name);
        QCOMPARE(f.Find<QLineEdit>(QStringLiteral("txtName"))->text(), QStringLiteral("Patch Name"));
        QVERIFY(Description()->toPlainText().isEmpty());
        QVERIFY(!w.findChild<QAction*>(QStringLiteral("mnuWindow_Top"))->isChecked());
        QVERIFY(!w.OnTop());
        QVERIFY(!f.State().LibChanged);

        // The eleven lists hold their entries in order and show empty text.
        QCOMPARE(ParameterTables().size(), size_t(11));
        for (const ParameterTableInfo& table : ParameterTables()) {
            QComboBox* combo = f.Find<QComboBox>(table.objectName);
            QVERIFY2(combo, qPrintable(table.objectName));
            QVERIFY(combo->isEditable());
            QCOMPARE(combo->count(), table.entries.size());
            for (int i = 0; i < combo->count(); ++i)
                QCOMPARE(combo->itemText(i), table.entries.at(i));
            QCOMPARE(combo->currentText(), QString());
        }
        QCOMPARE(Combo("cbxDriveType")->count(), 24);
        QCOMPARE(Combo("cbxDriveType")->itemText(14), QStringLiteral("9002"));
        QCOMPARE(Combo("cbxCabSpeaker")->itemText(0), QStringLiteral("Combo 1*12\""));
        QCOMPARE(Combo("cbxRevType")->itemText(5), QStringLiteral("Dylay & Hall"));
        QCOMPARE(Combo("cbxTotalLevel")->itemText(29), QStringLiteral("30"));

        // Closing with nothing loaded asks nothing.
        QVERIFY(w.close());
    }

    void splashStatusAtStartUp() {
        f.Finish();
        auto* splash = new SplashWindow;
        splash->show();
        MainWindowOptions options;
        options.splash = splash;
        int pauses = 0;
        QString statusDuringPause;
        options.pause = [&](int milliseconds) {
            QCOMPARE(milliseconds, 1000);
            ++pauses;
            statusDuringPause = splash->StatusLabel()->text();
        };
        f.Start(options);
        QCOMPARE(pauses, 1);
        QCOMPARE(statusDuringPause, QStringLiteral("Initialize ..."));
        // The splash stays open behind the main window until it is clicked or the window closes.
        QVERIFY(splash->isVisible());
        QPointer<SplashWindow> guard(splash);
        QVERIFY(f.window->close());
        QVERIFY(guard.isNull() || !guard->isVisible());
    }

    void loadStepFailureIsTrapped() {
        f.Finish();
        auto* splash = new SplashWindow;
        splash->show();
        QPointer<SplashWindow> guard(splash);
        MainWindowOptions options;
        options.splash = splash;
        options.pause = [](int) {
            throw std::runtime_error("no time to wait");
        };
        f.Start(options);
        QCOMPARE(TakeMessages(), QStringList{QStringLiteral("Form_Load: no time to wait")});
        QVERIFY(guard.isNull() || !guard->isVisible());
        // What the load step had done before the failure stays.
        QCOMPARE(Combo("cbxCabType")->count(), 6);
        QVERIFY(!f.Find(QStringLiteral("cbxCabType"))->isEnabled());
    }

    void menus_data() {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("shortcut");
        QTest::addColumn<bool>("enabled");
        struct Row {
            const char* name;
            const char* menu;
            int position;
            const char* caption;
            QKeySequence shortcut;
            bool enabled;
        };
        const Row rows[] = {
            {"mnuFile_LoadLib", "mnuFile", 0, "Load (Library) ", QKeySequence(QStringLiteral("Ctrl+L")),
             true},
            {"mnuFile_SaveLib", "mnuFile", 1, "Save (Library) ", QKeySequence(QStringLiteral("Ctrl+S")),
             false},
            {"mnuFile_SaveAsLib", "mnuFile", 2, "Save As (Library)", {}, false},
            {"mnuFile_Sep1", "mnuFile", 3, "", {}, true},
            {"mnuFile_LoadPatches", "mnuFile", 4, "Import PS02", {}, false},
            {"mnuFile_LoadLibToPatches", "mnuFile", 5, "Import Library", {}, false},
            {"mnuFile_Sep2", "mnuFile", 6, "", {}, true},
            {"mnuFile_SaveLibAsPatches", "mnuFile", 7, "Export Library -> PS02", {}, false},
            {"mnuFile_Sep99", "mnuFile", 8, "", {}, true},
            {"mnuFile_Exit", "mnuFile", 9, "&Exit", {}, true},
            {"mnuPatch_Copy", "mnuPatch", 0, "&Copy Selected Patch -> Library", {}, true},
            {"mnuPatch_Replace", "mnuPatch", 1, "&Replace Selected Patch -> Library", {}, true},
            {"mnuPatch_Sep1", "mnuPatch", 2, "", {}, true},
            {"mnuPatch_AppendNew", "mnuPatch", 3, "Append All &Different Patches -> Library", {}, true},
            {"mnuPatch_AppentAll", "mnuPatch", 4, "&Append All Patches -> Library", {}, true},
            {"mnuPatch_Sep2", "mnuPatch", 5, "", {}, true},
            {"mnuPatch_UpdateLib", "mnuPatch", 6, "Update Library with Selected Patch", {}, true},
            {"mnuPatch_UpdateLibAll", "mnuPatch", 7, "Update All Patches in the Library", {}, true},
            {"mnuLibrary_MoveUp", "mnuLibrary", 0, "Move up", QKeySequence(QStringLiteral("Ctrl+U")), true},
            {"mnuLibrary_MoveDown", "mnuLibrary", 1, "Move down", QKeySequence(QStringLiteral("Ctrl+D")),
             true},
            {"mnuLibrary_Sep1", "mnuLibrary", 2, "", {}, true},
            {"mnuLibrary_ClonePatch", "mnuLibrary", 3, "Clone Selected Patch",
             QKeySequence(QStringLiteral("Shift+Ins")), true},
            {"mnuLibrary_Sep2", "mnuLibrary", 4, "", {}, true},
            {"mnuLibrary_DelSelected", "mnuLibrary", 5, "Delete &Selected Patch",
             QKeySequence(QStringLiteral("Shift+Del")), true},
            {"mnuLibrary_DelAll", "mnuLibrary", 6, "Delete &ALL Patches", {}, true},
            {"mnuLibrary_Sep3", "mnuLibrary", 7, "", {}, true},
            {"mnuLibrary_Rnd", "mnuLibrary", 8, "Random Modification", {}, true},
            {"mnuWindow_Top", "mnuWindow", 0, "Top", {}, true},
            {"mnuHelp_Help", "mnuHelp", 0, "&Help", QKeySequence(QStringLiteral("F1")), true},
            {"mnuHelp_About", "mnuHelp", 1, "&About", {}, true},
        };
        for (const Row& row : rows)
            QTest::newRow(row.name) << QString::fromLatin1(row.menu) << row.position
                                    << QString::fromLatin1(row.caption) << row.shortcut << row.enabled;
    }

    void menus() {
        QFETCH(QString, menu);
        QFETCH(int, position);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, shortcut);
        QFETCH(bool, enabled);
        const QString name = QString::fromLatin1(QTest::currentDataTag());
        QAction* action = f.window->findChild<QAction*>(name);
        QVERIFY(action);
        QMenu* owner = f.window->findChild<QMenu*>(menu);
        QVERIFY(owner);
        QVERIFY(position < owner->actions().size());
        QCOMPARE(owner->actions().at(position), action);
        QCOMPARE(action->isSeparator(), caption.isEmpty());
        if (!caption.isEmpty())
            QCOMPARE(action->text(), caption);
        QCOMPARE(action->shortcut(), shortcut);
        QCOMPARE(action->isEnabled(), enabled);
    }

    void menuBar() {
        const QList<QAction*> top = f.window->menuBar()->actions();
        QStringList captions;
        QStringList names;
        for (QAction* action : top) {
            captions.append(action->text());
            names.append(action->menu()->objectName());
        }
        QCOMPARE(captions,
                 (QStringList{QStringLiteral("&File"), QStringLiteral("&Patch"), QStringLiteral("&Library"),
                              QStringLiteral("Window"), QStringLiteral("?")}));
        QCOMPARE(names, (QStringList{QStringLiteral("mnuFile"), QStringLiteral("mnuPatch"),
                                     QStringLiteral("mnuLibrary"), QStringLiteral("mnuWindow"),
                                     QStringLiteral("mnuHelp")}));
        for (QAction* action : top)
            QCOMPARE(action->objectName(), action->menu()->objectName());
        QCOMPARE(f.window->findChild<QMenu*>(QStringLiteral("mnuFile"))->actions().size(), 10);
        QCOMPARE(f.window->findChild<QMenu*>(QStringLiteral("mnuLibrary"))->actions().size(), 9);
    }

    void controls() {
        // Every control of the design exists with its kind, container and text.
        for (const ControlDesign& design : MainWindowControls()) {
            QWidget* widget = f.Find(design.name);
            QVERIFY2(widget, qPrintable(design.name));
            const QString parent = widget->parentWidget()->objectName();
            QCOMPARE(parent, design.container.isEmpty() ? QStringLiteral("clientArea") : design.container);
            switch (design.kind) {
            case ControlKind::Frame:
                QVERIFY(qobject_cast<QGroupBox*>(widget));
                break;
            case ControlKind::Label:
            case ControlKind::CenteredLabel: {
                auto* label = qobject_cast<QLabel*>(widget);
                QVERIFY(label);
                QCOMPARE(label->text(), design.text);
                QCOMPARE(bool(label->alignment() & Qt::AlignHCenter),
                         design.kind == ControlKind::CenteredLabel);
                break;
            }
            case ControlKind::ListBox:
                QVERIFY(qobject_cast<PatchListView*>(widget));
                break;
            case ControlKind::MultiLineTextBox:
                QVERIFY(qobject_cast<QPlainTextEdit*>(widget));
                break;
            case ControlKind::TextBox:
                QCOMPARE(qobject_cast<QLineEdit*>(widget)->text(), design.text);
                break;
            case ControlKind::ComboBox:
                QVERIFY(qobject_cast<QComboBox*>(widget)->isEditable());
                break;
            case ControlKind::CheckBox:
                QCOMPARE(qobject_cast<QCheckBox*>(widget)->text(), design.text);
                break;
            case ControlKind::OptionButton:
                QCOMPARE(qobject_cast<QRadioButton*>(widget)->text(), design.text);
                break;
            }
        }
    }

    void tabOrder() {
        // Follow the focus chain from the description box and keep the designed controls (an
        // editable list takes the focus in its line edit).
        QWidget* start = f.Find(QStringLiteral("txtDescription"));
        QStringList seen;
        QWidget* w = start;
        do {
            QWidget* named = w;
            if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget()))
                named = w->parentWidget();
            if (MainWindowTabOrder().contains(named->objectName()) && !seen.contains(named->objectName()))
                seen.append(named->objectName());
            w = w->nextInFocusChain();
        } while (w != start);
        QCOMPARE(seen, MainWindowTabOrder());
    }

    void nothingClippedAtDefaultFont() {
        // Every control is at least as large as its content needs, siblings do not overlap, and
        // every control lies inside its container.
        const MainGeometry& fitted = f.window->FittedGeometry();
        for (const ControlDesign& design : MainWindowControls()) {
            QWidget* widget = f.Find(design.name);
            const QSize need = f.window->NeededSize(design.name);
            const TwipsRect& r = fitted[design.name];
            QVERIFY2(r.width >= need.width() && r.height >= need.height(),
                     qPrintable(QStringLiteral("%1 needs %2x%3 twips, has %4x%5")
                                    .arg(design.name)
                                    .arg(need.width())
                                    .arg(need.height())
                                    .arg(r.width)
                                    .arg(r.height)));
            QVERIFY2(widget->geometry().width() * TwipsPerPixel >= need.width() - TwipsPerPixel / 2,
                     qPrintable(design.name));
            QVERIFY2(widget->parentWidget()->rect().contains(widget->geometry()) ||
                         design.name == QLatin1String("txtDescription"),
                     qPrintable(design.name));
            for (const ControlDesign& other : MainWindowControls()) {
                if (other.name == design.name || other.container != design.container)
                    continue;
                QVERIFY2(!widget->geometry().intersects(f.Find(other.name)->geometry()),
                         qPrintable(design.name + QStringLiteral(" overlaps ") + other.name));
            }
        }
        // The longest entries fit into their closed lists.
        QComboBox* speaker = Combo("cbxCabSpeaker");
        QVERIFY(speaker->width() >=
                speaker->fontMetrics().horizontalAdvance(QStringLiteral("Multiple Amp Stack")));
    }

    void resizeFollowsTheRules() {
        MainWindow& w = *f.window;
        QWidget* client = w.centralWidget();
        w.resize(700, 450 + w.menuBar()->height());
        QTRY_COMPARE(client->width(), 700);
        const int clientHeight = client->height();
        QWidget* frmDetail = f.Find(QStringLiteral("frmDetail"));
        QWidget* frmLib = f.Find(QStringLiteral("frmLib"));
        QCOMPARE(frmDetail->geometry().right() + 1, 700);
        QCOMPARE(frmLib->geometry().bottom() + 1, clientHeight);
        QCOMPARE(f.Lib()->geometry().bottom() + 1, frmLib->height());
        QCOMPARE(f.Patches()->height(), f.Lib()->height());
        QCOMPARE(f.Find(QStringLiteral("frmDescription"))->geometry().right() + 1, 700);
        const MainGeometry& g = w.CurrentGeometry();
        QCOMPARE(g[QStringLiteral("frmDetail")].width,
                 PixelsToTwips(700) - g[QStringLiteral("frmDetail")].left);
        QCOMPARE(g[QStringLiteral("lblDetails")].width, g[QStringLiteral("frmDetail")].width - 100);
        // The list columns keep their width.
        QCOMPARE(f.Lib()->width(), TwipsToPixels(w.FittedGeometry()[QStringLiteral("lstLib")].width));

        // Too small: the rules stop at the first that fails; larger again, all is consistent.
        w.resize(100, 40 + w.menuBar()->height());
        QTRY_COMPARE(client->width(), 100);
        w.resize(640, 420 + w.menuBar()->height());
        QTRY_COMPARE(client->width(), 640);
        QCOMPARE(frmDetail->geometry().right() + 1, 640);
        QCOMPARE(f.Lib()->geometry().bottom() + 1, frmLib->height());
        QCOMPARE(frmLib->geometry().bottom() + 1, client->height());
    }

    void clickSelectsAndShows() {
        LoadSample();
        ClickRow(f.Lib(), 1);
        QCOMPARE(SelectedRow(f.Lib()), 1);
        QCOMPARE(f.State().LibSelection, 1);
        QCOMPARE(Description()->toPlainText(), QStringLiteral("second\nline"));
        QCOMPARE(Description()->toolTip(), QStringLiteral("12/255"));
        QVERIFY(Combo("cbxCabType")->isEnabled());
        QCOMPARE(Combo("cbxDriveType")->currentIndex(), 1);
        QCOMPARE(Combo("cbxCabType")->currentIndex(), 1);
        QCOMPARE(Combo("cbxCabSpeaker")->currentIndex(), 1);
        QVERIFY(!Check("chkDrive")->isChecked());
        // Showing a patch is not an edit.
        QVERIFY(!f.State().LibChanged);

        // The keyboard moves the selection like a click.
        f.Lib()->setFocus();
        QTest::keyClick(f.Lib(), Qt::Key_Down);
        QCOMPARE(f.State().LibSelection, 2);
        QCOMPARE(Combo("cbxCabType")->currentIndex(), 2);
        QCOMPARE(Description()->toPlainText(), QString());

        // An imported patch is shown read-only, with its values.
        ImportSample({QStringLiteral("ECHO"), QStringLiteral("FOXTRT")});
        ClickRow(f.Patches(), 1);
        QCOMPARE(f.State().PatchesSelection, 1);
        QCOMPARE(Combo("cbxDriveType")->currentIndex(), 1);
        QVERIFY(!Combo("cbxDriveType")->isEnabled());
        QVERIFY(!Description()->isEnabled());
        QCOMPARE(SelectedRow(f.Lib()), 2); // the other list keeps its line
        QVERIFY(!f.State().LibChanged);
    }

    void doubleClickCopies() {
        LoadSample();
        ImportSample({QStringLiteral("ECHO"), QStringLiteral("FOXTRT")});
        const QByteArray foxtrot = Entry(f.State().PatchesData, 1);
        ClickRow(f.Lib(), 0);
        DoubleClickRow(f.Patches(), 1);
        QCOMPARE(f.Lib()->model()->rowCount(), 5);
        QCOMPARE(Entry(f.State().LibraryData, 1), foxtrot);
        QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  FOXTRT"));
        QCOMPARE(Line(f.Lib(), 2), QStringLiteral("03:  BRAVO "));
        QCOMPARE(f.Lib()->toolTip(), QStringLiteral("5 Patches"));
        QVERIFY(f.State().LibChanged);
        // The library list has no selection afterwards: the next copy goes to the end.
        QCOMPARE(SelectedRow(f.Lib()), -1);
        DoubleClickRow(f.Patches(), 0);
        QCOMPARE(f.Lib()->model()->rowCount(), 6);
        QCOMPARE(Line(f.Lib(), 5), QStringLiteral("06:  ECHO  "));
    }

    void rightClickKeepsSelection_data() {
        QTest::addColumn<bool>("onLibrary");
        QTest::newRow("library list") << true;
        QTest::newRow("patches list") << false;
    }

    void rightClickKeepsSelection() {
        QFETCH(bool, onLibrary);
        LoadSample();
        ImportSample({QStringLiteral("ECHO"), QStringLiteral("FOXTRT"), QStringLiteral("GOLF")});
        ClickRow(f.Patches(), 0);
        ClickRow(f.Lib(), 0);
        const QByteArray panelPatch = f.State().CurrentPatch.Bytes();
        PatchListView* list = onLibrary ? f.Lib() : f.Patches();
        QMenu* menu = f.window->findChild<QMenu*>(onLibrary ? QStringLiteral("mnuLibrary")
                                                            : QStringLiteral("mnuPatch"));
        ClickRow(list, 2, Qt::RightButton);
        QTRY_VERIFY(menu->isVisible());
        QCOMPARE(SelectedRow(f.Lib()), 0);
        QCOMPARE(SelectedRow(f.Patches()), 0);
        QCOMPARE(f.State().LibSelection, 0);
        QCOMPARE(f.State().PatchesSelection, 0);
        QCOMPARE(f.State().CurrentPatch.Bytes(), panelPatch);
        menu->close();
        // The menu's commands act on the selections as they stand.
        if (onLibrary) {
            f.Trigger("mnuLibrary_MoveDown");
            QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  ALPHA "));
        } else {
            f.Trigger("mnuPatch_Copy");
            QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  ECHO  "));
        }
        // A middle button does nothing either.
        ClickRow(list, 2, Qt::MiddleButton);
        QVERIFY(SelectedRow(list) != 2);
    }

    void changeAllEdit_data() {
        QTest::addColumn<bool>("all");
        QTest::newRow("Change  All") << true;
        QTest::newRow("Change  Selected") << false;
    }

    void changeAllEdit() {
        QFETCH(bool, all);
        LoadSample();
        const QByteArray before = f.State().LibraryData;
        ClickRow(f.Lib(), 2);
        if (all)
            QTest::mouseClick(f.Find(QStringLiteral("optAll")), Qt::LeftButton);
        QCOMPARE(f.State().ChangeAll, all);
        // Pick cab speaker entry 4 with the keyboard: from entry 2, two steps down.
        QComboBox* speaker = Combo("cbxCabSpeaker");
        speaker->setFocus();
        QTest::keyClick(speaker, Qt::Key_Down);
        QTest::keyClick(speaker, Qt::Key_Down);
        QCOMPARE(speaker->currentText(), QStringLiteral("Multiple Amp Stack"));
        QVERIFY(f.State().LibChanged);
        for (qsizetype i = 0; i < LibNames.size(); ++i) {
            const QByteArray old = Entry(before, i);
            const QByteArray now = Entry(f.State().LibraryData, i);
            const bool changed = all || i == 2;
            QCOMPARE(CabSpeakerValue(PatchImage(now)), changed ? 4 : CabSpeakerValue(PatchImage(old)));
            // Every other bit stays the entry's own, the cab type included.
            QByteArray expected = old;
            if (changed)
                expected[2] = char((old[2] & 0x8F) | (4 << 4));
            QCOMPARE(now, expected);
        }
        // The panel still shows the selected entry, with the value picked.
        QCOMPARE(f.State().PatchIndex, 2);
        QCOMPARE(speaker->currentIndex(), 4);
    }

    void checkBoxesWriteOnMousePress_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("writes");
        QTest::newRow("left click") << QStringLiteral("mouse") << true;
        QTest::newRow("space key") << QStringLiteral("key") << false;
        QTest::newRow("right click") << QStringLiteral("right") << false;
    }

    void checkBoxesWriteOnMousePress() {
        QFETCH(QString, how);
        QFETCH(bool, writes);
        LoadSample();
        ClickRow(f.Lib(), 0); // ALPHA: Drive on, Cab on
        const QByteArray before = f.State().LibraryData;
        QCheckBox* drive = Check("chkDrive");
        QVERIFY(drive->isChecked());
        if (how == QLatin1String("mouse")) {
            QTest::mouseClick(drive, Qt::LeftButton, {}, QPoint(6, drive->height() / 2));
        } else if (how == QLatin1String("key")) {
            drive->setFocus();
            QTest::keyClick(drive, Qt::Key_Space);
            QVERIFY(!drive->isChecked()); // the box toggles, the patch does not change
        } else {
            QTest::mouseClick(drive, Qt::RightButton, {}, QPoint(6, drive->height() / 2));
        }
        QByteArray expected = before;
        if (writes) {
            expected[16] = char(expected[16] & ~0x02);
            QVERIFY(!drive->isChecked());
        }
        QCOMPARE(f.State().LibraryData, expected);
        QCOMPARE(f.State().LibChanged, writes);
        // Bit 0 of byte 17 (the name's last bit) is never touched: the name still reads the same.
        QCOMPARE(Line(f.Lib(), 0), QStringLiteral("01:  ALPHA "));
    }

    void wheelPicksNothing() {
        LoadSample();
        ClickRow(f.Lib(), 1);
        QTest::mouseClick(f.Find(QStringLiteral("optAll")), Qt::LeftButton);
        const QByteArray before = f.State().LibraryData;
        QComboBox* cab = Combo("cbxCabType");
        const QPoint center = cab->rect().center();
        QWheelEvent wheel(center, cab->mapToGlobal(center), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(cab, &wheel);
        QCOMPARE(cab->currentIndex(), 1);
        QCOMPARE(f.State().LibraryData, before);
        QVERIFY(!f.State().LibChanged);
    }

    void unboundControlsChangeNothing() {
        LoadSample();
        ClickRow(f.Lib(), 1);
        const QByteArray before = f.State().LibraryData;
        for (const char* name : {"cbxEqLow", "cbxModType", "cbxTotalLevel", "cbxZNRLevel"}) {
            QComboBox* combo = Combo(name);
            combo->setFocus();
            QTest::keyClick(combo, Qt::Key_Down);
            QVERIFY2(!combo->currentText().isEmpty(), name);
        }
        for (const char* name : {"chkEq", "chkMod", "chkRev", "chkZnr"})
            QTest::mouseClick(Check(name), Qt::LeftButton, {}, QPoint(6, Check(name)->height() / 2));
        QTest::keyClicks(f.Find(QStringLiteral("txtName")), QStringLiteral("XYZ"));
        QCOMPARE(f.State().LibraryData, before);
        QVERIFY(!f.State().LibChanged);
        QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  BRAVO "));
    }

    void descriptionTyping_data() {
        QTest::addColumn<QStringList>("keys"); // "\n" is the Enter key
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("counter");
        QTest::newRow("word") << QStringList{QStringLiteral("Hello")} << QStringLiteral("Hello")
                              << QStringLiteral("5/255");
        QTest::newRow("two lines") << QStringList{QStringLiteral("ab"), QStringLiteral("\n"),
                                                  QStringLiteral("c")}
                                   << QStringLiteral("ab\r\nc") << QStringLiteral("5/255");
        QTest::newRow("255 accepted, 256th refused")
            << QStringList{QString(254, QLatin1Char('x')), QStringLiteral("yz")}
            << QString(254, QLatin1Char('x')) + QLatin1Char('y') << QStringLiteral("255/255");
        QTest::newRow("line break refused at 254")
            << QStringList{QString(254, QLatin1Char('x')), QStringLiteral("\n"), QStringLiteral("q")}
            << QString(254, QLatin1Char('x')) + QLatin1Char('q') << QStringLiteral("255/255");
    }

    void descriptionTyping() {
        QFETCH(QStringList, keys);
        QFETCH(QString, stored);
        QFETCH(QString, counter);
        LoadSample();
        ClickRow(f.Lib(), 2); // its description is empty
        DescriptionBox* box = Description();
        QTest::mouseClick(box->viewport(), Qt::LeftButton);
        QVERIFY(f.State().LibChanged); // a click into the box counts as a change
        for (const QString& key : keys) {
            if (key == QLatin1String("\n"))
                QTest::keyClick(box, Qt::Key_Return);
            else
                QTest::keyClicks(box, key);
        }
        QCOMPARE(f.State().DescArray.at(3), stored);
        QCOMPARE(box->toolTip(), counter);
        QCOMPARE(DescriptionBox::StoredLength(box->toPlainText()), stored.size());
        // The other descriptions are untouched.
        QCOMPARE(f.State().DescArray.at(2), LibDescriptions.at(1));
    }

    void descriptionPasteIsCut() {
        LoadSample();
        ClickRow(f.Lib(), 2);
        DescriptionBox* box = Description();
        box->setFocus();
        QTest::keyClicks(box, QString(250, QLatin1Char('a')));
        QGuiApplication::clipboard()->setText(QStringLiteral("b\nccccc"));
        box->paste();
        // 250 + "b" + a line break (two) = 253, then two more characters fit.
        QCOMPARE(f.State().DescArray.at(3), QString(250, QLatin1Char('a')) + QStringLiteral("b\r\ncc"));
        QCOMPARE(box->toolTip(), QStringLiteral("255/255"));
    }

    void typingWithoutClickStores() {
        LoadSample();
        ClickRow(f.Lib(), 0);
        DescriptionBox* box = Description();
        box->setFocus();
        box->moveCursor(QTextCursor::End);
        QTest::keyClicks(box, QStringLiteral("!"));
        QCOMPARE(f.State().DescArray.at(1), QStringLiteral("first!"));
        QCOMPARE(box->toolTip(), QStringLiteral("6/255"));
        QVERIFY(f.State().LibChanged); // a typed description is a change, clicked into or not
        // Typing for an imported patch stores nothing.
        ImportSample({QStringLiteral("ECHO")});
        ClickRow(f.Patches(), 0);
        QVERIFY(!box->isEnabled());
        QCOMPARE(f.State().DescArray.at(1), QStringLiteral("first!"));
    }

    void closingQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("saveFails");
        QTest::addColumn<bool>("closes");
        QTest::addColumn<bool>("written");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << false << true << true;
        QTest::newRow("No") << int(QMessageBox::No) << false << true << false;
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << false << false << false;
        QTest::newRow("Yes, save fails") << int(QMessageBox::Yes) << true << false << false;
    }

    void closingQuestion() {
        QFETCH(int, answer);
        QFETCH(bool, saveFails);
        QFETCH(bool, closes);
        QFETCH(bool, written);
        QVERIFY(QDir(f.Dir()).mkdir(QStringLiteral("lib")));
        const QString path = f.Path(QStringLiteral("lib/mine.pslib"));
        WriteLibrary(path, Store(LibNames), LibDescriptions);
        f.Choose("mnuFile_LoadLib", path);
        OpenSaveDLG::takeShown();
        const QByteArray original = ReadBytes(path);
        ClickRow(f.Lib(), 0);
        f.Trigger("mnuLibrary_DelSelected");
        QVERIFY(f.State().LibChanged);
        const QByteArray changed = f.State().LibraryData;
        if (saveFails) {
            // The library's folder is gone and a file stands in its place: nothing can be written.
            QVERIFY(QDir(f.Path(QStringLiteral("lib"))).removeRecursively());
            WriteBytes(f.Path(QStringLiteral("lib")), "not a folder");
        }

        MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        f.window->close();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown.first().text, QStringLiteral("Do you like to save now?"));
        QCOMPARE(shown.first().title, QStringLiteral("Library not saved"));
        QCOMPARE(shown.first().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(shown.first().icon, QMessageBox::NoIcon);
        QCOMPARE(shown.size(), saveFails ? 2 : 1); // a failed save says why
        QCOMPARE(f.window->isVisible(), !closes);
        if (!saveFails)
            QCOMPARE(ReadBytes(path), written ? LibraryBytes(changed) : original);
        if (!closes) {
            QVERIFY(f.State().LibChanged);
            QCOMPARE(f.State().LibraryData, changed);
        }
    }

    void closingClosesSplashAndHelp() {
        WriteBytes(f.Path(QStringLiteral("Quillbox.hlp")), "Some help.\n");
        f.Trigger("mnuHelp_About");
        f.Trigger("mnuHelp_Help");
        QPointer<QWidget> splash = f.window->Splash();
        QPointer<QWidget> help = f.window->Help();
        QVERIFY(splash && splash->isVisible());
        QVERIFY(help && help->isVisible());
        f.Trigger("mnuFile_Exit");
        QVERIFY(!f.window->isVisible());
        QVERIFY(splash.isNull() || !splash->isVisible());
        QVERIFY(help.isNull() || !help->isVisible());
    }

    void panelDisabledWhenNothingEditable_data() {
        QTest::addColumn<QString>("command");
        QTest::newRow("Delete ALL") << QStringLiteral("mnuLibrary_DelAll");
        QTest::newRow("delete the last entry") << QStringLiteral("deleteOnly");
        QTest::newRow("load another library") << QStringLiteral("load");
    }

    void panelDisabledWhenNothingEditable() {
        QFETCH(QString, command);
        if (command == QLatin1String("deleteOnly")) {
            const QString path = f.Path(QStringLiteral("one.pslib"));
            WriteLibrary(path, Store({QStringLiteral("SOLO")}), {QStringLiteral("only one")});
            f.Choose("mnuFile_LoadLib", path);
            OpenSaveDLG::takeShown();
        } else {
            LoadSample();
        }
        ClickRow(f.Lib(), 0);
        QVERIFY(Combo("cbxCabType")->isEnabled());
        if (command == QLatin1String("load")) {
            const QString other = f.Path(QStringLiteral("other.pslib"));
            WriteLibrary(other, Store({QStringLiteral("OTHER")}));
            f.Choose("mnuFile_LoadLib", other);
            OpenSaveDLG::takeShown();
        } else if (command == QLatin1String("deleteOnly")) {
            f.Trigger("mnuLibrary_DelSelected");
        } else {
            f.Trigger(command.toLatin1().constData());
        }
        for (const QString& name : DetailControls)
            QVERIFY2(!f.Find(name)->isEnabled(), qPrintable(name));
        QVERIFY(Description()->toPlainText().isEmpty());
        // A pick in the (disabled) panel could not change anything either.
        const QByteArray data = f.State().LibraryData;
        f.window->Controller().CabTypePicked(3);
        QCOMPARE(f.State().LibraryData, data);
    }

    void deleteShowsTheNextDescription() {
        LoadSample();
        ClickRow(f.Lib(), 0);
        f.Trigger("mnuLibrary_DelSelected");
        QCOMPARE(SelectedRow(f.Lib()), 0);
        QCOMPARE(Line(f.Lib(), 0), QStringLiteral("01:  BRAVO "));
        QCOMPARE(Description()->toPlainText(), QStringLiteral("second\nline"));
        // Typing now changes BRAVO's description, the one on screen.
        Description()->setFocus();
        Description()->moveCursor(QTextCursor::End);
        QTest::keyClicks(Description(), QStringLiteral("!"));
        QCOMPARE(f.State().DescArray.at(1), QStringLiteral("second\r\nline!"));
    }

    void replaceShowsTheNewImage() {
        LoadSample();
        ImportSample({QStringLiteral("ECHO"), QStringLiteral("FOXTRT"), QStringLiteral("GOLF"),
                      QStringLiteral("HOTEL"), QStringLiteral("INDIA")});
        ClickRow(f.Patches(), 4); // fields 4, 4, 4
        ClickRow(f.Lib(), 1);     // fields 1, 1, 1
        QCOMPARE(Combo("cbxCabType")->currentIndex(), 1);
        f.Trigger("mnuPatch_Replace");
        QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  INDIA "));
        QCOMPARE(Combo("cbxDriveType")->currentIndex(), 4);
        QCOMPARE(Combo("cbxCabType")->currentIndex(), 4);
        QCOMPARE(Combo("cbxCabSpeaker")->currentIndex(), 4);
    }

    void refill100000Lines() {
        // How long a refill of a 100,000-line library takes; the numbers are printed, not judged.
        QByteArray store;
        store.reserve(100000 * PatchImageSize);
        const QByteArray image = MakeImage(QStringLiteral("BIG"));
        for (int i = 0; i < 100000; ++i)
            store += image;
        const QString path = f.Path(QStringLiteral("big.pslib"));
        WriteLibrary(path, store);
        f.Choose("mnuFile_LoadLib", path);
        OpenSaveDLG::takeShown();
        QCOMPARE(f.Lib()->model()->rowCount(), 100000);
        QCOMPARE(Line(f.Lib(), 99999), QStringLiteral("100000:  BIG   "));
        QBENCHMARK {
            f.window->RefillList(ListId::Library);
            QCoreApplication::processEvents();
        }
        f.Lib()->scrollToBottom();
        ClickRow(f.Lib(), 99999);
        QCOMPARE(f.State().LibSelection, 99999);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
