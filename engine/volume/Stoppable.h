#pragma once

namespace quorvex {

// Something a stop request can be sent to from any thread, also from a signal handler:
// RequestStop only stores to lock-free atomics.
class Stoppable {
public:
    virtual ~Stoppable() = default;
    virtual void RequestStop() noexcept = 0;
};

}  // namespace quorvex
