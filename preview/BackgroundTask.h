#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace quorvex::preview {

// Runs one job at a time on a thread of its own, for work over a whole type or catalogue that
// must not block the window (reading every photo's capture date, looking for copies). The job
// sees a stop flag and reports percents; when it has ended, `done` runs on the owner's thread.
// A job stopped with Stop never calls `done`.
class BackgroundTask : public QObject {
    Q_OBJECT
public:
    using Job = std::function<void(const std::atomic<int>& stop, const std::function<void(int)>& progress)>;

    explicit BackgroundTask(QObject* parent = nullptr) : QObject(parent) {}
    ~BackgroundTask() override { Stop(); }

    // Stops the job running, if any, and starts this one.
    void Start(Job job, std::function<void()> done);
    // Asks the job to stop and waits for its thread; its `done` is dropped.
    void Stop();
    bool Running() const { return running_.load() != 0; }
    // Waits for the job and runs its `done` (for tests).
    void WaitUntilDone();

signals:
    void Progress(int percent);

private:
    std::thread thread_;
    std::atomic<int> stop_{0};
    std::atomic<int> running_{0};
    std::uint64_t generation_ = 0;  // a queued `done` of an earlier generation is dropped
    std::function<void()> done_;
};

}  // namespace quorvex::preview
