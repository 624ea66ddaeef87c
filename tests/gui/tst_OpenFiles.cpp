// Files handed to the program from outside: the command line, drops on the window, and the help
// files of an installed program.

#include "GuiTestSupport.h"
#include "HelpWindow.h"
#include "Start.h"

#include <QLineEdit>
#include <QMimeData>

using namespace quillbox;
using namespace quillbox::test;

namespace {
const QStringList LibNames = {QStringLiteral("ALPHA"), QStringLiteral("BRAVO")};
const QStringList PatchNames = {QStringLiteral("CHARLY"), QStringLiteral("DELTA"), QStringLiteral("ECHO")};
} // namespace

class TestOpenFiles : public QObject {
    Q_OBJECT

    WindowFixture f;

    // A library of two entries with descriptions and a device patch file of three patches.
    void WriteFiles() {
        WriteLibrary(f.Path(QStringLiteral("lib.pslib")), Store(LibNames), {QStringLiteral("first")});
        WriteBytes(f.Path(QStringLiteral("dump.pch")), Store(PatchNames));
    }

    QStringList InTmp(const QStringList& names) const {
        QStringList paths;
        for (const QString& name : names)
            paths.append(f.Path(name));
        return paths;
    }

    // -1 for a library that was not loaded.
    int LibCount() const { return f.State().LibraryLoaded ? f.Lib()->model()->rowCount() : -1; }

private Q_SLOTS:
    void cleanup() {
        if (f.window)
            f.Finish();
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("exitCode"); // -1: the program starts
        QTest::addColumn<QString>("outputStart");
        const QString q = QStringLiteral("quillbox");
        QTest::newRow("no argument") << QStringList{q} << QStringList() << -1 << QString();
        QTest::newRow("relative library")
            << QStringList{q, QStringLiteral("sub/../lib.pslib")}
            << QStringList{QStringLiteral("/work/lib.pslib")} << -1 << QString();
        QTest::newRow("absolute patch file")
            << QStringList{q, QStringLiteral("/data/dump.pch")}
            << QStringList{QStringLiteral("/data/dump.pch")} << -1 << QString();
        QTest::newRow("a name like an option after --")
            << QStringList{q, QStringLiteral("a.pch"), QStringLiteral("--"), QStringLiteral("-b.pslib")}
            << QStringList{QStringLiteral("/work/a.pch"), QStringLiteral("/work/-b.pslib")} << -1
            << QString();
        QTest::newRow("version") << QStringList{q, QStringLiteral("--version"), QStringLiteral("x.pch")}
                                 << QStringList() << 0 << QStringLiteral("quillbox 1.0.63\n");
        QTest::newRow("help") << QStringList{q, QStringLiteral("-h")} << QStringList() << 0
                              << QStringLiteral("Usage: quillbox [FILE...]\n");
        QTest::newRow("unknown option")
            << QStringList{q, QStringLiteral("--load"), QStringLiteral("x.pch")} << QStringList() << 2
            << QStringLiteral("quillbox: Unknown option 'load'.\n");
    }

    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QStringList, files);
        QFETCH(int, exitCode);
        QFETCH(QString, outputStart);
        const CommandLine line = ParseCommandLine(arguments, QStringLiteral("/work"));
        QCOMPARE(line.files, files);
        QCOMPARE(line.exit, exitCode >= 0);
        if (line.exit)
            QCOMPARE(line.exitCode, exitCode);
        QVERIFY2(line.output.startsWith(outputStart), qPrintable(line.output));
    }

    // What the command line's files (or a drop's) open, in a window that has just started.
    void openFiles_data() {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<int>("libCount");
        QTest::addColumn<int>("patchesCount");
        QTest::addColumn<QStringList>("rest");
        QTest::addColumn<QString>("messagePath"); // a failure's message names this file
        QTest::newRow("none") << QStringList() << -1 << 0 << QStringList() << QString();
        QTest::newRow("library") << QStringList{QStringLiteral("lib.pslib")} << 2 << 0 << QStringList()
                                 << QString();
        QTest::newRow("patch file") << QStringList{QStringLiteral("dump.pch")} << -1 << 3 << QStringList()
                                    << QString();
        QTest::newRow("patch file first, library second")
            << QStringList{QStringLiteral("dump.pch"), QStringLiteral("lib.pslib")} << 2 << 3 << QStringList()
            << QString();
        QTest::newRow("further files are left")
            << QStringList{QStringLiteral("lib.pslib"), QStringLiteral("b.pslib"), QStringLiteral("dump.pch"),
                           QStringLiteral("c.pch")}
            << 2 << 3 << QStringList{QStringLiteral("b.pslib"), QStringLiteral("c.pch")} << QString();
        QTest::newRow("missing patch file")
            << QStringList{QStringLiteral("lib.pslib"), QStringLiteral("gone.pch")} << 2 << 0 << QStringList()
            << QStringLiteral("gone.pch");
    }

    void openFiles() {
        QFETCH(QStringList, names);
        QFETCH(int, libCount);
        QFETCH(int, patchesCount);
        QFETCH(QStringList, rest);
        QFETCH(QString, messagePath);
        f.Start();
        WriteFiles();
        const QString caption = f.window->windowTitle();

        QCOMPARE(f.window->OpenFiles(InTmp(names)), InTmp(rest));

        QCOMPARE(LibCount(), libCount);
        QCOMPARE(f.Patches()->model()->rowCount(), patchesCount);
        if (libCount > 0) {
            QCOMPARE(Line(f.Lib(), 1), QStringLiteral("02:  BRAVO "));
            QCOMPARE(f.State().DescArray.value(1), QStringLiteral("first"));
            QCOMPARE(f.State().LibFilePath, f.Path(QStringLiteral("lib.pslib")));
        }
        if (patchesCount > 0)
            QCOMPARE(f.State().PatchesFilePath, f.Path(QStringLiteral("dump.pch")));
        // The caption names the last file opened, as after the menu commands.
        if (patchesCount > 0 || libCount >= 0)
            QCOMPARE(f.window->windowTitle(),
                     QStringLiteral("Quillbox   ") +
                         f.Path(patchesCount > 0 ? QStringLiteral("dump.pch") : QStringLiteral("lib.pslib")));
        else
            QCOMPARE(f.window->windowTitle(), caption);
        const QStringList messages = TakeMessages();
        QCOMPARE(messages.size(), messagePath.isEmpty() ? 0 : 1);
        if (!messagePath.isEmpty())
            QVERIFY2(messages.first().contains(f.Path(messagePath)), qPrintable(messages.first()));
    }

    // Drops land on the window or on a control that takes dropped text; files are the window's.
    void drop_data() {
        QTest::addColumn<QString>("target"); // objectName, empty for the window
        QTest::addColumn<QStringList>("urls");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("libCount");
        QTest::addColumn<int>("patchesCount");
        const QString lib = QStringLiteral("file:lib.pslib");
        const QString pch = QStringLiteral("file:dump.pch");
        QTest::newRow("library on the window") << QString() << QStringList{lib} << true << 2 << 0;
        QTest::newRow("patch file on the description box")
            << QStringLiteral("txtDescription") << QStringList{pch} << true << 1 << 3;
        QTest::newRow("both on the name box")
            << QStringLiteral("txtName") << QStringList{pch, lib} << true << 2 << 3;
        QTest::newRow("remote file") << QString() << QStringList{QStringLiteral("https://example.org/x.pch")}
                                     << false << 1 << 0;
        QTest::newRow("folder") << QStringLiteral("txtDescription") << QStringList{QStringLiteral("file:.")}
                                << false << 1 << 0;
    }

    void drop() {
        QFETCH(QString, target);
        QFETCH(QStringList, urls);
        QFETCH(bool, accepted);
        QFETCH(int, libCount);
        QFETCH(int, patchesCount);
        f.Start();
        WriteFiles();
        // A library with its first entry shown: the text boxes are enabled and take drops.
        WriteLibrary(f.Path(QStringLiteral("first.pslib")), Store({QStringLiteral("FOX")}));
        f.window->OpenFiles({f.Path(QStringLiteral("first.pslib"))});
        ClickRow(f.Lib(), 0);
        QList<QUrl> list;
        QStringList texts;
        for (const QString& url : urls) {
            list.append(url.startsWith(QLatin1String("file:"))
                            ? QUrl::fromLocalFile(QDir::cleanPath(f.Path(url.mid(5))))
                            : QUrl(url));
            texts.append(list.last().toString());
        }
        // File managers offer the names as text too, which a text box would insert.
        QMimeData data;
        data.setUrls(list);
        data.setText(texts.join(QLatin1Char('\n')));
        QWidget* widget = target.isEmpty() ? f.window.get() : f.Find(target);
        QVERIFY(widget);
        if (auto* area = qobject_cast<QAbstractScrollArea*>(widget); area && area->viewport()->acceptDrops())
            widget = area->viewport();
        QVERIFY(widget->acceptDrops() && widget->isEnabled());
        const QPoint at = widget->rect().center();

        QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(widget, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        if (accepted) {
            QCOMPARE(enter.dropAction(), Qt::CopyAction);
            QDropEvent dropped(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(widget, &dropped);
            QVERIFY(dropped.isAccepted());
        }
        QTRY_COMPARE(f.Patches()->model()->rowCount(), patchesCount);
        QTRY_COMPARE(LibCount(), libCount);
        // No text box took the names as text.
        QVERIFY(
            !f.Find<DescriptionBox>(QStringLiteral("txtDescription"))->Text().contains(QLatin1String(":/")));
        QVERIFY(!f.Find<QLineEdit>(QStringLiteral("txtName"))->text().contains(QLatin1String(":/")));
    }

    // An installed program finds its help in share/quillbox beside its bin/ folder.
    void helpLookup_data() {
        QTest::addColumn<QString>("hlpIn"); // "bin", "data" or "both"
        QTest::addColumn<QString>("chmIn"); // the same, or empty
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("shown");
        const QString binChm = QStringLiteral("bin/Quillbox.chm");
        const QString dataChm = QStringLiteral("share/quillbox/Quillbox.chm");
        const auto s = [](const char* text) {
            return QString::fromLatin1(text);
        };
        QTest::newRow("help in the data folder only")
            << s("data") << QString() << QString() << s("data help");
        QTest::newRow("help beside the program first")
            << s("both") << QString() << QString() << s("bin help");
        QTest::newRow("compiled help in the data folder") << s("bin") << s("data") << dataChm << QString();
        QTest::newRow("compiled help beside the program first")
            << s("data") << s("both") << binChm << QString();
    }

    void helpLookup() {
        QFETCH(QString, hlpIn);
        QFETCH(QString, chmIn);
        QFETCH(QString, opened);
        QFETCH(QString, shown);
        MainWindowOptions options;
        options.programDirectory = QStringLiteral("bin");
        f.Start(options);
        QVERIFY(QDir(f.Dir()).mkpath(QStringLiteral("share/quillbox")));
        const QString dirs[] = {QStringLiteral("bin"), QStringLiteral("data")};
        for (const QString& dir : dirs) {
            const QString folder = dir == QLatin1String("bin") ? dir : QStringLiteral("share/quillbox");
            if (hlpIn == dir || hlpIn == QLatin1String("both"))
                WriteBytes(f.Path(folder + QStringLiteral("/Quillbox.hlp")), dir.toLatin1() + " help");
            if (chmIn == dir || chmIn == QLatin1String("both"))
                WriteBytes(f.Path(folder + QStringLiteral("/Quillbox.chm")), "ITSF");
        }

        f.Trigger("mnuHelp_Help");

        QCOMPARE(f.openedUrls.size(), opened.isEmpty() ? 0 : 1);
        if (!opened.isEmpty())
            QCOMPARE(f.openedUrls.first(), QUrl::fromLocalFile(f.Path(opened)));
        if (!shown.isEmpty()) {
            QVERIFY(f.window->Help());
            QVERIFY2(f.window->Help()->HelpText().endsWith(QStringLiteral("\n\n") + shown),
                     qPrintable(f.window->Help()->HelpText()));
        }
    }
};

QTEST_MAIN(TestOpenFiles)
#include "tst_OpenFiles.moc"
