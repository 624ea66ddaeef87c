#include "CompareWindow.h"

#include "Contrast.h"

#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillbox {

namespace {

const char* const TakeNames[] = {"cmdTake_DriveType", "cmdTake_CabType", "cmdTake_CabSpeaker",
                                 "cmdTake_Drive", "cmdTake_Cab"};

// A differing value beside the table: bold on a tinted ground, both readable in the palette.
QString DiffersStyle(const CompareColours& colours) {
    return QStringLiteral("background:%1; color:%2; font-weight:bold")
        .arg(colours.differsGround.name(), colours.labelText.name());
}

QLabel* ValueLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    label->setMinimumWidth(120);
    return label;
}

QString Escaped(const QString& text) {
    return text.toHtmlEscaped().replace(QLatin1Char(' '), QStringLiteral("&nbsp;"));
}

} // namespace

CompareWindow::CompareWindow(const LibraryController& controller, Take take, QWidget* parent)
    : QDialog(parent), controller_(controller), take_(std::move(take)) {
    setObjectName(QStringLiteral("frmCompare"));
    setWindowTitle(QStringLiteral("Compare"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    layout->addLayout(grid);

    leftHead_ = ValueLabel(this);
    rightHead_ = ValueLabel(this);
    leftHead_->setObjectName(QStringLiteral("lblLeft"));
    rightHead_->setObjectName(QStringLiteral("lblRight"));
    QFont bold = font();
    bold.setBold(true);
    leftHead_->setFont(bold);
    rightHead_->setFont(bold);
    grid->addWidget(leftHead_, 0, 1);
    grid->addWidget(rightHead_, 0, 3);

    nameCaption_ = new QLabel(QStringLiteral("Name"), this);
    grid->addWidget(nameCaption_, 1, 0);
    leftName_ = ValueLabel(this);
    rightName_ = ValueLabel(this);
    grid->addWidget(leftName_, 1, 1);
    grid->addWidget(rightName_, 1, 3);

    auto* descriptionLabel = new QLabel(QStringLiteral("Description"), this);
    descriptionLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(descriptionLabel, 2, 0);
    leftDescription_ = ValueLabel(this);
    rightDescription_ = ValueLabel(this);
    for (QLabel* label : {leftDescription_, rightDescription_}) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    grid->addWidget(leftDescription_, 2, 1);
    grid->addWidget(rightDescription_, 2, 3);

    for (int p = 0; p < 5; ++p) {
        auto* name = new QLabel(this);
        parameterLabels_.append(name);
        grid->addWidget(name, 3 + p, 0);
        leftValues_.append(ValueLabel(this));
        rightValues_.append(ValueLabel(this));
        grid->addWidget(leftValues_.last(), 3 + p, 1);
        grid->addWidget(rightValues_.last(), 3 + p, 3);
        auto* button = new QPushButton(QStringLiteral("Take \u2192"), this);
        button->setObjectName(QString::fromLatin1(TakeNames[p]));
        button->setAutoDefault(false);
        connect(button, &QPushButton::clicked, this, [this, p] {
            take_(BoundField(p));
            Refresh();
        });
        takeButtons_.append(button);
        grid->addWidget(button, 3 + p, 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);

    verdict_ = new QLabel(this);
    verdict_->setObjectName(QStringLiteral("lblVerdict"));
    layout->addWidget(verdict_);
    bytes_ = new QTextBrowser(this);
    bytes_->setObjectName(QStringLiteral("txtBytes"));
    bytes_->setAccessibleName(QStringLiteral("Bytes and bits compared"));
    bytes_->setLineWrapMode(QTextEdit::NoWrap);
    // A caret shows where the focus is (the style draws no focus frame around a text box) and lets
    // the keyboard select and copy from the table.
    bytes_->setTextInteractionFlags(bytes_->textInteractionFlags() | Qt::TextSelectableByKeyboard);
    layout->addWidget(bytes_, 1);
}

void CompareWindow::ShowEntries(const LibraryController::EntryRef& left,
                                const LibraryController::EntryRef& right) {
    left_ = left;
    right_ = right;
    Refresh();
}

void CompareWindow::Refresh() {
    const bool there = controller_.EntryExists(left_) && controller_.EntryExists(right_);
    for (QPushButton* button : takeButtons_)
        button->setEnabled(false);
    if (!there) {
        verdict_->setText(QStringLiteral("The entries compared are no longer there."));
        bytes_->clear();
        return;
    }
    const PatchComparison c = controller_.Compare(left_, right_);
    const QString differsStyle = DiffersStyle(CompareColoursFor(palette()));
    leftHead_->setText(controller_.EntryLabel(left_));
    rightHead_->setText(controller_.EntryLabel(right_));
    leftName_->setText(c.leftName);
    rightName_->setText(c.rightName);
    const bool namesDiffer = c.FieldDiffers(ImageField::Name);
    for (QLabel* label : {leftName_, rightName_})
        label->setStyleSheet(namesDiffer ? differsStyle : QString());
    // A reader hears each value with its field and side, and a difference in words; the text says
    // it too, beside the field's name, so that it is not told by colour alone.
    const QString leftSide = leftHead_->text();
    const QString rightSide = rightHead_->text();
    const auto nameValue = [](QLabel* label, const QString& field, const QString& side, bool differs) {
        label->setAccessibleName(field + QStringLiteral(", ") + side + QStringLiteral(": ") + label->text() +
                                 (differs ? QStringLiteral(", differs") : QString()));
    };
    nameValue(leftName_, QStringLiteral("Name"), leftSide, namesDiffer);
    nameValue(rightName_, QStringLiteral("Name"), rightSide, namesDiffer);
    nameCaption_->setText(namesDiffer ? QStringLiteral("Name (differs)") : QStringLiteral("Name"));
    leftDescription_->setText(controller_.EntryDescription(left_));
    rightDescription_->setText(controller_.EntryDescription(right_));
    nameValue(leftDescription_, QStringLiteral("Description"), leftSide, false);
    nameValue(rightDescription_, QStringLiteral("Description"), rightSide, false);
    const bool rightIsLibrary = right_.list == ListId::Library;
    for (int p = 0; p < 5; ++p) {
        const bool differs = c.parameterDiffers[size_t(p)];
        const QString field = c.parameterNames.value(p);
        parameterLabels_[p]->setText(differs ? field + QStringLiteral(" (differs)") : field);
        leftValues_[p]->setText(c.leftValues.value(p));
        rightValues_[p]->setText(c.rightValues.value(p));
        for (QLabel* label : {leftValues_[p], rightValues_[p]})
            label->setStyleSheet(differs ? differsStyle : QString());
        nameValue(leftValues_[p], field, leftSide, differs);
        nameValue(rightValues_[p], field, rightSide, differs);
        // What the button does, with the patches' names: "Take Drive type from CRUNCH into LEAD 1".
        const QString takes =
            QStringLiteral("Take %1 from %2 into %3").arg(field, c.leftName.trimmed(), c.rightName.trimmed());
        takeButtons_[p]->setAccessibleName(takes);
        takeButtons_[p]->setToolTip(takes);
        takeButtons_[p]->setVisible(rightIsLibrary);
        takeButtons_[p]->setEnabled(rightIsLibrary && differs);
    }
    verdict_->setText(c.Identical() ? QStringLiteral("The two patches are identical.")
                                    : QStringLiteral("%1 bits differ.").arg(c.differingBits.size()));
    bytes_->setHtml(BytesHtml(c));
    // The table's whole width stays in view; its rows scroll where the screen is too low for all 18
    // bytes and the legend (a small or scaled screen), and are all in view where it is not.
    const QSize content = bytes_->document()->size().toSize();
    const int frame = 2 * bytes_->frameWidth() + 4 + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int fewRows = 6 * fontMetrics().lineSpacing() + frame;
    bytes_->setMinimumSize(content.width() + frame, std::min(content.height() + frame, fewRows));
    if (!isVisible()) {
        const int wanted =
            layout()->minimumSize().height() - bytes_->minimumHeight() + content.height() + frame;
        const QRect screenArea = screen() ? screen()->availableGeometry() : QRect(0, 0, width(), wanted);
        resize(std::max(width(), layout()->minimumSize().width()),
               std::min(wanted, screenArea.height() - 40));
    }
}

void CompareWindow::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // A new theme: the highlights are taken from the palette again.
    if (event->type() == QEvent::PaletteChange && isVisible())
        Refresh();
}

QString CompareWindow::BytesHtml(const PatchComparison& c) const {
    // One row per byte: the left and the right byte in hexadecimal and in bits (bit 7 first), and the
    // fields its bits belong to. A bit of the name field has a blue ground, one of a bound field a
    // green one; a differing bit is red, bold and underlined. The shades come from the palette.
    const CompareColours colours = CompareColoursFor(palette());
    const QString differsColour = colours.differs.name();
    auto bits = [&c, &colours, &differsColour](const QByteArray& image, int byte1) {
        QString html;
        for (int bit = 7; bit >= 0; --bit) {
            const ImageField field = FieldOfBit(byte1, bit);
            QString style;
            if (field == ImageField::Name)
                style += QStringLiteral("background:%1;").arg(colours.nameGround.name());
            else if (field != ImageField::Carried)
                style += QStringLiteral("background:%1;").arg(colours.boundGround.name());
            if (((c.left[byte1 - 1] ^ c.right[byte1 - 1]) >> bit) & 1)
                style +=
                    QStringLiteral("color:%1;font-weight:bold;text-decoration:underline;").arg(differsColour);
            html +=
                QStringLiteral("<span style=\"%1\">%2</span>").arg(style).arg((image[byte1 - 1] >> bit) & 1);
        }
        return html;
    };
    QString html =
        QStringLiteral("<table cellspacing=0 cellpadding=3 style=\"font-family:monospace\">"
                       "<tr><th align=right>Byte</th><th colspan=2 align=left>%1</th><th width=12></th>"
                       "<th colspan=2 align=left>%2</th><th width=12></th><th align=left>Fields</th></tr>")
            .arg(Escaped(controller_.EntryLabel(left_)), Escaped(controller_.EntryLabel(right_)));
    for (int byte1 = 1; byte1 <= PatchImageSize; ++byte1) {
        QStringList fields;
        for (int bit = 7; bit >= 0; --bit) {
            const QString name = ImageFieldName(FieldOfBit(byte1, bit));
            if (!fields.contains(name))
                fields.append(name);
        }
        const bool differs = c.left[byte1 - 1] != c.right[byte1 - 1];
        const QString hexStyle =
            differs ? QStringLiteral(" style=\"color:%1;font-weight:bold\"").arg(differsColour) : QString();
        html +=
            QStringLiteral("<tr><td align=right>%1</td><td%2>%3</td><td>%4</td><td></td><td%2>%5</td>"
                           "<td>%6</td><td></td><td>%7</td></tr>")
                .arg(byte1)
                .arg(hexStyle)
                .arg(QStringLiteral("%1").arg(quint8(c.left[byte1 - 1]), 2, 16, QLatin1Char('0')).toUpper())
                .arg(bits(c.left, byte1))
                .arg(QStringLiteral("%1").arg(quint8(c.right[byte1 - 1]), 2, 16, QLatin1Char('0')).toUpper())
                .arg(bits(c.right, byte1))
                .arg(Escaped(fields.join(QStringLiteral(", "))));
    }
    html += QStringLiteral("</table><p><span style=\"background:%1\">&nbsp;name&nbsp;</span> "
                           "<span style=\"background:%2\">&nbsp;bound parameters&nbsp;</span> "
                           "<span style=\"color:%3;font-weight:bold;text-decoration:underline\">differing "
                           "bit</span></p>")
                .arg(colours.nameGround.name(), colours.boundGround.name(), differsColour);
    return html;
}

} // namespace quillbox
