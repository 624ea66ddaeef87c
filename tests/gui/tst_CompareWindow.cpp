// The compare window: Ctrl+K compares, "Take" writes one parameter as one step.

#include "CompareWindow.h"
#include "FieldMap.h"
#include "WindowFixture.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTextBrowser>

using namespace quillbox;
using namespace quillbox::test;

class TestCompareWindow : public WindowFixture {
    Q_OBJECT

private Q_SLOTS:
    // Ctrl+K compares the selected patch with the selected library entry; "Take →" writes one
    // parameter as one undo step, and the window follows the undo.
    void compareAndTake() {
        LoadLibrary(Names);
        Import({L("ZULU"), L("BRAVO")});
        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Nothing to compare: select a patch in each list"));
        QVERIFY(!window->Compare());

        Click(Patches(), 0);
        Click(Lib(), 1);
        QTest::keyClick(window.get(), Qt::Key_K, Qt::ControlModifier);
        CompareWindow* compare = window->Compare();
        QVERIFY(compare && compare->isVisible());
        QCOMPARE(compare->findChild<QLabel*>(L("lblLeft"))->text(), L("Patches 01"));
        QCOMPARE(compare->findChild<QLabel*>(L("lblRight"))->text(), L("Library 02"));
        auto* take = compare->findChild<QPushButton*>(L("cmdTake_DriveType"));
        QVERIFY(take->isEnabled()); // drive types 0 and 1
        // A reader hears what the button does, each value with its field and side, and a difference
        // in words, which the text shows too.
        QCOMPARE(take->accessibleName(), L("Take Drive type from ZULU into BRAVO"));
        QStringList said;
        for (QLabel* label : compare->findChildren<QLabel*>()) {
            if (label->accessibleName().startsWith(L("Drive type")) ||
                label->text().startsWith(L("Drive type")))
                said.append(label->accessibleName().isEmpty() ? label->text() : label->accessibleName());
        }
        said.sort();
        QCOMPARE(said.size(), 3);
        QCOMPARE(said.at(0), L("Drive type (differs)"));
        QVERIFY2(said.at(1).startsWith(L("Drive type, Library 02: ")) && said.at(1).endsWith(L(", differs")),
                 qPrintable(said.at(1)));
        QVERIFY2(said.at(2).startsWith(L("Drive type, Patches 01: ")) && said.at(2).endsWith(L(", differs")),
                 qPrintable(said.at(2)));
        const QByteArray before = State().LibraryData;
        take->click();
        QCOMPARE(DriveTypeValue(PatchImage::FromStore(State().LibraryData, 1)), 0);
        QVERIFY(!take->isEnabled()); // nothing left to take
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Take Drive type into 02:  BRAVO"));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, before);
        QVERIFY(take->isEnabled());
        // It fits a 1024 x 600 screen with room for a title bar; its byte table scrolls there.
        QVERIFY2(compare->minimumSizeHint().height() <= 540 && compare->minimumSizeHint().width() <= 1024,
                 qPrintable(L("%1 x %2")
                                .arg(compare->minimumSizeHint().width())
                                .arg(compare->minimumSizeHint().height())));
        auto* bytes = compare->findChild<QTextBrowser*>(L("txtBytes"));
        compare->resize(compare->minimumSizeHint());
        QTRY_VERIFY(bytes->verticalScrollBar()->maximum() > 0);
        compare->close();
    }

    void compareKey_data() {
        QTest::addColumn<QString>("before"); // what the keyboard did before Ctrl+K
        QTest::newRow("in the library list") << L("");
        QTest::newRow("menu bar reached with Alt") << L("alt");
        QTest::newRow("menu closed with Esc") << L("f10 esc");
    }

    // Both Compare items show Ctrl+K as their key, not as text; the key runs the command once.
    void compareKey() {
        QFETCH(QString, before);
        auto* patch = Find<QAction>("mnuPatch_Compare");
        auto* library = Find<QAction>("mnuLibrary_Compare");
        for (const QAction* item : {patch, library}) {
            QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_K));
            QVERIFY2(!item->text().contains(QLatin1Char('\t')), qPrintable(item->text()));
        }
        LoadLibrary(Names);
        Lib()->setFocus();
        for (const QString& key : before.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const Qt::Key code = key == L("alt")   ? Qt::Key_Alt
                                 : key == L("f10") ? Qt::Key_F10
                                                   : Qt::Key_Escape;
            QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget()
                                                            : QApplication::focusWidget();
            QTest::keyClick(to, code, code == Qt::Key_Alt ? Qt::AltModifier : Qt::NoModifier);
        }
        QSignalSpy patchRuns(patch, &QAction::triggered);
        QSignalSpy libraryRuns(library, &QAction::triggered);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_K, Qt::ControlModifier);
        QCOMPARE(patchRuns.size() + libraryRuns.size(), 1);
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Nothing to compare: select a patch in each list"));
    }
};

std::unique_ptr<QObject> quillbox::test::NewCompareWindowTests() {
    return std::make_unique<TestCompareWindow>();
}

#include "tst_CompareWindow.moc"
