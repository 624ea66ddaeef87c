#include "PatchNameEditor.h"

#include "PatchName.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLineEdit>
#include <QStyle>

namespace quillbox {

QValidator::State PatchNameValidator::validate(QString& input, int& pos) const {
    Q_UNUSED(pos);
    // Shown as it will be stored: the alphabet has upper-case letters only.
    QString upper = input;
    for (QChar& ch : upper) {
        if (ch >= u'a' && ch <= u'z')
            ch = QChar(ch.unicode() - (u'a' - u'A'));
    }
    const PatchNameCodes codes = EncodePatchName(upper);
    if (!codes.ok()) {
        Q_EMIT refused(PatchNameRefusal(upper, codes));
        return Invalid;
    }
    input = upper;
    return Acceptable;
}

PatchNameDelegate::PatchNameDelegate(Prepare prepare, QObject* parent)
    : QStyledItemDelegate(parent), prepare_(std::move(prepare)) {}

QWidget* PatchNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    // The editor lies over the line but belongs to the list's container: inside the list's viewport
    // it would be no part of the accessibility tree, whose children of a list are its lines only.
    const QWidget* view = option.widget;
    QWidget* host = view && view->parentWidget() ? view->parentWidget() : parent;
    auto* editor = new QLineEdit(host);
    editor->setObjectName(QStringLiteral("txtRename"));
    editor->setAccessibleName(QStringLiteral("New name for ") +
                              index.data(Qt::DisplayRole).toString().simplified());
    editor->setAccessibleDescription(QStringLiteral("Enter renames the patch, Esc keeps its name"));
    auto* validator = new PatchNameValidator(editor);
    editor->setValidator(validator);
    if (prepare_)
        prepare_(editor, validator);
    return editor;
}

void PatchNameDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex& index) const {
    // The number stays in view: the editor covers the name only, which starts after the line's
    // marks and its number, where the style draws the line's text.
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* view = option.widget;
    const QStyle* style = view ? view->style() : QApplication::style();
    // The style draws the text a focus frame's margin inside its rectangle.
    const int textLeft = style->subElementRect(QStyle::SE_ItemViewItemText, &item, view).left() +
                         style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
    const QString line = index.data(Qt::DisplayRole).toString();
    const qsizetype colon = line.indexOf(QStringLiteral(":  "));
    const int numberWidth = colon < 0 ? 0 : item.fontMetrics.horizontalAdvance(line.left(colon + 3));
    QRect rect = option.rect;
    rect.setLeft(std::min(rect.right() - 20, textLeft + numberWidth));
    // The line's rectangle is the viewport's; the editor lives in the list's container.
    if (const auto* list = qobject_cast<const QAbstractItemView*>(view);
        list && editor->parentWidget() != list->viewport())
        rect.moveTopLeft(list->viewport()->mapTo(editor->parentWidget(), rect.topLeft()));
    editor->setGeometry(rect);
    editor->raise();
}

} // namespace quillbox
