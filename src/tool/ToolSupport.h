#pragma once

// What every command of quillbox-tool shares: its errors and exit statuses, counts in words, the
// records meant for scripts, and the positions a command line names.
#include "FileError.h"
#include "QuotedPath.h"
#include "ToolCommands.h"

#include <QByteArray>
#include <QString>
#include <QTextStream>
#include <utility>

namespace quillbox::tool {

inline const QString ProgramName = QStringLiteral("quillbox-tool");

// A failure that ends a command with its own exit status; `message` is shown after the program name.
struct ToolError {
    int exitCode;
    QString message;
    bool usage = false; // a wrong command line: the help is pointed out
};

[[noreturn]] void UsageError(const QString& message);
[[noreturn]] void FileProblem(const QString& message);

QString Plural(qsizetype count, const char* singular, const char* plural);
QString PatchCount(qsizetype count);

// How lines meant for scripts are written: paths (and names) quoted as QuotePath quotes them and
// each record ended by a line break; with -z as they are, each record ended by NUL. The other fields
// of a record never hold a tab, so a path is what lies between them.
struct Records {
    bool nul = false;
    QString Path(const QString& path) const { return nul ? path : QuotePath(path); }
    QChar End() const { return nul ? QChar(u'\0') : QChar(u'\n'); }
};

// How many bytes the last entry lacks to be a whole 18-byte image (0 when it is whole).
qsizetype ShortBy(const QByteArray& store);
QString ShortByText(qsizetype missing);
void WarnIfShort(const QString& path, const QByteArray& store, QTextStream& err);

// A 1-based position within a list of `count` entries.
qsizetype PositionIn(const QString& text, qsizetype count, const QString& path);

// FILE:POS, split at the last colon so that a path may hold colons.
std::pair<QString, QString> FileAndPosition(const QString& argument);

// diff, reconcile, merge and the collection end with status 2 on any trouble, since 1 tells a result.
template <typename Body> auto WithTroubleAsTwo(Body body) -> decltype(body()) {
    try {
        return body();
    } catch (const FileError& e) {
        throw ToolError{ExitDiffTrouble, e.description};
    } catch (const ToolError& e) {
        throw ToolError{ExitDiffTrouble, e.message, e.usage};
    }
}

} // namespace quillbox::tool
