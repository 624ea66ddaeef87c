#include "ToolSupport.h"

#include "PatchImage.h"

namespace quillbox::tool {

[[noreturn]] void UsageError(const QString& message) {
    throw ToolError{ExitBadUsage, message, true};
}

[[noreturn]] void FileProblem(const QString& message) {
    throw ToolError{ExitBadFile, message};
}

QString Plural(qsizetype count, const char* singular, const char* plural) {
    return QString::number(count) + QLatin1Char(' ') + QString::fromUtf8(count == 1 ? singular : plural);
}

QString PatchCount(qsizetype count) {
    return Plural(count, "patch", "patches");
}

qsizetype ShortBy(const QByteArray& store) {
    const qsizetype rest = store.size() % PatchImageSize;
    return rest == 0 ? 0 : PatchImageSize - rest;
}

QString ShortByText(qsizetype missing) {
    return QStringLiteral("last entry short by ") + Plural(missing, "byte", "bytes");
}

void WarnIfShort(const QString& path, const QByteArray& store, QTextStream& err) {
    if (const qsizetype missing = ShortBy(store); missing > 0)
        err << ProgramName << QStringLiteral(": warning: ") << path << QStringLiteral(": ")
            << ShortByText(missing) << QLatin1Char('\n');
}

qsizetype PositionIn(const QString& text, qsizetype count, const QString& path) {
    bool isNumber = false;
    const qsizetype position = text.toLongLong(&isNumber);
    if (!isNumber || position < 1 || position > count)
        FileProblem(
            path +
            QStringLiteral(": there is no position %1; positions run from 1 to %2").arg(text).arg(count));
    return position;
}

std::pair<QString, QString> FileAndPosition(const QString& argument) {
    const qsizetype colon = argument.lastIndexOf(u':');
    if (colon <= 0)
        UsageError(QStringLiteral("expected FILE:POSITION, not ") + argument);
    return {argument.left(colon), argument.mid(colon + 1)};
}

QString EscapeDescription(const QString& description) {
    QString escaped;
    escaped.reserve(description.size());
    for (qsizetype i = 0; i < description.size(); ++i) {
        const QChar c = description[i];
        if (c == QLatin1Char('\r')) {
            escaped += QStringLiteral("\\n");
            if (i + 1 < description.size() && description[i + 1] == QLatin1Char('\n'))
                ++i; // CR LF is one line break
        } else if (c == QLatin1Char('\n')) {
            escaped += QStringLiteral("\\n");
        } else if (c == QLatin1Char('\t')) {
            escaped += QStringLiteral("\\t");
        } else {
            escaped += c;
        }
    }
    return escaped;
}

} // namespace quillbox::tool
