#include "OpenHelperClient.h"

#include "DescriptorPassing.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvex::access {

namespace {

std::string FindOnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

// What the helper said on its standard error, its last line, without the program's name.
std::string LastLine(const std::string& text)
{
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (const auto cut = line.find_last_of('\n'); cut != std::string::npos)
        line.erase(0, cut + 1);
    if (const std::string prefix = "quorvex-open-device: "; line.compare(0, prefix.size(), prefix) == 0)
        line.erase(0, prefix.size());
    return line;
}

std::string ReadAll(int fd)
{
    std::string text;
    char chunk[512];
    for (ssize_t n; (n = ::read(fd, chunk, sizeof chunk)) != 0 && text.size() < 8192;) {
        if (n < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        text.append(chunk, static_cast<std::size_t>(n));
    }
    return text;
}

}  // namespace

AccessReply OpenThroughHelper(const std::string& devicePath, const HelperOptions& options)
{
    const std::string pkexec = options.pkexecPath.empty() ? FindOnPath("pkexec") : options.pkexecPath;
    if (pkexec.empty() || ::access(pkexec.c_str(), X_OK) != 0)
        return Refusal(AccessOutcome::Unavailable, "pkexec is not installed");
    if (options.helperPath.empty() || ::access(options.helperPath.c_str(), X_OK) != 0)
        return Refusal(AccessOutcome::Unavailable, "Quorvex's open helper is not installed (" + options.helperPath + ")");

    int sockets[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return Refusal(AccessOutcome::Failed, std::string("a socket for the helper: ") + std::strerror(errno));
    UniqueFd ours(sockets[0]), theirs(sockets[1]);
    int errors[2];
    if (::pipe2(errors, O_CLOEXEC) != 0)
        return Refusal(AccessOutcome::Failed, std::string("a pipe for the helper: ") + std::strerror(errno));
    UniqueFd errorsIn(errors[0]), errorsOut(errors[1]);

    const char* argv[] = {pkexec.c_str(), options.helperPath.c_str(), devicePath.c_str(), nullptr};
    const pid_t child = ::fork();
    if (child < 0)
        return Refusal(AccessOutcome::Failed, std::string("starting the helper: ") + std::strerror(errno));
    if (child == 0) {
        // dup2 leaves the copies open across exec; everything else here closes on exec.
        if (::dup2(theirs.Get(), STDOUT_FILENO) < 0 || ::dup2(errorsOut.Get(), STDERR_FILENO) < 0)
            ::_exit(127);
        ::execv(pkexec.c_str(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    theirs.Reset();
    errorsOut.Reset();

    ReceivedDescriptor received = ReceiveDescriptor(ours.Get(), options.timeout);
    // Past the time, what the helper has to say no longer matters: whatever it started may hold
    // its standard error open for long.
    if (received.outcome == ReceiveOutcome::TimedOut)
        ::kill(child, SIGTERM);
    const std::string said = received.outcome == ReceiveOutcome::TimedOut ? std::string() : LastLine(ReadAll(errorsIn.Get()));
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    if (received.outcome == ReceiveOutcome::TimedOut)
        return Refusal(AccessOutcome::Failed, "no answer came in time");
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (received.outcome == ReceiveOutcome::Received && exitCode == 0) {
        if (!OpenedReadOnly(received.fd.Get()))
            return Refusal(AccessOutcome::Failed, "the helper opened the drive for writing; it was not used");
        AccessReply granted;
        granted.outcome = AccessOutcome::Granted;
        granted.fd = std::move(received.fd);
        return granted;
    }
    switch (exitCode) {
    case 126:
        return Refusal(AccessOutcome::Refused, "the password dialog was closed");
    case 127:
        return Refusal(AccessOutcome::Refused, "the system did not allow Quorvex to read the drive");
    default:
        return Refusal(AccessOutcome::Failed, said.empty() ? "the open helper failed" : said);
    }
}

}  // namespace quorvex::access
