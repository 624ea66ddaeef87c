// Help, about, Top and the splash window.

#include "AppInfo.h"
#include "GuiTestSupport.h"
#include "HelpWindow.h"
#include "SplashWindow.h"

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>

using namespace quillbox;
using namespace quillbox::test;

class TestHelpSplash : public QObject {
    Q_OBJECT

    WindowFixture f;

    QString AboutText() const {
        return QStringLiteral(
            "Quillbox 1.0  (C) 2024-2025 the Quillbox team\n\nCheck for updates - and other PS02 tools  "
            "https://quillbox.example.org");
    }

private Q_SLOTS:
    void init() { f.Start(); }
    void cleanup() { f.Finish(); }

    void help_data() {
        QTest::addColumn<bool>("chm");
        QTest::addColumn<bool>("viewerOpens");
        QTest::addColumn<QByteArray>("hlp"); // "-" : no file
        QTest::addColumn<bool>("viewerAsked");
        QTest::addColumn<bool>("windowShown");
        QTest::addColumn<QString>("textEnd");
        QTest::addColumn<QString>("message");
        QTest::newRow("compiled help opens")
            << true << true << QByteArray("Text.") << true << false << QString() << QString();
        QTest::newRow("no viewer takes it") << true << false << QByteArray("Text.\r\nMore.") << true << true
                                            << QStringLiteral("\n\nText.\nMore.") << QString();
        QTest::newRow("plain help only") << false << true << QByteArray("Plain help.") << false << true
                                         << QStringLiteral("\n\nPlain help.") << QString();
        QTest::newRow("empty plain help") << false << true << QByteArray() << false << true
                                          << QStringLiteral("\n\nHelpfile corrupt: %1") << QString();
        QTest::newRow("no help files") << false << true << QByteArray("-") << false << false << QString()
                                       << QStringLiteral("mnuHelp_Help_Click: ");
    }

    void help() {
        QFETCH(bool, chm);
        QFETCH(bool, viewerOpens);
        QFETCH(QByteArray, hlp);
        QFETCH(bool, viewerAsked);
        QFETCH(bool, windowShown);
        QFETCH(QString, textEnd);
        QFETCH(QString, message);
        const QString hlpPath = f.Path(QStringLiteral("Quillbox.hlp"));
        if (chm)
            WriteBytes(f.Path(QStringLiteral("Quillbox.chm")), "ITSF");
        if (hlp != "-")
            WriteBytes(hlpPath, hlp);
        f.viewerOpens = viewerOpens;

        QTest::keyClick(f.window.get(), Qt::Key_F1);

        QCOMPARE(f.openedUrls.size(), viewerAsked ? 1 : 0);
        if (viewerAsked)
            QCOMPARE(f.openedUrls.first(), QUrl::fromLocalFile(f.Path(QStringLiteral("Quillbox.chm"))));
        HelpWindow* help = f.window->Help();
        QCOMPARE(help != nullptr && help->isVisible(), windowShown);
        if (windowShown) {
            QCOMPARE(help->windowTitle(), QStringLiteral("Quillbox 1.0 Help"));
            QCOMPARE(help->HelpText(),
                     AboutText() + (textEnd.contains(QLatin1String("%1")) ? textEnd.arg(hlpPath) : textEnd));
        }
        const QStringList messages = TakeMessages();
        if (message.isEmpty()) {
            QVERIFY(messages.isEmpty());
        } else {
            QCOMPARE(messages.size(), 1);
            QVERIFY2(messages.first().startsWith(message), qPrintable(messages.first()));
            QVERIFY2(messages.first().contains(hlpPath), qPrintable(messages.first()));
        }
    }

    void helpWindowBehaviour() {
        WriteBytes(f.Path(QStringLiteral("Quillbox.hlp")), "Line one\nLine two\n");
        f.Trigger("mnuHelp_Help");
        QPointer<HelpWindow> help = f.window->Help();
        QVERIFY(help);
        QVERIFY(QTest::qWaitForWindowExposed(help));
        auto* text = help->findChild<QPlainTextEdit*>(QStringLiteral("txtHelp"));
        QVERIFY(text);
        // The box follows the window's size.
        help->resize(300, 200);
        QCOMPARE(text->geometry().right() + 1, 300);
        QCOMPARE(text->geometry().bottom() + 1, 200);
        help->resize(640, 480);
        QCOMPARE(text->geometry().right() + 1, 640);
        // Help again updates the open window.
        WriteBytes(f.Path(QStringLiteral("Quillbox.hlp")), "Changed\n");
        f.Trigger("mnuHelp_Help");
        QCOMPARE(f.window->Help(), help.data());
        QVERIFY(help->HelpText().endsWith(QStringLiteral("Changed\n")));
        // Enter closes it, also with the focus in the text.
        text->setFocus();
        QTest::keyClick(text, Qt::Key_Return);
        QVERIFY(help.isNull() || !help->isVisible());
    }

    void top() {
        QAction* action = f.window->findChild<QAction*>(QStringLiteral("mnuWindow_Top"));
        f.Trigger("mnuWindow_Top");
        QVERIFY(f.window->OnTop());
        QVERIFY(action->isChecked());
        QVERIFY(f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(f.window->isVisible());
        f.Trigger("mnuWindow_Top");
        QVERIFY(!f.window->OnTop());
        QVERIFY(!action->isChecked());
        QVERIFY(!f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        QVERIFY(f.window->isVisible());
    }

    void aboutShowsTheSplash() {
        QVERIFY(!f.window->Splash());
        f.Trigger("mnuHelp_About");
        QPointer<SplashWindow> splash = f.window->Splash();
        QVERIFY(splash);
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        QVERIFY(splash->windowFlags().testFlag(Qt::FramelessWindowHint));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("lblProductName"))->text(),
                 QStringLiteral("Quillbox"));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("lblVersion"))->text(), QStringLiteral("1.0"));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("lblBuild"))->text(), QStringLiteral("Build 63"));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("lblCompany"))->text(),
                 QStringLiteral("Developed by the Quillbox team"));
        QCOMPARE(splash->findChild<QLabel*>(QStringLiteral("lblStatus"))->text(), QString());
        // Shown again while open: the same window, its status line as it was.
        splash->SetStatus(QStringLiteral("kept"));
        f.Trigger("mnuHelp_About");
        QCOMPARE(f.window->Splash(), splash.data());
        QCOMPARE(splash->StatusLabel()->text(), QStringLiteral("kept"));
    }

    void splashLabels() {
        SplashWindow splash;
        QCOMPARE(splash.size(), QSize(362, 139));
        struct Expected {
            const char* name;
            qreal points;
            QColor color;
        };
        const Expected expected[] = {
            {"lblProductName", 22.2, QColor(255, 128, 0)},
            {"lblVersion", 22.2, QColor(255, 128, 0)},
            {"lblCompany", 7.8, Qt::black},
            {"lblCopyright", 7.8, Qt::black},
            {"lblCompanyProduct", 13.8, QColor(64, 64, 64)},
            {"lblBuild", 8.4, QColor(64, 64, 64)},
            {"lblStatus", 7.8, QColor(255, 128, 0)},
        };
        for (const Expected& e : expected) {
            auto* label = splash.findChild<QLabel*>(QString::fromLatin1(e.name));
            QVERIFY2(label, e.name);
            QVERIFY(label->font().bold());
            QCOMPARE(label->font().pointSizeF(), e.points);
            QCOMPARE(label->palette().color(QPalette::WindowText), e.color);
            QCOMPARE(bool(label->alignment() & Qt::AlignRight),
                     QLatin1String(e.name) == QLatin1String("lblVersion"));
            // Nothing is clipped, and every label stays inside the window.
            const QString text = label->text().isEmpty() ? QStringLiteral("Initialize ...") : label->text();
            QVERIFY2(label->width() >= label->fontMetrics().horizontalAdvance(text), e.name);
            QVERIFY2(label->height() >= label->fontMetrics().height(), e.name);
            QVERIFY2(splash.rect().contains(label->geometry()), e.name);
        }
        const QImage tile = SplashWindow::TilePicture();
        QCOMPARE(tile.size(), QSize(42, 22));
        // The picture covers the whole window, right and bottom edges included.
        const QImage painted = splash.grab().toImage();
        QCOMPARE(painted.pixelColor(painted.width() - 1, painted.height() - 1),
                 tile.pixelColor((painted.width() - 1) % 42, (painted.height() - 1) % 22));
    }

    void splashCloses_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("click on the window") << QStringLiteral("window");
        QTest::newRow("click on a label") << QStringLiteral("lblCopyright");
        QTest::newRow("click on the title") << QStringLiteral("lblProductName");
        QTest::newRow("key released") << QStringLiteral("key");
    }

    void splashCloses() {
        QFETCH(QString, how);
        f.Trigger("mnuHelp_About");
        QPointer<SplashWindow> splash = f.window->Splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        if (how == QLatin1String("key")) {
            QTest::keyClick(splash, Qt::Key_Space);
        } else if (how == QLatin1String("window")) {
            QTest::mouseClick(splash, Qt::LeftButton, {}, QPoint(3, splash->height() - 3));
        } else {
            auto* label = splash->findChild<QLabel*>(how);
            QTest::mouseClick(splash, Qt::LeftButton, {}, label->geometry().center());
        }
        QVERIFY(splash.isNull() || !splash->isVisible());
        // It can be opened again.
        f.Trigger("mnuHelp_About");
        QVERIFY(f.window->Splash() && f.window->Splash()->isVisible());
    }

    void splashIgnoresAForeignKeyRelease() {
        f.Trigger("mnuHelp_About");
        QPointer<SplashWindow> splash = f.window->Splash();
        QVERIFY(QTest::qWaitForWindowExposed(splash));
        // The Enter that chose "&About" is released over the new splash: it stays.
        QTest::keyRelease(splash, Qt::Key_Return);
        QVERIFY(splash && splash->isVisible());
    }

    void shippedHelpFileCoversEveryCommand() {
        // The help file beside the program is the one in the sources, and it explains every command.
        const QByteArray shipped = ReadBytes(QStringLiteral(QUILLBOX_BUILT_HELP));
        QCOMPARE(shipped, ReadBytes(QStringLiteral(QUILLBOX_SOURCE_HELP)));
        const QString text = QString::fromUtf8(shipped);
        for (QAction* action : f.window->findChildren<QAction*>()) {
            if (action->isSeparator() || !action->objectName().startsWith(QLatin1String("mnu")) ||
                action->menu() || action->text().isEmpty())
                continue;
            const QString caption = action->text().remove(QLatin1Char('&')).trimmed();
            QVERIFY2(text.contains(caption), qPrintable(caption));
        }
    }
};

QTEST_MAIN(TestHelpSplash)
#include "tst_HelpSplash.moc"
