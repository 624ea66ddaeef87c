#include "OpenSaveDLG.h"

#include "DialogSeam.h"
#include "FileAccess.h"
#include "FileError.h"

#include <QFileDialog>
#include <deque>

namespace quillbox {

namespace {

// Only blanks are removed, as the commands expect; other white space belongs to the text.
QString TrimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

std::deque<std::optional<QString>>& QueuedPaths() {
    static std::deque<std::optional<QString>> paths;
    return paths;
}

std::deque<int>& QueuedFilters() {
    static std::deque<int> filters;
    return filters;
}

QList<OpenSaveDLG::Shown>& ShownDialogs() {
    static QList<OpenSaveDLG::Shown> shown;
    return shown;
}

} // namespace

OpenSaveDLG::~OpenSaveDLG() = default;

void OpenSaveDLG::SetFilter(const QString& filter) {
    filter_ = TrimBlanks(filter);
}

void OpenSaveDLG::SetDialogTitle(const QString& title) {
    dialogTitle_ = TrimBlanks(title);
}

void OpenSaveDLG::SetInitDir(const QString& dir) {
    initDir_ = TrimBlanks(dir);
}

void OpenSaveDLG::SetReturnPath(const QString& path) {
    returnPath_ = TrimBlanks(path);
}

void OpenSaveDLG::SetFilename(const QString& filename) {
    filename_ = TrimBlanks(filename);
}

QString OpenSaveDLG::CancelDescription() {
    return QStringLiteral("Cancelled: no file was chosen.");
}

QString OpenSaveDLG::Trim0(const QString& text) {
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QStringList OpenSaveDLG::NameFilters(const QString& filter) {
    QStringList parts = filter.split(QChar(0));
    // The list ends with a NUL, which leaves one empty part behind it.
    if (!parts.isEmpty() && parts.constLast().isEmpty())
        parts.removeLast();
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts.at(i);
        // Several patterns are separated by ";" in the list and by blanks in a Qt filter.
        const QString patterns =
            parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts).join(QLatin1Char(' '));
        if (description.endsWith(QLatin1Char('(') + patterns + QLatin1Char(')')))
            result.append(description);
        else
            result.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
    return result;
}

std::unique_ptr<QFileDialog> OpenSaveDLG::CreateDialog() const {
    auto dialog = std::make_unique<QFileDialog>(owner_.data());
    dialog->setWindowTitle(dialogTitle_.isEmpty() ? QFileDialog::tr("Open") : dialogTitle_);
    // Qt's own dialog on every desktop: the platform dialogs do not all let an Open dialog accept a
    // name that does not exist yet.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    // The commands that write ask before replacing a file themselves.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
    // One name, existing or not; never a multiple selection.
    dialog->setFileMode(QFileDialog::AnyFile);
    const bool save = !filename_.isEmpty();
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!initDir_.isEmpty())
        dialog->setDirectory(initDir_);
    const QStringList filters = NameFilters(filter_);
    if (!filters.isEmpty()) {
        dialog->setNameFilters(filters);
        dialog->selectNameFilter(filters.first());
    }
    if (save)
        dialog->selectFile(filename_);
    return dialog;
}

std::optional<QString> OpenSaveDLG::RunDialog() {
    if (DialogTestMode()) {
        ShownDialogs().append(
            Shown{dialogTitle_, filter_, initDir_, filename_, readOnly_, !filename_.isEmpty()});
        auto& queue = QueuedPaths();
        if (queue.empty()) {
            ReportUnansweredDialog(QStringLiteral("file dialog \"%1\"").arg(dialogTitle_));
            return std::nullopt;
        }
        std::optional<QString> answer = queue.front();
        queue.pop_front();
        // The dialog opens on the first filter.
        filterIndex_ = 0;
        if (!QueuedFilters().empty()) {
            filterIndex_ = QueuedFilters().front();
            QueuedFilters().pop_front();
        }
        return answer;
    }
    const std::unique_ptr<QFileDialog> dialog = CreateDialog();
    if (dialog->exec() != QDialog::Accepted)
        return std::nullopt;
    filterIndex_ = int(NameFilters(filter_).indexOf(dialog->selectedNameFilter()));
    const QStringList files = dialog->selectedFiles();
    if (files.isEmpty())
        return std::nullopt;
    return files.first();
}

bool OpenSaveDLG::Show() {
    const std::optional<QString> chosen = RunDialog();
    // The dialog shows a name that is not text with U+FFFD in place of its bad bytes, which names
    // another file: it is refused as on the command line.
    if (const std::optional<QByteArray> notText = chosen ? NameNotTextBehind(*chosen) : std::nullopt) {
        returnPath_.clear();
        throw FileError{FileErrorNumber, QStringLiteral("OpenSaveDLG"), FileNameNotTextMessage(*notText)};
    }
    if (chosen && !chosen->isEmpty()) {
        SetReturnPath(*chosen);
        return true;
    }
    returnPath_.clear();
    if (cancelError_)
        throw FileError{CancelErrorNumber, QStringLiteral("OpenSaveDLG"), CancelDescription()};
    return false;
}

void OpenSaveDLG::setNextPath(const QString& path) {
    QueuedPaths().push_back(path);
}

void OpenSaveDLG::setNextFilter(int index) {
    QueuedFilters().push_back(index);
}

void OpenSaveDLG::setNextCancel() {
    QueuedPaths().push_back(std::nullopt);
}

qsizetype OpenSaveDLG::pendingPaths() {
    return static_cast<qsizetype>(QueuedPaths().size());
}

QList<OpenSaveDLG::Shown> OpenSaveDLG::takeShown() {
    return std::exchange(ShownDialogs(), {});
}

void OpenSaveDLG::resetSeam() {
    QueuedPaths().clear();
    QueuedFilters().clear();
    ShownDialogs().clear();
}

} // namespace quillbox
