#include "LibraryFile.h"

#include <QFileInfo>
#include <QtEndian>
#include <algorithm>
#include <cstring>

namespace quillbox {

namespace {

// `n` bytes of `in` into `out`, last byte first; eight bytes at a time, as a library file is the
// store reversed.
void ReverseCopy(const char* in, qsizetype n, char* out) {
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 block;
        std::memcpy(&block, in + n - i - 8, 8);
        block = qbswap(block);
        std::memcpy(out + i, &block, 8);
    }
    for (; i < n; ++i)
        out[i] = in[n - 1 - i];
}

} // namespace

QByteArray EncodeLibrary(const QByteArray& store) {
    QByteArray content(store.size() + 1, Qt::Uninitialized);
    content[0] = LibraryFileMarker;
    ReverseCopy(store.constData(), store.size(), content.data() + 1);
    return content;
}

QByteArray DecodeLibrary(const QByteArray& content) {
    // The store is the file's bytes after the marker, last byte first: one copy.
    const qsizetype n = std::max<qsizetype>(content.size() - 1, 0);
    QByteArray store(n, Qt::Uninitialized);
    ReverseCopy(content.constData() + 1, n, store.data());
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
const QString ShowExtension = QStringLiteral(".psshow");

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

bool IsShowPath(const QString& path) {
    return path.endsWith(ShowExtension, Qt::CaseSensitive);
}

QString ApplyShowExtension(const QString& path) {
    return IsShowPath(path) ? path : path + ShowExtension;
}

QString ShowFilter() {
    return QStringLiteral("Shows (*.psshow)") + Nul() + QStringLiteral("*.psshow") + Nul();
}

QString DefaultShowFileName() {
    return QStringLiteral("Show") + ShowExtension;
}

QString PatchOrAnyFileFilter() {
    return PatchFileFilter() + QStringLiteral("All (*.*)") + Nul() + QStringLiteral("*.*") + Nul();
}

QString LibraryPatchOrAnyFileFilter() {
    return LibraryFileFilter() + PatchOrAnyFileFilter();
}

QString SetListFilter() {
    return QStringLiteral("Set list as CSV (*.csv)") + Nul() + QStringLiteral("*.csv") + Nul() +
           QStringLiteral("Set list as PDF (*.pdf)") + Nul() + QStringLiteral("*.pdf") + Nul() +
           QStringLiteral("Set list in large print for the stage (*.pdf)") + Nul() + QStringLiteral("*.pdf") +
           Nul();
}

QString SetListFileName(const QString& libFileName) {
    return QFileInfo(libFileName).completeBaseName() + QStringLiteral(".csv");
}

SetListFile SetListFileFor(const QString& chosenPath, int chosenFilter) {
    const QString suffix = QFileInfo(chosenPath).suffix().toLower();
    const bool csv = suffix == QLatin1String("csv");
    const bool pdf = suffix == QLatin1String("pdf") || (!csv && (chosenFilter == 1 || chosenFilter == 2));
    SetListFile file{chosenPath, !pdf                  ? SetListFormat::Csv
                                 : chosenFilter == 2 ? SetListFormat::LargePrintPdf
                                                     : SetListFormat::Pdf};
    if (!csv && suffix != QLatin1String("pdf"))
        file.path += pdf ? QStringLiteral(".pdf") : QStringLiteral(".csv");
    return file;
}

} // namespace quillbox
