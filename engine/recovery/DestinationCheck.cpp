#include "DestinationCheck.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace quorvex {

namespace fs = std::filesystem;

namespace {

// The path made absolute, and its nearest folder that exists (the path itself when it does).
fs::path NearestExisting(const fs::path& path)
{
    std::error_code error;
    fs::path at = fs::absolute(path, error);
    if (error)
        at = path;
    while (!at.empty() && !fs::exists(at, error)) {
        const fs::path parent = at.parent_path();
        if (parent == at)
            break;
        at = parent;
    }
    return at;
}

std::string ReadFirstLine(const fs::path& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Mount points escape blanks and the like as \040.
std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
            out.push_back(static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8)));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// Whether `path` lies in the folder `mountPoint` (or is it).
bool IsInside(const fs::path& path, const fs::path& mountPoint)
{
    auto p = path.begin();
    for (auto m = mountPoint.begin(); m != mountPoint.end(); ++m, ++p) {
        if (m->empty())
            continue;  // a trailing separator
        if (p == path.end() || *p != *m)
            return false;
    }
    return true;
}

// The sysfs name of the block device "major:minor".
std::optional<std::string> NameOfDevice(const std::string& majorMinor, const SystemTables& tables)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(tables.sysClassBlock, error))
        if (ReadFirstLine(entry.path() / "dev") == majorMinor)
            return entry.path().filename().string();
    return std::nullopt;
}

// The sysfs name of the block device at `path`, if it is one (or, in a fake tree, names one).
std::optional<std::string> BlockDeviceName(const std::string& path, const SystemTables& tables)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode)) {
        if (auto name = NameOfDevice(std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)), tables))
            return name;
    }
    if (path.starts_with("/dev/")) {
        const std::string name = fs::path(path).filename().string();
        std::error_code error;
        if (fs::exists(tables.sysClassBlock / name, error))
            return name;
    }
    return std::nullopt;
}

// Every device `name` is built on, itself included: a partition's disk, a mapped or RAID
// device's members, a loop device's backing device; `loopFiles` gets the backing files that are
// ordinary files (a disk image attached as a loop device).
void CollectUnderlying(const std::string& name, const SystemTables& tables, std::set<std::string>& devices,
                       std::vector<std::pair<std::string, std::string>>& loopFiles, int depth = 0)
{
    if (depth > 16 || !devices.insert(name).second)
        return;
    const fs::path entry = tables.sysClassBlock / name;
    std::error_code error;
    if (fs::exists(entry / "partition", error)) {
        const fs::path real = fs::canonical(entry, error);
        if (!error)
            CollectUnderlying(real.parent_path().filename().string(), tables, devices, loopFiles, depth + 1);
    }
    for (const auto& slave : fs::directory_iterator(entry / "slaves", error))
        CollectUnderlying(slave.path().filename().string(), tables, devices, loopFiles, depth + 1);
    const std::string backing = ReadFirstLine(entry / "loop" / "backing_file");
    if (!backing.empty()) {
        if (const auto device = BlockDeviceName(backing, tables))
            CollectUnderlying(*device, tables, devices, loopFiles, depth + 1);
        else
            loopFiles.emplace_back(name, backing);
    }
}

bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {}, second {};
    if (::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0)
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
    std::error_code error;
    return fs::weakly_canonical(a, error) == fs::weakly_canonical(b, error);
}

DestinationCheck Problem(DestinationProblem problem, std::string reason)
{
    return {problem, std::move(reason)};
}

// Creates and removes a file (in an existing folder) or a folder (where one must be made).
int ProbeWriting(const fs::path& existing, bool folderExists)
{
    std::string pattern = (existing / ".quorvex-write-test-XXXXXX").string();
    if (folderExists) {
        const int fd = ::mkstemp(pattern.data());
        if (fd < 0)
            return errno;
        ::close(fd);
        ::unlink(pattern.c_str());
        return 0;
    }
    if (::mkdtemp(pattern.data()) == nullptr)
        return errno;
    ::rmdir(pattern.c_str());
    return 0;
}

}  // namespace

std::optional<std::string> DeviceHoldingPath(const fs::path& path, const SystemTables& tables)
{
    std::error_code error;
    const fs::path target = fs::weakly_canonical(NearestExisting(path), error);
    std::ifstream table(tables.mountInfo);
    std::string best, bestDevice;
    bool found = false;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        std::string id, parent, majorMinor, root, mountPoint;
        if (!(fields >> id >> parent >> majorMinor >> root >> mountPoint))
            continue;
        const fs::path point(Unescape(mountPoint));
        if (IsInside(target, point) && (!found || point.string().size() >= best.size())) {
            best = point.string();
            bestDevice = majorMinor;
            found = true;
        }
    }
    if (!found)
        return std::nullopt;
    return NameOfDevice(bestDevice, tables);
}

std::optional<std::uint64_t> FreeBytesAt(const fs::path& path)
{
    struct statvfs info {};
    if (::statvfs(NearestExisting(path).c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
}

DestinationCheck CheckDestination(const std::string& folder, const std::string& source, const SystemTables& tables)
{
    if (folder.empty())
        return Problem(DestinationProblem::NotAFolder, "no folder was given");
    const fs::path existing = NearestExisting(folder);
    std::error_code error;
    const bool folderExists = fs::absolute(folder, error) == existing;
    if (!fs::is_directory(existing, error))
        return Problem(DestinationProblem::NotAFolder,
                       folderExists ? folder + " is not a folder"
                                    : existing.string() + " is a file, so the folder " + folder + " cannot be made");
    if (const int failure = ProbeWriting(existing, folderExists); failure != 0)
        return Problem(DestinationProblem::NotWritable,
                       (folderExists ? folder + " cannot be written to: " : "the folder " + folder + " cannot be made in " +
                                                                              existing.string() + ": ") +
                           std::strerror(failure));

    const std::optional<std::string> holder = DeviceHoldingPath(existing, tables);
    if (!holder)
        return {};  // not on a block device (tmpfs, a network share): it cannot be the source
    std::set<std::string> destinationDevices;
    std::vector<std::pair<std::string, std::string>> destinationLoopFiles;
    CollectUnderlying(*holder, tables, destinationDevices, destinationLoopFiles);

    if (const auto sourceDevice = BlockDeviceName(source, tables)) {
        std::set<std::string> sourceDevices;
        std::vector<std::pair<std::string, std::string>> sourceLoopFiles;
        CollectUnderlying(*sourceDevice, tables, sourceDevices, sourceLoopFiles);
        for (const std::string& device : destinationDevices)
            if (sourceDevices.contains(device))
                return Problem(DestinationProblem::OnTheSource,
                               "The folder " + folder + " is on " + *holder +
                                   (device == *sourceDevice ? "" : ", on the same disk (" + device + ") as " + *sourceDevice) +
                                   ", the drive you are recovering from. Saving there could overwrite the very "
                                   "pictures you are looking for: choose a folder on another drive.");
        return {};
    }
    for (const auto& [loop, backing] : destinationLoopFiles)
        if (SameFile(backing, source))
            return Problem(DestinationProblem::OnTheSource,
                           "The folder " + folder + " is inside the disk image you are scanning (" + source +
                               ", attached as " + loop + "): saving there would change the image. Choose a folder "
                               "outside it.");
    return {};
}

}  // namespace quorvex
