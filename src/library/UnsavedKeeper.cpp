#include "UnsavedKeeper.h"

#include "FileError.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace quillbox {

UnsavedKeeper::UnsavedKeeper(Source source) : source_(std::move(source)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, [this] { WriteNow(); });
}

UnsavedKeeper::~UnsavedKeeper() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable())
        worker_.join();
    // A clean end: the files still here (changes the user chose to keep for later) belong to no
    // living window any more, so the next start offers them.
    UnsavedWorkFiles::ReleaseWindow(instance_, windowLock_, true);
}

void UnsavedKeeper::EndAsIfKilledForTest() {
    timer_.stop();
    WaitIdle();
    ended_ = true;
    UnsavedWorkFiles::ReleaseWindow(instance_, windowLock_, false);
    windowLock_ = -1;
}

void UnsavedKeeper::SetFolder(const QString& folder) {
    folder_ = folder;
}

void UnsavedKeeper::SetDelay(int milliseconds) {
    delay_ = milliseconds;
}

void UnsavedKeeper::Changed() {
    // Without an event loop (a benchmark, a tool) the timer could never run out.
    if (!QCoreApplication::instance())
        return;
    // Each change waits for a pause, but a run of changes without one is written after twice the
    // delay all the same: a kill never takes more than that.
    if (!timer_.isActive()) {
        firstChange_.start();
        timer_.start(delay_);
    } else if (firstChange_.elapsed() <= delay_) {
        timer_.start(delay_);
    }
}

void UnsavedKeeper::Forget(const QString& libPath) {
    timer_.stop();
    if (!libPath.isEmpty() && !ended_)
        Queue(Job{folder_, std::nullopt, libPath});
}

void UnsavedKeeper::WriteNow() {
    timer_.stop();
    QElapsedTimer clock;
    clock.start();
    std::optional<UnsavedWork> work = ended_ ? std::nullopt : source_();
    lastSnapshotNs_ = clock.nsecsElapsed();
    if (work) {
        QString problem;
        if (!HoldWindow(&problem)) {
            std::lock_guard lock(mutex_);
            problem_ = QStringLiteral("Unsaved changes cannot be kept for recovery: ") + problem;
            return;
        }
    }
    if (work) {
        const QString libPath = work->libPath;
        Queue(Job{folder_, std::move(work), libPath});
    }
}

bool UnsavedKeeper::HoldWindow(QString* problem) {
    if (windowLock_ < 0 && !ended_)
        windowLock_ = UnsavedWorkFiles::LockWindow(instance_, problem);
    return windowLock_ >= 0;
}

void UnsavedKeeper::Queue(Job job) {
    {
        std::lock_guard lock(mutex_);
        // A write still waiting for the same file is overtaken by this job: only the newest counts.
        while (!jobs_.empty() && jobs_.back().write && jobs_.back().libPath == job.libPath &&
               jobs_.back().folder == job.folder)
            jobs_.pop_back();
        jobs_.push_back(std::move(job));
        if (!worker_.joinable())
            worker_ = std::thread([this] { Work(); });
    }
    wake_.notify_all();
}

void UnsavedKeeper::WaitIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && !running_; });
}

QString UnsavedKeeper::TakeProblem() {
    std::lock_guard lock(mutex_);
    return std::exchange(problem_, QString());
}

void UnsavedKeeper::Work() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
        if (jobs_.empty()) // stopping, and everything asked for is done
            return;
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        running_ = true;
        lock.unlock();
        QString problem;
        const UnsavedWorkFiles files(job.folder, instance_);
        try {
            if (job.write)
                files.Write(*job.write);
            else if (!files.Remove(job.libPath))
                problem = QStringLiteral("The recovery file ") + files.FileFor(job.libPath) +
                          QStringLiteral(" could not be removed");
        } catch (const FileError& e) {
            problem = QStringLiteral("Unsaved changes cannot be kept for recovery: ") + e.description;
        } catch (const std::exception& e) {
            problem = QStringLiteral("Unsaved changes cannot be kept for recovery: ") +
                      QString::fromLocal8Bit(e.what());
        }
        lock.lock();
        running_ = false;
        if (!problem.isEmpty())
            problem_ = problem;
        if (jobs_.empty())
            idle_.notify_all();
    }
}

} // namespace quillbox
