// Whatever a commit record beside a library holds, recovery neither crashes nor touches a file that
// the record cannot prove it prepared: the library, its side file and every other file in the folder
// keep their bytes, and no file outside it is made or removed.
#include "FileAccess.h"
#include "FuzzSupport.h"
#include "SafeSave.h"

#include <QDir>
#include <QFile>
#include <QMap>

using namespace quillbox;

namespace {

// A fixed folder, so that the seeds can name its files as a genuine record does.
const QString Folder = QStringLiteral("/tmp/quillbox-fuzz-record");
const QString Library = Folder + QStringLiteral("/lib.pslib");

QMap<QString, QByteArray> Content() {
    QMap<QString, QByteArray> content;
    const QDir dir(Folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile file(dir.filePath(name));
        content.insert(name, file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>"));
    }
    return content;
}

void Put(const QString& name, const QByteArray& bytes) {
    QFile file(Folder + QLatin1Char('/') + name);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool prepared = [] {
        QDir(Folder).removeRecursively();
        return QDir().mkpath(Folder);
    }();
    FUZZ_CHECK(prepared);
    // The library, its side file and files named as Quillbox names its temporary files.
    Put(QStringLiteral("lib.pslib"), QByteArray("\x01") + QByteArray(36, 'L'));
    Put(QStringLiteral("lib.pslib.txt"), QByteArrayLiteral("[Description]\r\n1=mine\r\n"));
    Put(QStringLiteral(".lib.pslib-0123abcd.tmp"), QByteArray("\x01") + QByteArray(18, 'T'));
    Put(QStringLiteral(".lib.pslib.txt-89abcdef.tmp"), QByteArrayLiteral("[Description]\r\n1=temp\r\n"));
    Put(QStringLiteral("victim"), QByteArrayLiteral("not Quillbox's"));
    const QString record = SafeSave::CommitRecordPath(Library);
    Put(QFileInfo(record).fileName(), QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    QMap<QString, QByteArray> before = Content();
    before.remove(QFileInfo(record).fileName());
    try {
        SafeSave::Recover(Library);
    } catch (const FileError&) {
    }
    QMap<QString, QByteArray> after = Content();
    after.remove(QFileInfo(record).fileName());
    // A record whose text is cut short before it names anything lets recovery remove the temporary
    // files of our own pattern; everything else stays as it was.
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        if (it.key().endsWith(QStringLiteral(".tmp")) && !after.contains(it.key()))
            continue;
        FUZZ_CHECK(after.value(it.key()) == it.value());
    }
    FUZZ_CHECK(after.size() <= before.size());
    QFile::remove(record);
    return 0;
}
