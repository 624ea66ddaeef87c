#include "ControlSize.h"

#include "DescriptionBox.h"
#include "MainLayout.h"
#include "PatchListView.h"
#include "ValueTables.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QStyleOptionFrame>

namespace quillbox {

namespace {

QSize ToTwips(QSize pixels) {
    return {PixelsToTwips(pixels.width()), PixelsToTwips(pixels.height())};
}

} // namespace

QSize NeededTwips(const QWidget& control) {
    const QWidget* widget = &control;
    if (qobject_cast<const QGroupBox*>(widget) || qobject_cast<const DescriptionBox*>(widget))
        return {};
    if (auto* list = qobject_cast<const PatchListView*>(widget)) {
        // Lines of lists up to 9,999 entries with names of the widest characters; longer lists
        // scroll sideways.
        return ToTwips(QSize(list->NeededWidth(9999), 0));
    }
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) {
        // The widest entry has to fit into the closed box.
        QComboBox probe;
        probe.setFont(combo->font());
        for (const ParameterTableInfo& table : ParameterTables()) {
            if (table.objectName == widget->objectName())
                probe.addItems(table.entries);
        }
        probe.setSizeAdjustPolicy(QComboBox::AdjustToContents);
        return ToTwips(QSize(probe.minimumSizeHint().width(), probe.sizeHint().height()));
    }
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) {
        // The designed text and its frame; QLineEdit's own hint asks for room for 17 characters.
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QFontMetrics metrics(edit->font());
        const QSize text(metrics.horizontalAdvance(edit->text()) + 2 * 2 + 1, edit->sizeHint().height());
        const QSize needed = edit->style()->sizeFromContents(QStyle::CT_LineEdit, &option, text, edit);
        return ToTwips(QSize(needed.width(), edit->sizeHint().height()));
    }
    return ToTwips(widget->sizeHint());
}

} // namespace quillbox
