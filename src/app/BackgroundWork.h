#pragma once

#include <QObject>
#include <QThreadPool>
#include <atomic>
#include <functional>
#include <memory>

#include "common/Cancel.h"

// Runs one kind of long work (reading a picture, making its black-and-white image) off the
// window's thread. A newer start cancels the older work, whose result is dropped: only the
// newest result reaches the window.
class BackgroundWork : public QObject {
    Q_OBJECT
public:
    // The work runs on a worker thread and returns what to do with its result on the window's
    // thread (nothing when empty). It asks `cancel` now and then and throws
    // pyrolith::Cancelled when told to stop.
    using Finish = std::function<void()>;
    using Work = std::function<Finish(const pyrolith::CancelCheck& cancel)>;

    explicit BackgroundWork(QObject* parent = nullptr);
    ~BackgroundWork() override;

    void start(Work work);
    // The running work stops at its next check and its result is dropped.
    void cancel() { ++*newest_; }
    bool busy() const { return running_ > 0; }
    // Handles the window's events until no work runs and the newest result has been applied.
    void wait();

signals:
    void busyChanged(bool busy);

private:
    QThreadPool pool_;
    std::shared_ptr<std::atomic<int>> newest_ = std::make_shared<std::atomic<int>>(0);
    int running_ = 0;
};
