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

std::optional<std::vector<qsizetype>> FindField::Matching() {
    if (text().trimmed().isEmpty())
        return std::nullopt;
    if (Stale()) {
        const LibraryState& state = controller_.State();
        if (list_ == ListId::Patches) {
            storeSeen_ = state.PatchesData;
            descPathSeen_ = state.PatchesDescFilePath;
            finder_.Rebuild(storeSeen_, [this](qsizetype k) { return controller_.PatchDescription(k); });
        } else {
            storeSeen_ = state.LibraryData;
            descSeen_ = state.DescArray;
            finder_.Rebuild(storeSeen_, [this](qsizetype k) { return descSeen_.value(k + 1); });
        }
        built_ = true;
    }
    return finder_.Matching(text());
}

void FindField::Apply() {
    model_->Filter(Matching());
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
        // The arrow keys move through the lines found, as they do in the list.
        view_->setFocus(Qt::OtherFocusReason);
        QCoreApplication::sendEvent(view_, event);
        return;
    default:
        QLineEdit::keyPressEvent(event);
    }
}

} // namespace quillbox
