// The resident memory of the whole window process over a collection: the program's main window
// opens the collection window on FOLDER (cache CACHE, earlier versions VERSIONS), as a user does,
// waits until the files are read, the cache is written and the list's word index built, and prints
// its resident and peak memory in MB (10^6 bytes) and the window's status line with its counts.
// bench_collection runs it on its generated folders.
#include "CollectionSettings.h"
#include "CollectionWindow.h"
#include "DialogSeam.h"
#include "LargeArrays.h"
#include "MainWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>

using namespace quillbox;

namespace {

double StatusMB(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qsizetype(qstrlen(field))).trimmed().split(' ').value(0).toDouble() * 1024.0 /
                   1e6;
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: window_memory FOLDER CACHE VERSIONS\n");
        return 2;
    }
    KeepFreedMemory(); // as the program's main does
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("quillbox.ini"));
    if (!WriteCollectionFolders({QString::fromLocal8Bit(argv[1])}, settings))
        return 2;
    EnableDialogTestMode(true);
    MainWindowOptions options;
    options.pause = [](int) {
    };
    options.settings = std::make_shared<QSettings>(settings, QSettings::IniFormat);
    options.collectionCache = QString::fromLocal8Bit(argv[2]);
    options.collectionVersions = QString::fromLocal8Bit(argv[3]);
    MainWindow window(options);
    window.Controller().SetUnsavedFolder(dir.filePath(QStringLiteral("unsaved")));
    window.show();
    window.CollectionCommand();
    CollectionWindow* collection = window.Collection();
    QElapsedTimer clock;
    clock.start();
    while (collection->Scanning() || collection->Indexing() || collection->Status().isEmpty()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
        if (clock.elapsed() > 30 * 60 * 1000)
            return 1;
    }
    QCoreApplication::processEvents();
    std::printf("%.1f %.1f %s\n", StatusMB("VmRSS:"), StatusMB("VmHWM:"), qPrintable(collection->Status()));
    return 0;
}
