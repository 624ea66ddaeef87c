#include "FindField.h"

#include "LibraryController.h"
#include "PatchListModel.h"
#include "PatchListView.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace quillbox {

FindField::FindField(const LibraryController& controller, ListId list, PatchListView* view,
                     PatchListModel* model)
    : QLineEdit(view), controller_(controller), list_(list), view_(view), model_(model) {
    setObjectName(list == ListId::Library ? QStringLiteral("txtFindLib") : QStringLiteral("txtFindPatches"));
    setPlaceholderText(QStringLiteral("Find"));
    setClearButtonEnabled(true);
    setToolTip(QStringLiteral("Shows the lines holding every word; Esc shows all again"));
    hide();
    view->SetTopWidget(this);
    connect(this, &QLineEdit::textChanged, this, &FindField::Apply);
}

void FindField::Open() {
    if (isHidden()) {
        show();
        view_->PlaceTopWidget();
    }
    setFocus(Qt::ShortcutFocusReason);
    selectAll();
}

void FindField::Close() {
    const bool wasOpen = !isHidden();
    clear(); // shows every entry again
    hide();
    view_->PlaceTopWidget();
    // The texts are taken anew when the field opens again.
    built_ = false;
    storeSeen_.clear();
    descSeen_.clear();
    finder_ = PatchFinder();
    if (wasOpen)
        view_->setFocus(Qt::OtherFocusReason);
}

bool FindField::Stale() const {
    const LibraryState& state = controller_.State();
    if (!built_)
        return true;
    if (list_ == ListId::Patches)
        return state.PatchesData.constData() != storeSeen_.constData() ||
               state.PatchesData.size() != storeSeen_.size() || state.PatchesDescFilePath != descPathSeen_;
    return state.LibraryData.constData() != storeSeen_.constData() ||
           state.LibraryData.size() != storeSeen_.size() ||
           state.DescArray.constData() != descSeen_.constData() || state.DescArray.size() != descSeen_.size();
}

namespace {

// The first and last entry (of 18 bytes) in which two stores of the same size differ; {0, -1} when
// they are the same.
std::pair<qsizetype, qsizetype> DifferingEntries(const QByteArray& a, const QByteArray& b) {
    qsizetype first = 0;
    qsizetype last = a.size();
    while (first < last && a[first] == b[first])
        ++first;
    while (last > first && a[last - 1] == b[last - 1])
        --last;
    if (first == last)
        return {0, -1};
    return {first / PatchImageSize, (last - 1) / PatchImageSize};
}

} // namespace

std::optional<std::vector<qsizetype>> FindField::Matching() {
    if (text().trimmed().isEmpty())
        return std::nullopt;
    if (Stale()) {
        const LibraryState& state = controller_.State();
        const bool patches = list_ == ListId::Patches;
        const QByteArray& store = patches ? state.PatchesData : state.LibraryData;
        const auto descriptionOf =
            patches
                ? PatchFinder::DescriptionOf([this](qsizetype k) { return controller_.PatchDescription(k); })
                : PatchFinder::DescriptionOf([this](qsizetype k) { return descSeen_.value(k + 1); });
        // A change that keeps the number of entries (a move, a rename, a panel edit, typing) takes
        // only the entries it changed anew; any other change takes them all.
        const bool sameShape = built_ && store.size() == storeSeen_.size() &&
                               (patches ? state.PatchesDescFilePath == descPathSeen_
                                        : state.DescArray.size() == descSeen_.size());
        auto [first, last] =
            sameShape ? DifferingEntries(store, storeSeen_) : std::pair<qsizetype, qsizetype>{};
        if (sameShape && !patches) {
            for (qsizetype i = 1; i < descSeen_.size(); ++i) {
                const QString& now = state.DescArray.at(i);
                if (!now.isSharedWith(descSeen_.at(i)) && now != descSeen_.at(i)) {
                    first = last < first ? i - 1 : std::min(first, i - 1);
                    last = std::max(last, i - 1);
                }
            }
        }
        storeSeen_ = store;
        descPathSeen_ = state.PatchesDescFilePath;
        if (!patches)
            descSeen_ = state.DescArray;
        if (sameShape)
            finder_.Update(storeSeen_, descriptionOf, first, last);
        else
            finder_.Rebuild(storeSeen_, descriptionOf);
        built_ = true;
    }
    return finder_.Matching(text());
}

void FindField::Apply() {
    {
        // The lines shown change, not the user's selection; what stays selected is settled by the
        // handler of filtered.
        const PatchListView::Quiet quiet(view_);
        model_->Filter(Matching());
    }
    // The result is said once, as the field's description, instead of by the lines refilled.
    const int found = model_->rowCount();
    setAccessibleDescription(text().trimmed().isEmpty() ? QString()
                             : found == 1               ? QStringLiteral("1 line found")
                                                        : QStringLiteral("%1 lines found").arg(found));
    Q_EMIT filtered();
}

void FindField::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        Close();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Enter takes the focus to the lines found; it never reaches the list as a key of its own.
        view_->setFocus(Qt::OtherFocusReason);
        return;
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        // The arrow keys move through the lines found, as they do in the list; with no line
        // selected the first key lands on the first line found, not on the one after it.
        view_->setFocus(Qt::OtherFocusReason);
        if (view_->SelectedRows().isEmpty() && view_->model()->rowCount() > 0) {
            view_->setCurrentIndex(view_->model()->index(0, 0));
            return;
        }
        QCoreApplication::sendEvent(view_, event);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

} // namespace quillbox
