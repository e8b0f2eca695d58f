#pragma once

#include <string>

namespace quorvex::app {

// A machine-wide guard held while the program runs: an abstract Unix socket bound under a fixed
// name. The kernel releases it when the process ends in any way, and a copy started by another
// user on the same machine finds it taken too.
class SingleInstanceGuard {
public:
    // The product's fixed name: every copy of the program uses the same one.
    static constexpr const char* kProductName = "Global\\{6F1C2B7E-9A34-4D5B-8E21-3C7A90B4D1F2-QUORVEX}";

    explicit SingleInstanceGuard(std::string name = kProductName);
    ~SingleInstanceGuard();
    SingleInstanceGuard(const SingleInstanceGuard&) = delete;
    SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;

    // False when another copy holds the guard.
    bool Acquired() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace quorvex::app
