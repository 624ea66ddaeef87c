// The main window's menus and keys: the menu bar as the command table makes it, the Edit menu, the
// undo keys, the closing question, the access keys and the keyboard's reach.

#include "Commands.h"
#include "EditMenu.h"
#include "FieldMap.h"
#include "SplashWindow.h"
#include "WindowFixture.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QRadioButton>
#include <algorithm>
#include <cstdio>

using namespace quillbox;
using namespace quillbox::test;

class TestMainWindowCommands : public WindowFixture {
    Q_OBJECT

    // A menu item as startUp lists it: its caption (a separator has none), "=" and its shortcuts, and
    // "!" when it is disabled.
    static QString ItemLine(const QString& caption, const QList<QKeySequence>& keys, bool enabled) {
        return caption + (keys.isEmpty() ? L("") : L("=")) + QKeySequence::listToString(keys) +
               (enabled ? L("") : L("!"));
    }

    // The menu bar of a new window as the command table and the Edit menu make it: each menu's
    // caption, then its items in order. Before the first load only the commands that need no library
    // are enabled (the recent list, which the window switches itself, is empty), and the Edit menu
    // has nothing to undo or redo.
    static QStringList MenuBarFromTable() {
        QMainWindow bare;
        const auto nothing = [] {
        };
        const EditMenu edit(&bare, nullptr, nothing, nothing);
        QStringList editMenu{edit.Menu()->title()};
        for (const QAction* item : edit.Menu()->actions())
            editMenu.append(ItemLine(item->text(), item->shortcuts(), item->isEnabled()));
        QStringList lines;
        for (const Command& command : Commands()) {
            switch (command.place) {
            case CommandPlace::Menu:
                if (L(command.name) == L("mnuPatch")) // the Edit menu comes before the Patch menu
                    lines += editMenu;
                lines.append(L(command.caption));
                break;
            case CommandPlace::Separator:
                lines.append(QString());
                break;
            case CommandPlace::Item:
            case CommandPlace::Submenu:
                lines.append(
                    ItemLine(L(command.caption),
                             command.HasShortcut() ? QList{Shortcut(command)} : QList<QKeySequence>{},
                             command.enabling == CommandEnabling::Always));
                break;
            case CommandPlace::Key: // no menu item
                break;
            }
        }
        return lines;
    }

private Q_SLOTS:
    void startUp() {
        QCOMPARE(Title(), L("Quillbox - 1.0  (C) 2024-2025 the Quillbox team"));
        QCOMPARE(Lib()->model()->rowCount() + Patches()->model()->rowCount(), 0);
        for (const char* name : {"cbxDriveType", "cbxCabType", "cbxTotalLevel", "chkDrive", "txtName"})
            QVERIFY2(!Find(name)->isEnabled(), name);
        QVERIFY(!Description()->isEnabled() && Find<QRadioButton>("optSelected")->isChecked());
        QCOMPARE(Find<QComboBox>("cbxCabSpeaker")->count(), 7);
        QCOMPARE(Find<QComboBox>("cbxCabSpeaker")->currentText(), QString());
        // Every menu item in order, as the command table and the Edit menu say.
        QStringList items;
        for (QAction* menu : window->menuBar()->actions()) {
            items.append(menu->text());
            for (const QAction* item : menu->menu()->actions())
                items.append(ItemLine(item->text(), item->shortcuts(), item->isEnabled()));
        }
        QCOMPARE(items, MenuBarFromTable());
        QVERIFY(!Find<QAction>("mnuWindow_Top")->isChecked());
        QVERIFY(window->close()); // nothing loaded: nothing asked
    }

    // After each command: the status line, the Edit menu's items (disabled: "!") and the title, whose
    // "*" marks unsaved changes. Undoing back to the saved state clears the mark, and closing asks
    // nothing.
    void editMenuStatusAndTitle() {
        const QString sample = Path(L("sample.pslib")), other = Path(L("other.pslib"));
        auto menu = [this] {
            QStringList items;
            for (const QAction* item : Find<QMenu>("mnuEdit")->actions())
                items.append(item->text() + (item->isEnabled() ? L("") : L("!")));
            return items.join(QLatin1Char('|'));
        };
        struct Expected {
            QString status, menu, title;
        };
        const auto check = [&](const Expected& e) {
            QCOMPARE(Find<QLabel>("lblStatus")->text(), e.status);
            QCOMPARE(menu(), e.menu);
            QCOMPARE(Title(), L("Quillbox   ") + e.title);
        };
        LoadLibrary(Names);
        check({L("Loaded 4 patches from \u2026/sample.pslib"), L("&Undo!|&Redo!"), sample});
        Click(Lib(), 2);
        Trigger("mnuLibrary_DelSelected");
        check({L("Deleted 03:  CHARLY"), L("&Undo Delete 03:  CHARLY|&Redo!"), sample + L("*")});
        Trigger("mnuEdit_Undo");
        check({L("Undid Delete 03:  CHARLY"), L("&Undo!|&Redo Delete 03:  CHARLY"), sample});
        Trigger("mnuEdit_Redo");
        check({L("Redid Delete 03:  CHARLY"), L("&Undo Delete 03:  CHARLY|&Redo!"), sample + L("*")});
        // Save As names the file that the next save writes.
        Choose("mnuFile_SaveAsLib", Path(L("other")));
        QCOMPARE(TakeMessages(), QStringList{other + L(" saved")});
        check({L("Saved 3 patches to \u2026/other.pslib"), L("&Undo Delete 03:  CHARLY|&Redo!"), other});
        Trigger("mnuEdit_Undo");
        QCOMPARE(Title(), L("Quillbox   ") + other + L("*"));
        Trigger("mnuEdit_Redo");
        QCOMPARE(Title(), L("Quillbox   ") + other);
        QVERIFY(window->close()); // the saved state again: nothing asked
    }

    // Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z take back or redo the library's last step, except while a
    // text box that takes typing has the focus: there they work on its text.
    void undoKeys_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("moved");   // BRAVO stays moved down
        QTest::addColumn<QString>("text"); // the box's text afterwards, with "xy" typed into it
        QTest::newRow("list: Ctrl+Z") << L("lstLib") << L("Ctrl+Z") << false << QString();
        QTest::newRow("list: Ctrl+Y") << L("lstLib") << L("Ctrl+Z, Ctrl+Y") << true << QString();
        QTest::newRow("list: Ctrl+Shift+Z") << L("lstLib") << L("Ctrl+Z, Ctrl+Shift+Z") << true << QString();
        QTest::newRow("description: Ctrl+Z")
            << L("txtDescription") << L("Ctrl+Z") << true << L("second\nline");
        QTest::newRow("description: Ctrl+Y")
            << L("txtDescription") << L("Ctrl+Z, Ctrl+Y") << true << L("second\nlinexy");
        // The name box is read-only: typing leaves it as it was, and the keys reach the library.
        QTest::newRow("name: Ctrl+Z") << L("txtName") << L("Ctrl+Z") << false << L("Name");
        QTest::newRow("name: Ctrl+Shift+Z") << L("txtName") << L("Ctrl+Z, Ctrl+Shift+Z") << true << L("Name");
    }
    void undoKeys() {
        QFETCH(QString, focus);
        QFETCH(QString, keys);
        QFETCH(bool, moved);
        QFETCH(QString, text);
        LoadLibrary(Names);
        Click(Lib(), 1);
        Trigger("mnuLibrary_MoveDown");
        QCOMPARE(Line(Lib(), 2), L("03:  BRAVO "));
        QWidget* widget = Find(focus.toLatin1().constData());
        widget->setFocus();
        QVERIFY(widget->hasFocus());
        auto* name = Find<QLineEdit>("txtName");
        const QString before = name->text();
        if (!text.isEmpty()) {
            text.replace(L("Name"), before);
            QTest::keyClick(widget, Qt::Key_End, Qt::ControlModifier);
            QTest::keyClicks(widget, L("xy"));
        }
        for (const QString& key : keys.split(L(", ")))
            QTest::keySequence(widget, QKeySequence(key));
        QCOMPARE(Line(Lib(), 2), moved ? L("03:  BRAVO ") : L("03:  CHARLY"));
        if (focus == L("txtName"))
            QCOMPARE(name->text(), text);
        else if (!text.isEmpty())
            QCOMPARE(Description()->toPlainText(), text);
    }

    void closingQuestion_data() {
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << int(QMessageBox::Yes);
        QTest::newRow("Cancel") << int(QMessageBox::Cancel);
    }

    void closingQuestion() {
        QFETCH(int, answer);
        LoadLibrary(Names);
        Click(Lib(), 0);
        Trigger("mnuLibrary_DelSelected");
        const QByteArray changed = State().LibraryData;
        Trigger("mnuHelp_About");
        QPointer<QWidget> splash = window->Splash();
        MessageBoxes::setNextAnswer(QMessageBox::StandardButton(answer));
        window->close();
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().title + L(": ") + shown.first().text,
                 L("Library not saved: Do you like to save now?"));
        QCOMPARE(shown.first().buttons, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        const bool closes = answer == QMessageBox::Yes;
        QCOMPARE(window->isVisible(), !closes);
        QCOMPARE(splash && splash->isVisible(), !closes); // closing takes the splash along
        QCOMPARE(ReadBytes(Path(L("sample.pslib"))), LibraryFileBytes(closes ? changed : Store(Names)));
        QVERIFY(closes || (State().LibChanged && State().LibraryData == changed));
    }

    void top() {
        for (const bool on : {true, false}) {
            Trigger("mnuWindow_Top");
            QCOMPARE(Find<QAction>("mnuWindow_Top")->isChecked(), on);
            QCOMPARE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint), on);
            QVERIFY(window->isVisible());
        }
    }

    // The commands a load enables: off before the first load, on after it; the others always on. Of
    // the window's first set of menus only these five wait for a library.
    void loadEnablesCommands() {
        QStringList waiting;
        for (const Command& command : Commands()) {
            if (!command.added && command.enabling == CommandEnabling::WithLibrary)
                waiting.append(L(command.name));
        }
        QCOMPARE(waiting, (QStringList{L("mnuFile_SaveLib"), L("mnuFile_SaveAsLib"), L("mnuFile_LoadPatches"),
                                       L("mnuFile_LoadLibToPatches"), L("mnuFile_SaveLibAsPatches")}));
        for (const bool loaded : {false, true}) {
            if (loaded)
                LoadLibrary(Names);
            for (const Command& command : Commands()) {
                if (command.place == CommandPlace::Item || command.place == CommandPlace::Key)
                    QVERIFY2(Find<QAction>(command.name)->isEnabled() ==
                                 (loaded || command.enabling == CommandEnabling::Always),
                             command.name);
            }
        }
    }

    // The library as "NAME speaker" per entry, "+" marking one with a description.
    QString LibraryEntries() const {
        QStringList entries;
        for (int i = 0; i < Lib()->model()->rowCount(); ++i)
            entries.append(Line(Lib(), i).mid(5).trimmed() + QLatin1Char(' ') +
                           QString::number(CabSpeakerValue(PatchImage::FromStore(State().LibraryData, i))) +
                           (State().DescArray.value(i + 1).isEmpty() ? L("") : L("+")));
        return entries.join(L(", "));
    }

    void itemsRunTheirCommand_data() {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("library"); // afterwards
        // Before: DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+ with BRAVO selected; the patches list ECHO 0,
        // BRAVO 5, ALPHA 2 (the library's ALPHA) with ECHO selected.
        // clang-format off
        QTest::newRow("mnuPatch_Copy") << L("mnuPatch_Copy") << L("DELTA 0+, BRAVO 1+, ECHO 0, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_Replace") << L("mnuPatch_Replace") << L("DELTA 0+, ECHO 0, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_AppendNew") << L("mnuPatch_AppendNew") << L("DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+, ECHO 0, BRAVO 5");
        QTest::newRow("mnuPatch_AppentAll") << L("mnuPatch_AppentAll") << L("DELTA 0+, BRAVO 1+, ALPHA 2, CHARLY 3+, ECHO 0, BRAVO 5, ALPHA 2");
        QTest::newRow("mnuPatch_UpdateLib") << L("mnuPatch_UpdateLib") << L("DELTA 0+, ECHO 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuPatch_UpdateLibAll") << L("mnuPatch_UpdateLibAll") << L("DELTA 0+, BRAVO 5+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_MoveUp") << L("mnuLibrary_MoveUp") << L("BRAVO 1+, DELTA 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_MoveDown") << L("mnuLibrary_MoveDown") << L("DELTA 0+, ALPHA 2, BRAVO 1+, CHARLY 3+");
        QTest::newRow("mnuLibrary_ClonePatch") << L("mnuLibrary_ClonePatch") << L("DELTA 0+, BRAVO 1+, BRAVO 1+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_DelSelected") << L("mnuLibrary_DelSelected") << L("DELTA 0+, ALPHA 2, CHARLY 3+");
        QTest::newRow("mnuLibrary_DelAll") << L("mnuLibrary_DelAll") << L("");
        QTest::newRow("mnuLibrary_SortByName") << L("mnuLibrary_SortByName") << L("ALPHA 2, BRAVO 1+, CHARLY 3+, DELTA 0+");
        // clang-format on
    }

    // Each item runs its own command (rows of the command table are easily crossed), on the entries
    // selected in the lists.
    void itemsRunTheirCommand() {
        QFETCH(QString, command);
        QFETCH(QString, library);
        LoadLibrary({L("DELTA"), L("BRAVO"), L("ALPHA"), L("CHARLY")});
        WriteBytes(Path(L("device.pch")), Image(L("ECHO"), 0) + Image(L("BRAVO"), 5) + Image(L("ALPHA"), 2));
        Choose("mnuFile_LoadPatches", Path(L("device.pch")));
        Click(Lib(), 1);
        Click(Patches(), 0);
        Trigger(command.toLatin1().constData());
        QCOMPARE(LibraryEntries(), library);
        window->Controller().MutableState().LibChanged = false; // nothing to ask when the window closes
    }

    // The letter after a lone "&", lower case; none for a caption without one.
    static QChar AccessKey(const QString& caption) {
        for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
            if (caption.at(i) != QLatin1Char('&'))
                continue;
            if (caption.at(i + 1) != QLatin1Char('&'))
                return caption.at(i + 1).toLower();
            ++i; // "&&" is a shown "&"
        }
        return {};
    }

    void accessKeys_data() {
        QTest::addColumn<QString>("menu"); // empty for the menu bar itself
        QTest::newRow("menu bar") << QString();
        QTest::newRow("mnuEdit") << L("mnuEdit");
        for (const Command& command : Commands()) {
            if (command.place == CommandPlace::Menu || command.place == CommandPlace::Submenu)
                QTest::newRow(command.name) << L(command.name);
        }
    }

    // Within a menu no two items share an access key, and every item Quillbox added has one.
    void accessKeys() {
        QFETCH(QString, menu);
        LoadLibrary(Names); // "Recent Libraries" lists it
        const QList<QAction*> items =
            menu.isEmpty() ? window->menuBar()->actions() : window->findChild<QMenu*>(menu)->actions();
        QHash<QChar, QString> taken;
        for (const QAction* item : items) {
            if (item->isSeparator())
                continue;
            const QChar key = AccessKey(item->text());
            const auto added = std::find_if(Commands().begin(), Commands().end(), [item](const Command& c) {
                return item->objectName() == L(c.name) && c.added;
            });
            QVERIFY2(!key.isNull() || added == Commands().end(), qPrintable(item->text()));
            if (key.isNull())
                continue;
            QVERIFY2(!taken.contains(key), qPrintable(taken.value(key) + L(" and ") + item->text()));
            taken.insert(key, item->text());
        }
        QVERIFY(!items.isEmpty());
    }

    // What a screen reader says for the menu bar's entries and for the "?" menu.
    void helpMenuName() {
        QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(window->menuBar());
        QStringList entries;
        for (int i = 0; i < bar->childCount(); ++i)
            entries.append(bar->child(i)->text(QAccessible::Name));
        QCOMPARE(entries,
                 (QStringList{L("File"), L("Edit"), L("Patch"), L("Library"), L("Window"), L("Help")}));
        QAccessibleInterface* help = bar->child(5);
        QCOMPARE(help->role(), QAccessible::MenuItem);
        QCOMPARE(help->parent()->object(), window->menuBar());
        QCOMPARE(help->child(0)->object(), Find<QMenu>("mnuHelp"));
        QCOMPARE(help->child(0)->text(QAccessible::Name), L("Help"));
        QCOMPARE(help->child(0)->parent()->object(), help->object());
        help->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
        QTRY_VERIFY(Find<QMenu>("mnuHelp")->isVisible());
        Find<QMenu>("mnuHelp")->close();
    }

    void keyboardReach_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("menu"); // the menu that opens; empty: the menu bar takes the keys
        QTest::newRow("lone Alt") << L("lstLib") << int(Qt::Key_Alt) << int(Qt::AltModifier) << L("");
        QTest::newRow("F10 from the library") << L("lstLib") << int(Qt::Key_F10) << 0 << L("mnuFile");
        QTest::newRow("F10 from the description")
            << L("txtDescription") << int(Qt::Key_F10) << 0 << L("mnuFile");
        QTest::newRow("Shift+F10 on the library")
            << L("lstLib") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << L("mnuLibrary");
        QTest::newRow("Shift+F10 on the patches")
            << L("lstPatches") << int(Qt::Key_F10) << int(Qt::ShiftModifier) << L("mnuPatch");
        QTest::newRow("menu key on the library") << L("lstLib") << int(Qt::Key_Menu) << 0 << L("mnuLibrary");
    }

    // Alt reaches the menu bar and F10 opens its first menu; Shift+F10, as the menu key, opens a list's
    // menu below its current line.
    void keyboardReach() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, menu);
        LoadLibrary(Names);
        Import({L("ECHO"), L("FOXTRT")});
        Click(Lib(), 1);
        Click(Patches(), 1);
        auto* widget = window->findChild<QWidget*>(focus);
        widget->setFocus();
        if (key == Qt::Key_Menu) {
            // What the desktop sends for the menu key.
            QContextMenuEvent event(QContextMenuEvent::Keyboard, QPoint(0, 0),
                                    widget->mapToGlobal(QPoint(0, 0)));
            QApplication::sendEvent(widget, &event);
        } else {
            QTest::keyClick(widget, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        }
        if (menu.isEmpty()) {
            QCOMPARE(window->menuBar()->activeAction(), Find<QMenu>("mnuFile")->menuAction());
            QCOMPARE(QApplication::focusWidget(), window->menuBar());
            QTest::keyClick(window->menuBar(), Qt::Key_Escape);
            QCOMPARE(QApplication::focusWidget(), widget);
            return;
        }
        auto* opened = Find<QMenu>(menu.toLatin1().constData());
        QTRY_VERIFY(opened->isVisible());
        if (auto* list = qobject_cast<PatchListView*>(widget); list && menu != L("mnuFile")) {
            const QRect line = list->visualRect(list->currentIndex());
            QCOMPARE(opened->pos(), list->viewport()->mapToGlobal(line.bottomLeft()));
        }
        opened->close();
        QCOMPARE(Lib()->SelectedRows(), QList<int>{1}); // nothing chosen
    }

    void shiftInsDelInTextBoxes_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text"); // what the box holds afterwards; "-": not a text box
        QTest::addColumn<int>("entries");  // in the library afterwards
        QTest::newRow("description paste")
            << L("txtDescription") << int(Qt::Key_Insert) << L("abcPASTE") << 4;
        QTest::newRow("description cut") << L("txtDescription") << int(Qt::Key_Delete) << L("ab") << 4;
        QTest::newRow("name paste") << L("txtName") << int(Qt::Key_Insert) << L("abcPASTE") << 4;
        QTest::newRow("find cut") << L("txtFindLib") << int(Qt::Key_Delete) << L("ab") << 4;
        QTest::newRow("list: clone") << L("lstLib") << int(Qt::Key_Insert) << L("-") << 5;
        QTest::newRow("list: delete") << L("lstLib") << int(Qt::Key_Delete) << L("-") << 3;
    }

    // In a text box Shift+Ins and Shift+Del paste and cut; elsewhere they run their commands.
    void shiftInsDelInTextBoxes() {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, entries);
        LoadLibrary(Names);
        Click(Lib(), 2); // no description
        QGuiApplication::clipboard()->setText(L("PASTE"));
        QWidget* widget = window->findChild<QWidget*>(focus);
        if (focus == L("txtFindLib"))
            window->FindCommand();
        widget->setFocus();
        if (auto* name = qobject_cast<QLineEdit*>(widget)) {
            name->setText(L("abc"));
            name->setSelection(2, 1);
        } else if (widget == Description()) {
            QTest::keyClicks(Description(), L("abc"));
            QTest::keyClick(Description(), Qt::Key_Left, Qt::ShiftModifier); // "c" selected
        }
        if (key == Qt::Key_Insert)
            QTest::keyClick(widget, Qt::Key_Right); // the cursor behind "abc"
        QTest::keyClick(widget, Qt::Key(key), Qt::ShiftModifier);
        QCOMPARE(window->Controller().ListCount(ListId::Library), entries);
        if (text == L("-"))
            return;
        QCOMPARE(widget == Description() ? Description()->toPlainText()
                                         : qobject_cast<QLineEdit*>(widget)->text(),
                 text);
        if (key == Qt::Key_Delete)
            QCOMPARE(QGuiApplication::clipboard()->text(), L("c"));
        if (widget == Description())
            QCOMPARE(State().DescArray.at(3), text);
    }
};

std::unique_ptr<QObject> quillbox::test::NewMainWindowCommandsTests() {
    return std::make_unique<TestMainWindowCommands>();
}

#include "tst_MainWindowCommands.moc"
