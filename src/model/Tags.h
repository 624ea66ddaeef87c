#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <functional>

namespace quillbox {

// Tags are the words of a description that start with '#' at its start or after a blank ("#gig");
// a tag's letters are letters, digits, '-' and '_'. Tags compare case-folded. The one rule for the
// library's tag command, the collection's index and the description box's completion.

// The tags of a description, case-folded, each once, in order.
QStringList TagsOf(const QString& description);
// The same for a description in UTF-8, each tag given to `found` case-folded in UTF-8: an ASCII
// description is read byte by byte, without strings of its own.
void ForEachTagOf(QByteArrayView description, const std::function<void(QByteArrayView tag)>& found);
// The tags of all the descriptions, each once, sorted.
QStringList TagsIn(const QStringList& descriptions);
// "#gig": a '#' and at least one tag letter, nothing else.
bool IsTag(const QString& word);
// The description with `tag` at its end (after a blank unless it is empty or ends in a blank);
// unchanged when it holds the tag already.
QString WithTag(const QString& description, const QString& tag);
// The description without `tag` wherever it stands whole, each with the blank before it (or after
// it, at the start).
QString WithoutTag(const QString& description, const QString& tag);

} // namespace quillbox
