#pragma once

// Helpers for the window tests: patch images with chosen names and fields, library, patch and side
// files written by hand, and a fixture that builds the real main window with its test seams.

#include "DescriptionBox.h"
#include "DialogSeam.h"
#include "FieldMap.h"
#include "LibraryFile.h"
#include "MainWindow.h"
#include "MessageBoxes.h"
#include "OpenSaveDLG.h"
#include "PatchImage.h"
#include "PatchListView.h"
#include "PatchName.h"
#include "TextEncoding.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <memory>

namespace quillbox::test {

struct Fields {
    int driveType = 0;
    int cabType = 0;
    int cabSpeaker = 0;
    bool driveOn = false;
    bool cabOn = false;
};

// An 18-byte image whose name decodes to `name` (device alphabet, padded with blanks), with the
// given bound fields; the bytes no field uses are derived from `seed`.
inline QByteArray MakeImage(const QString& name, Fields fields = {}, int seed = 1) {
    QByteArray bytes(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        bytes[i] = char((seed * 41 + i * 13 + 7) & 0xFF);
    const QString padded = name.leftJustified(6, QLatin1Char(' '), true);
    for (int c = 0; c < 6; ++c) {
        const int code = int(DeviceAlphabet.indexOf(padded.at(c)));
        Q_ASSERT(code >= 0);
        for (int k = 0; k < 6; ++k) {
            const int bit = 5 + 6 * c + k; // bits 5..40 of bytes 12..17
            const int byte = 11 + bit / 8;
            const char mask = char(1 << (bit % 8));
            bytes[byte] = (code & (1 << k)) ? char(bytes[byte] | mask) : char(bytes[byte] & ~mask);
        }
    }
    PatchImage image(bytes);
    WriteBoundField(image, BoundField::DriveType, fields.driveType);
    WriteBoundField(image, BoundField::CabType, fields.cabType);
    WriteBoundField(image, BoundField::CabSpeaker, fields.cabSpeaker);
    WriteBoundField(image, BoundField::DriveModule, fields.driveOn ? 1 : 0);
    WriteBoundField(image, BoundField::CabModule, fields.cabOn ? 1 : 0);
    return image.Bytes();
}

inline QByteArray Store(const QStringList& names) {
    QByteArray store;
    for (qsizetype i = 0; i < names.size(); ++i)
        store +=
            MakeImage(names.at(i), {int(i % 24), int(i % 6), int(i % 7), i % 2 == 0, i % 3 == 0}, int(i) + 1);
    return store;
}

inline QByteArray Entry(const QByteArray& store, qsizetype index) {
    return store.mid(index * PatchImageSize, PatchImageSize);
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

// The library file of a store: marker byte 1, then the store's bytes from the last to the first.
inline QByteArray LibraryBytes(const QByteArray& store) {
    QByteArray body = store;
    std::reverse(body.begin(), body.end());
    return QByteArray(1, '\x01') + body;
}

// A side file as the original platform writes it: CRLF lines, "&*&" for line breaks.
inline QByteArray SideFileBytes(const QStringList& descriptions) {
    QByteArray bytes("[Description]\r\n");
    for (qsizetype i = 0; i < descriptions.size(); ++i) {
        QString value = descriptions.at(i);
        value.replace(QStringLiteral("\r\n"), QStringLiteral("&*&"));
        bytes += QByteArray::number(i + 1) + '=' + EncodeText(value, TextEncoding::Cp1252) + "\r\n";
    }
    return bytes;
}

inline void WriteLibrary(const QString& path, const QByteArray& store, const QStringList& descriptions = {}) {
    WriteBytes(path, LibraryBytes(store));
    if (!descriptions.isEmpty())
        WriteBytes(path + QStringLiteral(".txt"), SideFileBytes(descriptions));
}

inline QString Line(const QAbstractItemView* view, int row) {
    return view->model()->index(row, 0).data().toString();
}

inline int SelectedRow(const QAbstractItemView* view) {
    const QModelIndexList selected = view->selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

inline void ClickRow(QAbstractItemView* view, int row, Qt::MouseButton button = Qt::LeftButton) {
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QVERIFY2(rect.isValid(), "row not shown");
    QTest::mouseClick(view->viewport(), button, {}, rect.center());
}

inline void DoubleClickRow(QAbstractItemView* view, int row) {
    const QRect rect = view->visualRect(view->model()->index(row, 0));
    QVERIFY2(rect.isValid(), "row not shown");
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, rect.center());
}

// Texts of the message boxes shown since the last call.
inline QStringList TakeMessages() {
    QStringList texts;
    for (const MessageBoxes::Shown& shown : MessageBoxes::takeShown())
        texts.append(shown.text);
    return texts;
}

// Builds the real main window with every seam set: dialogs answer from queues, the load step does
// not pause, the help files are looked for in a temporary folder and the help viewer is recorded.
class WindowFixture {
public:
    std::unique_ptr<QTemporaryDir> tmp; // a fresh folder for every test
    std::unique_ptr<MainWindow> window;
    QList<QUrl> openedUrls;
    bool viewerOpens = true;

    void Start(MainWindowOptions options = {}) {
        tmp = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp->isValid());
        openedUrls.clear();
        viewerOpens = true;
        EnableDialogTestMode(true);
        MessageBoxes::resetSeam();
        OpenSaveDLG::resetSeam();
        QTest::failOnWarning(
            QRegularExpression(QStringLiteral("^") + QLatin1String(UnansweredDialogWarning)));
        if (!options.pause)
            options.pause = [](int) {
            };
        // The program's directory: the temporary folder, or a folder given relative to it.
        options.programDirectory = QDir(tmp->path()).filePath(options.programDirectory);
        QVERIFY(QDir().mkpath(options.programDirectory));
        options.openUrl = [this](const QUrl& url) {
            openedUrls.append(url);
            return viewerOpens;
        };
        window = std::make_unique<MainWindow>(options);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        // Shortcuts reach the active window only.
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    // Every message shown must have been taken, and every queued answer used.
    void Finish() {
        const QStringList left = TakeMessages();
        QVERIFY2(left.isEmpty(),
                 qPrintable(QStringLiteral("unexpected messages: ") + left.join(QStringLiteral(" | "))));
        QCOMPARE(MessageBoxes::pendingAnswers(), 0);
        QCOMPARE(OpenSaveDLG::pendingPaths(), 0);
        window.reset();
    }

    QString Dir() const { return tmp->path(); }
    QString Path(const QString& name) const { return tmp->filePath(name); }

    template <typename T = QWidget> T* Find(const QString& name) const { return window->findChild<T*>(name); }
    PatchListView* Lib() const { return Find<PatchListView>(QStringLiteral("lstLib")); }
    PatchListView* Patches() const { return Find<PatchListView>(QStringLiteral("lstPatches")); }

    void Trigger(const char* actionName) const {
        QAction* action = window->findChild<QAction*>(QString::fromLatin1(actionName));
        QVERIFY2(action, actionName);
        QVERIFY2(action->isEnabled(), actionName);
        action->trigger();
    }

    // Runs a file command whose dialog answers `path`.
    void Choose(const char* actionName, const QString& path) const {
        OpenSaveDLG::setNextPath(path);
        Trigger(actionName);
    }

    const LibraryState& State() const { return window->Controller().State(); }
};

} // namespace quillbox::test
