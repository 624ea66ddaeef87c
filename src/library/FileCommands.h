#pragma once

#include "CommandBase.h"
#include "EarlierVersions.h"
#include "LibraryDocument.h"
#include "LibraryLists.h"
#include "LibraryPairFile.h"
#include "LibraryView.h"
#include "StepRunner.h"

#include <QDateTime>
#include <functional>
#include <optional>

namespace quillbox {

class RecoveryCommands;

// The File menu's library commands: load, save, save as, earlier versions and the closing question;
// and what every file command shares (the busy pointer, the file dialog, writing a pair). Every
// failure is shown as a plain message.
class FileCommands : private CommandBase {
public:
    FileCommands(LibraryDocument& doc, LibraryLists& lists, StepRunner& steps, RecoveryCommands& recovery,
                 PanesView& panes, ShellView& shell, QString appTitle);

    // Test seams: the clock of earlier versions and where they are kept.
    void SetClock(std::function<QDateTime()> clock) { clock_ = std::move(clock); }
    void SetVersionsFolder(const QString& folder) { versionsFolder_ = folder; }

    void Startup();
    void LoadLib();
    bool SaveLib();
    void SaveAsLib();
    void LoadLibFromPath(const QString& path);
    QList<EarlierVersion> LibEarlierVersions() const;
    void LoadEarlierVersion(const QString& id);
    bool QueryClose();

    // The window's caption while `path` is the library being edited.
    QString Caption(const QString& path) const;
    // File commands: busy pointer around `body`; every failure is shown as a plain message.
    bool RunFileCommand(const std::function<void()>& body);
    QString AskPathOrCancel(const FileDialogRequest& request);
    // The name of a file to read, asked in an Open dialog titled `title` after the product name.
    QString AskPathToRead(const QString& title, const QString& filter, FileKind kind);
    // The name of a library to write, asked in a Save dialog titled `title` after the product name
    // and offering `fileName`, with the library extension applied.
    QString AskLibraryPathToSave(const QString& title, const QString& fileName);
    bool ConfirmReplace(const QString& path);
    // The closing question, asked when unsaved changes would be lost: true when the caller may go on.
    bool OfferToSave();
    void LoadLibBody(const QString& path);
    // Saves the pair; returns why the pair it replaced could not be kept (empty when it was).
    QString SavePair(const QString& libPath, const QByteArray& libBytes,
                     const std::optional<QByteArray>& sideBytes);
    EarlierVersions Versions() const;
    // Finishes or undoes a save of `path` and its side file that was interrupted, and tells the user.
    void RecoverInterruptedSave(const QString& path, bool saving = false);
    // The library at `libPath`, with its descriptions or only its entries; a file that holds no
    // library is refused with "Not a valid Library" and gives nothing.
    std::optional<PairContent> ReadLibrary(const QString& libPath, bool withDescriptions);

private:
    // Writes the library and its side file to `libPath`, then keeps the pair it replaced as an
    // earlier version; returns why that version could not be kept (empty when it was, or when there
    // was nothing to keep). The save goes on either way.
    QString WriteLibraryFiles(const QString& libPath);

    RecoveryCommands& recovery_;
    PanesView& panes_;
    ShellView& shell_;
    const QString appTitle_;
    std::function<QDateTime()> clock_;
    QString versionsFolder_; // empty: EarlierVersions::DefaultFolder()
};

} // namespace quillbox
