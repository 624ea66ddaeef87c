#include "ShowWindow.h"

#include "AppInfo.h"
#include "EditMenu.h"
#include "FileError.h"
#include "LibraryFile.h"
#include "LibraryView.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchListModel.h"
#include "QuestionBoxes.h"
#include "ShowFile.h"
#include "ShowLists.h"
#include "StatusLine.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSet>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>

namespace quillbox {

namespace {

QString CheckKey(const ShowCue& cue) {
    return cue.source.path + QChar(0x1f) + QString::number(cue.source.position) + QChar(0x1f) +
           QString::fromLatin1(cue.source.image.toHex()) + QChar(0x1f) +
           QString::fromLatin1(cue.image.toHex());
}

QListView* NewList(const char* name, const QString& accessibleName, QWidget* parent) {
    auto* list = new QListView(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setAccessibleName(accessibleName);
    list->setDragEnabled(true);
    list->setAcceptDrops(true);
    list->setDropIndicatorShown(true);
    list->setDragDropMode(QAbstractItemView::DragDrop);
    list->setDefaultDropAction(Qt::MoveAction);
    list->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::DoubleClicked);
    return list;
}

} // namespace

ShowWindow::ShowWindow(ShowWindowHooks hooks, QWidget* parent)
    : QMainWindow(parent), hooks_(std::move(hooks)), fileDialog_(std::make_unique<OpenSaveDLG>()) {
    setObjectName(QStringLiteral("frmShow"));
    setWindowFlag(Qt::Window);
    setAccessibleName(QStringLiteral("Show"));

    ShowListHooks lists;
    lists.document = &doc_;
    lists.currentSong = [this] {
        return CurrentSong();
    };
    lists.check = [this](qsizetype song, qsizetype cue) {
        return CheckOf(song, cue);
    };
    lists.slotsOf = [this]() -> const ShowSlots& {
        return slots_;
    };
    // A name typed in place is taken at once; the lists are shown anew once its editor has closed.
    lists.renameSong = [this](qsizetype song, const QString& title) {
        return Apply([&](ShowDocument& doc) { return doc.RenameSong(song, title); }, true);
    };
    lists.renameCue = [this](qsizetype song, qsizetype cue, const QString& label) {
        return Apply([&](ShowDocument& doc) { return doc.RenameCue(song, cue, label); }, true);
    };
    lists.drop = [this](const QMimeData* dropped, qsizetype song, qsizetype before, bool ontoSongs) {
        return Drop(dropped, song, before, ontoSongs);
    };
    lists.canDrop = [this](const QMimeData* dropped) {
        return CanDrop(dropped);
    };

    auto* client = new QWidget(this);
    auto* grid = new QGridLayout(client);
    auto* titleLabel = new QLabel(QStringLiteral("Show &title:"), client);
    title_ = new QLineEdit(client);
    title_->setObjectName(QStringLiteral("txtShowTitle"));
    title_->setAccessibleName(QStringLiteral("Show title"));
    title_->setMaxLength(int(ShowFile::MaxTextLength));
    titleLabel->setBuddy(title_);
    songs_ = NewList("lstSongs", QStringLiteral("Songs"), client);
    songs_->setSelectionMode(QAbstractItemView::SingleSelection);
    cues_ = NewList("lstCues", QStringLiteral("Cues of the song"), client);
    cues_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    songsModel_ = new ShowSongsModel(lists, this);
    cuesModel_ = new ShowCuesModel(lists, this);
    songs_->setModel(songsModel_);
    cues_->setModel(cuesModel_);
    auto* songsLabel = new QLabel(QStringLiteral("&Songs:"), client);
    songsLabel->setBuddy(songs_);
    auto* cuesLabel = new QLabel(QStringLiteral("&Cues:"), client);
    cuesLabel->setBuddy(cues_);
    notes_ = new QPlainTextEdit(client);
    notes_->setObjectName(QStringLiteral("txtNotes"));
    notes_->setAccessibleName(QStringLiteral("Notes of the song"));
    notes_->setTabChangesFocus(true);
    auto* notesLabel = new QLabel(QStringLiteral("&Notes:"), client);
    notesLabel->setBuddy(notes_);
    grid->addWidget(titleLabel, 0, 0);
    grid->addWidget(title_, 0, 1, 1, 2);
    grid->addWidget(songsLabel, 1, 0);
    grid->addWidget(cuesLabel, 1, 2);
    grid->addWidget(songs_, 2, 0, 1, 2);
    grid->addWidget(cues_, 2, 2);
    grid->addWidget(notesLabel, 3, 0);
    grid->addWidget(notes_, 4, 0, 1, 3);
    grid->setColumnStretch(1, 2);
    grid->setColumnStretch(2, 3);
    grid->setRowStretch(2, 3);
    grid->setRowStretch(4, 1);
    setCentralWidget(client);
    setTabOrder(title_, songs_);
    setTabOrder(songs_, cues_);
    setTabOrder(cues_, notes_);

    statusBar()->setObjectName(QStringLiteral("statusBar"));
    status_ = new StatusLine(statusBar());
    status_->setTextFormat(Qt::PlainText);
    status_->setObjectName(QStringLiteral("lblShowStatus"));
    status_->setAccessibleName(QStringLiteral("Status"));
    statusBar()->addWidget(status_, 1);

    BuildMenus();

    connect(songs_->selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { SongChosen(); });
    connect(notes_, &QPlainTextEdit::textChanged, this, [this] {
        if (filling_)
            return;
        const qsizetype song = CurrentSong();
        Guarded("txtNotes_Change", [this, song] {
            if (doc_.SetNotes(song, notes_->toPlainText())) {
                UpdateCaption();
                UpdateCommands();
            }
        });
    });
    connect(title_, &QLineEdit::editingFinished, this, [this] {
        if (!filling_ && title_->text() != doc_.Show().title)
            Guarded("txtShowTitle_Change",
                    [this] { Apply([this](ShowDocument& doc) { return doc.SetTitle(title_->text()); }); });
    });

    if (hooks_.keepsUnsaved)
        doc_.KeepUnsavedIn(&hooks_.unsaved);
    resize(760, 560);
    Refresh(true);
}

ShowWindow::~ShowWindow() {
    // The base class hides and deletes the children after this window's own parts are gone: a
    // focus leaving the title box then must not reach them.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void ShowWindow::BuildMenus() {
    QMenu* menu = nullptr;
    QMenu* songMenu = nullptr;
    for (const ShowCommand& row : ShowCommandRows()) {
        const QString name = QString::fromLatin1(row.name);
        if (row.place == CommandPlace::Menu) {
            menu = menuBar()->addMenu(QString::fromUtf8(row.caption));
            menu->setObjectName(name);
            menu->menuAction()->setObjectName(name);
            if (name == QLatin1StringView("mnuSong"))
                songMenu = menu;
            continue;
        }
        if (row.place == CommandPlace::Separator) {
            menu->addSeparator()->setObjectName(name);
            continue;
        }
        auto* action = new QAction(QString::fromUtf8(row.caption), this);
        action->setObjectName(name);
        if (row.HasShortcut())
            action->setShortcut(row.shortcut);
        if (row.keys != ShowKeyScope::Window) {
            // The key works in its list only: Delete, F2 and the arrows keep their meaning elsewhere.
            action->setShortcutContext(Qt::WidgetShortcut);
            (row.keys == ShowKeyScope::SongsList ? songs_ : cues_)->addAction(action);
        }
        menu->addAction(action);
        connect(action, &QAction::triggered, this, [this, &row] {
            Guarded(row.HandlerName().toUtf8().constData(), [this, &row] {
                if (row.action.run)
                    row.action.run(commands_);
                else
                    Run(row.action.window);
            });
        });
        actions_.insert(name, action);
    }

    editMenu_ = new EditMenu(
        this, songMenu->menuAction(), [this] { Guarded("mnuEdit_Undo_Click", [this] { commands_.Undo(); }); },
        [this] { Guarded("mnuEdit_Redo_Click", [this] { commands_.Redo(); }); });
    editMenu_->KeepKeysIn(title_);
    editMenu_->KeepKeysIn(notes_);
}

void ShowWindow::Run(ShowWindowCommand command) {
    switch (command) {
    case ShowWindowCommand::None:
        break;
    case ShowWindowCommand::New:
        NewShow();
        break;
    case ShowWindowCommand::Open:
        OpenShow();
        break;
    case ShowWindowCommand::Save:
        Save();
        break;
    case ShowWindowCommand::SaveAs:
        SaveAs();
        break;
    case ShowWindowCommand::BuildDeviceFile:
        BuildDeviceFileCommand();
        break;
    case ShowWindowCommand::Print:
        PrintCommand();
        break;
    case ShowWindowCommand::Close:
        close();
        break;
    case ShowWindowCommand::RenameSong:
        RenameSelected(false);
        break;
    case ShowWindowCommand::RenameCue:
        RenameSelected(true);
        break;
    case ShowWindowCommand::CheckAgain:
        CheckAgain();
        break;
    case ShowWindowCommand::StageView:
        StageViewCommand();
        break;
    }
}

// ---- Showing the document ----

qsizetype ShowWindow::CurrentSong() const {
    const QModelIndex current = songs_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

qsizetype ShowWindow::CurrentCue() const {
    const QModelIndex current = cues_->currentIndex();
    return current.isValid() ? current.row() : -1;
}

QList<qsizetype> ShowWindow::SelectedCues() const {
    QList<qsizetype> rows;
    for (const QModelIndex& index : cues_->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty() && cues_->currentIndex().isValid())
        rows.append(cues_->currentIndex().row());
    return rows;
}

const CueCheck* ShowWindow::CheckOf(qsizetype song, qsizetype cue) const {
    const QList<ShowSong>& songs = doc_.Show().songs;
    if (song < 0 || song >= songs.size() || cue < 0 || cue >= songs.at(song).cues.size())
        return nullptr;
    const auto found = checked_.constFind(CheckKey(songs.at(song).cues.at(cue)));
    return found == checked_.constEnd() ? nullptr : &found.value();
}

void ShowWindow::RunCheck(bool all) {
    if (all)
        checked_.clear();
    // The cues not checked yet, each source once, in one check.
    ShowRecord todo;
    todo.songs.append(ShowSong());
    QSet<QString> keys;
    for (const ShowSong& song : doc_.Show().songs) {
        for (const ShowCue& cue : song.cues) {
            const QString key = CheckKey(cue);
            if (!checked_.contains(key) && !keys.contains(key)) {
                keys.insert(key);
                todo.songs.first().cues.append(cue);
            }
        }
    }
    if (!todo.songs.first().cues.isEmpty()) {
        const ShowCheckResult result =
            CheckShow(todo, {}, hooks_.otherPlaces ? hooks_.otherPlaces() : OtherPlaces());
        const QList<ShowCue>& cues = todo.songs.first().cues;
        for (qsizetype i = 0; i < cues.size(); ++i)
            checked_.insert(CheckKey(cues.at(i)), result.songs.value(0).value(i));
    }
    checks_ = {};
    for (const ShowSong& song : doc_.Show().songs) {
        QList<CueCheck> row;
        for (const ShowCue& cue : song.cues) {
            row.append(checked_.value(CheckKey(cue)));
            checks_.allOk = checks_.allOk && row.last().state == CueState::Ok;
        }
        checks_.songs.append(row);
    }
}

void ShowWindow::Refresh(bool recheck) {
    slots_ = SlotsOf(doc_.Show());
    RunCheck(recheck);
    const ShowPlace place = doc_.Place();
    filling_ = true;
    title_->setText(doc_.Show().title);
    filling_ = false;
    songsModel_->Reset();
    GoTo(place);
    UpdateCaption();
    UpdateCommands();
}

void ShowWindow::GoTo(const ShowPlace& place) {
    const qsizetype count = doc_.Show().songs.size();
    qsizetype song = place.song >= 0 ? place.song : shownSong_;
    song = count == 0 ? -1 : std::clamp<qsizetype>(song, 0, count - 1);
    filling_ = true;
    songs_->setCurrentIndex(songsModel_->index(int(song), 0));
    shownSong_ = song;
    cuesModel_->Reset();
    const int cues = cuesModel_->rowCount();
    if (cues > 0)
        cues_->setCurrentIndex(cuesModel_->index(int(std::clamp<qsizetype>(place.cue, 0, cues - 1)), 0));
    FillNotes();
    filling_ = false;
}

void ShowWindow::FillNotes() {
    const qsizetype song = CurrentSong();
    const bool has = song >= 0;
    const QString notes = has ? doc_.Show().songs.at(song).notes : QString();
    if (notes_->toPlainText() != notes) {
        const bool was = std::exchange(filling_, true);
        notes_->setPlainText(notes);
        filling_ = was;
    }
    notes_->setEnabled(has);
}

void ShowWindow::SongChosen() {
    if (filling_)
        return;
    doc_.EndTypingRun();
    GoTo({CurrentSong(), 0});
    UpdateCommands();
}

void ShowWindow::UpdateCaption() {
    const QString name =
        doc_.Path().isEmpty() ? QStringLiteral("(not saved)") : QFileInfo(doc_.Path()).fileName();
    const QString title = doc_.Show().title.isEmpty() ? QString() : doc_.Show().title + QStringLiteral(" - ");
    setWindowTitle(QStringLiteral("Show: ") + title + name + QStringLiteral("[*]"));
    setWindowModified(doc_.Changed());
}

void ShowWindow::UpdateCommands() {
    editMenu_->ShowHistory(doc_.UndoName(), doc_.RedoName());
    const qsizetype song = CurrentSong();
    const bool hasSong = song >= 0;
    const qsizetype songCount = doc_.Show().songs.size();
    const bool hasCue = hasSong && cuesModel_->rowCount() > 0;
    for (const ShowCommand& row : ShowCommandRows()) {
        QAction* action = actions_.value(QString::fromLatin1(row.name));
        if (!action)
            continue;
        switch (row.enabling) {
        case ShowEnabling::Always:
            break;
        case ShowEnabling::WithSong:
            action->setEnabled(hasSong);
            break;
        case ShowEnabling::SongAbove:
            action->setEnabled(song > 0);
            break;
        case ShowEnabling::SongBelow:
            action->setEnabled(hasSong && song + 1 < songCount);
            break;
        case ShowEnabling::WithCue:
            action->setEnabled(hasCue);
            break;
        case ShowEnabling::WithSlots:
            action->setEnabled(slots_.count > 0);
            break;
        }
    }
}

bool ShowWindow::Apply(const std::function<bool(ShowDocument&)>& operation, bool later) {
    const bool was = std::exchange(refreshLater_, later);
    const bool changed = commands_.Apply(operation);
    refreshLater_ = was;
    return changed;
}

void ShowWindow::ShowChanged() {
    if (refreshLater_)
        QTimer::singleShot(0, this, [this] { Refresh(); });
    else
        Refresh();
}

void ShowWindow::SelectPlace(const ShowPlace& place) {
    GoTo(place);
    UpdateCommands();
    (place.cue >= 0 ? cues_ : songs_)->setFocus(Qt::OtherFocusReason);
}

// ---- Commands only the window can carry out ----

void ShowWindow::RenameSelected(bool cue) {
    QListView* list = cue ? cues_ : songs_;
    if (list->currentIndex().isValid()) {
        list->setFocus(Qt::OtherFocusReason);
        list->edit(list->currentIndex());
    }
}

void ShowWindow::CheckAgain() {
    Refresh(true);
    qsizetype notOk = 0;
    for (const QList<CueCheck>& song : checks_.songs)
        notOk += std::count_if(song.cbegin(), song.cend(),
                               [](const CueCheck& c) { return c.state != CueState::Ok; });
    ShowStatus(notOk == 0 ? QStringLiteral("Every cue is ok")
                          : QStringLiteral("%1 cues are not ok").arg(notOk));
}

// ---- Drops ----

bool ShowWindow::CanDrop(const QMimeData* dropped) const {
    return dropped && (DecodeShowLines(dropped, ShowCuesMimeType(), &doc_) ||
                       dropped->hasFormat(PatchListModel::EntriesMimeType()) ||
                       dropped->hasFormat(PatchListModel::ImagesMimeType()));
}

bool ShowWindow::Drop(const QMimeData* dropped, qsizetype song, qsizetype before, bool ontoSongs) {
    // The dropped is read now; the change is made once the drop has ended, as the lists are shown anew.
    std::function<bool(ShowDocument&)> change;
    const qsizetype songCount = doc_.Show().songs.size();
    if (const auto songs = DecodeShowLines(dropped, ShowSongsMimeType(), &doc_)) {
        const qsizetype from = songs->lines.first();
        // Between two songs (`before`), onto one (`song`), or below the last.
        const qsizetype to =
            before >= 0 ? (before > from ? before - 1 : before) : std::min(song, songCount - 1);
        change = [from, to](ShowDocument& doc) {
            return doc.MoveSong(from, to);
        };
    } else if (const auto cues = DecodeShowLines(dropped, ShowCuesMimeType(), &doc_)) {
        if (ontoSongs && song >= songCount)
            return false;
        const qsizetype at = ontoSongs ? -1 : before;
        change = [cues = *cues, song, at](ShowDocument& doc) {
            return doc.MoveCues(cues.song, cues.lines, song, at);
        };
    } else {
        const std::optional<QList<ShowCue>> patches =
            hooks_.patchesIn ? hooks_.patchesIn(dropped) : std::nullopt;
        if (!patches || patches->isEmpty() || (ontoSongs && song >= songCount))
            return false;
        const qsizetype at = ontoSongs ? -1 : before;
        change = [patches = *patches, song, at](ShowDocument& doc) {
            return doc.AddCues(doc.Show().songs.isEmpty() ? 0 : std::max<qsizetype>(song, 0), at, patches);
        };
    }
    QTimer::singleShot(0, this,
                       [this, change] { Guarded("lstCues_DragDrop", [this, &change] { Apply(change); }); });
    return true;
}

void ShowWindow::Message(const QString& text) {
    const NormalPointer pointer;
    MessageBoxes::ShowPlain(this, text);
}

void ShowWindow::ShowStatus(const QString& text) {
    status_->Show(text);
}

void ShowWindow::Guarded(const char* handler, const std::function<void()>& work) {
    RunGuarded(handler, work, [this](const QString& message) { Message(message); });
}

// ---- Events ----

void ShowWindow::closeEvent(QCloseEvent* event) {
    bool mayClose = false;
    Guarded("frmShow_QueryUnload", [this, &mayClose] { mayClose = QueryClose(); });
    if (mayClose)
        event->accept();
    else
        event->ignore();
}

void ShowWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    // Back in the window: the libraries may have changed meanwhile.
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && songsModel_)
        Guarded("frmShow_Activate", [this] {
            RunCheck(true);
            songsModel_->dataChanged(songsModel_->index(0), songsModel_->index(songsModel_->rowCount() - 1));
            cuesModel_->dataChanged(cuesModel_->index(0), cuesModel_->index(cuesModel_->rowCount() - 1));
        });
}

} // namespace quillbox
