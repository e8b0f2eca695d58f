#pragma once

#include "AccessReply.h"

#include <chrono>
#include <string>

namespace quorvex::access {

struct HelperOptions {
    std::string pkexecPath;  // empty: pkexec as found on PATH
    std::string helperPath;  // quorvex-open-device; its polkit action names this path
    std::chrono::milliseconds timeout = std::chrono::minutes(5);
};

// Runs the open helper through pkexec (polkit asks for the password), with a Unix socket as its
// standard output, and takes the read-only descriptor it sends back. Unavailable when pkexec or
// the helper is not installed.
AccessReply OpenThroughHelper(const std::string& devicePath, const HelperOptions& options);

}  // namespace quorvex::access
