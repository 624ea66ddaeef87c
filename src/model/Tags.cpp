#include "Tags.h"

#include "ByteBlocks.h"

#include <QSet>
#include <QVarLengthArray>
#include <algorithm>
#include <cstring>
#include <vector>

namespace quillbox {

namespace {

bool IsTagLetter(QChar c) {
    return c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_');
}

// Calls `found(start, end)` for every tag of `description`, in order.
template <typename Found> void ForEachTag(const QString& description, Found found) {
    for (qsizetype i = 0; i < description.size(); ++i) {
        if (description[i] != QLatin1Char('#') || (i > 0 && !description[i - 1].isSpace()))
            continue;
        qsizetype end = i + 1;
        while (end < description.size() && IsTagLetter(description[end]))
            ++end;
        if (end > i + 1)
            found(i, end);
        i = end - 1;
    }
}

} // namespace

QStringList TagsOf(const QString& description) {
    QStringList tags;
    ForEachTag(description, [&](qsizetype start, qsizetype end) {
        const QString tag = description.mid(start, end - start).toCaseFolded();
        if (!tags.contains(tag))
            tags.append(tag);
    });
    return tags;
}

void ForEachTagOf(QByteArrayView description, const std::function<void(QByteArrayView tag)>& found) {
    // A collection reads a million descriptions: most hold no tag or one, so the scan jumps from
    // one '#' to the next.
    const char* const data = description.data();
    const char* const end = data + description.size();
    const char* at = description.isEmpty()
                         ? nullptr
                         : static_cast<const char*>(std::memchr(data, '#', size_t(end - data)));
    if (!at)
        return;
    if (HasHighByte(description)) {
        for (const QString& tag : TagsOf(QString::fromUtf8(description)))
            found(tag.toUtf8());
        return;
    }
    // ASCII: a blank is one of the ASCII spaces, a tag letter a letter, digit, '-' or '_', and
    // folding is lowering; each tag is given once, as TagsOf lists it.
    const auto blank = [](char c) {
        return c == ' ' || (c >= '\t' && c <= '\r');
    };
    const auto letter = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_';
    };
    // A tag already in lower case (most are) is given as a view of the description, without a copy.
    QVarLengthArray<QByteArrayView, 8> given;
    QVarLengthArray<QByteArray, 2> lowered;
    while (at) {
        const char* after = at + 1;
        if (at == data || blank(at[-1])) {
            while (after < end && letter(*after))
                ++after;
            if (after > at + 1) {
                QByteArrayView tag(at, after - at);
                if (std::any_of(tag.begin(), tag.end(), [](char c) { return c >= 'A' && c <= 'Z'; }))
                    tag = lowered.emplace_back(tag.toByteArray().toLower()); // its bytes stay where they are
                if (std::find(given.begin(), given.end(), tag) == given.end()) {
                    found(tag);
                    given.push_back(tag);
                }
            }
        }
        at = after < end ? static_cast<const char*>(std::memchr(after, '#', size_t(end - after))) : nullptr;
    }
}

QStringList TagsIn(const QStringList& descriptions) {
    QSet<QString> tags;
    for (const QString& description : descriptions) {
        if (description.contains(QLatin1Char('#'))) { // most have none; the test is cheap
            for (const QString& tag : TagsOf(description))
                tags.insert(tag);
        }
    }
    QStringList sorted(tags.begin(), tags.end());
    sorted.sort();
    return sorted;
}

bool IsTag(const QString& word) {
    if (word.size() < 2 || word.front() != QLatin1Char('#'))
        return false;
    for (qsizetype i = 1; i < word.size(); ++i) {
        if (!IsTagLetter(word[i]))
            return false;
    }
    return true;
}

QString WithTag(const QString& description, const QString& tag) {
    if (TagsOf(description).contains(tag.toCaseFolded()))
        return description;
    if (description.isEmpty() || description.back().isSpace())
        return description + tag;
    return description + QLatin1Char(' ') + tag;
}

QString WithoutTag(const QString& description, const QString& tag) {
    const QString folded = tag.toCaseFolded();
    QString result;
    qsizetype from = 0;
    ForEachTag(description, [&](qsizetype start, qsizetype end) {
        if (description.mid(start, end - start).toCaseFolded() != folded)
            return;
        qsizetype cut = start;
        qsizetype cutEnd = end;
        if (cut > from && description[cut - 1] == QLatin1Char(' '))
            --cut; // the blank before it
        else if (cut == 0 && cutEnd < description.size() && description[cutEnd] == QLatin1Char(' '))
            ++cutEnd; // at the start: the blank after it
        result += description.mid(from, cut - from);
        from = cutEnd;
    });
    if (from == 0)
        return description;
    return result + description.mid(from);
}

} // namespace quillbox
