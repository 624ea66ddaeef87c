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

// `n` bytes at `p` reversed where they are, eight bytes from each end at a time.
void ReverseInPlace(char* p, qsizetype n) {
    qsizetype i = 0;
    qsizetype j = n;
    for (; j - i >= 16; i += 8, j -= 8) {
        quint64 front;
        quint64 back;
        std::memcpy(&front, p + i, 8);
        std::memcpy(&back, p + j - 8, 8);
        front = qbswap(front);
        back = qbswap(back);
        std::memcpy(p + i, &back, 8);
        std::memcpy(p + j - 8, &front, 8);
    }
    std::reverse(p + i, p + j);
}

} // namespace

QByteArray EncodeLibrary(const QByteArray& store) {
    QByteArray content(store.size() + 1, Qt::Uninitialized);
    content[0] = LibraryFileMarker;
    ReverseCopy(store.constData(), store.size(), content.data() + 1);
    return content;
}

QByteArray DecodeLibrary(QByteArray content) {
    // The store is the file's bytes after the marker, last byte first. Content held nowhere else is
    // reversed where it is, the marker then last and cut off: no second buffer.
    if (content.isEmpty())
        return {};
    if (!content.isDetached()) {
        QByteArray store(content.size() - 1, Qt::Uninitialized);
        ReverseCopy(content.constData() + 1, store.size(), store.data());
        return store;
    }
    ReverseInPlace(content.data(), content.size());
    content.chop(1);
    return content;
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
