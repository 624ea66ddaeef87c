#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <unistd.h>

namespace testutil {

inline QByteArray ReadRaw(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArrayLiteral("<unreadable>");
    return file.readAll();
}

inline bool WriteRaw(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every entry of a folder, hidden ones included: a left-over temporary file shows up here.
inline QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// Gives back the permissions a test took away, so that the folder can be removed.
inline void MakeRemovable(const QString& folder) {
    for (const QString& entry : FolderEntries(folder)) {
        const QString path = folder + QLatin1Char('/') + entry;
        const QFileInfo info(path);
        if (info.isSymLink())
            continue;
        if (info.isDir()) {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            MakeRemovable(path);
        } else {
            QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        }
    }
}

// A fresh temporary folder per test function.
class ScratchFolder {
public:
    ScratchFolder() = default;
    ~ScratchFolder() { Reset(); }
    void Create() {
        Reset();
        dir_ = std::make_unique<QTemporaryDir>();
    }
    void Reset() {
        if (dir_)
            MakeRemovable(dir_->path());
        dir_.reset();
    }
    bool IsValid() const { return dir_ && dir_->isValid(); }
    QString Path() const { return dir_->path(); }
    QString Path(const QString& name) const { return dir_->filePath(name); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

// Permission checks do not stop root; rows that rely on them are skipped there.
inline bool RunningAsRoot() {
    return ::geteuid() == 0;
}

// All 256 byte values, twice, NULs included.
inline QByteArray AllBytes() {
    QByteArray bytes;
    for (int round = 0; round < 2; ++round) {
        for (int b = 0; b < 256; ++b)
            bytes.append(char(b));
    }
    return bytes;
}

} // namespace testutil

// Each test class of this executable provides one of these; main() runs them in turn.
int RunFileAccessTests(int argc, char** argv);
int RunSafeSaveTests(int argc, char** argv);
int RunFormatTests(int argc, char** argv);
int RunProfileTests(int argc, char** argv);
int RunSideFileTests(int argc, char** argv);
int RunRoundTripTests(int argc, char** argv);
