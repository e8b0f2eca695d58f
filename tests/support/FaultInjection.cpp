// A library that tests preload (LD_PRELOAD) into quorvex-cli to make the real program meet the
// faults of real media and machines, without any test hook in the program itself:
//
//   QUORVEX_FAULT_PATH           the file (image) whose reads misbehave; other files read normally
//   QUORVEX_FAULT_BAD_SECTORS    sector ranges that fail with EIO, e.g. "2100-2107,4096"
//   QUORVEX_FAULT_SLOW_SECTORS   sector ranges whose reads take QUORVEX_FAULT_SLOW_MS each
//   QUORVEX_FAULT_SLOW_MIN_BYTES only reads of at least this many bytes are slow (a scan's block
//                                reads, not the single sectors read to tell one card from another)
//   QUORVEX_FAULT_GONE_AFTER     after this many reads of the file, every read fails with ENODEV
//                                (the card was pulled out)
//   QUORVEX_FAULT_EINTR_EVERY    every Nth read of the file is interrupted by a signal (EINTR)
//                                before it transfers anything, as reads of slow devices can be
//   QUORVEX_FAULT_LOG            a file that gets one line per read of the file: "<offset> <length>"
//   QUORVEX_FAULT_ALLOCATION_AFTER_BYTES
//                                the first operator new that takes the bytes allocated so far
//                                above this figure throws std::bad_alloc, once
//
// A read whose first sector is bad fails; one that reaches a bad sector later comes back short,
// ending before it, as the block layer completes the good part of a request.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <dlfcn.h>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t kSector = 512;
using Range = std::pair<std::uint64_t, std::uint64_t>;  // first and last sector, inclusive

struct FaultPlan {
    bool active = false;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<Range> bad;
    std::vector<Range> slow;
    long slowMs = 0;
    std::size_t slowMinBytes = 0;
    long goneAfter = -1;
    long eintrEvery = 0;
    int logFd = -1;
    std::atomic<long> reads{0};
};

std::vector<Range> ParseRanges(const char* text)
{
    std::vector<Range> ranges;
    if (text == nullptr)
        return ranges;
    std::string all(text);
    std::size_t at = 0;
    while (at < all.size()) {
        std::size_t end = all.find(',', at);
        if (end == std::string::npos)
            end = all.size();
        const std::string item = all.substr(at, end - at);
        const std::size_t dash = item.find('-');
        const std::uint64_t first = std::strtoull(item.c_str(), nullptr, 10);
        const std::uint64_t last = dash == std::string::npos ? first : std::strtoull(item.c_str() + dash + 1, nullptr, 10);
        if (!item.empty())
            ranges.emplace_back(first, last);
        at = end + 1;
    }
    return ranges;
}

FaultPlan& Plan()
{
    static FaultPlan* plan = [] {
        auto* p = new FaultPlan;
        const char* path = std::getenv("QUORVEX_FAULT_PATH");
        struct stat info {};
        if (path != nullptr && ::stat(path, &info) == 0) {
            p->active = true;
            p->device = info.st_dev;
            p->inode = info.st_ino;
        }
        p->bad = ParseRanges(std::getenv("QUORVEX_FAULT_BAD_SECTORS"));
        p->slow = ParseRanges(std::getenv("QUORVEX_FAULT_SLOW_SECTORS"));
        if (const char* ms = std::getenv("QUORVEX_FAULT_SLOW_MS"))
            p->slowMs = std::atol(ms);
        if (const char* bytes = std::getenv("QUORVEX_FAULT_SLOW_MIN_BYTES"))
            p->slowMinBytes = static_cast<std::size_t>(std::atoll(bytes));
        if (const char* gone = std::getenv("QUORVEX_FAULT_GONE_AFTER"))
            p->goneAfter = std::atol(gone);
        if (const char* every = std::getenv("QUORVEX_FAULT_EINTR_EVERY"))
            p->eintrEvery = std::atol(every);
        if (const char* log = std::getenv("QUORVEX_FAULT_LOG"))
            p->logFd = ::open(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        return p;
    }();
    return *plan;
}

bool IsFaultedFile(int fd)
{
    const FaultPlan& plan = Plan();
    struct stat info {};
    return plan.active && ::fstat(fd, &info) == 0 && info.st_dev == plan.device && info.st_ino == plan.inode;
}

// The first sector of [first, last] that lies in one of the ranges, or UINT64_MAX.
std::uint64_t FirstIn(const std::vector<Range>& ranges, std::uint64_t first, std::uint64_t last)
{
    std::uint64_t hit = UINT64_MAX;
    for (const auto& [from, to] : ranges)
        if (from <= last && to >= first)
            hit = std::min(hit, std::max(from, first));
    return hit;
}

using PreadFunction = ssize_t (*)(int, void*, size_t, off_t);

ssize_t FaultyPread(PreadFunction real, int fd, void* buffer, size_t count, off_t offset)
{
    if (count == 0 || offset < 0 || !IsFaultedFile(fd))
        return real(fd, buffer, count, offset);
    FaultPlan& plan = Plan();
    const long readNumber = plan.reads.fetch_add(1) + 1;
    if (plan.logFd >= 0) {
        char line[64];
        const int n = std::snprintf(line, sizeof line, "%lld %zu\n", static_cast<long long>(offset), count);
        if (::write(plan.logFd, line, static_cast<size_t>(n)) < 0) {
        }
    }
    if (plan.goneAfter >= 0 && readNumber > plan.goneAfter) {
        errno = ENODEV;
        return -1;
    }
    if (plan.eintrEvery > 0 && readNumber % plan.eintrEvery == 0) {
        errno = EINTR;
        return -1;
    }
    const auto start = static_cast<std::uint64_t>(offset);
    const std::uint64_t first = start / kSector;
    const std::uint64_t last = (start + count - 1) / kSector;
    if (plan.slowMs > 0 && count >= plan.slowMinBytes && FirstIn(plan.slow, first, last) != UINT64_MAX) {
        const timespec pause{plan.slowMs / 1000, (plan.slowMs % 1000) * 1000000};
        ::nanosleep(&pause, nullptr);
    }
    const std::uint64_t bad = FirstIn(plan.bad, first, last);
    if (bad == UINT64_MAX)
        return real(fd, buffer, count, offset);
    if (bad == first) {
        errno = EIO;
        return -1;
    }
    return real(fd, buffer, static_cast<size_t>(bad * kSector - start), offset);
}

std::atomic<std::uint64_t> g_allocated{0};
std::atomic<int> g_allocationFailed{0};

void* Allocate(std::size_t size)
{
    static const char* limitText = std::getenv("QUORVEX_FAULT_ALLOCATION_AFTER_BYTES");
    static const std::uint64_t limit = limitText ? std::strtoull(limitText, nullptr, 10) : UINT64_MAX;
    const std::uint64_t total = g_allocated.fetch_add(size) + size;
    if (total > limit && g_allocationFailed.exchange(1) == 0)
        throw std::bad_alloc();
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr)
        throw std::bad_alloc();
    return p;
}

}  // namespace

extern "C" ssize_t pread(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = reinterpret_cast<PreadFunction>(::dlsym(RTLD_NEXT, "pread"));
    return FaultyPread(real, fd, buffer, count, offset);
}

extern "C" ssize_t pread64(int fd, void* buffer, size_t count, off_t offset)
{
    static const auto real = reinterpret_cast<PreadFunction>(::dlsym(RTLD_NEXT, "pread64"));
    return FaultyPread(real, fd, buffer, count, offset);
}

void* operator new(std::size_t size)
{
    return Allocate(size);
}

void* operator new[](std::size_t size)
{
    return Allocate(size);
}
