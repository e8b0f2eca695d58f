#include "CheckingPipeline.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace quorvex {

namespace {

// Buffers kept for later files: a few, and none of a file too large to be common.
constexpr std::size_t kSpareBuffers = 16;
constexpr std::size_t kLargestSpare = 24u << 20;
// How often a waiting thread looks at the stop flag (a stop request only stores to an atomic).
constexpr auto kStopPoll = std::chrono::milliseconds(20);

}  // namespace

std::span<unsigned char> FileBytes::Resize(std::size_t size)
{
    if (size > capacity_) {
        data_.reset(new unsigned char[size]);
        capacity_ = size;
    }
    size_ = size;
    return {data_.get(), size_};
}

CheckingPipeline::CheckingPipeline(Options options, const std::atomic<int>* stopRequested)
    : workers_(options.workers != 0 ? options.workers : std::max(1u, std::thread::hardware_concurrency())),
      pendingLimit_(options.pendingBytes), beforeCheck_(std::move(options.beforeCheck)), stopRequested_(stopRequested)
{
}

CheckingPipeline::~CheckingPipeline()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        queue_.clear();
    }
    queued_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
}

FileBytes CheckingPipeline::TakeBuffer()
{
    std::lock_guard lock(mutex_);
    if (spare_.empty())
        return {};
    FileBytes bytes = std::move(spare_.back());
    spare_.pop_back();
    return bytes;
}

void CheckingPipeline::GiveBack(FileBytes bytes)
{
    if (bytes.Capacity() > kLargestSpare || spare_.size() >= kSpareBuffers)
        return;
    try {
        spare_.push_back(std::move(bytes));
    } catch (const std::bad_alloc&) {
        // Not kept: the next file gets a buffer of its own.
    }
}

void CheckingPipeline::StartWorkers()
{
    for (unsigned i = 0; i < workers_; ++i)
        threads_.emplace_back([this] { WorkerLoop(); });
}

bool CheckingPipeline::Submit(std::shared_ptr<FileCheck> check)
{
    std::unique_lock lock(mutex_);
    if (threads_.empty())
        StartWorkers();
    while (pendingBytes_ > 0 && pendingBytes_ + check->Size() > pendingLimit_) {
        if (StopSeen())
            return false;
        if (!RunOne(lock))
            finished_.wait_for(lock, kStopPoll);
    }
    pendingBytes_ += check->Size();
    queue_.push_back(std::move(check));
    lock.unlock();
    queued_.notify_one();
    return true;
}

bool CheckingPipeline::Wait(const FileCheck& check, bool evenWhenStopped)
{
    std::unique_lock lock(mutex_);
    while (!check.Done()) {
        if (StopSeen() && !evenWhenStopped)
            return false;
        if (!RunOne(lock))
            finished_.wait_for(lock, kStopPoll);
    }
    return true;
}

bool CheckingPipeline::RunOne(std::unique_lock<std::mutex>& lock)
{
    if (queue_.empty())
        return false;
    std::shared_ptr<FileCheck> check = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    check->Run(beforeCheck_, [this, &lock, size = check->Size()](FileBytes bytes) {
        lock.lock();
        pendingBytes_ -= size;
        GiveBack(std::move(bytes));
    });
    // Done is set once the bytes are back, still under the lock: a waiter woken by the
    // notification below sees it.
    finished_.notify_all();
    return true;
}

void CheckingPipeline::WorkerLoop()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        queued_.wait(lock, [this] { return quit_ || !queue_.empty(); });
        if (quit_)
            return;
        RunOne(lock);
    }
}

}  // namespace quorvex
