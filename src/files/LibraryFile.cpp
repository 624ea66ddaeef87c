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

namespace {
const QString LibraryExtension = QStringLiteral(".pslib");
}

bool IsLibraryPath(const QString& path) {
    return path.endsWith(LibraryExtension, Qt::CaseSensitive);
}

QString WithoutLibraryExtension(const QString& name) {
    return IsLibraryPath(name) ? name.chopped(LibraryExtension.size()) : name;
}

QString ApplyLibraryExtension(const QString& path) {
    return IsLibraryPath(path) ? path : path + LibraryExtension;
}

QString SideFilePath(const QString& path) {
    return path + QStringLiteral(".txt");
}

} // namespace quillbox
