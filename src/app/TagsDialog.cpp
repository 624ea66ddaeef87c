#include "TagsDialog.h"

#include "LibraryController.h"

#include <QCompleter>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillbox {

TagsDialog::TagsDialog(LibraryController& controller, const QStringList& knownTags, QWidget* parent)
    : QDialog(parent), controller_(controller) {
    setObjectName(QStringLiteral("frmTags"));
    setWindowTitle(QStringLiteral("Tags"));
    const qsizetype count = controller.Selection(ListId::Library).size();
    auto* label = new QLabel(count == 1 ? QStringLiteral("&Tag for the selected patch:")
                                        : QStringLiteral("&Tag for the %1 selected patches:").arg(count),
                             this);
    tag_ = new QLineEdit(this);
    tag_->setObjectName(QStringLiteral("txtTag"));
    tag_->setPlaceholderText(QStringLiteral("#tag"));
    label->setBuddy(tag_);
    auto* completer = new QCompleter(knownTags, tag_);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains); // "gig" finds "#gig" as well as "#gi" does
    tag_->setCompleter(completer);

    auto* buttons = new QDialogButtonBox(this);
    add_ = buttons->addButton(QStringLiteral("&Add"), QDialogButtonBox::AcceptRole);
    add_->setObjectName(QStringLiteral("cmdTagAdd"));
    remove_ = buttons->addButton(QStringLiteral("&Remove"), QDialogButtonBox::ActionRole);
    remove_->setObjectName(QStringLiteral("cmdTagRemove"));
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setObjectName(QStringLiteral("cmdTagCancel"));
    add_->setDefault(true);
    auto enable = [this] {
        add_->setEnabled(!Tag().isEmpty());
        remove_->setEnabled(!Tag().isEmpty());
    };
    enable();
    connect(tag_, &QLineEdit::textChanged, this, enable);
    // Both apply the tag and close only when it was applied: a refusal leaves the tag to be changed.
    connect(add_, &QPushButton::clicked, this, [this] { Apply(true); });
    connect(remove_, &QPushButton::clicked, this, [this] { Apply(false); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(tag_);
    layout->addWidget(buttons);
}

QString TagsDialog::Tag() const {
    const QString text = tag_->text().trimmed();
    if (text.isEmpty() || text == QStringLiteral("#"))
        return {};
    return text.startsWith(QLatin1Char('#')) ? text : QLatin1Char('#') + text;
}

void TagsDialog::Apply(bool add) {
    if (controller_.TagSelected(Tag(), add))
        accept();
}

} // namespace quillbox
