// The real window (offscreen) with a 100,000-entry library: refilling lstLib, selecting an entry
// with the mouse, "Move down", "Clone Selected Patch" and "Delete &Selected Patch" through their
// menu actions, a keystroke in the find field, the Delete key on 50,000 selected lines and a drop of
// 1,000 lines. Each figure includes handling the events and repainting the list. And the stage view
// of a show of 200 songs of 8 cues: a Right key to the next cue, repainted.
#include "BenchSupport.h"
#include "BenchTable.h"
#include "DialogSeam.h"
#include "FindField.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "PatchListView.h"
#include "ReconcileWindow.h"
#include "StageView.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMimeData>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>

using namespace quillbox;
using namespace quillbox::bench;

namespace {

constexpr long Entries = 100000;

struct Gui {
    QTemporaryDir dir;
    QByteArray store;
    QStringList desc;
    std::unique_ptr<MainWindow> window;
    PatchListView* lstLib = nullptr;

    Gui() {
        store = MakeStore(Entries);
        desc = MakeDescriptions(Entries);
        const QString path = dir.filePath(QStringLiteral("big.pslib"));
        WriteFile(path, LibraryFileBytes(store));
        WriteFile(path + QStringLiteral(".txt"), SideFileBytes(desc));
        EnableDialogTestMode(true);
        MainWindowOptions options;
        options.pause = [](int) {
        };
        // A settings file of its own: the user's recent libraries stay as they are.
        options.settings =
            std::make_shared<QSettings>(dir.filePath(QStringLiteral("quillbox.ini")), QSettings::IniFormat);
        window = std::make_unique<MainWindow>(options);
        // Recovery files of its own: the user's data folder stays as it is.
        window->Controller().SetUnsavedFolder(dir.filePath(QStringLiteral("unsaved")));
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            qFatal("the window was not shown");
        window->Controller().LoadLibFromPath(path);
        lstLib = window->findChild<PatchListView*>(QStringLiteral("lstLib"));
        Settle();
    }

    // Lets the window handle what is pending and paints the list now.
    void Settle() const {
        QCoreApplication::processEvents();
        lstLib->viewport()->repaint();
    }

    void Trigger(const char* name) const {
        window->findChild<QAction*>(QString::fromLatin1(name))->trigger();
        Settle();
    }

    // A click on the middle entry, scrolled into view first, as the user does it.
    void ClickMiddle(benchmark::State* timed = nullptr) const {
        const QModelIndex index = lstLib->model()->index(int(Entries / 2), 0);
        if (timed)
            timed->PauseTiming();
        lstLib->scrollTo(index, QAbstractItemView::PositionAtCenter);
        Settle();
        const QPoint at = lstLib->visualRect(index).center();
        if (timed)
            timed->ResumeTiming();
        QTest::mouseClick(lstLib->viewport(), Qt::LeftButton, {}, at);
        Settle();
    }

    // Back to the library as loaded, shown in the list.
    void Restore() const {
        window->Controller().MutableState().LibraryData = Unshared(store);
        window->Controller().MutableState().DescArray = Unshared(desc);
        window->Panes().RefillList(ListId::Library);
        Settle();
    }

    bool Intact(long change) const {
        return window->Controller().ListCount(ListId::Library) == Entries + change &&
               lstLib->model()->rowCount() == Entries + change && MessageBoxes::takeShown().isEmpty();
    }
};

// Made on first use, and gone before the application object is.
std::unique_ptr<Gui>& GuiHolder() {
    static std::unique_ptr<Gui> gui;
    return gui;
}

Gui& TheGui() {
    if (!GuiHolder())
        GuiHolder() = std::make_unique<Gui>();
    return *GuiHolder();
}

Body CopyOfStore(long) {
    return [](benchmark::State& state) {
        const QByteArray& store = TheGui().store;
        for (auto _ : state) {
            QByteArray copy = Unshared(store);
            benchmark::DoNotOptimize(copy.data());
        }
    };
}

std::function<Body(long)> Command(const char* action, long change) {
    return [=](long) -> Body {
        return [=](benchmark::State& state) {
            Gui& gui = TheGui();
            for (auto _ : state) {
                state.PauseTiming();
                gui.Restore();
                gui.ClickMiddle();
                state.ResumeTiming();
                gui.Trigger(action);
            }
            if (!gui.Intact(change))
                state.SkipWithError("the command did not do what it should");
            gui.Restore(); // after the timed loop: the next benchmark starts from the loaded library
        };
    };
}

// One keystroke in the library's find field, typed and taken back by turns, from `words` to
// `words` + `key` and back. The field was opened and the entries' texts taken before the timing.
std::function<Body(long)> FindKeystroke(const char* words, char key) {
    return [=](long) -> Body {
        return [=](benchmark::State& state) {
            Gui& gui = TheGui();
            auto* find = gui.window->findChild<FindField*>(QStringLiteral("txtFindLib"));
            gui.lstLib->setFocus();
            gui.window->FindCommand();
            QTest::keyClicks(find, QString::fromLatin1(words));
            gui.Settle();
            bool typed = false;
            for (auto _ : state) {
                if (typed)
                    QTest::keyClick(find, Qt::Key_Backspace);
                else
                    QTest::keyClick(find, key);
                typed = !typed;
                gui.Settle();
            }
            const int shown = gui.lstLib->model()->rowCount();
            if (shown == 0 || find->text().left(int(strlen(words))) != QLatin1String(words))
                state.SkipWithError("the find did not show what it should");
            find->Close();
            gui.Settle();
        };
    };
}

// "Move down" with the find field open on "p4": the moved entry's list changed, so the entries'
// texts are taken anew before the list shows what matches.
Body MoveDownWithFindOpen(long) {
    return [](benchmark::State& state) {
        Gui& gui = TheGui();
        auto* find = gui.window->findChild<FindField*>(QStringLiteral("txtFindLib"));
        gui.lstLib->setFocus();
        gui.window->FindCommand();
        QTest::keyClicks(find, QStringLiteral("p4"));
        for (auto _ : state) {
            state.PauseTiming();
            gui.Restore();
            const QModelIndex index = gui.lstLib->model()->index(gui.lstLib->model()->rowCount() / 2, 0);
            gui.lstLib->scrollTo(index, QAbstractItemView::PositionAtCenter);
            gui.Settle();
            QTest::mouseClick(gui.lstLib->viewport(), Qt::LeftButton, {},
                              gui.lstLib->visualRect(index).center());
            gui.Settle();
            state.ResumeTiming();
            gui.Trigger("mnuLibrary_MoveDown");
        }
        find->Close();
        gui.Restore();
    };
}

// The recovery file's timer runs out: what the window thread spends on it is taking the snapshot
// (the encoding and writing run on the keeper's worker, waited for outside the timing).
Body RecoverySnapshot(long) {
    return [](benchmark::State& state) {
        Gui& gui = TheGui();
        LibraryController& controller = gui.window->Controller();
        controller.MutableState().LibChanged = true;
        // A write still waiting is replaced by the next one, so the worker keeps up at its own pace.
        for (auto _ : state)
            controller.Unsaved().WriteNow();
        controller.Unsaved().WaitIdle();
        // What the worker spends encoding and writing the file, once, for the record.
        QElapsedTimer worker;
        worker.start();
        controller.Unsaved().WriteNow();
        controller.Unsaved().WaitIdle();
        state.counters["worker_ms"] = double(worker.nsecsElapsed()) / 1e6;
        const UnsavedWorkFiles::Found found =
            controller.Unsaved().Files().Read(controller.State().LibFilePath);
        if (!found.work || found.work->library != controller.State().LibraryData)
            state.SkipWithError("the recovery file does not hold the library");
        controller.MutableState().LibChanged = false;
        controller.Unsaved().Forget(controller.State().LibFilePath);
        controller.Unsaved().WaitIdle();
    };
}

// "Move down" right after the timer ran out, while the worker encodes and writes the recovery file
// of 100,000 entries: the command's first change copies the store the snapshot shares.
Body MoveDownWhileWriting(long) {
    return [](benchmark::State& state) {
        Gui& gui = TheGui();
        LibraryController& controller = gui.window->Controller();
        for (auto _ : state) {
            state.PauseTiming();
            gui.Restore();
            gui.ClickMiddle();
            controller.MutableState().LibChanged = true;
            controller.Unsaved().WriteNow();
            state.ResumeTiming();
            gui.Trigger("mnuLibrary_MoveDown");
            state.PauseTiming();
            controller.Unsaved().WaitIdle();
            state.ResumeTiming();
        }
        if (!gui.Intact(0))
            state.SkipWithError("the command did not do what it should");
        controller.MutableState().LibChanged = false;
        controller.Unsaved().Forget(controller.State().LibFilePath);
        controller.Unsaved().WaitIdle();
        gui.Restore();
    };
}

// The reconcile window over the library against a patch file with every hundredth entry edited,
// all 100,000 rows shown: Page Down in the rows, with the repaint. Opening it is counted once.
Body ReconcilePageDown(long) {
    return [](benchmark::State& state) {
        Gui& gui = TheGui();
        QByteArray other = gui.store;
        for (qsizetype k = 0; k < Entries; k += 100)
            other[k * PatchImageSize] = char(other[k * PatchImageSize] ^ 1);
        const QString path = gui.dir.filePath(QStringLiteral("device.pch"));
        WriteFile(path, other);
        QElapsedTimer open;
        open.start();
        gui.window->OpenReconcile(path);
        ReconcileWindow* reconcile = gui.window->Reconcile();
        auto* rows = reconcile->findChild<QTableView*>(QStringLiteral("tblRows"));
        reconcile->findChild<QComboBox*>(QStringLiteral("cboFilter"))->setCurrentIndex(0);
        QCoreApplication::processEvents();
        rows->viewport()->repaint();
        state.counters["open_ms"] = double(open.nsecsElapsed()) / 1e6;
        if (rows->model()->rowCount() != Entries)
            state.SkipWithError("the window does not show every row");
        for (auto _ : state) {
            if (rows->currentIndex().row() > Entries - 100)
                rows->setCurrentIndex(rows->model()->index(0, 0));
            QTest::keyClick(rows, Qt::Key_PageDown);
            rows->viewport()->repaint();
        }
        reconcile->close();
        QCoreApplication::processEvents();
    };
}

// The stage view of a show of 200 songs of 8 cues (each patch in two songs), 1280 x 800.
struct Stage {
    static constexpr int Songs = 200, Cues = 8;
    ShowRecord show;
    ShowSlots slots;
    std::unique_ptr<StageView> view;
    QWidget* cue = nullptr;
    int paints = 0; // of the cue's line

    Stage() {
        slots.slotOfCue.resize(Songs);
        for (int s = 0; s < Songs; ++s) {
            ShowSong song{
                QStringLiteral("Song %1").arg(s + 1), QStringLiteral("Notes of song %1").arg(s + 1), {}};
            for (int c = 0; c < Cues; ++c) {
                const int patch = (s / 2) * Cues + c;
                song.cues.append({QStringLiteral("Part %1").arg(c + 1), MakeImage(patch, 0), QString(), {}});
                slots.slotOfCue[s].append(patch + 1);
            }
            show.songs.append(song);
        }
        show.title = QStringLiteral("Tour");
        slots.count = Songs / 2 * Cues;
        Open();
    }

    void Open() {
        view = std::make_unique<StageView>(show, slots, ShowPlace{0, 0});
        view->setAttribute(Qt::WA_DeleteOnClose, false);
        view->resize(1280, 800);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get()))
            qFatal("the stage view was not shown");
        cue = view->findChild<QWidget*>(QStringLiteral("lblStageCue"));
        cue->installEventFilter(new PaintCounter(&paints, cue));
        QCoreApplication::processEvents();
    }

    class PaintCounter : public QObject {
    public:
        PaintCounter(int* count, QObject* parent) : QObject(parent), count_(count) {}
        bool eventFilter(QObject*, QEvent* event) override {
            *count_ += event->type() == QEvent::Paint;
            return false;
        }

    private:
        int* count_;
    };
};

std::unique_ptr<Stage>& StageHolder() {
    static std::unique_ptr<Stage> stage;
    return stage;
}

Stage& TheStage() {
    if (!StageHolder())
        StageHolder() = std::make_unique<Stage>();
    return *StageHolder();
}

// A Right key where the keyboard is, then what is pending handled: the new cue's lines repainted.
Body StageKey(long) {
    return [](benchmark::State& state) {
        Stage& stage = TheStage();
        stage.Open(); // at the first cue, whatever ran before
        int keys = 0, before = stage.paints;
        for (auto _ : state) {
            if (stage.view->Current() == ShowPlace{Stage::Songs - 1, Stage::Cues - 1}) {
                state.PauseTiming();
                stage.Open(); // back to the first cue
                before = stage.paints;
                keys = 0;
                state.ResumeTiming();
            }
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
            QCoreApplication::sendEvent(stage.view->focusWidget(), &press);
            QCoreApplication::processEvents();
            ++keys;
        }
        const ShowPlace at = stage.view->Current();
        if (at.song * Stage::Cues + at.cue != keys || stage.paints - before < keys)
            state.SkipWithError("the key did not bring the next cue on screen");
    };
}

// The floor: the cue's line painted again, nothing else.
Body StageRepaint(long) {
    return [](benchmark::State& state) {
        Stage& stage = TheStage();
        for (auto _ : state)
            stage.cue->repaint();
    };
}

void RegisterAll() {
    const Target underFifty{Target::Milliseconds, 50, Entries};
    Register(
        "gui: refill lstLib", {Entries},
        [](long) -> Body {
            return [](benchmark::State& state) {
                Gui& gui = TheGui();
                for (auto _ : state) {
                    gui.window->Panes().RefillList(ListId::Library);
                    gui.Settle();
                }
                if (!gui.Intact(0))
                    state.SkipWithError("the list lost entries");
            };
        },
        "one copy of the store", CopyOfStore, underFifty);
    Register(
        "gui: select an entry", {Entries},
        [](long) -> Body {
            return [](benchmark::State& state) {
                Gui& gui = TheGui();
                for (auto _ : state)
                    gui.ClickMiddle(&state);
                if (gui.window->Controller().State().LibSelection != Entries / 2)
                    state.SkipWithError("the click did not select the entry");
            };
        },
        "one copy of the store", CopyOfStore, underFifty);
    Register("gui: Move down", {Entries}, Command("mnuLibrary_MoveDown", 0), "one copy of the store",
             CopyOfStore, underFifty);
    Register("gui: Clone Selected Patch", {Entries}, Command("mnuLibrary_ClonePatch", 1),
             "one copy of the store", CopyOfStore, underFifty);
    Register("gui: Delete Selected Patch", {Entries}, Command("mnuLibrary_DelSelected", -1),
             "one copy of the store", CopyOfStore, underFifty);
    // "p4" shows a ninth of the lines, "p49" a ninetieth; "c" shows every line (each holds "cab"),
    // "cr" two thirds.
    const Target underSixteen{Target::Milliseconds, 16, Entries};
    Register("gui: find keystroke \"p4\" / \"p49\"", {Entries}, FindKeystroke("p4", '9'),
             "one copy of the store", CopyOfStore, underSixteen);
    Register("gui: find keystroke \"c\" / \"cr\"", {Entries}, FindKeystroke("c", 'r'),
             "one copy of the store", CopyOfStore, underSixteen);
    Register("gui: recovery snapshot (window thread)", {Entries}, RecoverySnapshot, "one copy of the store",
             CopyOfStore, underSixteen);
    Register("gui: Move down while the recovery file is written", {Entries}, MoveDownWhileWriting,
             "one copy of the store", CopyOfStore, underFifty);
    Register("gui: Move down, find open", {Entries}, MoveDownWithFindOpen, "one copy of the store",
             CopyOfStore);
    Register("gui: reconcile window, Page Down over every row", {Entries}, ReconcilePageDown,
             "one copy of the store", CopyOfStore, underSixteen);

    // Several selected lines: every second line selected, then the Delete key in the list; every
    // hundredth line dropped in the middle of the list through the list model, as a drag ends.
    auto every = [](qsizetype step) {
        QList<qsizetype> positions;
        for (qsizetype k = 0; k < Entries; k += step)
            positions.append(k);
        return positions;
    };
    // Every second line selected, in the list and in the controller, as Ctrl+clicks leave them.
    auto selectHalf = [every](Gui& gui) {
        const QList<qsizetype> half = every(2);
        gui.window->Panes().SelectListLines(ListId::Library, half, half.last());
        gui.window->Controller().LibrarySelected(half, half.last());
        return half;
    };
    Register(
        "gui: Delete key, 50,000 selected", {Entries},
        [selectHalf](long) -> Body {
            return [selectHalf](benchmark::State& state) {
                Gui& gui = TheGui();
                for (auto _ : state) {
                    state.PauseTiming();
                    gui.Restore();
                    selectHalf(gui);
                    gui.Settle();
                    state.ResumeTiming();
                    QTest::keyClick(gui.lstLib, Qt::Key_Delete);
                    gui.Settle();
                }
                if (!gui.Intact(-Entries / 2))
                    state.SkipWithError("the lines were not deleted");
                gui.Restore();
            };
        },
        "one copy of the store", CopyOfStore, underSixteen);
    Register(
        "gui: Undo of that delete", {Entries},
        [selectHalf](long) -> Body {
            return [selectHalf](benchmark::State& state) {
                Gui& gui = TheGui();
                qsizetype selected = 0;
                for (auto _ : state) {
                    state.PauseTiming();
                    gui.Restore();
                    selected = selectHalf(gui).size();
                    QTest::keyClick(gui.lstLib, Qt::Key_Delete);
                    gui.Settle();
                    state.ResumeTiming();
                    gui.Trigger("mnuEdit_Undo"); // the 50,000 lines come back selected
                }
                if (!gui.Intact(0) || gui.window->Controller().Selection(ListId::Library).size() != selected)
                    state.SkipWithError("the lines did not come back");
                gui.Restore();
            };
        },
        "one copy of the store", CopyOfStore);
    Register(
        "gui: drop 1,000 selected lines", {Entries},
        [every](long) -> Body {
            return [every](benchmark::State& state) {
                Gui& gui = TheGui();
                QAbstractItemModel* model = gui.lstLib->model();
                QModelIndexList indexes;
                for (const qsizetype k : every(100))
                    indexes.append(model->index(int(k), 0));
                const std::unique_ptr<QMimeData> data(model->mimeData(indexes));
                for (auto _ : state) {
                    state.PauseTiming();
                    gui.Restore();
                    state.ResumeTiming();
                    model->dropMimeData(data.get(), Qt::MoveAction, int(Entries / 2) + 1, 0, {});
                    gui.Settle();
                }
                if (!gui.Intact(0) || gui.window->Controller().Selection(ListId::Library).size() != 1000)
                    state.SkipWithError("the lines were not moved");
                gui.Restore();
            };
        },
        "one copy of the store", CopyOfStore, underSixteen);
    Register("stage: key to the repainted cue", {Stage::Songs * Stage::Cues}, StageKey,
             "one repaint of the cue's line", StageRepaint, Target{Target::Milliseconds, 16, 0});
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    RegisterAll();
    const int result = RunAll(argc, argv);
    GuiHolder().reset();
    StageHolder().reset();
    return result;
}
