#pragma once

#include "UniqueFd.h"

#include <chrono>

namespace quorvex::access {

// Sends `fd` over the Unix socket `socket` (SCM_RIGHTS, with one byte of data). False on failure,
// with errno set.
bool SendDescriptor(int socket, int fd);

enum class ReceiveOutcome {
    Received,
    Closed,    // the other end closed the socket without sending one
    TimedOut,
    Failed,    // errno says why; also a message that carried no descriptor
};

struct ReceivedDescriptor {
    ReceiveOutcome outcome = ReceiveOutcome::Failed;
    UniqueFd fd;
};

// Waits up to `timeout` for one descriptor on `socket`. Descriptors beyond the first that came
// with the message are closed.
ReceivedDescriptor ReceiveDescriptor(int socket, std::chrono::milliseconds timeout);

}  // namespace quorvex::access
