#pragma once

#include <QLabel>
#include <QPainter>
#include <QStyle>

namespace quillbox {

// A status line: a text longer than the line is cut with "…" where it is drawn, and shown whole
// in the tool tip; the label never asks for more width than its window has.
class StatusLine : public QLabel {
public:
    using QLabel::QLabel;

    void Show(const QString& text) {
        setText(text);
        setToolTip(text);
    }

    QSize minimumSizeHint() const override { return {0, QLabel::minimumSizeHint().height()}; }
    QSize sizeHint() const override { return {0, QLabel::sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        style()->drawItemText(&painter, area, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideRight, area.width()),
                              foregroundRole());
    }
};

} // namespace quillbox
