// The file dialog object and the message boxes: properties, filters, the real Qt dialogs (driven
// by timers) and the test seam.

#include "DialogSeam.h"
#include "FileError.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace quillbox;

namespace {
QString Nul() {
    return QString(QChar(0));
}

// Runs `work` on the modal dialog that the next call opens.
template <typename Dialog> void WhenShown(std::function<void(Dialog*)> work) {
    QTimer::singleShot(0, qApp, [work] {
        Dialog* dialog = nullptr;
        for (int i = 0; i < 200 && !dialog; ++i) {
            dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget());
            if (!dialog)
                QTest::qWait(10);
        }
        QVERIFY(dialog);
        work(dialog);
    });
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init() {
        EnableDialogTestMode(true);
        OpenSaveDLG::resetSeam();
        MessageBoxes::resetSeam();
    }

    void textPropertiesAreTrimmed() {
        OpenSaveDLG dialog;
        dialog.SetDialogTitle(QStringLiteral("  Title "));
        dialog.SetInitDir(QStringLiteral(" /tmp  "));
        dialog.SetFilename(QStringLiteral("   "));
        dialog.SetReturnPath(QStringLiteral(" /tmp/a b.pslib "));
        dialog.SetFilter(QStringLiteral(" All (*.*)") + Nul() + QStringLiteral("*.*") + Nul() +
                         QStringLiteral(" "));
        QCOMPARE(dialog.DialogTitle(), QStringLiteral("Title"));
        QCOMPARE(dialog.InitDir(), QStringLiteral("/tmp"));
        QCOMPARE(dialog.Filename(), QString());
        QCOMPARE(dialog.ReturnPath(), QStringLiteral("/tmp/a b.pslib"));
        QCOMPARE(dialog.Filter(), QStringLiteral("All (*.*)") + Nul() + QStringLiteral("*.*") + Nul());
        // Only blanks: a tab is part of the text.
        dialog.SetDialogTitle(QStringLiteral("\tT"));
        QCOMPARE(dialog.DialogTitle(), QStringLiteral("\tT"));
        // No short names here: the path comes back as it is.
        dialog.SetShortFileName(true);
        QCOMPARE(dialog.ReturnPath(), QStringLiteral("/tmp/a b.pslib"));
    }

    void trim0_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("result");
        QTest::newRow("cut at the first NUL")
            << QStringLiteral("abc") + Nul() + QStringLiteral("def") + Nul() << QStringLiteral("abc");
        QTest::newRow("NUL first") << Nul() + QStringLiteral("x") << QString();
        QTest::newRow("no NUL") << QStringLiteral("path") << QStringLiteral("path");
        QTest::newRow("empty") << QString() << QString();
    }

    void trim0() {
        QFETCH(QString, text);
        QFETCH(QString, result);
        QCOMPARE(OpenSaveDLG::Trim0(text), result);
    }

    void nameFilters_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("filters");
        QTest::newRow("library") << QStringLiteral("PS02 Library(*.pslib)") + Nul() +
                                        QStringLiteral("*.pslib") + Nul()
                                 << QStringList{QStringLiteral("PS02 Library(*.pslib)")};
        QTest::newRow("two pairs") << QStringLiteral("PS02 Patches(*.pch)") + Nul() +
                                          QStringLiteral("*.pch") + Nul() + QStringLiteral("All (*.*)") +
                                          Nul() + QStringLiteral("*.*") + Nul()
                                   << QStringList{QStringLiteral("PS02 Patches(*.pch)"),
                                                  QStringLiteral("All (*.*)")};
        QTest::newRow("pattern not in the description")
            << QStringLiteral("Patches") + Nul() + QStringLiteral("*.pch;*.PCH") + Nul()
            << QStringList{QStringLiteral("Patches (*.pch *.PCH)")};
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("pattern missing") << QStringLiteral("Lonely") + Nul() << QStringList();
    }

    void nameFilters() {
        QFETCH(QString, filter);
        QFETCH(QStringList, filters);
        QCOMPARE(OpenSaveDLG::NameFilters(filter), filters);
    }

    void dialogSetUp_data() {
        QTest::addColumn<QString>("filename");
        QTest::addColumn<bool>("save");
        QTest::newRow("no file name: Open") << QString() << false;
        QTest::newRow("blank file name: Open") << QStringLiteral("   ") << false;
        QTest::newRow("file name: Save") << QStringLiteral("x.pslib") << true;
    }

    void dialogSetUp() {
        QFETCH(QString, filename);
        QFETCH(bool, save);
        OpenSaveDLG object;
        object.SetDialogTitle(QStringLiteral("Quillbox Load Library File"));
        object.SetFilter(QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul());
        object.SetReadOnly(true);
        object.SetFilename(filename);
        const auto dialog = object.CreateDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Quillbox Load Library File"));
        // One name, existing or not, never several; no overwrite question (the commands ask).
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog->acceptMode(), save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        QVERIFY(dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("PS02 Library(*.pslib)")});
        QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("PS02 Library(*.pslib)"));
    }

    void seamAnswers() {
        OpenSaveDLG dialog;
        dialog.SetDialogTitle(QStringLiteral("T"));
        dialog.SetCancelError(false);
        OpenSaveDLG::setNextPath(QStringLiteral("/tmp/chosen.pslib "));
        QVERIFY(dialog.Show());
        QCOMPARE(dialog.ReturnPath(), QStringLiteral("/tmp/chosen.pslib"));
        // A cancel empties ReturnPath; without CancelError Show says false.
        OpenSaveDLG::setNextCancel();
        QVERIFY(!dialog.Show());
        QCOMPARE(dialog.ReturnPath(), QString());
        // With CancelError the cancel is failure number 18.
        dialog.SetCancelError(true);
        dialog.SetReturnPath(QStringLiteral("old"));
        OpenSaveDLG::setNextCancel();
        try {
            dialog.Show();
            QFAIL("no cancel error");
        } catch (const FileError& error) {
            QCOMPARE(error.number, qint64(18));
            QVERIFY(!error.description.isEmpty());
        }
        QCOMPARE(dialog.ReturnPath(), QString());
        QCOMPARE(OpenSaveDLG::takeShown().size(), 3);
        // Nothing queued: a warning names the dialog, and it counts as a cancel.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Unanswered dialog: file dialog \"T\"")));
        dialog.SetCancelError(false);
        QVERIFY(!dialog.Show());
    }

    void realDialogAcceptsANewName() {
        EnableDialogTestMode(false);
        QTemporaryDir dir;
        OpenSaveDLG object;
        object.SetInitDir(dir.path());
        object.SetFilter(QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul());
        object.SetCancelError(true);
        WhenShown<QFileDialog>([](QFileDialog* dialog) {
            auto* edit = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(edit);
            edit->setText(QStringLiteral("brand new"));
            QTest::keyClick(edit, Qt::Key_Return);
        });
        QVERIFY(object.Show());
        QCOMPARE(object.ReturnPath(), dir.filePath(QStringLiteral("brand new")));
        QVERIFY(!QFile::exists(object.ReturnPath())); // the dialog creates nothing

        WhenShown<QFileDialog>([](QFileDialog* dialog) { dialog->reject(); });
        try {
            object.Show();
            QFAIL("no cancel error");
        } catch (const FileError& error) {
            QCOMPARE(error.number, qint64(CancelErrorNumber));
        }
        QCOMPARE(object.ReturnPath(), QString());
    }

    void messageBoxSeam() {
        MessageBoxes::ShowPlain(nullptr, QStringLiteral("plain"));
        MessageBoxes::ShowCritical(nullptr, QStringLiteral("bad"));
        MessageBoxes::setNextAnswer(QMessageBox::No);
        QVERIFY(!MessageBoxes::AskYesNo(nullptr, QStringLiteral("Replace?"), QStringLiteral("Quillbox")));
        MessageBoxes::setNextAnswer(QMessageBox::Yes);
        QVERIFY(MessageBoxes::AskYesNo(nullptr, QStringLiteral("Replace?"), QStringLiteral("Quillbox")));
        MessageBoxes::setNextAnswer(QMessageBox::Cancel);
        QCOMPARE(MessageBoxes::AskSaveNow(nullptr), QMessageBox::Cancel);
        const QList<MessageBoxes::Shown> shown = MessageBoxes::takeShown();
        QCOMPARE(shown.size(), 5);
        QCOMPARE(shown.at(0).title, QStringLiteral("Quillbox"));
        QCOMPARE(shown.at(0).icon, QMessageBox::NoIcon);
        QCOMPARE(shown.at(0).buttons, QMessageBox::Ok);
        QCOMPARE(shown.at(1).icon, QMessageBox::Critical);
        QCOMPARE(shown.at(4).title, QStringLiteral("Library not saved"));
        QCOMPARE(shown.at(4).text, QStringLiteral("Do you like to save now?"));
        QCOMPARE(shown.at(4).icon, QMessageBox::NoIcon);

        // A question without a queued answer warns and takes the safe way out.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Unanswered dialog: message box")));
        QCOMPARE(MessageBoxes::AskSaveNow(nullptr), QMessageBox::Cancel);
        // An answer the box does not offer is refused the same way.
        MessageBoxes::setNextAnswer(QMessageBox::Cancel);
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Unanswered dialog: queued answer")));
        QVERIFY(!MessageBoxes::AskYesNo(nullptr, QStringLiteral("?"), QStringLiteral("t")));
    }

    void realMessageBoxes_data() {
        QTest::addColumn<int>("click"); // a button, or 0 to close the box with Escape
        QTest::addColumn<int>("answer");
        QTest::newRow("Yes") << int(QMessageBox::Yes) << int(QMessageBox::Yes);
        QTest::newRow("No") << int(QMessageBox::No) << int(QMessageBox::No);
        QTest::newRow("Cancel") << int(QMessageBox::Cancel) << int(QMessageBox::Cancel);
        QTest::newRow("closed") << 0 << int(QMessageBox::Cancel);
    }

    void realMessageBoxes() {
        QFETCH(int, click);
        QFETCH(int, answer);
        EnableDialogTestMode(false);
        QString seenText;
        QString seenTitle;
        WhenShown<QMessageBox>([&, click](QMessageBox* box) {
            seenText = box->text();
            seenTitle = box->windowTitle();
            if (click == 0)
                QTest::keyClick(box, Qt::Key_Escape);
            else
                box->button(QMessageBox::StandardButton(click))->click();
        });
        QCOMPARE(int(MessageBoxes::AskSaveNow(nullptr)), answer);
        QCOMPARE(seenText, QStringLiteral("Do you like to save now?"));
        QCOMPARE(seenTitle, QStringLiteral("Library not saved"));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_Dialogs.moc"
