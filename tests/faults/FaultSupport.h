#pragma once

// Helpers for the fault tests: running a stretch of a test as an unprivileged user, a device that
// breaks after a given number of bytes, and a listing of a folder that shows left-over files.

#include "TextEncoding.h"

#include <QByteArray>
#include <QDir>
#include <QIODevice>
#include <QString>
#include <QStringList>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillbox::test {

// The user the permission rows run as when the tests run as root (nobody/nogroup on Debian).
inline constexpr uid_t UnprivilegedUid = 65534;
inline constexpr gid_t UnprivilegedGid = 65534;

inline bool RunningAsRoot() {
    return ::geteuid() == 0;
}

// Hands a folder and everything in it to the unprivileged user, so that it can work there as a user
// works in a folder of their own. Does nothing unless running as root.
inline bool GiveToUnprivilegedUser(const QString& folder) {
    if (!RunningAsRoot())
        return true;
    if (::chown(QFile::encodeName(folder).constData(), UnprivilegedUid, UnprivilegedGid) != 0)
        return false;
    const QStringList entries =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        const QString path = folder + QLatin1Char('/') + entry;
        if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink()) {
            if (!GiveToUnprivilegedUser(path))
                return false;
        } else if (::lchown(QFile::encodeName(path).constData(), UnprivilegedUid, UnprivilegedGid) != 0) {
            return false;
        }
    }
    return true;
}

// While alive, the process runs as the unprivileged user: real and effective user and group ids,
// and no supplementary groups, so that permission bits bind it as they bind any user (root passes
// them all). The saved user id stays 0, which is what lets the destructor come back. Does nothing
// when not running as root: permissions then bind already.
class Unprivileged {
public:
    Unprivileged() {
        if (!RunningAsRoot())
            return;
        const int count = ::getgroups(0, nullptr);
        groups_.resize(size_t(std::max(count, 0)));
        if (count > 0 && ::getgroups(count, groups_.data()) != count)
            return;
        if (::setgroups(0, nullptr) != 0 || ::setresgid(UnprivilegedGid, UnprivilegedGid, 0) != 0 ||
            ::setresuid(UnprivilegedUid, UnprivilegedUid, 0) != 0) {
            Restore();
            return;
        }
        active_ = true;
        ok_ = true;
    }
    ~Unprivileged() {
        if (active_)
            Restore();
    }
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;

    // False when the switch was needed and failed.
    bool Ok() const { return ok_ || !RunningAsRoot(); }

private:
    void Restore() {
        // Failing to get root back would break every later test: stop here rather.
        if (::setresuid(0, 0, 0) != 0 || ::setresgid(0, 0, 0) != 0 ||
            ::setgroups(groups_.size(), groups_.data()) != 0)
            std::abort();
        active_ = false;
    }
    std::vector<gid_t> groups_;
    bool active_ = false;
    bool ok_ = false;
};

// Passes the first `budget` bytes on to the real file, then fails as a broken disk does: a write
// that has no budget left returns an error; one that only partly fits writes what fits.
class FailingDevice : public QIODevice {
public:
    FailingDevice(QIODevice& inner, qint64 budget) : inner_(inner), budget_(budget) {
        open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        if (budget_ <= 0) {
            setErrorString(QStringLiteral("the device failed"));
            return -1;
        }
        const qint64 written = inner_.write(data, std::min(length, budget_));
        if (written > 0)
            budget_ -= written;
        return written;
    }

private:
    QIODevice& inner_;
    qint64 budget_;
};

// Every entry of a folder, hidden ones included: a left-over temporary file shows up here.
inline QStringList FolderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The lines of a side file, in whatever encoding and with whatever line ends it has.
inline QStringList TextLines(const QByteArray& bytes) {
    QString text = DecodeText(bytes).text;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = text.split(QLatin1Char('\n'));
    lines.removeAll(QString());
    return lines;
}

} // namespace quillbox::test
