// The main window's two lists, its details panel and its description box: selecting, renaming,
// finding, dragging, the bound controls, tags and twin marks.

#include "FieldMap.h"
#include "PatchListModel.h"
#include "PatchName.h"
#include "ValueTables.h"
#include "WindowFixture.h"
#include "WindowSettings.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QRadioButton>
#include <QScrollBar>
#include <QWheelEvent>
#include <cstdio>

using namespace quillbox;
using namespace quillbox::test;

class TestMainWindowLists : public WindowFixture {
    Q_OBJECT

    static int SelectedRow(const QAbstractItemView* view) { // -1 for none
        return view->selectionModel()->selectedIndexes().value(0).row();
    }

private Q_SLOTS:
    // Shift and Ctrl with the mouse ("s2", "t2"; "c2" a plain click), Shift with the arrow keys and
    // Ctrl+A select several library lines; the panel shows the line last clicked or moved to (or the
    // selected one before it). Delete then deletes them all as one step.
    void selectMany_data() {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("rows");
        QTest::addColumn<int>("shown");
        QTest::newRow("Shift+click") << L("c1 s3") << QList<int>{1, 2, 3} << 3;
        QTest::newRow("Ctrl+click") << L("c0 t2 t3 t2") << QList<int>{0, 3} << 0;
        QTest::newRow("Ctrl+click the only line") << L("c2 t2") << QList<int>{2} << 2;
        QTest::newRow("Shift+Down") << L("c0 Shift+Down Shift+Down") << QList<int>{0, 1, 2} << 2;
        QTest::newRow("Ctrl+A") << L("c1 Ctrl+A") << QList<int>{0, 1, 2, 3} << 1;
        QTest::newRow("click below the last line") << L("c1 c9") << QList<int>{1} << 1;
        // A screen reader or switch access selects through the accessibility interfaces (a1: select
        // line 1, u1: unselect it); m2 selects line 2 through the view's selection model.
        QTest::newRow("accessibility: another line") << L("c1 u1 a3") << QList<int>{3} << 3;
        QTest::newRow("accessibility: one more line") << L("c1 a3") << QList<int>{1, 3} << 1;
        QTest::newRow("accessibility: the last one left") << L("c0 t2 u0") << QList<int>{2} << 2;
        QTest::newRow("selection model") << L("c1 m2") << QList<int>{2} << 2;
    }
    void selectMany() {
        QFETCH(QString, script);
        QFETCH(QList<int>, rows);
        QFETCH(int, shown);
        LoadLibrary(Names);
        Lib()->setFocus();
        for (const QString& step : script.split(QLatin1Char(' '))) {
            const Qt::KeyboardModifiers modifiers = step[0] == u's'   ? Qt::ShiftModifier
                                                    : step[0] == u't' ? Qt::ControlModifier
                                                                      : Qt::NoModifier;
            QAccessibleTableInterface* table = QAccessible::queryAccessibleInterface(Lib())->tableInterface();
            if (step[0] == u'a' || step[0] == u'u')
                QVERIFY(step[0] == u'a' ? table->selectRow(step.mid(1).toInt())
                                        : table->unselectRow(step.mid(1).toInt()));
            else if (step[0] == u'm')
                Lib()->selectionModel()->select(Lib()->model()->index(step.mid(1).toInt(), 0),
                                                QItemSelectionModel::ClearAndSelect);
            else if (step == L("c9")) // below the last line
                QTest::mouseClick(Lib()->viewport(), Qt::LeftButton, {},
                                  Lib()->visualRect(Lib()->model()->index(3, 0)).bottomLeft() + QPoint(4, 8));
            else if (step.size() == 2)
                Click(Lib(), step.mid(1).toInt(), Qt::LeftButton, false, modifiers);
            else
                QTest::keySequence(Lib(), QKeySequence(step));
        }
        QCOMPARE(Lib()->SelectedRows(), rows);
        QList<qsizetype> entries(rows.begin(), rows.end());
        QCOMPARE(window->Controller().Selection(ListId::Library), entries);
        QCOMPARE(State().PatchIndex, shown);
        QCOMPARE(Description()->Text(), State().DescArray.value(shown + 1));
        QTest::keyClick(Lib(), Qt::Key_Delete);
        QCOMPARE(Lib()->model()->rowCount(), Names.size() - rows.size());
        Trigger("mnuEdit_Undo");
        QCOMPARE(Lib()->model()->rowCount(), Names.size());
        QCOMPARE(Lib()->SelectedRows(), rows);
    }

    // Many scattered lines selected, deleted and brought back by Undo: the same lines, selected in
    // the list and the controller, the same current line and scroll position, and the list draws
    // exactly the selected lines highlighted, also after one is taken out. Lines in runs
    // of `run`, every `step` lines, from line `first`.
    void undoManyScatteredLines_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("run");
        QTest::newRow("every second of 400") << 400 << 0 << 2 << 1;
        QTest::newRow("pairs every fifth of 600") << 600 << 3 << 5 << 2;
        QTest::newRow("every second of 60 (few ranges)") << 60 << 1 << 2 << 1;
    }
    void undoManyScatteredLines() {
        QFETCH(int, count);
        QFETCH(int, first);
        QFETCH(int, step);
        QFETCH(int, run);
        QStringList names;
        for (int i = 0; i < count; ++i)
            names.append(L("P") + QString::number(i));
        LoadLibrary(names);
        QList<qsizetype> entries;
        for (int k = first; k < count; k += step) {
            for (int r = k; r < std::min(count, k + run); ++r)
                entries.append(r);
        }
        const qsizetype current = entries.at(entries.size() / 2);
        window->Panes().SelectListLines(ListId::Library, entries, current);
        window->Controller().LibrarySelected(entries, current);
        // Which lines the list draws highlighted: a point of each line on screen, right of its text.
        const QColor highlight = Lib()->palette().color(QPalette::Active, QPalette::Highlight);
        auto highlighted = [this, highlight] {
            const QImage image = Lib()->viewport()->grab().toImage();
            QList<int> shown;
            for (int row = 0; row < Lib()->model()->rowCount(); ++row) {
                const QRect line = Lib()->visualRect(Lib()->model()->index(row, 0));
                if (!Lib()->viewport()->rect().contains(line))
                    continue;
                const QPoint at(line.right() - 2, line.center().y());
                if (image.pixelColor(at * image.devicePixelRatio()) == highlight)
                    shown.append(row);
            }
            return shown;
        };
        auto selectedOnScreen = [this](const QList<int>& selected) {
            QList<int> shown;
            for (const int row : selected) {
                if (Lib()->viewport()->rect().contains(Lib()->visualRect(Lib()->model()->index(row, 0))))
                    shown.append(row);
            }
            return shown;
        };
        const int scrolled = Lib()->verticalScrollBar()->value();
        QTest::keyClick(Lib(), Qt::Key_Delete);
        QCOMPARE(Lib()->model()->rowCount(), count - entries.size());
        QCOMPARE(highlighted(), selectedOnScreen(Lib()->SelectedRows()));
        Trigger("mnuEdit_Undo");
        const QList<int> rows(entries.begin(), entries.end());
        QCOMPARE(Lib()->model()->rowCount(), count);
        QCOMPARE(Lib()->SelectedRows(), rows);
        QCOMPARE(window->Controller().Selection(ListId::Library), entries);
        QCOMPARE(Lib()->currentIndex().row(), int(current));
        QCOMPARE(Lib()->verticalScrollBar()->value(), scrolled);

        QVERIFY(selectedOnScreen(rows).size() > 2);
        QCOMPARE(highlighted(), selectedOnScreen(rows));
        // A line taken out of the selection (here through the selection model, as a screen reader
        // does) is drawn so at once.
        const int out = rows.at(rows.indexOf(int(current)) - 1);
        QVERIFY(Lib()->viewport()->rect().contains(Lib()->visualRect(Lib()->model()->index(out, 0))));
        QList<int> fewer = rows;
        fewer.removeOne(out);
        Lib()->selectionModel()->select(Lib()->model()->index(out, 0), QItemSelectionModel::Deselect);
        QCOMPARE(Lib()->SelectedRows(), fewer);
        QCOMPARE(window->Controller().Selection(ListId::Library),
                 QList<qsizetype>(fewer.begin(), fewer.end()));
        QCOMPARE(highlighted(), selectedOnScreen(fewer));
    }

    // A double click on a patch copies it after the library's selected entry; Enter in the patches
    // list copies every selected patch there, in list order.
    void copyFromThePatchesList_data() {
        QTest::addColumn<bool>("enter");
        QTest::addColumn<QString>("lines"); // library lines 2 to 4 afterwards
        QTest::newRow("double click") << false << L("02:  FOXTRT|03:  BRAVO |04:  CHARLY");
        QTest::newRow("Enter on two") << true << L("02:  FOXTRT|03:  GOLF  |04:  BRAVO ");
    }
    void copyFromThePatchesList() {
        QFETCH(bool, enter);
        QFETCH(QString, lines);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        Click(Lib(), 0);
        if (enter) {
            Click(Patches(), 2);
            Click(Patches(), 1, Qt::LeftButton, false, Qt::ControlModifier);
            QTest::keyClick(Patches(), Qt::Key_Return);
        } else {
            Click(Patches(), 1, Qt::LeftButton, true);
        }
        QCOMPARE(Line(Lib(), 1) + L("|") + Line(Lib(), 2) + L("|") + Line(Lib(), 3), lines);
        QCOMPARE(Lib()->toolTip(), enter ? L("6 Patches") : L("5 Patches"));
        QVERIFY(State().LibChanged);
    }

    // F2, the menu item or a double click on the selected line edits its name in the line. Lower
    // case shows as upper case; a character the device lacks, or a seventh, is refused as it is
    // typed, with the reason in the status line; Enter renames (one undo step), Esc keeps the name.
    void renameInPlace_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("editor"); // the editor's text after typing
        QTest::addColumn<QString>("status"); // the status line after typing; empty: not checked
        QTest::addColumn<bool>("enter");     // Enter, else Esc
        QTest::addColumn<QString>("line");   // line 2 afterwards
        QTest::newRow("F2") << L("F2") << L("crunch") << L("CRUNCH") << L("") << true << L("02:  CRUNCH");
        QTest::newRow("menu, a refused sign")
            << L("menu") << L("ab_") << L("AB")
            << L("A patch name cannot hold \"_\"; allowed are A-Z, 0-9, the blank and ' < > * + - / [ = ] @")
            << true << L("02:  AB    ");
        QTest::newRow("double click, seven")
            << L("double click") << L("abcdefg") << L("ABCDEF")
            << L("A patch name has at most 6 characters: \"ABCDEFG\" has 7") << true << L("02:  ABCDEF");
        QTest::newRow("Esc") << L("F2") << L("xy") << L("XY") << L("") << false << L("02:  BRAVO ");
    }
    void renameInPlace() {
        // The editor covers the name only: the line's number stays in view beside it.
        const auto numberStays = [this](const QLineEdit* edit) {
            const QRect line = Lib()->visualRect(Lib()->model()->index(1, 0));
            QStyleOptionViewItem option;
            option.initFrom(Lib());
            option.rect = line;
            option.features |= QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
            option.decorationSize = Lib()->iconSize();
            option.text = Line(Lib(), 1);
            const QRect text = Lib()->style()->subElementRect(QStyle::SE_ItemViewItemText, &option, Lib());
            const int left = Lib()->viewport()->mapFrom(edit->parentWidget(), edit->geometry().topLeft()).x();
            return left >= text.left() + Lib()->fontMetrics().horizontalAdvance(L("02:"));
        };
        QFETCH(QString, how);
        QFETCH(QString, typed);
        QFETCH(QString, editor);
        QFETCH(QString, status);
        QFETCH(bool, enter);
        QFETCH(QString, line);
        LoadLibrary(Names);
        Click(Lib(), 1);
        const QString nameBox = Find<QLineEdit>("txtName")->text();
        if (how == L("F2"))
            QTest::keyClick(Lib(), Qt::Key_F2);
        else if (how == L("menu"))
            Trigger("mnuLibrary_Rename");
        else
            Click(Lib(), 1, Qt::LeftButton, true);
        // The editor is deleted once Enter or Esc has been handled.
        const QPointer<QLineEdit> edit = Find<QLineEdit>("txtRename");
        QVERIFY(edit && edit->isVisible() && edit->hasFocus());
        QCOMPARE(edit->text(), L("BRAVO"));
        QVERIFY(numberStays(edit));
        // A reader hears what is being renamed, and finds the editor in the window's tree.
        QCOMPARE(edit->accessibleName(), L("New name for 02: BRAVO"));
        bool inTree = false;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            inTree = inTree || (node && node->object() == edit.data());
            for (int i = 0; node && !inTree && i < node->childCount(); ++i)
                walk(node->child(i));
        };
        walk(QAccessible::queryAccessibleInterface(window.get()));
        QVERIFY(inTree);
        QTest::keyClicks(edit, typed);
        QCOMPARE(edit->text(), editor);
        if (!status.isEmpty())
            QCOMPARE(Find<QLabel>("lblStatus")->text(), status);
        QTest::keyClick(edit, enter ? Qt::Key_Return : Qt::Key_Escape);
        QTRY_VERIFY(!edit || !edit->isVisible()); // Enter commits once the key has been handled
        QCOMPARE(Line(Lib(), 1), line);
        QCOMPARE(SelectedRow(Lib()), 1);
        QCOMPARE(State().LibChanged, enter);
        QCOMPARE(Find<QLineEdit>("txtName")->text(), nameBox);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->isEnabled(), enter); // one step, its texts: history tests
    }

    // Ctrl+F opens the find field over the list with the focus (else the library's). The list shows
    // the matching lines with their own positions; clicks and commands act on those entries, a moved
    // entry stays in view, a selected entry the find hides is no longer selected, and Esc shows
    // every line again with the selection kept.
    void findField() {
        LoadLibrary(Names);
        auto* find = Find<QLineEdit>("txtFindLib");
        auto* findPatches = Find<QLineEdit>("txtFindPatches");
        auto lines = [this] {
            QStringList shown;
            for (int row = 0; row < Lib()->model()->rowCount(); ++row)
                shown.append(Line(Lib(), row));
            return shown.join(L("|"));
        };
        Lib()->setFocus();
        QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(find->isVisible() && find->hasFocus() && !findPatches->isVisible());
        QTest::keyClicks(find, L("ha"));
        QCOMPARE(lines(), L("01:  ALPHA |03:  CHARLY"));
        // With no line selected, the first Down from the field lands on the first line found.
        QTest::keyClick(find, Qt::Key_Down);
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(0, 0));
        Click(Lib(), 1);
        QCOMPARE(State().LibSelection, 2);
        Trigger("mnuLibrary_MoveUp"); // in the library's order, past BRAVO
        QCOMPARE(State().LibraryData, Store(Names).left(18) + Store(Names).mid(36, 18) +
                                          Store(Names).mid(18, 18) + Store(Names).mid(54));
        QCOMPARE(lines(), L("01:  ALPHA |02:  CHARLY"));
        QCOMPARE(SelectedRow(Lib()), 1);
        find->selectAll();
        QTest::keyClicks(find, L("01"));
        QCOMPARE(lines(), L("01:  ALPHA "));
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(-1, -1));
        Click(Lib(), 0);
        Trigger("mnuLibrary_MoveDown"); // ALPHA no longer says 01, yet stays in view
        QCOMPARE(lines(), L("01:  CHARLY|02:  ALPHA "));
        QCOMPARE(QPoint(SelectedRow(Lib()), int(State().LibSelection)), QPoint(1, 1));
        QTest::keyClick(find, Qt::Key_Escape);
        QVERIFY(!find->isVisible() && Lib()->hasFocus());
        QCOMPARE(lines(), L("01:  CHARLY|02:  ALPHA |03:  BRAVO |04:  DELTA "));
        QCOMPARE(SelectedRow(Lib()), 1);

        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        Patches()->setFocus();
        QTest::keyClick(Patches(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(findPatches->isVisible() && findPatches->hasFocus() && !find->isVisible());
        QTest::keyClicks(findPatches, L("golf"));
        QCOMPARE(Patches()->model()->rowCount(), 1);
        QCOMPARE(Line(Patches(), 0), L("03:  GOLF  "));
    }

    // The list's model gives a line's index as Qt's list model would (the view asks for every line
    // when it lays out the list), for every line and for the lines a find leaves.
    void listModelIndexes_data() {
        QTest::addColumn<QString>("find");
        QTest::newRow("every line") << QString();
        QTest::newRow("a find shows two") << L("ha");
    }
    void listModelIndexes() {
        QFETCH(QString, find);
        LoadLibrary(Names);
        if (!find.isEmpty()) {
            Lib()->setFocus();
            QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(Find<QLineEdit>("txtFindLib"), find);
        }
        const auto* model = qobject_cast<const PatchListModel*>(Lib()->model());
        const int rows = model->rowCount();
        QCOMPARE(rows, find.isEmpty() ? int(Names.size()) : 2);
        for (const QModelIndex& parent : {QModelIndex(), model->index(0, 0)})
            for (const int row : {-1, 0, rows - 1, rows})
                for (const int column : {-1, 0, 1})
                    QCOMPARE(model->index(row, column, parent),
                             model->QAbstractListModel::index(row, column, parent));
    }

    // Typing letters in a list jumps to the next line whose name starts with them (as a click);
    // the same letter again goes on to the next such name; the numbers are not looked at.
    void typingJumpsByName_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("row"); // -1: none selected
        QTest::newRow("a first letter") << L("c") << 2;
        QTest::newRow("letters of one name") << L("de") << 3;
        QTest::newRow("the same letter again") << L("dd") << 4;
        QTest::newRow("a number") << L("0") << -1;
    }
    void typingJumpsByName() {
        QFETCH(QString, typed);
        QFETCH(int, row);
        LoadLibrary(Names + QStringList{L("DEMO")});
        Lib()->setFocus();
        QTest::keyClicks(Lib(), typed);
        QCOMPARE(SelectedRow(Lib()), row);
        QCOMPARE(State().LibSelection, row);
    }

    // Lines dragged within the library move to where they are dropped, lines dragged from the
    // patches list are copied there; each drop is one step. The drop goes through the library
    // list's drag events and the models' mimeData/dropMimeData, as a real drag does.
    void dropSeveralLines_data() {
        QTest::addColumn<bool>("fromLibrary");
        QTest::addColumn<QList<int>>("lines");
        QTest::addColumn<int>("target"); // dropped on the upper half of this line; 4: below the last
        QTest::addColumn<QString>("names");
        QTest::newRow("down to the end") << true << QList<int>{0, 2} << 4 << L("BRAVO DELTA ALPHA CHARLY");
        QTest::newRow("one up") << true << QList<int>{3} << 1 << L("ALPHA DELTA BRAVO CHARLY");
        QTest::newRow("onto itself") << true << QList<int>{1, 2} << 2 << L("ALPHA BRAVO CHARLY DELTA");
        QTest::newRow("patches copied")
            << false << QList<int>{2, 0} << 1 << L("ALPHA ECHO GOLF BRAVO CHARLY DELTA");
    }
    void dropSeveralLines() {
        QFETCH(bool, fromLibrary);
        QFETCH(QList<int>, lines);
        QFETCH(int, target);
        QFETCH(QString, names);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        PatchListView* source = fromLibrary ? Lib() : Patches();
        QModelIndexList indexes;
        for (const int line : lines) {
            Click(source, line, Qt::LeftButton, false,
                  indexes.isEmpty() ? Qt::NoModifier : Qt::ControlModifier);
            indexes.append(source->model()->index(line, 0));
        }
        const std::unique_ptr<QMimeData> data(source->model()->mimeData(indexes));
        const QRect last = Lib()->visualRect(Lib()->model()->index(3, 0));
        const QPoint at = target < 4
                              ? Lib()->visualRect(Lib()->model()->index(target, 0)).topLeft() + QPoint(4, 2)
                              : QPoint(4, last.bottom() + 4);
        const Qt::DropActions actions = source->model()->supportedDragActions();
        QDragEnterEvent enter(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &enter);
        QDragMoveEvent move(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &move);
        QVERIFY(enter.isAccepted() && move.isAccepted());
        QCOMPARE(move.dropAction(), fromLibrary ? Qt::MoveAction : Qt::CopyAction);
        QDropEvent drop(at, actions, data.get(), Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &drop);
        QStringList shown;
        for (int row = 0; row < Lib()->model()->rowCount(); ++row)
            shown.append(Line(Lib(), row).mid(5).trimmed());
        QCOMPARE(shown.join(QLatin1Char(' ')), names);
        // A drop is one step (its status and undo: history tests, steps).
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->isEnabled(), names != Names.join(QLatin1Char(' ')));
        // Data that no list of this window made is refused.
        QMimeData foreign;
        foreign.setData(data->formats().value(0), "junk");
        QDragEnterEvent strange(at, Qt::MoveAction | Qt::CopyAction, &foreign, Qt::LeftButton, {});
        QApplication::sendEvent(Lib()->viewport(), &strange);
        QVERIFY(!strange.isAccepted());
    }

    void rightClickKeepsSelection_data() {
        QTest::addColumn<bool>("onLibrary");
        QTest::newRow("library") << true;
        QTest::newRow("patches") << false;
    }

    void rightClickKeepsSelection() {
        QFETCH(bool, onLibrary);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT"), L("GOLF")});
        for (PatchListView* list : {Patches(), Lib()}) { // lines 0 and 1 of each, 1 clicked last
            Click(list, 0);
            Click(list, 1, Qt::LeftButton, false, Qt::ShiftModifier);
        }
        const QByteArray shown = State().CurrentPatch.Bytes();
        auto* menu = Find<QMenu>(onLibrary ? "mnuLibrary" : "mnuPatch");
        Click(onLibrary ? Lib() : Patches(), 2, Qt::RightButton);
        QTRY_VERIFY(menu->isVisible());
        menu->close();
        QCOMPARE(Lib()->SelectedRows(), (QList<int>{0, 1}));
        QCOMPARE(Patches()->SelectedRows(), (QList<int>{0, 1}));
        QCOMPARE(QPoint(int(State().LibSelection), int(State().PatchesSelection)), QPoint(1, 1));
        QCOMPARE(State().CurrentPatch.Bytes(), shown);
        // The menu's commands act on the selections as they stand.
        Trigger(onLibrary ? "mnuLibrary_MoveDown" : "mnuPatch_Copy");
        QCOMPARE(Line(Lib(), 2) + Line(Lib(), 3),
                 onLibrary ? L("03:  BRAVO 04:  DELTA ") : L("03:  ECHO  04:  FOXTRT"));
    }

    void changeAllEdit_data() {
        QTest::addColumn<bool>("all");
        QTest::newRow("Change  All") << true;
        QTest::newRow("Change  Selected") << false;
    }

    void changeAllEdit() {
        QFETCH(bool, all);
        LoadLibrary(Names);
        Click(Lib(), 2);
        if (all)
            QTest::mouseClick(Find("optAll"), Qt::LeftButton);
        auto* speaker = Find<QComboBox>("cbxCabSpeaker");
        speaker->setFocus();
        QTest::keyClick(speaker, Qt::Key_Down); // entry 2 to entry 3
        QCOMPARE(speaker->currentText(), L("Stack 4*10\""));
        QVERIFY(State().LibChanged);
        for (int i = 0; i < Names.size(); ++i) // which bits an edit writes: library tests, boundHandlers
            QCOMPARE(CabSpeakerValue(PatchImage::FromStore(State().LibraryData, i)),
                     all || i == 2 ? 3 : i % 7);
        QCOMPARE(State().PatchIndex, 2);
    }

    void checkBoxWritesOnPress_data() {
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("how"); // a mouse button, or 0 for the space key
        QTest::addColumn<bool>("writes");
        QTest::newRow("Drive left click") << L("chkDrive") << int(Qt::LeftButton) << true;
        QTest::newRow("Drive right click") << L("chkDrive") << int(Qt::RightButton) << false;
        QTest::newRow("Drive space key") << L("chkDrive") << 0 << true;
        QTest::newRow("Cab space key") << L("chkCab") << 0 << true;
    }

    // The keyboard toggles a bound box and writes exactly as the left button's press does.
    void checkBoxWritesOnPress() {
        QFETCH(QString, box);
        QFETCH(int, how);
        QFETCH(bool, writes);
        LoadLibrary(Names);
        Click(Lib(), 0); // Drive on, Cab on
        QByteArray expected = State().LibraryData;
        auto* check = window->findChild<QCheckBox*>(box);
        QVERIFY(check->isChecked());
        if (how == 0) {
            check->setFocus();
            QTest::keyClick(check, Qt::Key_Space);
        } else {
            QTest::mouseClick(check, Qt::MouseButton(how), {}, QPoint(6, check->height() / 2));
        }
        if (writes) // byte 17 bit 1 (Drive) or 2 (Cab)
            expected[16] = char(expected[16] & ~(box == L("chkDrive") ? 0x02 : 0x04));
        QCOMPARE(State().LibraryData, expected);
        QCOMPARE(State().LibChanged, writes);
        QCOMPARE(check->isChecked(), !writes); // the box shows what is stored
    }

    void dropDownListsTakeNoText_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("cabType"); // stored afterwards; entry 1 is shown before
        QTest::newRow("first letters") << L("St") << 3;
        QTest::newRow("no entry after the first letter") << L("Foo") << 2;
        QTest::newRow("no entry") << L("xyz") << 1;
    }

    // Typing picks an entry, which is stored, or nothing: the list never shows what is not stored.
    void dropDownListsTakeNoText() {
        QFETCH(QString, typed);
        QFETCH(int, cabType);
        LoadLibrary(Names);
        Click(Lib(), 1); // cab type 1
        for (const ParameterTableInfo& table : ParameterTables())
            QVERIFY2(!Find<QComboBox>(table.objectName.toUtf8().constData())->isEditable(),
                     qPrintable(table.objectName));
        auto* cab = Find<QComboBox>("cbxCabType");
        cab->setFocus();
        QTest::keyClicks(cab, typed);
        QCOMPARE(CabTypeValue(PatchImage(State().LibraryData.mid(18, 18))), cabType);
        QCOMPARE(cab->currentIndex(), cabType);
        QCOMPARE(State().LibChanged, cabType != 1);
    }

    void unboundControlsChangeNothing() {
        LoadLibrary(Names);
        Click(Lib(), 1);
        const QByteArray before = State().LibraryData;
        for (const char* name : {"cbxEqLow", "cbxModType", "cbxTotalLevel"}) {
            Find(name)->setFocus();
            QTest::keyClick(Find(name), Qt::Key_Down);
            QVERIFY2(!Find<QComboBox>(name)->currentText().isEmpty(), name);
        }
        for (const char* name : {"chkEq", "chkRev"})
            QTest::mouseClick(Find(name), Qt::LeftButton, {}, QPoint(6, Find(name)->height() / 2));
        // The name box takes no typing (it would store nothing) and says where names are changed.
        QTest::keyClicks(Find("txtName"), L("XYZ"));
        QCOMPARE(Find<QLineEdit>("txtName")->text(), L("Patch Name"));
        QVERIFY(Find("txtName")->toolTip().contains(L("Library > Rename\u2026 (F2)")));
        QCOMPARE(Find("txtName")->accessibleDescription(), Find("txtName")->toolTip());
        // Nor does the wheel over a bound list: entries are picked deliberately only.
        QWheelEvent wheel({5, 5}, {5, 5}, {}, {0, -120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Find("cbxCabType"), &wheel);
        QCOMPARE(State().LibraryData, before);
        QVERIFY(!State().LibChanged);
        // Read-only, the name box still shows what the program puts into it.
        Trigger("mnuLibrary_Rnd");
        QCOMPARE(Find<QLineEdit>("txtName")->text(), L("RND2"));
    }

    // "Select Duplicates" takes the focus to the library list wherever it was, so that the Delete
    // key removes the selected duplicates.
    void selectDuplicatesThenDelete_data() {
        QTest::addColumn<QString>("focus");
        QTest::newRow("patches list") << L("lstPatches");
        QTest::newRow("library list") << L("lstLib");
    }

    void selectDuplicatesThenDelete() {
        QFETCH(QString, focus);
        const QByteArray store = Store(Names) + Store(Names).left(2 * PatchImageSize);
        WriteBytes(Path(L("dups.pslib")), LibraryFileBytes(store));
        Choose("mnuFile_LoadLib", Path(L("dups.pslib")));
        Import({L("ECHO"), L("FOXTRT")});
        Click(Lib(), 0);
        Click(Patches(), 1);
        Find(focus.toLatin1().constData())->setFocus();
        QVERIFY(Find(focus.toLatin1().constData())->hasFocus());
        Trigger("mnuLibrary_SelectDuplicates");
        QVERIFY(Lib()->hasFocus());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QCOMPARE(State().LibraryData, Store(Names));
    }

    void descriptionTyping_data() {
        QTest::addColumn<QString>("typed"); // "\r" is the Enter key
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("stored");
        const QString x(254, QLatin1Char('x'));
        QTest::newRow("two lines") << L("ab\rc") << L("") << L("ab\r\nc");
        QTest::newRow("256th refused") << x + L("yz") << L("") << x + L("y");
        QTest::newRow("break at 254 refused") << x + L("\rq") << L("") << x + L("q");
        QTest::newRow("paste cut") << x.left(250) << L("b\nccc") << x.left(250) + L("b\r\ncc");
    }

    void descriptionTyping() {
        QFETCH(QString, typed);
        QFETCH(QString, pasted);
        QFETCH(QString, stored);
        LoadLibrary(Names);
        Click(Lib(), 2); // its description is empty
        QTest::mouseClick(Description()->viewport(), Qt::LeftButton);
        QTest::keyClicks(Description(), typed);
        QGuiApplication::clipboard()->setText(pasted);
        Description()->paste();
        QCOMPARE(State().DescArray.mid(2, 2), (QStringList{L("second\r\nline"), stored}));
        QCOMPARE(Description()->toolTip(), QString::number(stored.size()) + L("/255"));
        QVERIFY(State().LibChanged);
    }

    // Typing a tag in the description box offers the known ones that start so; Enter takes one.
    void tagCompletion_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("offered");
        QTest::addColumn<QString>("stored"); // after Enter (or the typing alone, with nothing offered)
        QTest::newRow("prefix") << L("x #G") << QStringList{L("#gig"), L("#gig-2")} << L("x #gig");
        QTest::newRow("inside a word") << L("a#g") << QStringList{} << L("a#g");
        QTest::newRow("unknown") << L("#zz") << QStringList{} << L("#zz");
    }
    void tagCompletion() {
        QFETCH(QString, typed);
        QFETCH(QStringList, offered);
        QFETCH(QString, stored);
        LoadLibrary(Names);
        Click(Lib(), 0);
        Description()->selectAll();
        QTest::keyClicks(Description(), L("warm #gig #gig-2"));
        Click(Lib(), 1);
        Description()->selectAll();
        QTest::keyClicks(Description(), typed);
        QCompleter* completer = Description()->TagCompleter();
        QStringList shown;
        for (int row = 0; completer->popup()->isVisible() && row < completer->completionModel()->rowCount();
             ++row)
            shown.append(completer->completionModel()->index(row, 0).data().toString());
        QCOMPARE(shown, offered);
        if (!offered.isEmpty())
            QTest::keyClick(completer->popup(), Qt::Key_Return);
        QCOMPARE(State().DescArray.value(2), stored);
    }

    // Without an entry the user sees selected the panel and the box are disabled and empty. Which
    // commands leave none: library tests, script.
    void panelDisabledWithoutEditableEntry_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Delete ALL") << L("delete all");
        QTest::newRow("find hides the entry") << L("find");
        QTest::newRow("import again") << L("import");
    }
    void panelDisabledWithoutEditableEntry() {
        QFETCH(QString, how);
        LoadLibrary(Names);
        Click(Lib(), 1);
        QVERIFY(Find("cbxCabType")->isEnabled() && !Description()->toPlainText().isEmpty());
        if (how == L("delete all")) {
            Trigger("mnuLibrary_DelAll");
        } else if (how == L("find")) {
            Lib()->setFocus();
            QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
            QTest::keyClicks(Find("txtFindLib"), L("01")); // hides 02:  BRAVO
        } else {
            Import({L("ECHO"), L("FOXTRT")});
            Click(Patches(), 1);
            QCOMPARE(Find<QComboBox>("cbxCabType")->currentIndex(), 1);
            Import({L("GOLF")});
        }
        for (const char* name : {"cbxCabType", "chkDrive", "txtName", "txtDescription"})
            QVERIFY2(!Find(name)->isEnabled(), name);
        QCOMPARE(Description()->toPlainText(), QString());
        for (const char* name : {"cbxDriveType", "cbxCabType", "cbxCabSpeaker"})
            QVERIFY2(Find<QComboBox>(name)->currentText().isEmpty(), name);
        QVERIFY(!Find<QCheckBox>("chkDrive")->isChecked() && !Find<QCheckBox>("chkCab")->isChecked());
    }

    // Each line carries the mark of its closest twin, drawn distinctly per kind, with a tool tip naming
    // the twins; the marks follow a command and its undo.
    void twinMarks() {
        LoadLibrary({L("ALPHA"), L("BRAVO"), L("ALPHA")}); // entries 01 and 03: same name, other sound
        // 01: same sound as 01, 02: identical to 02, 03: same sound as 03, 04: no twin.
        Import({L("ZULU"), L("BRAVO"), L("CHARLY"), L("DELTA")});
        const auto mark = [](const QAbstractItemView* view, int row) {
            const QIcon icon = view->model()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
            return icon.pixmap(view->iconSize()).toImage();
        };
        const auto tip = [](const QAbstractItemView* view, int row) {
            return view->model()->index(row, 0).data(Qt::ToolTipRole).toString();
        };
        const QImage name = mark(Lib(), 0), none = mark(Lib(), 1), sound = mark(Patches(), 0),
                     identical = mark(Patches(), 1);
        const QList<QImage> marks{name, none, sound, identical};
        for (qsizetype i = 0; i < marks.size(); ++i) {
            QVERIFY(!marks[i].isNull());
            for (qsizetype j = i + 1; j < marks.size(); ++j)
                QVERIFY2(marks[i] != marks[j], qPrintable(L("marks %1 and %2").arg(i).arg(j)));
        }
        QCOMPARE(mark(Lib(), 2), name);
        QCOMPARE(mark(Patches(), 2), sound);
        QCOMPARE(mark(Patches(), 3), none);
        QCOMPARE(Line(Lib(), 0), L("01:  ALPHA ")); // the text stays as it was
        QCOMPARE(tip(Lib(), 0),
                 L("01:  ALPHA\nSame name, other sound: 03")); // each kind's text: library twins
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02"));

        Click(Lib(), 1);
        Trigger("mnuLibrary_ClonePatch");
        QCOMPARE(mark(Lib(), 1), identical);
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02, 03"));
        Trigger("mnuEdit_Undo");
        QCOMPARE(mark(Lib(), 1), none);
        QCOMPARE(tip(Patches(), 1), L("02:  BRAVO\nIdentical to 02"));
    }

    void tabReachesChosenOption_data() {
        QTest::addColumn<QString>("choose"); // how "Change  All" is chosen; empty: not at all
        QTest::addColumn<bool>(
            "backwards"); // Shift+Tab from the description box, else Tab from the last list
        QTest::newRow("at start") << L("") << false;
        QTest::newRow("at start, backwards") << L("") << true;
        QTest::newRow("All by click") << L("click") << false;
        QTest::newRow("All by arrow key, backwards") << L("arrow") << true;
        QTest::newRow("All, then a press off Selected") << L("press") << false;
    }

    void tabReachesChosenOption() {
        QFETCH(QString, choose);
        QFETCH(bool, backwards);
        LoadLibrary(Names);
        Click(Lib(), 0);
        auto* all = Find<QRadioButton>("optAll");
        auto* selected = Find<QRadioButton>("optSelected");
        if (choose == L("click") || choose == L("press"))
            QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(6, all->height() / 2));
        if (choose == L("arrow")) {
            selected->setFocus();
            QTest::keyClick(selected, Qt::Key_Left);
        }
        if (choose == L("press")) { // pressed on "Change  Selected", released away from it
            QTest::mousePress(selected, Qt::LeftButton, {}, QPoint(6, selected->height() / 2));
            QTest::mouseRelease(selected, Qt::LeftButton, {}, QPoint(-50, -50));
        }
        QRadioButton* chosen = choose.isEmpty() ? selected : all;
        QVERIFY(chosen->isChecked());
        QWidget* from = backwards ? static_cast<QWidget*>(Description()) : Find("cbxTotalLevel");
        from->setFocus();
        QTest::keyClick(from, Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        QCOMPARE(QApplication::focusWidget(), chosen);
        QCOMPARE(State().ChangeAll, chosen == all);
    }

    void wideNamesReadable_data() {
        QTest::addColumn<QList<int>>("codes"); // the name's six codes
        QTest::newRow("one code outside the alphabet") << QList<int>{22, 23, 50, 24, 25, 26};
        QTest::newRow("six") << QList<int>{50, 53, 56, 59, 62, 63};
    }

    // A line with name codes 50-63 is wider than the list: it is never cut, the list scrolls
    // sideways, and the line's tool tip shows it whole; other lines keep the list's tool tip.
    void wideNamesReadable() {
        QFETCH(QList<int>, codes);
        QByteArray wide = Image(L("WIDE"), 1);
        for (int bit = 0; bit < 36; ++bit) {
            const int at = bit + 5, set = (codes.at(bit / 6) >> (bit % 6)) & 1;
            wide[11 + at / 8] = char((wide[11 + at / 8] & ~(1 << at % 8)) | set << at % 8);
        }
        WriteBytes(Path(L("wide.pslib")), LibraryFileBytes(Image(L("ALPHA"), 0) + wide));
        Choose("mnuFile_LoadLib", Path(L("wide.pslib")));
        const QString line = Line(Lib(), 1);
        QString name;
        for (const int code : codes)
            name += PatchCharFromCode(code);
        QCOMPARE(line, L("02:  ") + name);
        const QModelIndex index = Lib()->model()->index(1, 0);
        QCOMPARE(index.data(Qt::ToolTipRole).toString(), line);
        QVERIFY(!Lib()->model()->index(0, 0).data(Qt::ToolTipRole).isValid());
        // The item's rectangle holds the whole text with the view's margins (no "…").
        const int margin = Lib()->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, Lib()) + 1;
        QVERIFY(Lib()->visualRect(index).width() >=
                Lib()->fontMetrics().horizontalAdvance(line) + 2 * margin);
        QCOMPARE(Lib()->horizontalScrollBar()->maximum() > 0,
                 Lib()->visualRect(index).width() > Lib()->viewport()->width());
    }

    void eqListsEvenGaps_data() {
        QTest::addColumn<int>("pointSize"); // 0: the default font
        QTest::newRow("default font") << 0;
        QTest::newRow("large font") << 15;
    }

    // However the lists are widened to fit their entries, the four EQ lists keep the designed gaps
    // and no two controls of the panel overlap.
    void eqListsEvenGaps() {
        QFETCH(int, pointSize);
        const QFont font = QApplication::font();
        if (pointSize > 0) {
            QFont large = font;
            large.setPointSize(pointSize);
            QApplication::setFont(large);
            OpenWindow();
            QApplication::setFont(font);
        }
        const MainGeometry g = window->FittedGeometry(), designed = DesignedMainGeometry();
        const char* const eq[] = {"cbxEqHigh", "cbxEqMid", "cbxEqLow", "cbxEqLevel"};
        for (int i = 0; i + 1 < 4; ++i)
            QCOMPARE(g[L(eq[i + 1])].left - g[L(eq[i])].right(),
                     designed[L(eq[i + 1])].left - designed[L(eq[i])].right());
        const QList<QWidget*> panel = Find("frmDetail")->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const QWidget* a : panel) {
            for (const QWidget* b : panel)
                QVERIFY2(a == b || !a->geometry().intersects(b->geometry()),
                         qPrintable(a->objectName() + L(" / ") + b->objectName()));
        }
    }
};

std::unique_ptr<QObject> quillbox::test::NewMainWindowListsTests() {
    return std::make_unique<TestMainWindowLists>();
}

#include "tst_MainWindowLists.moc"
