// The reconcile window: File > Reconcile With… on a library or a device patch file, Apply as one
// step.

#include "ReconcileWindow.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>

using namespace quillbox;
using namespace quillbox::test;

class TestReconcileWindow : public WindowFixture {
    Q_OBJECT

private Q_SLOTS:
    // File > Reconcile With… opens the window on the chosen file; the rows' choices and Apply make one
    // undo step (what the step does: the library tests).
    void reconcileWindow_data() {
        QTest::addColumn<QStringList>("right");
        QTest::addColumn<QString>("take");
        QTest::addColumn<QStringList>("result");
        QTest::newRow("take right") << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}
                                    << L("cmdTakeRight")
                                    << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")};
        QTest::newRow("keep both") << QStringList{L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}
                                   << L("cmdTakeBoth")
                                   << QStringList{L("ALPHA"), L("BRAVO"), L("CHARLY"), L("ECHO"), L("DELTA")};
        QTest::newRow("take right, one deleted and one added")
            << QStringList{L("BRAVO"), L("CHARLY"), L("DELTA"), L("FOXTRT")} << L("cmdTakeRight")
            << QStringList{L("BRAVO"), L("CHARLY"), L("DELTA"), L("FOXTRT")};
    }
    void reconcileWindow() {
        QFETCH(QStringList, right);
        QFETCH(QString, take);
        QFETCH(QStringList, result);
        QVERIFY(!Find<QAction>("mnuFile_ReconcileWith")->isEnabled());
        LoadLibrary(Names);
        WriteBytes(Path(L("other.pch")), Store(right));
        WriteBytes(Path(L("other.pch.txt")), Side);
        const OpenSaveDLG::Shown dialog = Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
        QVERIFY(dialog.filter.contains(L("*.pslib")) && dialog.filter.contains(L("*.pch")));
        ReconcileWindow* reconcile = window->Reconcile();
        QVERIFY(reconcile && reconcile->isVisible());
        auto* table = reconcile->findChild<QTableView*>(L("tblRows"));
        // Every name is shown whole, and the counts are words a reader can say ("1 differs").
        for (int row = 0; row < table->model()->rowCount(); ++row) {
            const QString name = table->model()->index(row, ReconcileModel::NameColumn).data().toString();
            QVERIFY2(table->columnWidth(ReconcileModel::NameColumn) >
                         table->fontMetrics().horizontalAdvance(name),
                     qPrintable(name));
        }
        const QString summary = reconcile->findChild<QLabel*>(L("lblSummary"))->text();
        QVERIFY2(!summary.contains(QRegularExpression(L("\\b1 (rows|differ|conflicts)\\b"))),
                 qPrintable(summary));
        table->setFocus();
        QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
        reconcile->findChild<QPushButton*>(take)->click();
        reconcile->findChild<QPushButton*>(L("cmdApply"))->click();
        QVERIFY(!reconcile->isVisible());
        QStringList names;
        for (int row = 0; row < Lib()->model()->rowCount(); ++row)
            names.append(Line(Lib(), row).section(QLatin1Char(':'), 1).trimmed());
        QCOMPARE(names, result);
        QCOMPARE(Find<QAction>("mnuEdit_Undo")->text(), L("&Undo Reconcile with other.pch"));
        QVERIFY(Title().contains(QLatin1Char('*')));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, Store(Names));
        QVERIFY(!Find<QAction>("mnuEdit_Undo")->isEnabled());
    }

    // A device patch file read back: the newest export record is the base, chosen already; a change
    // on the device alone is taken, one the library made too is a conflict that keeps Apply off until
    // the user chooses.
    void reconcileDeviceFile_data() {
        QTest::addColumn<QString>("libraryName"); // the library's own rename of entry 3 after the export
        QTest::addColumn<bool>("conflict");
        QTest::newRow("device changed alone") << QString() << false;
        QTest::newRow("both changed the entry") << L("GOLF") << true;
    }
    void reconcileDeviceFile() {
        QFETCH(QString, libraryName);
        QFETCH(bool, conflict);
        LoadLibrary(Names);
        Choose("mnuFile_SaveLibAsPatches", Path(L("dev.pch")));
        TakeMessages();
        if (!libraryName.isEmpty())
            QVERIFY(window->Controller().RenameEntry(2, libraryName));
        WriteBytes(Path(L("dev.pch")), Store({L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}));
        Choose("mnuFile_ReconcileWith", Path(L("dev.pch")));
        ReconcileWindow* reconcile = window->Reconcile();
        QVERIFY(reconcile && reconcile->isVisible());
        auto* base = reconcile->findChild<QComboBox*>(L("cboBase"));
        QCOMPARE(base->currentIndex(), 1);
        QVERIFY(base->currentText().startsWith(L("Export to the device")));
        auto* apply = reconcile->findChild<QPushButton*>(L("cmdApply"));
        QCOMPARE(apply->isEnabled(), !conflict);
        QCOMPARE(reconcile->OpenConflicts(), conflict ? 1 : 0);
        if (conflict) {
            auto* table = reconcile->findChild<QTableView*>(L("tblRows"));
            table->setFocus();
            QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
            // From the rows to "Take Right" with the keyboard.
            QTest::keyClick(table, Qt::Key_Tab);
            QTest::keyClick(reconcile->focusWidget(), Qt::Key_Tab);
            QCOMPARE(reconcile->focusWidget()->objectName(), L("cmdTakeRight"));
            QTest::keyClick(reconcile->focusWidget(), Qt::Key_Space);
            QVERIFY(apply->isEnabled());
        }
        apply->click();
        QCOMPARE(Line(Lib(), 2).section(QLatin1Char(':'), 1).trimmed(), L("ECHO"));
    }
};

std::unique_ptr<QObject> quillbox::test::NewReconcileWindowTests() {
    return std::make_unique<TestReconcileWindow>();
}

#include "tst_ReconcileWindow.moc"
