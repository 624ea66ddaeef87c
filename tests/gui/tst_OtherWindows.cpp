// The smaller windows: help, the About splash, earlier versions, the file dialog object and the set
// list as PDF and print.

#include "EarlierVersionsDialog.h"
#include "TagsDialog.h"

#include <QCompleter>
#include <QLineEdit>
#include "FileError.h"
#include "HelpWindow.h"
#include "PrintDialog.h"
#include "SplashWindow.h"
#include "WindowFixture.h"

#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>

using namespace quillbox;
using namespace quillbox::test;

class TestOtherWindows : public WindowFixture {
    Q_OBJECT

private Q_SLOTS:
    void help_data() {
        QTest::addColumn<QString>("chmIn"); // "bin" (beside the program), "data", "both" or none
        QTest::addColumn<QString>("hlpIn"); // the same, or "empty" for an empty file beside the program
        QTest::addColumn<bool>("viewerTakes");
        QTest::addColumn<QString>("opened"); // the compiled help handed to the viewer
        QTest::addColumn<QString>("shown");  // the help window's text after the about text
        const QString binChm = L("bin/Quillbox.chm");
        QTest::newRow("no viewer") << L("bin") << L("bin") << false << binChm << L("bin help\n.");
        QTest::newRow("empty") << L("") << L("empty") << true << L("")
                               << L("Helpfile corrupt: %1/bin/Quillbox.hlp");
        QTest::newRow("none") << L("") << L("") << true << L("") << L("");
        QTest::newRow("data folder") << L("") << L("data") << true << L("") << L("data help\n.");
        QTest::newRow("beside first") << L("") << L("both") << true << L("") << L("bin help\n.");
        QTest::newRow("chm data folder")
            << L("data") << L("bin") << true << L("share/quillbox/Quillbox.chm") << L("");
        QTest::newRow("chm beside first") << L("both") << L("bin") << true << binChm << L("");
    }

    void help() {
        QFETCH(QString, chmIn);
        QFETCH(QString, hlpIn);
        QFETCH(bool, viewerTakes);
        QFETCH(QString, opened);
        QFETCH(QString, shown);
        for (const auto& [where, dir] : {std::pair{"bin", "bin/"}, std::pair{"data", "share/quillbox/"}}) {
            if (chmIn == L(where) || chmIn == L("both"))
                WriteBytes(Path(L(dir) + L("Quillbox.chm")), "ITSF");
            if (hlpIn == L(where) || hlpIn == L("both"))
                WriteBytes(Path(L(dir) + L("Quillbox.hlp")), QByteArray(where) + " help\r\n.");
        }
        if (hlpIn == L("empty"))
            WriteBytes(Path(L("bin/Quillbox.hlp")), {});
        viewerOpens = viewerTakes;
        QTest::keyClick(window.get(), Qt::Key_F1);
        QCOMPARE(viewerUrls,
                 opened.isEmpty() ? QList<QUrl>() : QList<QUrl>{QUrl::fromLocalFile(Path(opened))});
        QPointer<HelpWindow> helpWindow = window->Help();
        QCOMPARE(helpWindow && helpWindow->isVisible(), !shown.isEmpty());
        if (hlpIn.isEmpty()) // missing: the failure names the file beside the program
            QCOMPARE(TakeMessages(),
                     QStringList{L("mnuHelp_Help_Click: File not found: ") + Path(L("bin/Quillbox.hlp"))});
        if (shown.isEmpty())
            return;
        QCOMPARE(helpWindow->windowTitle(), L("Quillbox 1.0 Help"));
        QCOMPARE(helpWindow->HelpText(),
                 L("Quillbox 1.0  (C) 2024-2025 the Quillbox team\n\nCheck for updates - and "
                   "other PS02 tools  https://quillbox.example.org\n\n") +
                     shown.replace(L("%1"), tmp->path()));
        auto* text = helpWindow->findChild<QPlainTextEdit*>(L("txtHelp"));
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Return); // Enter closes it, also from the text
        QVERIFY(!helpWindow || !helpWindow->isVisible());
        QTest::keyClick(window.get(), Qt::Key_F1);
        helpWindow = window->Help();
        QVERIFY(helpWindow && helpWindow->isVisible());
        QTest::keyClick(helpWindow->findChild<QPlainTextEdit*>(L("txtHelp")), Qt::Key_Escape); // and Esc
        QVERIFY(!helpWindow || !helpWindow->isVisible());
    }

    void aboutSplashCloses_data() {
        QTest::addColumn<QString>("how"); // a label's name, "window" or "key"; "release" only releases
        QTest::newRow("click on the window") << L("window");
        QTest::newRow("click on a label") << L("lblCopyright");
        QTest::newRow("key") << L("key");
        QTest::newRow("foreign release") << L("release");
    }

    void aboutSplashCloses() {
        QFETCH(QString, how);
        Trigger("mnuHelp_About");
        QPointer<SplashWindow> splash = window->Splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        if (how == L("key"))
            QTest::keyClick(splash, Qt::Key_Space);
        else if (how == L("release")) // the Enter that chose "&About", released over the splash
            QTest::keyRelease(splash, Qt::Key_Return);
        else if (how == L("window"))
            QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(3, splash->height() - 3));
        else
            QTest::mouseClick(splash, Qt::LeftButton, {},
                              splash->findChild<QLabel*>(how)->geometry().center());
        QCOMPARE(splash && splash->isVisible(), how == L("release"));
    }

    // "Earlier Versions…" comes with a loaded library; its dialog lists the versions the saves kept
    // and loads the chosen one through the controller, as unsaved changes.
    void earlierVersions() {
        QVERIFY(!Find<QAction>("mnuFile_EarlierVersions")->isEnabled());
        LoadLibrary(Names);
        QVERIFY(Find<QAction>("mnuFile_EarlierVersions")->isEnabled());
        const QByteArray first = State().LibraryData;
        for (int save = 0; save < 2; ++save) {
            Click(Lib(), 1);
            Trigger("mnuLibrary_MoveUp");
            Trigger("mnuFile_SaveLib");
        }
        Trigger("mnuLibrary_ClonePatch"); // unsaved: the load is one step that undo takes back
        const QByteArray current = State().LibraryData;
        EarlierVersionsDialog dialog(window->Controller(), window.get());
        auto* table = dialog.findChild<QTableWidget*>(L("lstVersions"));
        auto* load = dialog.findChild<QPushButton*>(L("cmdLoad"));
        QVERIFY(table && load && !load->isEnabled());
        QCOMPARE(table->rowCount(), 2);
        QCOMPARE(table->item(1, 1)->text(), L("4"));
        QCOMPARE(table->horizontalHeaderItem(0)->text(), L("Replaced at"));
        dialog.show();
        table->selectRow(1); // the oldest: the library as loaded
        QVERIFY(load->isEnabled());
        MessageBoxes::setNextAnswer(QMessageBox::No); // the closing question: the clone is not saved
        QTest::mouseClick(load, Qt::LeftButton);
        QCOMPARE(TakeMessages(), QStringList{L("Do you like to save now?")});
        QVERIFY(!dialog.isVisible());
        QCOMPARE(State().LibraryData, first);
        QVERIFY(State().LibChanged);
        QCOMPARE(Line(Lib(), 0), L("01:  ALPHA "));
        Trigger("mnuEdit_Undo");
        QCOMPARE(State().LibraryData, current);
        window->Controller().MutableState().LibChanged = false; // nothing to ask when the window closes
    }

    // "Tags…" asks for one tag, offers the known ones, and hands it to the controller: the dialog
    // closes when the selected entries took it.
    void tagsDialog() {
        LoadLibrary(Names);
        QVERIFY(Find<QAction>("mnuLibrary_Tags")->isEnabled());
        Click(Lib(), 2);
        TagsDialog dialog(window->Controller(), {L("#gig"), L("#live")}, window.get());
        auto* field = dialog.findChild<QLineEdit*>(L("txtTag"));
        auto* add = dialog.findChild<QPushButton*>(L("cmdTagAdd"));
        QVERIFY(field && add && !add->isEnabled());
        dialog.show();
        QTest::keyClicks(field, L("li"));
        QCOMPARE(field->completer()->currentCompletion(), L("#live"));
        field->setText(L("live"));
        QTest::mouseClick(add, Qt::LeftButton);
        QVERIFY(!dialog.isVisible());
        QCOMPARE(State().DescArray.value(3), L("#live"));
        window->Controller().MutableState().LibChanged = false; // nothing to ask when the window closes
    }

    // A path holding Qt's unsaved-mark placeholder shows it as it is; a version of one byte (a
    // library without entries) is "1 byte".
    void titleAndSizeTexts() {
        QVERIFY(QDir().mkpath(Path(L("a[*]b"))));
        const QString lib = Path(L("a[*]b/empty.pslib"));
        Choose("mnuFile_LoadLib", lib); // a new, empty library: one byte
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY2(window->windowHandle()->title().contains(L("a[*]b/empty.pslib")),
                 qPrintable(window->windowHandle()->title()));
        QVERIFY(EarlierVersions(Path(L("versions"))).Keep(lib, {QByteArray("\x01"), {}}));
        EarlierVersionsDialog dialog(window->Controller(), window.get());
        QCOMPARE(dialog.findChild<QTableWidget*>(L("lstVersions"))->item(0, 2)->text(), L("1 byte"));
    }

    void dialogProperties() {
        OpenSaveDLG dialog;
        dialog.SetDialogTitle(L("  Title "));
        dialog.SetInitDir(L(" /tmp  "));
        dialog.SetFilename(L("   "));
        dialog.SetReturnPath(L(" /tmp/a b.pslib "));
        dialog.SetFilter(L(" All (*.*)") + QChar(0) + L("*.*") + QChar(0) + L(" "));
        QCOMPARE(
            QStringList({dialog.DialogTitle(), dialog.InitDir(), dialog.Filename(), dialog.ReturnPath()}),
            QStringList({L("Title"), L("/tmp"), QString(), L("/tmp/a b.pslib")}));
        QCOMPARE(dialog.Filter(), L("All (*.*)") + QChar(0) + L("*.*") + QChar(0));
        QCOMPARE(OpenSaveDLG::Trim0(L("abc") + QChar(0) + L("d") + QChar(0)), L("abc"));
        QCOMPARE(OpenSaveDLG::Trim0(QChar(0) + L("x")), QString());
        // One name, which need not exist (a new library); a blank Filename gives the Open dialog.
        QCOMPARE(dialog.CreateDialog()->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog.CreateDialog()->acceptMode(), QFileDialog::AcceptOpen);
        dialog.SetFilename(L("x.pslib"));
        QCOMPARE(dialog.CreateDialog()->acceptMode(), QFileDialog::AcceptSave);
        // A cancel empties ReturnPath; with CancelError it is failure number 18.
        OpenSaveDLG::setNextCancel();
        QVERIFY(!dialog.Show());
        QCOMPARE(dialog.ReturnPath(), QString());
        dialog.SetCancelError(true);
        dialog.SetReturnPath(L("old"));
        OpenSaveDLG::setNextCancel();
        qint64 number = 0;
        try {
            dialog.Show();
        } catch (const FileError& error) {
            number = error.number;
        }
        QCOMPARE(number, qint64(18));
        QCOMPARE(dialog.ReturnPath(), QString());
    }

    // The set list as PDF, exported and printed: pages, the library's name, every entry, wrapped
    // descriptions and page numbers, read back with a PDF text extractor.
    void setListPdf() {
        QStringList names, descriptions;
        for (int i = 0; i < 70; ++i)
            names.append(L("N%1").arg(i));
        const QString longText =
            L("a description long enough to wrap inside its column ").repeated(4) + L("ENDWORD");
        QByteArray side = "[Description]\r\n";
        for (int i = 1; i <= 70; ++i)
            side += QByteArray::number(i) + '=' +
                    (i == 5 ? longText.toLatin1() : QByteArray("d") + QByteArray::number(i)) + "\r\n";
        WriteBytes(Path(L("sets.pslib")), LibraryFileBytes(Store(names)));
        WriteBytes(Path(L("sets.pslib.txt")), side);
        Choose("mnuFile_LoadLib", Path(L("sets.pslib")));
        Choose("mnuFile_ExportSetList", Path(L("gone/sets.pdf"))); // a folder that is not there
        QCOMPARE(TakeMessages(), QStringList{L("Error: Cannot open the file: ") + Path(L("gone/sets.pdf"))});
        QVERIFY(!QFileInfo::exists(Path(L("gone"))));
        Choose("mnuFile_ExportSetList", Path(L("sets.pdf")));
        PrintDialog::setNextAnswer(Path(L("printed.pdf")));
        Trigger("mnuFile_PrintSetList");
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Printed the set list of 70 patches"));
        PrintDialog::setNextAnswer(QString()); // cancelled: nothing printed
        Trigger("mnuFile_PrintSetList");
        QCOMPARE(Find<QLabel>("lblStatus")->text(), L("Printed the set list of 70 patches"));
        for (const QString& pdf : {Path(L("sets.pdf")), Path(L("printed.pdf"))}) {
            const PdfContent read = ReadPdf(pdf);
            QVERIFY2(read.pages >= 0, "pdfinfo and pdftotext (poppler-utils) are needed to read the PDF");
            QVERIFY2(read.pages >= 2, qPrintable(QString::number(read.pages)));
            const QString all = read.text.simplified();
            for (const QString& expected : {L("sets.pslib"), L("Set list of 70 patches"), L("Drive type"),
                                            L("01 N0"), L("70 N69"), L("d70"), L("ENDWORD")})
                QVERIFY2(all.contains(expected), qPrintable(expected));
            // Each page has the title, the header row and its number.
            const int pages = read.pages;
            const QStringList perPage = read.text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
            QCOMPARE(perPage.size(), pages);
            for (int page = 1; page <= pages; ++page) {
                const QString& onPage = perPage[page - 1];
                QVERIFY2(onPage.contains(L("Page %1 of %2").arg(page).arg(pages)) &&
                             onPage.contains(L("sets.pslib")) && onPage.contains(L("Description")),
                         qPrintable(onPage));
            }
        }
    }

    // A set list that fits a page is printed on one; a description that is one long word is broken
    // inside its column, not cut; large print (the third filter) puts fewer, larger rows on a page.
    void setListPdfFits_data() {
        QTest::addColumn<int>("patches");
        QTest::addColumn<int>("filter"); // of the Export Set List dialog
        QTest::addColumn<int>("pages");
        QTest::addColumn<bool>("longWord"); // entry 4's description is one word of 255 characters
        QTest::newRow("30 patches") << 30 << 1 << 1 << false;
        QTest::newRow("40 patches") << 40 << 1 << 2 << false;
        QTest::newRow("30 patches, large print") << 30 << 2 << 2 << false;
        QTest::newRow("a long word") << 5 << 1 << 1 << true;
        QTest::newRow("a long word, large print") << 5 << 2 << 1 << true;
    }

    void setListPdfFits() {
        QFETCH(int, patches);
        QFETCH(int, filter);
        QFETCH(int, pages);
        QFETCH(bool, longWord);
        QStringList names;
        QByteArray side = "[Description]\r\n";
        const QByteArray word(255, '#'); // nothing else in the list holds a "#"
        for (int i = 0; i < patches; ++i) {
            names.append(L("N%1").arg(i));
            side += QByteArray::number(i + 1) + '=' +
                    (i == 3 && longWord ? word : QByteArray("d") + QByteArray::number(i)) + "\r\n";
        }
        WriteBytes(Path(L("sets.pslib")), LibraryFileBytes(Store(names)));
        WriteBytes(Path(L("sets.pslib.txt")), side);
        Choose("mnuFile_LoadLib", Path(L("sets.pslib")));
        OpenSaveDLG::setNextFilter(filter);
        const OpenSaveDLG::Shown shown = Choose("mnuFile_ExportSetList", Path(L("sets")));
        QVERIFY(shown.filter.contains(L("Set list in large print for the stage (*.pdf)")));
        const QString pdf = Path(L("sets.pdf"));
        const PdfContent read = ReadPdf(pdf);
        QVERIFY2(read.pages >= 0, "pdfinfo and pdftotext (poppler-utils) are needed to read the PDF");
        const QString& all = read.text;
        QCOMPARE(read.pages, pages);
        QCOMPARE(all.count(QLatin1Char('#')), longWord ? 255 : 0);
        QVERIFY(all.contains(L("N%1").arg(patches - 1)) && all.contains(L("d%1").arg(patches - 1)));
        QCOMPARE(all.contains(L("Drive type")), filter != 2); // large print: number, name, description
    }
};

std::unique_ptr<QObject> quillbox::test::NewOtherWindowsTests() {
    return std::make_unique<TestOtherWindows>();
}

#include "tst_OtherWindows.moc"
