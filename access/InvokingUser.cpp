#include "InvokingUser.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace quorvex::access {

namespace {

std::optional<unsigned long> Number(const char* text)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value == 0 || value >= UINT_MAX)
        return std::nullopt;
    return value;
}

const char* ProcessEnvironment(const char* name) { return std::getenv(name); }

// Whether `path` lies inside `home` (both made absolute and normal, component by component).
bool Inside(const std::filesystem::path& path, const std::filesystem::path& home)
{
    std::error_code error;
    const auto a = std::filesystem::weakly_canonical(path, error);
    if (error)
        return false;
    const auto b = std::filesystem::weakly_canonical(home, error);
    if (error || b.empty() || b == b.root_path())
        return false;
    const auto relative = a.lexically_relative(b);
    return !relative.empty() && *relative.begin() != "..";
}

bool Adopt(const InvokingUser& user, const std::filesystem::path& path)
{
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || info.st_uid != 0 || S_ISLNK(info.st_mode))
        return false;
    return ::lchown(path.c_str(), user.uid, user.gid) == 0;
}

}  // namespace

std::optional<InvokingUser> FindInvokingUser()
{
    return FindInvokingUser(::geteuid(), &ProcessEnvironment);
}

std::optional<InvokingUser> FindInvokingUser(uid_t effectiveUid, const char* (*getenv)(const char*))
{
    if (effectiveUid != 0)
        return std::nullopt;
    std::optional<unsigned long> uid = Number(getenv("SUDO_UID"));
    std::optional<unsigned long> gid = uid ? Number(getenv("SUDO_GID")) : std::nullopt;
    if (!uid)
        uid = Number(getenv("PKEXEC_UID"));
    if (!uid)
        return std::nullopt;
    const passwd* account = ::getpwuid(static_cast<uid_t>(*uid));
    if (account == nullptr || account->pw_dir == nullptr || *account->pw_dir != '/')
        return std::nullopt;
    InvokingUser user;
    user.uid = static_cast<uid_t>(*uid);
    user.gid = gid ? static_cast<gid_t>(*gid) : account->pw_gid;
    user.home = account->pw_dir;
    return user;
}

std::size_t GiveToInvokingUser(const InvokingUser& user, const std::filesystem::path& path)
{
    if (!Inside(path, user.home))
        return 0;
    std::size_t changed = Adopt(user, path) ? 1 : 0;
    std::error_code error;
    if (!std::filesystem::is_directory(std::filesystem::symlink_status(path, error)))
        return changed;
    for (auto entry = std::filesystem::recursive_directory_iterator(path, std::filesystem::directory_options::skip_permission_denied, error);
         !error && entry != std::filesystem::recursive_directory_iterator(); entry.increment(error))
        changed += Adopt(user, entry->path()) ? 1 : 0;
    return changed;
}

}  // namespace quorvex::access
