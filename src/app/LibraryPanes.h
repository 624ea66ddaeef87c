#pragma once

#include "LibraryView.h"
#include "MainLayout.h"
#include "PatchNameEditor.h"

#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;

namespace quillbox {

class DescriptionBox;
class FindField;
class LibraryController;
class PatchListModel;
class PatchListView;

// The window's client area (clientArea): the patches and library lists with their find fields, the
// details panel, the Name and description boxes. It lays them out, shows what the controller tells
// it and hands the user's events on these controls to the controller.
class LibraryPanes : public QWidget, public PanesView {
    Q_OBJECT
public:
    // Runs a user event's handling so that a failure is shown and nothing escapes into Qt's event
    // loop; `handler` names the event in the message.
    using Guard = std::function<void(const char* handler, const std::function<void()>& work)>;

    LibraryPanes(LibraryController& controller, Guard guard, QWidget* parent);

    // The layout in twips as it stands (after fitting and the last resize).
    const MainGeometry& CurrentGeometry() const { return geometry_; }
    // The geometry the panes started from: the designed one, widened where the content needs it.
    const MainGeometry& FittedGeometry() const { return fitted_; }
    // A control's minimum size in twips at the current font (empty for controls that adapt).
    QSize NeededSize(const QString& controlName) const;
    // Fits the designed layout to the content and lays the controls out for it; returns the
    // client size in twips the fitted layout needs.
    QSize FitLayout();

    PatchListView* ListView(ListId list) const { return Side(list).view; }
    DescriptionBox* Description() const { return txtDescription_; }
    // Fills the bound drop-down lists with their entries, none chosen.
    void FillParameterLists();
    // The marks' rings take the lists' text colour (after a new theme).
    void TakeListColours();
    // Opens the name editor on the selected library entry's line; false when none is selected.
    bool EditSelectedName();
    // Ctrl+F: the find field over the list that has the focus (the library list otherwise).
    void OpenFind();
    // Once the controller has gone, a name editor still open must not commit through it.
    void ForgetController();

    // PanesView
    void RefillList(ListId list) override;
    void ListEntriesChanged(ListId list, const EntryChange& change) override;
    void ListLineChanged(ListId list, qsizetype index) override;
    void SelectListLine(ListId list, qsizetype index) override;
    void SelectListLines(ListId list, const QList<qsizetype>& positions, qsizetype current) override;
    void RefreshListMarks() override;
    void SetListToolTip(ListId list, const QString& text) override;
    void SetLabelToolTip(ListId list, const QString& text) override;
    void ShowDetails(const DetailValues& values) override;
    void EnableDetails(bool enabled) override;
    void SetDescriptionText(const QString& text) override;
    void SetDescriptionCounter(const QString& toolTip) override;
    void SetNameText(const QString& text) override;

Q_SIGNALS:
    // A name editor of the library list opens: the window sends its refusals to the status line
    // and keeps the keys of the menus' commands with its text.
    void nameEditorOpened(QLineEdit* editor, PatchNameValidator* validator);
    // The lists' twin marks were shown anew although no list was refilled: other views of the marks
    // follow.
    void marksRefreshed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    // Accessible names and descriptions of the controls that have no caption of their own.
    void NameForScreenReaders();
    void ConnectControls();
    // Only the chosen option button is in the tab chain, so that Tab reaches the choice as it stands
    // and a Space cannot change it unseen.
    void KeepTabOnChosenOption();
    // A Space (or the mouse's left button) pressed on chkDrive or chkCab: writes the state the box
    // is about to take.
    void BoundCheckPressed(QCheckBox* box);
    void ApplyGeometry();
    void LayOut();
    // The event filter's concerns, each true when it consumed `event`.
    bool BoundCheckEvent(QObject* watched, QEvent* event);
    // After a find changed the lines shown: the selected entry stays selected when it is shown;
    // otherwise no line is selected.
    void ShowSelectionAfterFind(ListId list);
    // The entries of the selected lines, ascending.
    QList<qsizetype> SelectedEntries(ListId list) const;
    template <typename T> T* Control(const char* name) const;

    // One list with what belongs to it: lstPatches / lstLib, its model, find field and label.
    struct ListSide {
        PatchListView* view = nullptr;
        PatchListModel* model = nullptr;
        FindField* find = nullptr;
        QLabel* label = nullptr;
        // The most name codes outside the alphabet any line has, which widens the lines; an
        // update after a change looks only at the entries that came in.
        int outside = 0;
    };
    ListSide& Side(ListId list) { return sides_[int(list)]; }
    const ListSide& Side(ListId list) const { return sides_[int(list)]; }

    LibraryController& controller_;
    Guard guarded_;
    QHash<QString, QWidget*> controls_;
    ListSide sides_[2]; // ListId as index
    DescriptionBox* txtDescription_ = nullptr;
    MainGeometry fitted_;
    MainGeometry geometry_;
    // The bound check box pressed last and the state it has to show once the button is released.
    QPointer<QCheckBox> pressedCheck_;
    bool pressedCheckTarget_ = false;
};

} // namespace quillbox
