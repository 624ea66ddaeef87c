#pragma once

#include "CommandBase.h"
#include "EarlierVersions.h"
#include "FileIdentity.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryView.h"
#include "Reconcile.h"
#include "StepRunner.h"

#include <optional>

namespace quillbox {

class FileCommands;

// "Reconcile With…": the library set against another library, a device patch file, an earlier
// version or an export record, and the user's choices applied as one step.
class ReconcileCommands : private CommandBase {
public:
    ReconcileCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, FileCommands& files,
                      ShellView& shell);

    void ReconcileWith();
    ReconcileSide LibrarySide() const;
    ReconcileSide ReadReconcileSide(const QString& path);
    ReconcileSide EarlierVersionSide(const QString& id) const;
    QList<EarlierVersion> LibExportRecords() const;
    ReconcileSide ExportRecordSide(const QString& id) const;
    bool ApplyReconcile(const QString& name, const ReconcileSide& left, const ReconcileSide& right,
                        const std::vector<ReconcileRow>& rows, const std::vector<RowChoice>& choices);

private:
    FileCommands& files_;
    ShellView& shell_;
    // The library's own pair as a reconciliation read it from disk: once the user has applied the
    // choices against it, a save replaces it without asking again.
    struct OwnPairRead {
        PairIdentity identity;
        ReconcileSide side;
    };
    std::optional<OwnPairRead> ownPairRead_;
};

} // namespace quillbox
