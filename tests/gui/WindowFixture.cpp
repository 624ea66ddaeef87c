#include "WindowFixture.h"

#include "DialogSeam.h"
#include "FieldMap.h"
#include "LibraryFile.h"
#include "PatchImage.h"
#include "PatchName.h"
#include "PrintDialog.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>

namespace quillbox::test {

QByteArray WindowFixture::Image(const QString& name, int value) {
    QByteArray bytes(PatchImageSize, '\0');
    for (int i = 0; i < PatchImageSize; ++i)
        bytes[i] = char((value * 41 + i * 13 + 48) & 0xFF);
    const QString padded = name.leftJustified(6, QLatin1Char(' '));
    for (int bit = 0; bit < 36; ++bit) { // six 6-bit codes in bits 5..40 from byte 12 on
        const int at = bit + 5, set = int(DeviceAlphabet.indexOf(padded.at(bit / 6)) >> (bit % 6)) & 1;
        bytes[11 + at / 8] = char((bytes[11 + at / 8] & ~(1 << at % 8)) | set << at % 8);
    }
    PatchImage image(bytes);
    const int fields[] = {value % 24, value % 6, value % 7, value % 2 == 0, value % 3 == 0};
    for (int field = 0; field < 5; ++field) // in BoundField's order
        WriteBoundField(image, BoundField(field), fields[field]);
    return image.Bytes();
}

QByteArray WindowFixture::Store(const QStringList& names) {
    QByteArray store;
    for (int i = 0; i < names.size(); ++i)
        store += Image(names.at(i), i);
    return store;
}

void WindowFixture::Click(QAbstractItemView* view, int row, Qt::MouseButton button, bool twice,
                          Qt::KeyboardModifiers modifiers) {
    const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
    QTest::mouseClick(view->viewport(), button, modifiers, at);
    if (twice)
        QTest::mouseDClick(view->viewport(), button, {}, at);
}

QStringList WindowFixture::TakeMessages() {
    QStringList texts;
    for (const MessageBoxes::Shown& shown : MessageBoxes::takeShown())
        texts.append(shown.text);
    return texts;
}

void WindowFixture::OpenWindow(const QList<QRect>& screens) {
    window.reset();
    MainWindowOptions options;
    if (!screens.isEmpty())
        options.screenAreas = [screens] {
            return screens;
        };
    options.pause = [](int) {
    };
    options.programDirectory = Path(L("bin"));
    options.openUrl = [this](const QUrl& url) {
        viewerUrls.append(url);
        return viewerOpens;
    };
    options.settings = std::make_shared<QSettings>(SettingsPath(), QSettings::IniFormat);
    options.collectionCache = Path(L("cache/collection.sqlite"));
    options.collectionVersions = Path(L("versions"));
    window = std::make_unique<MainWindow>(options);
    window->Controller().SetVersionsFolder(Path(L("versions")));
    // Recovery files go to this test's folder, and only the tests of recovery wait for one.
    window->Controller().SetUnsavedFolder(Path(L("unsaved")));
    window->Controller().SetUnsavedDelay(3600 * 1000);
    window->show();
    window->activateWindow(); // shortcuts reach the active window only
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
}

void WindowFixture::LoadLibrary(const QStringList& names) {
    WriteBytes(Path(L("sample.pslib")), LibraryFileBytes(Store(names)));
    WriteBytes(Path(L("sample.pslib.txt")), Side);
    Choose("mnuFile_LoadLib", Path(L("sample.pslib")));
    QCOMPARE(Lib()->model()->rowCount(), names.size());
}

void WindowFixture::Import(const QStringList& names) {
    WriteBytes(Path(L("device.pch")), Store(names));
    Choose("mnuFile_LoadPatches", Path(L("device.pch")));
    QCOMPARE(Patches()->model()->rowCount(), names.size());
}

void WindowFixture::init() {
    tmp = std::make_unique<QTemporaryDir>();
    viewerUrls.clear();
    viewerOpens = true;
    EnableDialogTestMode(true);
    MessageBoxes::resetSeam();
    OpenSaveDLG::resetSeam();
    PrintDialog::resetSeam();
    QTest::failOnWarning(QRegularExpression(L("^") + L(UnansweredDialogWarning)));
    QVERIFY(QDir().mkpath(Path(L("bin"))) && QDir().mkpath(Path(L("share/quillbox"))));
    OpenWindow();
}

void WindowFixture::cleanup() {
    QCOMPARE(TakeMessages(), QStringList());
    QCOMPARE(MessageBoxes::pendingAnswers() + OpenSaveDLG::pendingPaths() + PrintDialog::pendingAnswers(), 0);
    window.reset();
}

PdfContent ReadPdf(const QString& path) {
    QProcess info, text;
    info.start(QStringLiteral("pdfinfo"), {path});
    text.start(QStringLiteral("pdftotext"), {path, QStringLiteral("-")});
    if (!info.waitForFinished() || !text.waitForFinished() || info.exitCode() != 0 || text.exitCode() != 0)
        return {};
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    const QRegularExpressionMatch pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(infoText);
    return {pages.hasMatch() ? pages.captured(1).toInt() : -1, QString::fromUtf8(text.readAllStandardOutput())};
}

} // namespace quillbox::test
