#pragma once

#include "FileError.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <functional>
#include <vector>

namespace quillbox {

// Replaces one or more files together. Commit() first writes every content completely to a
// temporary file beside its target (flushed and synced to disk), and only when all are prepared
// renames them over their targets in the order they were added. Any failure before the renames
// removes the temporary files and leaves every target byte for byte as it was. Symlinked targets are
// followed; an existing target's permissions are kept. Throws FileError (source "WriteToFile",
// descriptions as WriteToFile words them).
class SafeSave {
public:
    void Add(const QString& targetPath, const QByteArray& content);
    void Commit();

    // Test seam: called with each target path (as added) right before its temporary file is
    // renamed over it. A hook that throws FileError makes that rename fail.
    using RenameHook = std::function<void(const QString& targetPath)>;
    static void SetRenameHookForTest(RenameHook hook);

    // Test seam: when set, writes `content` into the temporary file of `targetPath` in place of the
    // plain write and returns the number of bytes written (-1 for an error), so a test can make the
    // device fail at any byte.
    using WriteHook =
        std::function<qint64(const QString& targetPath, QIODevice& file, const QByteArray& content)>;
    static void SetWriteHookForTest(WriteHook hook);

private:
    struct Item {
        QString target;
        QByteArray content;
    };
    std::vector<Item> items_;
};

} // namespace quillbox
