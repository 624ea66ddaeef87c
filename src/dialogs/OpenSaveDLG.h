#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QFileDialog;
class QWidget;

namespace quillbox {

// The file dialog object of the file commands: set the properties, call Show, read ReturnPath.
//
// The dialog always picks exactly one name, and a name that does not exist is accepted (that is how
// a new library is made). It never asks before replacing a file: the commands that write ask
// themselves. It is the Open dialog unless Filename is set, which turns it into the Save dialog.
class OpenSaveDLG {
public:
    OpenSaveDLG() = default;
    ~OpenSaveDLG();
    OpenSaveDLG(const OpenSaveDLG&) = delete;
    OpenSaveDLG& operator=(const OpenSaveDLG&) = delete;

    // The text properties are stored without leading and trailing blanks.
    QWidget* Owner() const { return owner_; }
    void SetOwner(QWidget* owner) { owner_ = owner; }
    // Pairs of description and pattern, each followed by a NUL character.
    QString Filter() const { return filter_; }
    void SetFilter(const QString& filter);
    QString DialogTitle() const { return dialogTitle_; }
    void SetDialogTitle(const QString& title);
    QString InitDir() const { return initDir_; }
    void SetInitDir(const QString& dir);
    // There are no short (8.3) names here: with ShortFileName set the path comes back as it is.
    QString ReturnPath() const { return returnPath_; }
    void SetReturnPath(const QString& path);
    bool ShortFileName() const { return shortFileName_; }
    void SetShortFileName(bool shortName) { shortFileName_ = shortName; }
    QString Filename() const { return filename_; }
    void SetFilename(const QString& filename);
    // Kept for the commands that set it; there is no read-only check box to tick here.
    void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
    // There is one style of dialog here; the value is kept.
    bool OldStyle() const { return oldStyle_; }
    void SetOldStyle(bool oldStyle) { oldStyle_ = oldStyle; }
    // A cancel throws FileError with number CancelErrorNumber instead of returning false.
    bool CancelError() const { return cancelError_; }
    void SetCancelError(bool cancelError) { cancelError_ = cancelError; }

    // The filter (0-based, in Filter's order) shown when the name was chosen; -1 before.
    int FilterIndex() const { return filterIndex_; }

    // Runs the dialog; true when a name was chosen (then in ReturnPath). A cancel empties ReturnPath.
    // A chosen name that is not valid text (see NameNotTextBehind) throws FileError with the reason.
    bool Show();

    // Description of the failure a cancel throws.
    static QString CancelDescription();
    // The text up to its first NUL character (all of it when it has none).
    static QString Trim0(const QString& text);
    // The Qt name filters for a NUL-separated filter list: "PS02 Library(*.pslib)", NUL, "*.pslib",
    // NUL gives "PS02 Library(*.pslib)".
    static QStringList NameFilters(const QString& filter);

    // The dialog Show runs, set up from the current properties (also used by tests).
    std::unique_ptr<QFileDialog> CreateDialog() const;

    // Test seam (see DialogSeam.h).
    struct Shown {
        QString title;
        QString filter;
        QString initDir;
        QString filename;
        bool readOnly = false;
        bool saveDialog = false;
    };
    static void setNextPath(const QString& path); // the user picks this path
    static void setNextCancel();                  // the user cancels
    static void setNextFilter(int index);         // with the next path, the user chose this filter
    static qsizetype pendingPaths();
    static QList<Shown> takeShown();
    static void resetSeam();

private:
    std::optional<QString> RunDialog();

    QPointer<QWidget> owner_;
    QString filter_;
    QString dialogTitle_;
    QString initDir_;
    QString returnPath_;
    bool shortFileName_ = false;
    QString filename_;
    bool readOnly_ = false;
    bool oldStyle_ = false;
    bool cancelError_ = false;
    int filterIndex_ = -1;
};

} // namespace quillbox
