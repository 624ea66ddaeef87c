#pragma once

// Shared helpers for the library tests: images with chosen names, library and side files written
// by hand (not through the code under test), and a controller wired to a FakeView.

#include "FakeView.h"
#include "LibraryController.h"
#include "PatchImage.h"
#include "PatchName.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

namespace quillbox::test {

inline const QString AppTitle = QStringLiteral("Quillbox");

// An 18-byte image whose name decodes to `name` (characters of the device alphabet, padded with
// blanks) and whose other bytes are derived from `seed`.
inline QByteArray MakeImage(const QString& name, int seed) {
    QByteArray image(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        image[i] = char((seed * 37 + i * 11 + 3) & 0xFF);
    const QString padded = name.leftJustified(6, QLatin1Char(' '), true);
    for (int c = 0; c < 6; ++c) {
        const int code = int(DeviceAlphabet.indexOf(padded.at(c)));
        Q_ASSERT(code >= 0);
        for (int k = 0; k < 6; ++k) {
            const int bit = 5 + 6 * c + k; // bits 5..40 of bytes 12..17
            const int byte = 11 + bit / 8;
            const char mask = char(1 << (bit % 8));
            if (code & (1 << k))
                image[byte] = char(image[byte] | mask);
            else
                image[byte] = char(image[byte] & ~mask);
        }
    }
    return image;
}

// A store of `count` images named "P" + number, with seeds starting at `seedBase`.
inline QByteArray MakeStore(qsizetype count, int seedBase = 0) {
    QByteArray store;
    store.reserve(count * PatchImageSize);
    for (qsizetype i = 0; i < count; ++i)
        store.append(MakeImage(QStringLiteral("P%1").arg(i % 100000), seedBase + int(i)));
    return store;
}

inline QByteArray Entry(const QByteArray& store, qsizetype index) {
    return store.mid(index * PatchImageSize, PatchImageSize);
}

inline QByteArray LibraryFileBytes(const QByteArray& store) {
    QByteArray bytes(1, '\x01');
    QByteArray body = store;
    std::reverse(body.begin(), body.end());
    return bytes + body;
}

inline void WriteBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(bytes), bytes.size());
}

inline QByteArray ReadBytes(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// A side file as the original platform writes it: CRLF lines, "&*&" for line breaks.
inline QByteArray SideFileBytes(const QStringList& descriptions) {
    QByteArray bytes("[Description]\r\n");
    for (qsizetype i = 0; i < descriptions.size(); ++i) {
        QString value = descriptions.at(i);
        value.replace(QStringLiteral("\r\n"), QStringLiteral("&*&"));
        bytes += QByteArray::number(i + 1) + '=' + value.toLatin1() + "\r\n";
    }
    return bytes;
}

// A controller with its fake view and a temporary folder for files.
struct Fixture {
    QTemporaryDir dir;
    FakeView view;
    std::unique_ptr<LibraryController> controller;

    Fixture() : controller(std::make_unique<LibraryController>(view, AppTitle)) {
        view.controller = controller.get();
        controller->Startup();
    }

    ~Fixture() {
        // Every answer a test queued was asked for.
        if (!view.AnswersUsedUp() && !QTest::currentTestFailed())
            QTest::qFail("an answer was queued but never asked for", __FILE__, __LINE__);
    }
    Fixture(const Fixture&) = delete;
    Fixture& operator=(const Fixture&) = delete;

    QString Path(const QString& name) const { return dir.filePath(name); }
    LibraryController& Ctl() { return *controller; }
    const LibraryState& S() const { return controller->State(); }

    // Writes `store` (and descriptions, one per entry) as a library and loads it.
    void LoadLibrary(const QString& name, const QByteArray& store, const QStringList& descriptions = {}) {
        WriteBytes(Path(name), LibraryFileBytes(store));
        if (!descriptions.isEmpty())
            WriteBytes(Path(name) + QStringLiteral(".txt"), SideFileBytes(descriptions));
        view.paths.push_back(Path(name));
        controller->LoadLib();
    }

    // Writes `store` as a device patch file (and descriptions to its side file) and imports it.
    void ImportPatches(const QString& name, const QByteArray& store, const QStringList& descriptions = {}) {
        WriteBytes(Path(name), store);
        if (!descriptions.isEmpty())
            WriteBytes(Path(name) + QStringLiteral(".txt"), SideFileBytes(descriptions));
        view.paths.push_back(Path(name));
        controller->ImportPatches();
    }

    QStringList Descriptions() const { return S().DescArray; }
};

// Descriptions "d1", "d2", ... for `count` entries, with element 0 in front as DescArray holds them.
inline QStringList NumberedDescriptions(qsizetype count, const QString& prefix = QStringLiteral("d")) {
    QStringList list;
    for (qsizetype i = 1; i <= count; ++i)
        list.append(prefix + QString::number(i));
    return list;
}

inline QStringList WithElementZero(const QStringList& descriptions) {
    return QStringList{QString()} + descriptions;
}

} // namespace quillbox::test
