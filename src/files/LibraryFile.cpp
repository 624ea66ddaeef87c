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

QString InvalidLibraryReason(const QByteArray& content) {
    if (content.isEmpty())
        return QStringLiteral("the file is empty");
    return QStringLiteral("its first byte is %1, not the marker byte %2")
        .arg(static_cast<quint8>(content.front()))
        .arg(static_cast<int>(LibraryFileMarker));
}

namespace {

const QString LibraryExtension = QStringLiteral(".pslib");
const QString PatchFileExtension = QStringLiteral(".pch");

QString Nul() {
    return QString(QChar(0));
}

} // namespace

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

bool HasPatchFileExtension(const QString& name) {
    return name.endsWith(PatchFileExtension, Qt::CaseInsensitive);
}

QString ApplyPatchFileExtension(const QString& path) {
    return path.endsWith(PatchFileExtension, Qt::CaseSensitive) ? path : path + PatchFileExtension;
}

QString DefaultLibraryFileName() {
    return QStringLiteral("Library") + LibraryExtension;
}

QString PatchExportFileName(const QString& libFileName) {
    const QString base = WithoutLibraryExtension(libFileName);
    return (base.isEmpty() ? QStringLiteral("Library") : base) + PatchFileExtension;
}

QString RecoveredLibraryFileName(const QString& libFileName) {
    return WithoutLibraryExtension(libFileName) + QStringLiteral(" (recovered)") + LibraryExtension;
}

QString LibraryFileFilter() {
    return QStringLiteral("PS02 Library(*.pslib)") + Nul() + QStringLiteral("*.pslib") + Nul();
}

QString PatchFileFilter() {
    return QStringLiteral("PS02 Patches(*.pch)") + Nul() + QStringLiteral("*.pch") + Nul();
}

QString PatchOrAnyFileFilter() {
    return PatchFileFilter() + QStringLiteral("All (*.*)") + Nul() + QStringLiteral("*.*") + Nul();
}

QString LibraryPatchOrAnyFileFilter() {
    return LibraryFileFilter() + PatchOrAnyFileFilter();
}

} // namespace quillbox
