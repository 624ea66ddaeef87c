#pragma once

// Files written and read by hand in tests (not through the code under test).

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>
#include <algorithm>

namespace quillbox::test {

// A library file as the program writes it: marker byte 1, then the store from its last byte to its first.
inline QByteArray LibraryFileBytes(QByteArray store) {
    std::reverse(store.begin(), store.end());
    return '\x01' + store;
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(), qPrintable(path));
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace quillbox::test
