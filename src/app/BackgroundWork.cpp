#include "app/BackgroundWork.h"

#include <QEventLoop>
#include <QPointer>

#include "image/PictureReader.h"

BackgroundWork::BackgroundWork(QObject* parent) : QObject(parent)
{
    pool_.setMaxThreadCount(2);
}

BackgroundWork::~BackgroundWork()
{
    ++*newest_; // every running work stops at its next check
    pool_.waitForDone();
}

void BackgroundWork::start(Work work)
{
    const int generation = ++*newest_;
    if (running_++ == 0) {
        emit busyChanged(true);
    }
    QPointer<BackgroundWork> self(this);
    pool_.start([self, newest = newest_, generation, work = std::move(work)] {
        const pyrolith::CancelCheck cancel = [newest, generation] {
            return newest->load() != generation;
        };
        Finish finish;
        try {
            finish = work(cancel);
        } catch (const pyrolith::Cancelled&) {
        }
        pyrolith::ReleasePictureThreadResources();
        if (self.isNull()) {
            return;
        }
        QMetaObject::invokeMethod(
            self.data(),
            [self, newest, generation, finish = std::move(finish)] {
                if (newest->load() == generation && finish) {
                    finish();
                }
                if (--self->running_ == 0) {
                    emit self->busyChanged(false);
                }
            },
            Qt::QueuedConnection);
    });
}

void BackgroundWork::wait()
{
    if (!busy()) {
        return;
    }
    QEventLoop loop;
    connect(this, &BackgroundWork::busyChanged, &loop, [&loop](bool busy) {
        if (!busy) {
            loop.quit();
        }
    });
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}
