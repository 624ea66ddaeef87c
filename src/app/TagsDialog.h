#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QPushButton;

namespace quillbox {

class LibraryController;

// "Tags…": one tag to add to or remove from the descriptions of the selected library entries. The
// field offers the known tags as the description box does; "Add" and "Remove" hand the tag to the
// controller, which changes every selected entry or, when one cannot take it, none.
class TagsDialog : public QDialog {
    Q_OBJECT
public:
    TagsDialog(LibraryController& controller, const QStringList& knownTags, QWidget* parent = nullptr);

    // The tag as typed, with its '#' ("gig" and "#gig" are both "#gig").
    QString Tag() const;

private:
    void Apply(bool add);

    LibraryController& controller_;
    QLineEdit* tag_ = nullptr;
    QPushButton* add_ = nullptr;
    QPushButton* remove_ = nullptr;
};

} // namespace quillbox
