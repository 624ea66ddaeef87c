#pragma once

#include "UnsavedWork.h"

#include <QElapsedTimer>
#include <QTimer>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quillbox {

// Keeps the recovery file of the library being edited up to date without holding up the window:
// a change (re)starts a short timer; when it runs out, the work is taken as it stands (copies that
// share their data, so this costs next to nothing) and encoded and written on a worker thread of
// its own. One worker runs the writes and removals in the order they were asked for, so a removal
// after a save can never be overtaken by a write that was still on its way, and no two writes of a
// file run at once.
//
// Each keeper is one window: its files carry the window's instance, and it holds the window's lock
// from its first write until it ends, so that no other window takes its files for a crashed one's.
class UnsavedKeeper {
public:
    // The work as it stands, asked for on the window thread; nullopt when there is nothing to keep.
    using Source = std::function<std::optional<UnsavedWork>()>;
    static constexpr int DefaultDelayMs = 1000;

    explicit UnsavedKeeper(Source source);
    // Finishes what was asked for (a removal after a save must not be lost), then stops the worker.
    ~UnsavedKeeper();
    UnsavedKeeper(const UnsavedKeeper&) = delete;
    UnsavedKeeper& operator=(const UnsavedKeeper&) = delete;

    // Test seams: the folder (empty: the user's data location) and the delay after the last change.
    void SetFolder(const QString& folder);
    UnsavedWorkFiles Files() const { return UnsavedWorkFiles(folder_, instance_); }
    void SetDelay(int milliseconds);

    // The library changed and has unsaved changes: the file is written once the changes pause for
    // the delay, and at the latest twice the delay after the first change not yet written.
    void Changed();
    // The library's changes were saved or given up: its recovery file goes, after any write queued.
    void Forget(const QString& libPath);
    // Makes this window's recovery files its own from now on (without the lock they would look like
    // a crashed window's to the others); false and why when the lock cannot be taken. A show window
    // that keeps its work under this window's instance holds it before its first write.
    bool HoldWindow(QString* problem);
    // Takes the work now and queues its write (what the timer does).
    void WriteNow();
    // Waits until the worker has done everything queued.
    void WaitIdle();
    // Why the last write failed, once; empty when nothing failed since the last call.
    QString TakeProblem();
    // How long the last snapshot took on the calling thread, in nanoseconds.
    qint64 LastSnapshotNs() const { return lastSnapshotNs_; }
    // Test seam: ends this window as a crash would, in the middle of its work: what is queued is
    // done, then nothing more is written or removed, and its lock is let go with its files left.
    void EndAsIfKilledForTest();

private:
    struct Job {
        QString folder;
        std::optional<UnsavedWork> write; // set: write it; unset: remove the file of `libPath`
        QString libPath;
    };
    void Queue(Job job);
    void Work();

    Source source_;
    QString folder_;
    const QString instance_ = UnsavedWorkFiles::NewInstance();
    int windowLock_ = -1; // the window's lock, once taken (on the window thread)
    bool ended_ = false;
    QTimer timer_;
    int delay_ = DefaultDelayMs;
    QElapsedTimer firstChange_; // the first change since the file was last written
    qint64 lastSnapshotNs_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<Job> jobs_;
    bool running_ = false; // the worker is doing a job
    bool stop_ = false;
    QString problem_;
    std::thread worker_; // started with the first job
};

} // namespace quillbox
