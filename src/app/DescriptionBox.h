#pragma once

#include "LibraryDocument.h"

#include <QPlainTextEdit>
#include <functional>

class QCompleter;
class QStringListModel;

namespace quillbox {

// The description box: several lines, at most MaxLength characters, where a line break counts as
// two (it is stored as CR LF). The box refuses what would go beyond: a keystroke that does not fit
// is dropped, pasted text is cut to what fits. Text goes in and out with CR LF line breaks.
class DescriptionBox : public QPlainTextEdit {
    Q_OBJECT
public:
    static constexpr qsizetype MaxLength = LibraryDocument::DescriptionLimit;

    explicit DescriptionBox(QWidget* parent = nullptr);

    // The text with CR LF line breaks.
    QString Text() const;
    // Shows `text` (CR LF, CR or LF line breaks) without reporting it as an edit.
    void SetText(const QString& text);

    // Length of `text` as stored: a line break (LF, or the paragraph separator of a selection) counts two.
    static qsizetype StoredLength(const QString& text);

    // Tags ("#gig") the box offers to complete while one is typed; asked each time the offer opens.
    using TagSource = std::function<QStringList()>;
    void SetTagSource(TagSource source) { tagSource_ = std::move(source); }
    QCompleter* TagCompleter() const { return completer_; }

Q_SIGNALS:
    // The user changed the text (typing, pasting, cutting, undo...). `text` has CR LF line breaks.
    void edited(const QString& text);
    // A mouse button was pressed in the box.
    void clicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void insertFromMimeData(const QMimeData* source) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // How many stored characters can still be inserted in place of the selection.
    qsizetype Room() const;
    // `text` cut so that it fits into the room left.
    QString Fitting(const QString& text) const;
    // The tag being typed: from a '#' after a blank (or at the start) to the cursor; empty otherwise.
    QString TagBeforeCursor() const;
    // Offers the known tags that start with the tag being typed, or hides the offer.
    void OfferTags();
    void CompleteTag(const QString& tag);

    bool settingText_ = false;
    TagSource tagSource_;
    QCompleter* completer_ = nullptr;
    QStringListModel* tags_ = nullptr;
};

} // namespace quillbox
