#pragma once

#include "LibraryView.h"

#include <QCursor>
#include <QGuiApplication>

#include <functional>
#include <optional>

class QWidget;

namespace quillbox {

class OpenSaveDLG;

// While a box asks or tells the user something the normal pointer is shown; the hourglass comes
// back afterwards if work was going on.
class NormalPointer {
public:
    NormalPointer() {
        while (QGuiApplication::overrideCursor()) {
            QGuiApplication::restoreOverrideCursor();
            ++levels_;
        }
    }
    ~NormalPointer() {
        for (int i = 0; i < levels_; ++i)
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    }
    NormalPointer(const NormalPointer&) = delete;
    NormalPointer& operator=(const NormalPointer&) = delete;

private:
    int levels_ = 0;
};

// The questions the library layer asks, as message boxes over `parent`: "Do you like to save now?",
// "Restore unsaved changes…" and a pair changed on disk, with the answers as the library layer
// takes them.
SaveAnswer AskSaveNowBox(QWidget* parent);
RecoveryAnswer AskRestoreUnsavedBox(QWidget* parent, const QString& text);
DiskChangeAnswer AskChangedOnDiskBox(QWidget* parent, const QString& text);

// Runs a command's `work`; a failure is told through `show` as "HANDLER: what failed", and never
// leaves the event handler that ran it.
void RunGuarded(const char* handler, const std::function<void()>& work,
                const std::function<void(const QString& message)>& show);

// The file dialog over `owner` as `request` asks for it, starting in `initDir`: the chosen path, or
// nullopt when the user cancelled. Every setting is made on every call: the dialog keeps what an
// earlier command set.
std::optional<QString> AskFileBox(OpenSaveDLG& dialog, QWidget* owner, const FileDialogRequest& request,
                                  const QString& initDir);

} // namespace quillbox
