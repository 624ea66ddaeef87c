#include "DescriptionBox.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTextBlock>
#include <QTextCursor>

namespace quillbox {

namespace {
bool IsLineBreak(QChar c) {
    return c == QLatin1Char('\n') || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}
} // namespace

DescriptionBox::DescriptionBox(QWidget* parent) : QPlainTextEdit(parent) {
    setTabChangesFocus(true);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    connect(this, &QPlainTextEdit::textChanged, this, [this] {
        if (!settingText_)
            Q_EMIT edited(Text());
    });
}

QString DescriptionBox::Text() const {
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text;
}

void DescriptionBox::SetText(const QString& text) {
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    settingText_ = true;
    setPlainText(plain);
    settingText_ = false;
}

qsizetype DescriptionBox::StoredLength(const QString& text) {
    qsizetype length = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
            continue; // CR LF counts two, on its LF
        length += IsLineBreak(c) || c == QLatin1Char('\r') ? 2 : 1;
    }
    return length;
}

qsizetype DescriptionBox::Room() const {
    const QTextCursor cursor = textCursor();
    return MaxLength - StoredLength(toPlainText()) + StoredLength(cursor.selectedText());
}

QString DescriptionBox::Fitting(const QString& text) const {
    qsizetype room = Room();
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            c = QLatin1Char('\n');
        }
        const qsizetype weight = IsLineBreak(c) ? 2 : 1;
        if (weight > room)
            break;
        // Never split a surrogate pair.
        if (c.isHighSurrogate() && i + 1 < text.size()) {
            if (room < 2)
                break;
            result.append(c);
            result.append(text.at(++i));
            room -= 2;
            continue;
        }
        result.append(c);
        room -= weight;
    }
    return result;
}

void DescriptionBox::keyPressEvent(QKeyEvent* event) {
    const bool lineBreak = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const QString typed = lineBreak ? QStringLiteral("\n") : event->text();
    const bool inserts = lineBreak || (!typed.isEmpty() && typed.at(0).isPrint() &&
                                       !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier)));
    if (inserts && !isReadOnly() && StoredLength(typed) > Room()) {
        QApplication::beep();
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void DescriptionBox::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) {
        const QString fitting = Fitting(event->commitString());
        if (fitting.size() != event->commitString().size()) {
            QInputMethodEvent cut(event->preeditString(), event->attributes());
            cut.setCommitString(fitting, event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&cut);
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}

void DescriptionBox::insertFromMimeData(const QMimeData* source) {
    if (!source || !source->hasText())
        return;
    const QString fitting = Fitting(source->text());
    if (fitting.isEmpty()) {
        if (!source->text().isEmpty())
            QApplication::beep();
        return;
    }
    insertPlainText(fitting);
    ensureCursorVisible();
}

void DescriptionBox::mousePressEvent(QMouseEvent* event) {
    Q_EMIT clicked();
    QPlainTextEdit::mousePressEvent(event);
}

} // namespace quillbox
