#pragma once

#include "UniqueFd.h"

#include <string>

namespace quorvex::access {

enum class AccessOutcome {
    Granted,      // fd holds a read-only descriptor of the device
    Refused,      // the system said no (not authorised, or the password dialog was dismissed)
    Unavailable,  // this way of asking is not there (no disk service, no helper, no bus)
    Failed,       // asked, but it went wrong (no answer in time, the device is gone, a bad reply)
};

// What one request for a device's descriptor came to.
struct AccessReply {
    AccessOutcome outcome = AccessOutcome::Failed;
    UniqueFd fd;
    std::string message;  // for the user, when not granted
};

// A reply without a descriptor.
inline AccessReply Refusal(AccessOutcome outcome, std::string message)
{
    AccessReply reply;
    reply.outcome = outcome;
    reply.message = std::move(message);
    return reply;
}

}  // namespace quorvex::access
