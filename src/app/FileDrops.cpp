#include "FileDrops.h"

#include "FileAccess.h"

#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace quillbox {

namespace {

std::optional<DraggedNames> DraggedFiles(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return std::nullopt;
    std::optional<DraggedNames> names;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        if (!names)
            names.emplace();
        // The address carries the name's bytes percent-encoded; its decoded text has lost those that
        // are not text (and a sender that did not encode them has lost them already).
        const QByteArray bytes = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        const QString path = url.toLocalFile();
        const std::optional<QByteArray> notText = FileNameFromBytes(bytes) ? NameNotTextBehind(path) : bytes;
        if (notText)
            names->notText.append(*notText);
        else if (!QFileInfo(path).isDir())
            names->files.append(path);
    }
    return names;
}

} // namespace

bool TakeFileDrag(QEvent* event, QObject* context, const std::function<void(const DraggedNames&)>& dropped) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const std::optional<DraggedNames> names = DraggedFiles(drop->mimeData());
    if (!names)
        return false; // text or a web address: a text box may take it
    // Folders alone are refused here too, so that no text box takes their names as text.
    if (names->files.isEmpty() && names->notText.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    if (type == QEvent::Drop)
        QTimer::singleShot(0, context, [dropped, names = *names] { dropped(names); });
    return true;
}

} // namespace quillbox
