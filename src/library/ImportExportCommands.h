#pragma once

#include "CommandBase.h"
#include "LibraryDocument.h"
#include "LibraryView.h"
#include "SetList.h"

namespace quillbox {

class FileCommands;

// The File menu's imports and exports: "Import Library", "Import PS02", "Export Library -> PS02",
// "Export Selected -> PS02…" and the set list. Every failure is shown as a plain message.
class ImportExportCommands : private CommandBase {
public:
    ImportExportCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, FileCommands& files,
                         PanesView& panes, ShellView& shell, QString appTitle);

    void ImportLibrary();
    void ImportPatches();
    void ImportPatchesFromPath(const QString& path);
    void ExportLibrary();
    void ExportSelected();
    std::vector<SetListRow> SetList() const;
    QString SetListTitle() const;
    void ExportSetList();

private:
    // "…: 12 identical to library patches, 3 same name with other settings, 25 new."
    QString ImportAccounting() const;
    void ShowImportedPatches(QByteArray patches, const QString& path);
    void ImportPatchesBody(const QString& path);
    // Writes `images` to a device patch file the user picks and `descriptions` (element 0 unused)
    // to its side file.
    void ExportImages(const QByteArray& images, const QStringList& descriptions, qsizetype count);

    FileCommands& files_;
    PanesView& panes_;
    ShellView& shell_;
    const QString appTitle_;
};

} // namespace quillbox
