#include "LibraryFile.h"

#include <algorithm>

namespace quillbox {

QByteArray EncodeLibrary(const QByteArray& store) {
    QByteArray content;
    content.reserve(store.size() + 1);
    content.append(LibraryFileMarker);
    content.append(store);
    std::reverse(content.begin() + 1, content.end());
    return content;
}

QByteArray DecodeLibrary(const QByteArray& content) {
    QByteArray store = content.mid(1);
    std::reverse(store.begin(), store.end());
    return store;
}

bool IsValidLibrary(const QByteArray& content) {
    return !content.isEmpty() && content.front() == LibraryFileMarker;
}

QString ApplyLibraryExtension(const QString& path) {
    const QString extension = QStringLiteral(".pslib");
    if (path.endsWith(extension, Qt::CaseSensitive))
        return path;
    return path + extension;
}

QString SideFilePath(const QString& path) {
    return path + QStringLiteral(".txt");
}

} // namespace quillbox
