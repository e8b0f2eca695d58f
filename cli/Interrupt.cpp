#include "Interrupt.h"

#include <atomic>

namespace quorvex::cli {

namespace {

std::atomic<Stoppable*> g_activeJob{nullptr};
std::atomic<int> g_interrupted{0};
static_assert(std::atomic<Stoppable*>::is_always_lock_free);

extern "C" void OnInterrupt(int)
{
    g_interrupted.store(1);
    if (Stoppable* job = g_activeJob.load())
        job->RequestStop();
}

}  // namespace

InterruptGuard::InterruptGuard()
{
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
}

InterruptGuard::~InterruptGuard()
{
    g_activeJob.store(nullptr);
    sigaction(SIGINT, &previous_, nullptr);
}

void InterruptGuard::SetActiveJob(Stoppable* job)
{
    g_activeJob.store(job);
}

bool InterruptGuard::Interrupted()
{
    return g_interrupted.load() != 0;
}

}  // namespace quorvex::cli
