#pragma once

#include "ScanEngine.h"

#include <csignal>

namespace quorvex::cli {

// Ctrl-C asks the job that is running to stop (a scan, a save, an imaging run). The handler only
// stores to lock-free atomics. The guard installs the handler and puts the old one back.
class InterruptGuard {
public:
    InterruptGuard();
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;

    // The job Ctrl-C stops from now on (null: none).
    static void SetActiveJob(Stoppable* job);
    static bool Interrupted();

private:
    struct sigaction previous_ {};
};

}  // namespace quorvex::cli
