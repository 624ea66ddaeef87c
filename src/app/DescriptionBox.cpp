#include "DescriptionBox.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStringListModel>
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
    tags_ = new QStringListModel(this);
    completer_ = new QCompleter(tags_, this);
    completer_->setWidget(this);
    completer_->setCompletionMode(QCompleter::PopupCompletion);
    completer_->setCaseSensitivity(Qt::CaseInsensitive);
    completer_->popup()->setAccessibleName(QStringLiteral("Known tags"));
    connect(completer_, qOverload<const QString&>(&QCompleter::activated), this,
            [this](const QString& tag) { CompleteTag(tag); });
}

QString DescriptionBox::TagBeforeCursor() const {
    const QTextCursor cursor = textCursor();
    if (cursor.hasSelection())
        return {};
    const QString line = cursor.block().text().left(cursor.positionInBlock());
    qsizetype start = line.size();
    while (start > 0 && (line[start - 1].isLetterOrNumber() || line[start - 1] == QLatin1Char('-') ||
                         line[start - 1] == QLatin1Char('_')))
        --start;
    if (start == 0 || line[start - 1] != QLatin1Char('#') || (start > 1 && !line[start - 2].isSpace()))
        return {};
    return line.mid(start - 1);
}

void DescriptionBox::OfferTags() {
    const QString typed = TagBeforeCursor();
    if (typed.isEmpty() || !tagSource_ || isReadOnly()) {
        completer_->popup()->hide();
        return;
    }
    if (!completer_->popup()->isVisible())
        tags_->setStringList(tagSource_());
    completer_->setCompletionPrefix(typed);
    // Nothing to offer, or only what is typed already.
    if (completer_->completionCount() == 0 ||
        (completer_->completionCount() == 1 &&
         completer_->currentCompletion().compare(typed, Qt::CaseInsensitive) == 0)) {
        completer_->popup()->hide();
        return;
    }
    completer_->popup()->setCurrentIndex(completer_->completionModel()->index(0, 0));
    QRect place = cursorRect();
    place.setWidth(completer_->popup()->sizeHintForColumn(0) +
                   completer_->popup()->verticalScrollBar()->sizeHint().width());
    completer_->complete(place);
}

void DescriptionBox::CompleteTag(const QString& tag) {
    const QString typed = TagBeforeCursor();
    if (typed.isEmpty() || !tag.startsWith(typed, Qt::CaseInsensitive))
        return;
    // The tag as known replaces what was typed of it (one spelling for one tag), as far as the box
    // has room: the text's limit holds for completion too.
    const QString rest = Fitting(tag.mid(typed.size()));
    QTextCursor cursor = textCursor();
    cursor.movePosition(QTextCursor::Left, QTextCursor::KeepAnchor, int(typed.size()));
    cursor.insertText(tag.left(typed.size()) + rest);
    setTextCursor(cursor);
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
    // While tags are offered, these keys choose or dismiss one (the offer's own handling).
    if (completer_->popup()->isVisible()) {
        switch (event->key()) {
        case Qt::Key_Enter:
        case Qt::Key_Return:
        case Qt::Key_Escape:
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            event->ignore();
            return;
        default:
            break;
        }
    }
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
    if (inserts || event->key() == Qt::Key_Backspace || completer_->popup()->isVisible())
        OfferTags();
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
