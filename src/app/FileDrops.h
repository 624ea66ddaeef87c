#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <functional>

class QEvent;
class QObject;

namespace quillbox {

// The local files a drag carries, folders left out, in the order given, and apart from them the
// names that are not valid text, which decoded would name another file; nothing when it carries no
// local file or folder.
struct DraggedNames {
    QStringList files;
    QList<QByteArray> notText; // the names' real bytes
};

// Takes drags of local files wherever they land on a window; true when it handled `event` (a drag
// carrying text or a web address is left to the text boxes). A drop's names go to `dropped` once
// the drop has ended, queued on `context`.
bool TakeFileDrag(QEvent* event, QObject* context, const std::function<void(const DraggedNames&)>& dropped);

} // namespace quillbox
