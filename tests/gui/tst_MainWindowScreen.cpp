// The main window on the screen: the resize rules in twips, small and several screens, the status
// line, focus, what a screen reader is told and contrast under the themes.

#include "CollectionWindow.h"
#include "CompareWindow.h"
#include "Contrast.h"
#include "DialogSeam.h"
#include "EarlierVersionsDialog.h"
#include "HelpWindow.h"
#include "MessageBoxes.h"
#include "PatchListModel.h"
#include "PrintDialog.h"
#include "ReconcileWindow.h"
#include "ScreenFit.h"
#include "TwinMarks.h"
#include "WindowFixture.h"
#include "WindowSettings.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QScrollArea>
#include <QSettings>
#include <QTextBrowser>
#include <QTimer>
#include <cstdio>

using namespace quillbox;
using namespace quillbox::test;

class TestMainWindowScreen : public WindowFixture {
    Q_OBJECT

    // What the nine resize rules set, in their order.
    static QList<int> RuleTargets(const MainGeometry& g) {
        const auto at = [&g](const char* name) {
            return g.value(L(name));
        };
        return {at("frmPatches").height, at("frmLib").height,        at("frmDetail").height,
                at("frmDetail").width,   at("frmDescription").width, at("lstPatches").height,
                at("lstLib").height,     at("txtDescription").width, at("lblDetails").width};
    }

private Q_SLOTS:
    void layoutAtDesignedSize() {
        MainGeometry g = DesignedMainGeometry();
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(RuleTargets(g), (QList<int>{4848, 4848, 4848, 4692, 8364, 4296, 4296, 8340, 4592}));
        QCOMPARE(g.value(L("lstLib")).width, 1596); // the list columns never grow
        // The window runs the rules on every size change.
        window->resize(700, 450 + window->menuBar()->height());
        QTRY_COMPARE(window->centralWidget()->width(), 700);
        QCOMPARE(Find("frmDetail")->geometry().right() + 1, 700);
        QCOMPARE(Find("frmLib")->geometry().bottom() + 1, window->centralWidget()->height());
        QCOMPARE(Lib()->geometry().bottom() + 1, Find("frmLib")->height());
    }

    void layoutTooSmall_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("applied");
        QTest::newRow("fits") << 9500 << 6500 << 9;
        QTest::newRow("lower than the frames") << 8388 << 900 << 0;
        QTest::newRow("narrower than the details") << 3000 << 5832 << 3;
        QTest::newRow("lower than the lists") << 8388 << 1200 << 5;
        QTest::newRow("title margin") << 3700 << 5832 << 8;
    }

    // A rule that would give a negative size ends the run: the rules before it stay, the rest wait.
    void layoutTooSmall() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, applied);
        MainGeometry designed = DesignedMainGeometry();
        ApplyResizeRules(designed, DesignedClientWidth, DesignedClientHeight);
        MainGeometry g = designed;
        ApplyResizeRules(g, 9000, 6000);
        const MainGeometry large = g;
        QCOMPARE(ApplyResizeRules(g, width, height), applied);
        QCOMPARE(RuleTargets(g).mid(applied), RuleTargets(large).mid(applied));
        QVERIFY(applied == 0 || RuleTargets(g).mid(0, applied) != RuleTargets(large).mid(0, applied));
        QCOMPARE(ApplyResizeRules(g, DesignedClientWidth, DesignedClientHeight), ResizeRuleCount);
        QCOMPARE(g, designed);
    }

    // The status line never widens the window: a long text is cut where it is drawn and shown
    // whole in the tool tip (and to a screen reader).
    void statusLineElided() {
        const int width = window->width();
        const QString text =
            L("Imported 120 patches from \u2026/a-rather-long-folder-name/device.pch: ") +
            L("12 identical to library patches, 3 same name with other settings, 105 new.").repeated(3);
        window->ShowStatus(text);
        auto* status = Find<QLabel>("lblStatus");
        QCOMPARE(status->text(), text);
        QCOMPARE(status->toolTip(), text);
        QVERIFY(status->minimumSizeHint().width() <= status->width());
        QCOMPARE(window->width(), width);
        QVERIFY(status->width() < status->fontMetrics().horizontalAdvance(text));
    }

    // The first window on a small screen (1280 x 800 at twice the scale gives 640 x 400) opens whole
    // on the screen.
    void firstWindowOnSmallScreen_data() {
        QTest::addColumn<QRect>("screen");
        QTest::newRow("2x of 1280 x 800") << QRect(0, 0, 640, 400);
        QTest::newRow("2x of 1280 x 800, panel on top") << QRect(0, 28, 640, 372);
        QTest::newRow("1024 x 600") << QRect(0, 0, 1024, 600);
    }
    void firstWindowOnSmallScreen() {
        QFETCH(QRect, screen);
        window.reset();
        MainWindowOptions options;
        options.pause = [](int) {
        };
        options.settings = std::make_shared<QSettings>(Path(L("first.ini")), QSettings::IniFormat);
        options.screenAreas = [screen] {
            return QList<QRect>{screen};
        };
        window = std::make_unique<MainWindow>(options);
        window->show();
        const QRect frame = window->frameGeometry();
        QVERIFY2(frame.top() >= screen.top() && frame.left() >= screen.left(),
                 qPrintable(L("%1,%2").arg(frame.left()).arg(frame.top())));
        QVERIFY(screen.contains(frame));
        // Every control of the client area can be brought into view and seen whole: where the
        // screen is smaller than the designed window, the client area scrolls.
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        auto* scroller = qobject_cast<QScrollArea*>(window->centralWidget());
        QVERIFY(scroller);
        QWidget* panes = Find("clientArea");
        int checked = 0;
        for (QWidget* control : panes->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(panes) || !(control->focusPolicy() & Qt::TabFocus))
                continue;
            scroller->ensureWidgetVisible(control, 0, 0);
            QCoreApplication::processEvents();
            const QRect shown(control->mapTo(scroller->viewport(), QPoint()), control->size());
            // The designed resize rule gives the description box the client width less its left
            // edge within its frame: it reaches a frame's width beyond the client area at any size.
            const QRect view = scroller->viewport()->rect().adjusted(0, 0, 4, 0);
            const bool fits = control->width() <= view.width() && control->height() <= view.height();
            QVERIFY2(fits ? view.contains(shown) : view.intersects(shown),
                     qPrintable(control->objectName() + L(" %1,%2 %3x%4 in %5x%6")
                                                            .arg(shown.x())
                                                            .arg(shown.y())
                                                            .arg(shown.width())
                                                            .arg(shown.height())
                                                            .arg(view.width())
                                                            .arg(view.height())));
            ++checked;
        }
        QVERIFY(checked >= 20);
        // Where the designed window fits, nothing scrolls.
        if (screen.height() >= 600)
            QCOMPARE(panes->size(), scroller->viewport()->size());
    }

    // Every other window and dialog opens whole on the main window's screen, small or scaled, and none
    // needs more room than that screen has; each opens over (centred on) the window that opened it,
    // also where the screen leaves room around the main window.
    void windowsFitSmallScreens_data() {
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QRect>("screen");
        const std::pair<const char*, QRect> screens[] = {{"1024 x 600", QRect(0, 0, 1024, 600)},
                                                         {"2x of 1280 x 800", QRect(0, 0, 640, 400)},
                                                         {"2x of 1920 x 1080", QRect(0, 0, 960, 540)},
                                                         {"1920 x 1080", QRect(0, 0, 1920, 1080)}};
        for (const char* shown :
             {"compare", "earlier versions", "reconcile", "collection", "collection folders", "help",
              "message", "question", "file", "file to load", "tags", "print"}) {
            for (const auto& [name, screen] : screens)
                QTest::newRow(qPrintable(L("%1 on %2").arg(L(shown), L(name)))) << L(shown) << screen;
        }
    }
    void windowsFitSmallScreens() {
        QFETCH(QString, shown);
        QFETCH(QRect, screen);
        OpenWindow({screen});
        // Away from the screen's corner, where a dialog left at Qt's first place would also be.
        window->move(screen.center() - window->frameGeometry().center() + window->pos());
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Lib(), 0);
        Click(Patches(), 1);
        QRect frame;
        QSize least;
        QRect ownerFrame;
        const auto measure = [&frame, &least, &ownerFrame](QWidget* top) {
            if (!top || !top->isVisible())
                return;
            frame = top->frameGeometry();
            least = top->minimumSize().expandedTo(top->minimumSizeHint()) + frame.size() - top->size();
            ownerFrame = top->parentWidget() ? top->parentWidget()->window()->frameGeometry() : QRect();
        };
        // A modal dialog the program opens itself: the first is measured once it is up, each is closed
        // (a cancelled file dialog is followed by a message).
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&frame, &measure] {
            if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
                if (!frame.isValid())
                    measure(modal);
                modal->close();
            }
        });
        const auto measureModal = [&poll] {
            EnableDialogTestMode(false);
            poll.start(10);
        };
        const auto restoreSeam = qScopeGuard([] { EnableDialogTestMode(true); });
        QPrinter printer;
        std::unique_ptr<QWidget> owned; // a dialog that is shown modally, shown here without blocking
        if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            measure(window->Compare());
        } else if (shown == L("earlier versions")) {
            owned = std::make_unique<EarlierVersionsDialog>(window->Controller(), window.get());
        } else if (shown == L("reconcile")) {
            WriteBytes(Path(L("other.pch")), Store({L("ALPHA"), L("BRAVO"), L("ECHO"), L("DELTA")}));
            Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
            measure(window->Reconcile());
        } else if (shown.startsWith(L("collection"))) {
            Trigger("mnuWindow_Collection");
            QTRY_VERIFY(!window->Collection()->Scanning());
            measure(window->Collection());
            if (shown == L("collection folders")) {
                frame = QRect();
                QTimer::singleShot(0, this, [&measure] {
                    measure(QApplication::activeModalWidget());
                    QApplication::activeModalWidget()->close();
                });
                window->Collection()->findChild<QPushButton*>(L("cmdCollectionFolders"))->click();
            }
        } else if (shown == L("help")) {
            WriteBytes(Path(L("bin/Quillbox.hlp")), QByteArray("help ").repeated(400) + "\r\n");
            Trigger("mnuHelp_Help");
            measure(window->Help());
        } else if (shown == L("message")) {
            owned = std::make_unique<QMessageBox>(
                QMessageBox::Warning, L("Changed on disk"),
                Path(L("a-rather-long-folder-name/sample.pslib")) +
                    L(" was changed on disk by another program since it was loaded. ").repeated(4),
                QMessageBox::Save | QMessageBox::SaveAll | QMessageBox::Apply | QMessageBox::Cancel,
                window.get());
        } else if (shown == L("question")) {
            measureModal();
            MessageBoxes::AskYesNo(window.get(), L("gig.pslib already exists."), L("Quillbox"));
        } else if (shown == L("file to load")) {
            measureModal();
            Trigger("mnuFile_LoadLib");
        } else if (shown == L("tags")) {
            measureModal();
            Trigger("mnuLibrary_Tags");
        } else if (shown == L("file")) {
            auto dialog = std::make_unique<QFileDialog>(window.get());
            dialog->setOption(QFileDialog::DontUseNativeDialog, true);
            owned = std::move(dialog);
        } else if (shown == L("print")) {
            owned = std::make_unique<QPrintDialog>(&printer, window.get());
        }
        if (owned) {
            owned->show();
            measure(owned.get());
        }
        QVERIFY2(frame.isValid(), "the window is not shown");
        QVERIFY2(least.width() <= screen.width() && least.height() <= screen.height(),
                 qPrintable(L("needs %1 x %2").arg(least.width()).arg(least.height())));
        QVERIFY2(screen.contains(frame), qPrintable(L("%1,%2 %3 x %4")
                                                        .arg(frame.left())
                                                        .arg(frame.top())
                                                        .arg(frame.width())
                                                        .arg(frame.height())));
        QVERIFY2(ownerFrame.contains(frame.center()),
                 qPrintable(L("centred at %1,%2, its window at %3,%4 %5 x %6")
                                .arg(frame.center().x())
                                .arg(frame.center().y())
                                .arg(ownerFrame.left())
                                .arg(ownerFrame.top())
                                .arg(ownerFrame.width())
                                .arg(ownerFrame.height())));
    }

    void placeOnScreens_data() {
        QTest::addColumn<QRect>("saved");
        QTest::addColumn<QRect>("placed");
        // Two screens side by side, the primary on the left.
        QTest::newRow("on the primary") << QRect(10, 20, 300, 200) << QRect(10, 20, 300, 200);
        QTest::newRow("on the second") << QRect(1300, 100, 300, 200) << QRect(1300, 100, 300, 200);
        QTest::newRow("mostly on the second") << QRect(1000, 100, 300, 200) << QRect(1024, 100, 300, 200);
        QTest::newRow("partly below the second") << QRect(1200, 700, 300, 200) << QRect(1200, 568, 300, 200);
        QTest::newRow("off both") << QRect(5000, -4000, 300, 200) << QRect(362, 284, 300, 200);
        QTest::newRow("larger than the second") << QRect(1100, 0, 3000, 3000) << QRect(1024, 0, 1280, 768);
    }

    void placeOnScreens() {
        QFETCH(QRect, saved);
        QFETCH(QRect, placed);
        QCOMPARE(WindowSettings::PlaceOnScreens(saved, {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 768)}),
                 placed);
    }

    // A window opened over its owner goes on the owner's screen (the one it overlaps most), whole and
    // no larger than that screen with its frame (4 px a side, a 20 px title).
    void fittedOnScreen_data() {
        QTest::addColumn<QRect>("opened");
        QTest::addColumn<QRect>("owner");
        QTest::addColumn<QRect>("placed");
        // Two screens side by side, the primary on the left.
        QTest::newRow("owner on the second, window across both")
            << QRect(900, 100, 300, 200) << QRect(1300, 0, 600, 500) << QRect(1028, 100, 300, 200);
        QTest::newRow("owner on the second, window on the primary")
            << QRect(700, 100, 300, 200) << QRect(1300, 0, 600, 500) << QRect(1514, 292, 300, 200);
        QTest::newRow("owner mostly on the primary")
            << QRect(900, 100, 300, 200) << QRect(700, 0, 400, 500) << QRect(720, 100, 300, 200);
        QTest::newRow("taller than the screen")
            << QRect(10, -50, 300, 900) << QRect(0, 0, 500, 500) << QRect(10, 20, 300, 744);
        QTest::newRow("owner off both")
            << QRect(5000, 0, 300, 200) << QRect(5000, 0, 300, 200) << QRect(362, 292, 300, 200);
    }
    void fittedOnScreen() {
        QFETCH(QRect, opened);
        QFETCH(QRect, owner);
        QFETCH(QRect, placed);
        QCOMPARE(FittedOnScreen(opened, QMargins(4, 20, 4, 4), owner,
                                {QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 768)}),
                 placed);
    }

    // Every control the keyboard reaches looks different while it has the focus, as the style the
    // program runs with draws it.
    void focusShows_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("main window") << L("main");
        QTest::newRow("compare") << L("compare");
    }
    void focusShows() {
        QFETCH(QString, shown);
        QCOMPARE(QApplication::style()->name(), L("fusion"));
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Patches(), 1);
        Click(Lib(), 0); // the details panel and description box show it
        QWidget* top = window.get();
        if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            top = window->Compare();
            top->activateWindow();
            QTRY_VERIFY(top->isActiveWindow());
        }
        if (QWidget* current = top->focusWidget()) // each control below gains the focus
            current->clearFocus();
        QStringList unmarked;
        int checked = 0;
        for (QWidget* control : top->findChildren<QWidget*>()) {
            if (control->window() != top || !control->isVisible() || !control->isEnabled() ||
                !(control->focusPolicy() & Qt::TabFocus) || control->focusProxy())
                continue;
            control->setFocus(Qt::ShortcutFocusReason); // as the keyboard moves it: the style marks it
            QVERIFY2(control->hasFocus(), qPrintable(control->objectName()));
            const QImage focused = control->grab().toImage();
            control->clearFocus();
            ++checked;
            if (control->grab().toImage() == focused)
                unmarked.append(control->objectName() + L(" (") + L(control->metaObject()->className()) +
                                L(")"));
        }
        QVERIFY2(checked >= (shown == L("main") ? 20 : 3), qPrintable(QString::number(checked)));
        QCOMPARE(unmarked.join(L(", ")), QString());
    }

    // A screen reader can name every control the keyboard reaches, in the main window, in each of its
    // other windows and in the message boxes, file and print dialogs it opens as Qt builds them;
    // list lines say their twin marks in words.
    void accessibleNames_data() {
        QTest::addColumn<QString>("shown");
        QTest::newRow("main window") << L("main");
        QTest::newRow("find field") << L("find");
        QTest::newRow("compare") << L("compare");
        QTest::newRow("earlier versions") << L("versions");
        QTest::newRow("help") << L("help");
        QTest::newRow("reconcile") << L("reconcile");
        QTest::newRow("collection") << L("collection");
        QTest::newRow("closing question") << L("closing");
        QTest::newRow("yes/no question") << L("yes/no");
        QTest::newRow("question with own buttons") << L("choice");
        QTest::newRow("error message") << L("critical");
        QTest::newRow("plain message") << L("plain");
        QTest::newRow("open file") << L("open");
        QTest::newRow("save file") << L("save");
        QTest::newRow("print") << L("print");
    }
    void accessibleNames() {
        QFETCH(QString, shown);
        LoadLibrary(Names);
        Import({L("ALPHA"), L("ECHO")});
        Click(Lib(), 0);
        Trigger("mnuLibrary_ClonePatch");
        Click(Patches(), 1);
        std::unique_ptr<QWidget> owned;
        QWidget* top = window.get();
        if (shown == L("find")) {
            Lib()->setFocus();
            QTest::keyClick(Lib(), Qt::Key_F, Qt::ControlModifier);
        } else if (shown == L("compare")) {
            Trigger("mnuPatch_Compare");
            top = window->Compare();
        } else if (shown == L("versions")) {
            owned = std::make_unique<EarlierVersionsDialog>(window->Controller(), window.get());
            owned->show();
            top = owned.get();
        } else if (shown == L("help")) {
            WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
            Trigger("mnuHelp_Help");
            top = window->Help();
        } else if (shown == L("reconcile")) {
            WriteBytes(Path(L("other.pch")), Image(L("ALPHA"), 0) + Image(L("ZULU"), 3));
            Choose("mnuFile_ReconcileWith", Path(L("other.pch")));
            top = window->Reconcile();
        } else if (shown == L("collection")) {
            Trigger("mnuWindow_Collection");
            top = window->Collection();
            QTRY_VERIFY(!window->Collection()->Scanning());
        }
        // The program's modal dialogs, shown for real: walked once open, then cancelled.
        std::function<void()> modal;
        const char* modalClass = "QMessageBox";
        OpenSaveDLG files;
        files.SetOwner(window.get());
        files.SetDialogTitle(L("Quillbox Load Library File"));
        files.SetFilter(L("PS02 Library(*.pslib)") + QChar(0) + L("*.pslib") + QChar(0));
        QPrinter printer;
        if (shown == L("closing")) {
            modal = [this] {
                window->close();
            };
        } else if (shown == L("yes/no")) {
            modal = [this] {
                MessageBoxes::AskYesNo(window.get(), Path(L("a.pslib")) + L(" already exists."),
                                       L("Quillbox"));
            };
        } else if (shown == L("choice")) {
            modal = [this] {
                MessageBoxes::AskChoice(
                    window.get(), L("Changed on disk"), L("Changed on disk"),
                    {{QMessageBox::Save, L("&Overwrite")}, {QMessageBox::Cancel, L("Cancel")}},
                    QMessageBox::Cancel, QMessageBox::Cancel);
            };
        } else if (shown == L("critical") || shown == L("plain")) {
            modal = [this, critical = shown == L("critical")] {
                if (critical)
                    MessageBoxes::ShowCritical(window.get(), L("File not found: ") + Path(L("a.pslib")));
                else
                    MessageBoxes::ShowPlain(window.get(), L("Saved"));
            };
        } else if (shown == L("open") || shown == L("save")) {
            if (shown == L("save")) { // a name to start from makes it the Save dialog
                files.SetDialogTitle(L("Quillbox Save Library File"));
                files.SetFilename(L("Library.pslib"));
            }
            files.SetInitDir(tmp->path());
            modalClass = "QFileDialog";
            modal = [&files] {
                files.Show();
            };
        } else if (shown == L("print")) {
            modalClass = "QPrintDialog";
            modal = [this, &printer] {
                PrintDialog::Ask(window.get(), printer);
            };
        }
        QStringList unnamed, lines;
        const std::function<void(QAccessibleInterface*)> walk = [&](QAccessibleInterface* node) {
            if (!node)
                return;
            const auto* widget = qobject_cast<const QWidget*>(node->object());
            const QString name = node->text(QAccessible::Name).trimmed();
            if (widget && widget->isVisible() && (widget->focusPolicy() & Qt::TabFocus) && name.isEmpty())
                unnamed.append(widget->objectName() + L(" (") + L(widget->metaObject()->className()) +
                               L(")"));
            if (!widget && node->role() == QAccessible::ListItem)
                lines.append(name);
            for (int i = 0; i < node->childCount(); ++i)
                walk(node->child(i));
        };
        if (modal) {
            EnableDialogTestMode(false);
            const auto testMode = qScopeGuard([] { EnableDialogTestMode(true); });
            // The print dialog's settings are behind its Options button, the paper's in the Properties
            // dialog it opens.
            QStringList opened;
            const std::function<void()> walkModal = [&] {
                auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (!dialog)
                    return;
                opened.append(L(dialog->metaObject()->className()));
                for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
                    if (button->text().remove(QLatin1Char('&')).startsWith(L("Options")))
                        button->click();
                }
                walk(QAccessible::queryAccessibleInterface(dialog));
                if (auto* properties = dialog->findChild<QPushButton*>(L("properties"));
                    properties && properties->isEnabled()) {
                    QTimer::singleShot(0, this, walkModal);
                    properties->click();
                }
                dialog->reject();
            };
            QTimer::singleShot(0, this, walkModal);
            modal();
            QCOMPARE(opened.value(0), L(modalClass));
            if (shown == L("print"))
                QCOMPARE(opened.value(1), L("QPrintPropertiesDialog"));
        } else {
            QVERIFY(top && top->isVisible());
            walk(QAccessible::queryAccessibleInterface(top));
        }
        QCOMPARE(unnamed, QStringList());
        if (shown == L("main")) {
            QVERIFY2(lines.contains(L("02: ALPHA, identical to 01")), qPrintable(lines.join(L("|"))));
            QVERIFY2(lines.contains(L("03: BRAVO")), qPrintable(lines.join(L("|"))));
        }
    }

    // Under a light, a dark and a high-contrast palette every highlighted text of the compare window,
    // the help text and the twin marks stand out from their grounds by at least 4.5 : 1, as the
    // windows draw them.
    void contrastUnderThemes_data() {
        QTest::addColumn<QPalette>("palette");
        const auto make = [](QColor ground, QColor windowText, QColor base, QColor text) {
            QPalette palette(windowText, ground, ground.lighter(), ground.darker(), ground.darker(150), text,
                             windowText, base, ground);
            palette.setColor(QPalette::Base, base);
            palette.setColor(QPalette::Text, text);
            return palette;
        };
        QTest::newRow("light") << make(QColor(0xef, 0xef, 0xef), Qt::black, Qt::white, Qt::black);
        QTest::newRow("dark") << make(QColor(0x35, 0x35, 0x35), QColor(0xee, 0xee, 0xee),
                                      QColor(0x2a, 0x2a, 0x2a), QColor(0xee, 0xee, 0xee));
        QTest::newRow("high contrast") << make(Qt::black, Qt::white, Qt::black, QColor(0xff, 0xff, 0x00));
    }
    void contrastUnderThemes() {
        QFETCH(QPalette, palette);
        const QPalette before = QApplication::palette();
        const auto restore = qScopeGuard([&before] { QApplication::setPalette(before); });
        QApplication::setPalette(palette);
        LoadLibrary(Names);
        Import({L("ALPHA"), L("BRAVO")});
        Click(Lib(), 2);
        Click(Patches(), 0);
        Trigger("mnuPatch_Compare");
        CompareWindow* compare = window->Compare();
        QVERIFY(compare && compare->isVisible());
        // Each styled piece of the byte table and its legend: its colour and ground, the table's
        // where it sets none.
        const QPalette& used = compare->palette();
        QStringList failures;
        int checked = 0;
        const auto check = [&](const QString& what, const QColor& text, const QColor& ground) {
            ++checked;
            const double ratio = ContrastRatio(text, ground);
            if (ratio < ReadableContrast)
                failures.append(
                    L("%1: %2 on %3 is %4:1").arg(what, text.name(), ground.name()).arg(ratio, 0, 'f', 2));
        };
        const auto colourIn = [](const QString& style, const QString& property, const QColor& otherwise) {
            const QRegularExpressionMatch m =
                QRegularExpression(L("(?:^|[;\\s])") + property + L("\\s*:\\s*(#[0-9a-fA-F]{6})"))
                    .match(style);
            return m.hasMatch() ? QColor(m.captured(1)) : otherwise;
        };
        const QString bytes = compare->findChild<QTextBrowser*>(L("txtBytes"))->toHtml();
        QRegularExpressionMatchIterator styles =
            QRegularExpression(L("style=\"([^\"]*)\"")).globalMatch(bytes);
        while (styles.hasNext()) {
            const QString style = styles.next().captured(1);
            if (style.contains(L("color")) || style.contains(L("background")))
                check(L("table: ") + style, colourIn(style, L("color"), used.color(QPalette::Text)),
                      colourIn(style, L("background-color"), used.color(QPalette::Base)));
        }
        for (QLabel* label : compare->findChildren<QLabel*>()) {
            if (!label->styleSheet().isEmpty())
                check(L("label: ") + label->styleSheet(),
                      colourIn(label->styleSheet(), L("color"), used.color(QPalette::WindowText)),
                      colourIn(label->styleSheet(), L("background"), used.color(QPalette::Window)));
        }
        // The twin marks: each symbol on its fill, and the ring that sets a mark off the list's ground.
        for (const TwinKind kind : {TwinIdentical, TwinSameSound, TwinSameName})
            check(L("twin mark %1").arg(int(kind)), MarkColours(kind).symbol, MarkColours(kind).fill);
        const auto* model = qobject_cast<const PatchListModel*>(Lib()->model());
        check(L("twin marks' ring"), model->MarkEdge(), Lib()->palette().color(QPalette::Base));
        WriteBytes(Path(L("bin/Quillbox.hlp")), "help\r\n");
        Trigger("mnuHelp_Help");
        const QPalette help = window->Help()->findChild<QPlainTextEdit*>(L("txtHelp"))->palette();
        check(L("help"), help.color(QPalette::Text), help.color(QPalette::Base));
        QCOMPARE(help.color(QPalette::Text), palette.color(QPalette::Text)); // the theme's, not a fixed one
        QVERIFY2(checked > 20, qPrintable(QString::number(checked))); // the differing bits and names too
        QVERIFY2(failures.isEmpty(), qPrintable(failures.join(L("\n"))));
    }
};

std::unique_ptr<QObject> quillbox::test::NewMainWindowScreenTests() {
    return std::make_unique<TestMainWindowScreen>();
}

#include "tst_MainWindowScreen.moc"
