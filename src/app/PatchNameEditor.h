#pragma once

#include <QStyledItemDelegate>
#include <QValidator>
#include <functional>

class QLineEdit;

namespace quillbox {

// Takes only what a patch name can hold: the characters of the device alphabet (a lower-case letter
// becomes its upper-case letter as it is typed), at most six. Each refusal is reported with the
// reason: the character refused and the characters allowed, or the length.
class PatchNameValidator : public QValidator {
    Q_OBJECT
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;

Q_SIGNALS:
    void refused(const QString& why) const;
};

// Edits a library line's name in place: the editor holds only the name, and what it takes goes to
// the list model's setData (which renames the entry).
class PatchNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // `prepare` is called with each new editor and its validator, before the editor is shown.
    using Prepare = std::function<void(QLineEdit* editor, PatchNameValidator* validator)>;
    explicit PatchNameDelegate(Prepare prepare, QObject* parent = nullptr);

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;

private:
    Prepare prepare_;
};

} // namespace quillbox
