#include "BackgroundTask.h"

#include <QCoreApplication>
#include <QMetaObject>

namespace quorvex::preview {

void BackgroundTask::Start(Job job, std::function<void()> done)
{
    Stop();
    stop_.store(0);
    running_.store(1);
    done_ = std::move(done);
    const std::uint64_t generation = ++generation_;
    thread_ = std::thread([this, job = std::move(job), generation] {
        job(stop_, [this](int percent) { emit Progress(percent); });
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation != generation_)
                    return;  // stopped, or another job started since
                if (thread_.joinable())
                    thread_.join();
                running_.store(0);
                if (auto finish = std::exchange(done_, nullptr))
                    finish();
            },
            Qt::QueuedConnection);
    });
}

void BackgroundTask::Stop()
{
    stop_.store(1);
    if (thread_.joinable())
        thread_.join();
    ++generation_;
    running_.store(0);
    done_ = nullptr;
}

void BackgroundTask::WaitUntilDone()
{
    while (Running())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace quorvex::preview
