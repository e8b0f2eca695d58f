#pragma once

#include "FormatWalk.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace quorvex {

// A file's bytes in memory. Its storage is kept from file to file and only grows; growing it
// never fills it with zeros, since the bytes are read over at once.
class FileBytes {
public:
    // Makes room for `size` bytes (the contents are unspecified) and returns them.
    std::span<unsigned char> Resize(std::size_t size);
    std::span<const unsigned char> Bytes() const { return {data_.get(), size_}; }
    std::size_t Capacity() const { return capacity_; }

private:
    std::unique_ptr<unsigned char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// The check that decides a found file's verdict: a decode of its bytes. The scan thread makes it
// and hands it to the pipeline; a worker runs it; the scan thread reads the outcome once Done().
class FileCheck {
public:
    using Decode = DecodeResult (*)(std::span<const unsigned char> file);

    FileCheck(Decode decode, FileBytes bytes) : decode_(decode), bytes_(std::move(bytes)) {}

    bool Done() const { return done_.load(std::memory_order_acquire); }
    // After Done(): what the decode said, and the exception it threw (null when none).
    DecodeResult Result() const { return result_; }
    std::exception_ptr Failure() const { return failure_; }
    Decode DecodeFunction() const { return decode_; }
    std::size_t Size() const { return size_; }

    // Runs the decode on the calling thread (after `before`, when set, which may throw as a
    // decode may); afterwards the bytes are given back through `release`.
    template <typename Release>
    void Run(const std::function<void(std::size_t)>& before, Release&& release)
    {
        try {
            if (before)
                before(size_);
            result_ = decode_(bytes_.Bytes());
        } catch (...) {
            failure_ = std::current_exception();
        }
        release(std::move(bytes_));
        done_.store(true, std::memory_order_release);
    }

private:
    friend class CheckingPipeline;

    Decode decode_;
    FileBytes bytes_;
    std::size_t size_ = bytes_.Bytes().size();
    DecodeResult result_ = DecodeResult::NotChecked;
    std::exception_ptr failure_;
    std::atomic<bool> done_{false};
};

// Runs the checks of an exact scan on workers beside the scan thread. The checks waiting to run
// hold at most `pendingBytes` of file bytes (one larger file at a time is let in): when they are
// more, Submit waits, and the scan with it; a check is never dropped while the pipeline lives.
// The scan thread runs waiting checks itself while it waits. Buffers come back for the next files.
// Workers start with the first check, so a scan that has none starts no thread.
class CheckingPipeline {
public:
    struct Options {
        unsigned workers = 0;  // 0: one per core the machine has
        std::size_t pendingBytes = 32u << 20;
        // Called before each check with its file's size, on the thread that runs it: tests make
        // checks slow, or throw, with it.
        std::function<void(std::size_t)> beforeCheck = {};
    };

    // `stopRequested` (may be null) ends the waits of Submit and Wait.
    CheckingPipeline(Options options, const std::atomic<int>* stopRequested);
    // Drops the checks not started and waits for the running ones.
    ~CheckingPipeline();

    CheckingPipeline(const CheckingPipeline&) = delete;
    CheckingPipeline& operator=(const CheckingPipeline&) = delete;

    // A buffer for the next file's bytes: one a finished check gave back, when there is one.
    FileBytes TakeBuffer();
    // Queues the check, waiting first while the bytes queued exceed the bound. False when a stop
    // came while waiting: the check was not queued.
    bool Submit(std::shared_ptr<FileCheck> check);
    // Waits until the check is done. False when a stop came first, unless `evenWhenStopped`.
    bool Wait(const FileCheck& check, bool evenWhenStopped = false);

    unsigned Workers() const { return workers_; }

private:
    void StartWorkers();
    void WorkerLoop();
    // Runs the oldest queued check on this thread; false when none is queued. `lock` is held on
    // entry and on return.
    bool RunOne(std::unique_lock<std::mutex>& lock);
    void GiveBack(FileBytes bytes);
    bool StopSeen() const { return stopRequested_ != nullptr && stopRequested_->load() != 0; }

    unsigned workers_;
    std::size_t pendingLimit_;
    std::function<void(std::size_t)> beforeCheck_;
    const std::atomic<int>* stopRequested_;

    std::mutex mutex_;
    std::condition_variable queued_;    // a check was queued, or the workers must quit
    std::condition_variable finished_;  // a check finished
    std::deque<std::shared_ptr<FileCheck>> queue_;
    std::size_t pendingBytes_ = 0;  // of the checks queued or running
    std::vector<FileBytes> spare_;
    bool quit_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quorvex
