#pragma once

// Test data for the benchmarks: libraries of any size with names and descriptions, written to files
// the way the original platform writes them, and a view that shows nothing.

#include "LibraryView.h"
#include "NullView.h"
#include "PatchImage.h"
#include "PatchName.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <algorithm>
#include <fcntl.h>
#include <functional>
#include <unistd.h>

namespace quillbox::bench {

// An 18-byte image named after `number` (device alphabet), its other bytes derived from `seed`.
inline QByteArray MakeImage(qsizetype number, int seed) {
    QByteArray image(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        image[i] = char((seed * 37 + i * 11 + 3) & 0xFF);
    const QString name =
        QString(QStringLiteral("P") + QString::number(number)).leftJustified(6, QLatin1Char(' '), true);
    for (int c = 0; c < 6; ++c) {
        const int code = int(DeviceAlphabet.indexOf(name.at(c)));
        for (int k = 0; k < 6; ++k) {
            const int bit = 5 + 6 * c + k; // bits 5..40 of bytes 12..17
            const int byte = 11 + bit / 8;
            const char mask = char(1 << (bit % 8));
            image[byte] = (code & (1 << k)) ? char(image[byte] | mask) : char(image[byte] & ~mask);
        }
    }
    return image;
}

// `count` images; entry i is named after i, its other bytes come from seedBase + i.
inline QByteArray MakeStore(qsizetype count, int seedBase = 0) {
    QByteArray store;
    store.reserve(count * PatchImageSize);
    for (qsizetype i = 0; i < count; ++i)
        store.append(MakeImage(i % 100000, seedBase + int(i)));
    return store;
}

// DescArray for `count` entries: element 0 empty, then descriptions of 20 to 60 characters, some with
// line breaks and letters beyond ASCII, some empty.
inline QStringList MakeDescriptions(qsizetype count) {
    QStringList list{QString()};
    list.reserve(count + 1);
    for (qsizetype i = 1; i <= count; ++i) {
        if (i % 10 == 0)
            list.append(QString());
        else if (i % 3 == 0)
            list.append(QStringLiteral(u"Lead %1 with delay\r\nand a touch of chorus, café").arg(i));
        else
            list.append(QStringLiteral("Crunch %1 for the verse").arg(i));
    }
    return list;
}

inline QByteArray LibraryFileBytes(const QByteArray& store) {
    QByteArray bytes = store;
    std::reverse(bytes.begin(), bytes.end());
    return QByteArray(1, '\x01') + bytes;
}

// A side file as the original platform writes it: Windows-1252, CRLF lines, "&*&" for line breaks.
inline QByteArray SideFileBytes(const QStringList& descArray) {
    QByteArray bytes("[Description]\r\n");
    for (qsizetype i = 1; i < descArray.size(); ++i) {
        QString value = descArray.at(i);
        value.replace(QStringLiteral("\r\n"), QStringLiteral("&*&"));
        bytes += QByteArray::number(i) + '=' + value.toLatin1() + "\r\n";
    }
    return bytes;
}

inline bool WriteFile(const QString& path, const QByteArray& bytes, bool sync = false) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush())
        return false;
    return !sync || ::fsync(file.handle()) == 0;
}

// Drops the file's pages from the page cache, so that the next read comes from the disk.
inline void DropFromCache(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    ::fdatasync(file.handle());
    ::posix_fadvise(file.handle(), 0, 0, POSIX_FADV_DONTNEED);
}

inline QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy that shares nothing with `list`, so that a command that changes it pays no copy-on-write
// that it would not pay in the program.
inline QStringList Unshared(const QStringList& list) {
    QStringList copy;
    copy.reserve(list.size());
    for (const QString& s : list)
        copy.append(s);
    return copy;
}

inline QByteArray Unshared(const QByteArray& bytes) {
    return QByteArray(bytes.constData(), bytes.size());
}

} // namespace quillbox::bench
