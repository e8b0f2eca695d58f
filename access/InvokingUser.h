#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>

namespace quorvex::access {

// The person behind a process that runs as administrator through sudo or pkexec.
struct InvokingUser {
    uid_t uid = 0;
    gid_t gid = 0;
    std::filesystem::path home;
};

// Who started this process through sudo (SUDO_UID, SUDO_GID) or pkexec (PKEXEC_UID), when it
// runs as root; nothing when it does not, or nobody else can be named. `getenv` and `effectiveUid`
// are the process's own unless a test gives others.
std::optional<InvokingUser> FindInvokingUser();
std::optional<InvokingUser> FindInvokingUser(uid_t effectiveUid, const char* (*getenv)(const char*));

// Gives `path` (and, for a folder, everything inside it) to `user`, where it lies inside the
// user's home and belongs to root: what this process saved for the user becomes theirs, while
// what was there before keeps its owner. Symbolic links are neither followed nor changed. Returns
// how many entries changed owner.
std::size_t GiveToInvokingUser(const InvokingUser& user, const std::filesystem::path& path);

}  // namespace quorvex::access
