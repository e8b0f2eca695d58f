#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace quorvex::testing {

// A fake sysfs laid out as the kernel lays it out: devices live under devices/, class/block holds
// a symlink per disk and partition; each may have a device number, members (slaves/) and a loop
// device's backing file. Removed with everything in it.
class FakeSysfs {
public:
    FakeSysfs()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "quorvex-sysfs-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data());
        std::filesystem::create_directories(root_ / "class/block");
    }
    ~FakeSysfs() { std::filesystem::remove_all(root_); }
    FakeSysfs(const FakeSysfs&) = delete;
    FakeSysfs& operator=(const FakeSysfs&) = delete;

    std::filesystem::path ClassBlock() const { return root_ / "class/block"; }
    std::filesystem::path Root() const { return root_; }

    std::filesystem::path AddDisk(const std::string& bus, const std::string& name, std::uint64_t sectors, int removable,
                                  const std::string& majorMinor = "")
    {
        const std::filesystem::path dir = root_ / "devices" / bus / "block" / name;
        std::filesystem::create_directories(dir);
        Write(dir / "size", std::to_string(sectors));
        Write(dir / "removable", std::to_string(removable));
        if (!majorMinor.empty())
            Write(dir / "dev", majorMinor);
        std::filesystem::create_directory_symlink(dir, ClassBlock() / name);
        return dir;
    }

    std::filesystem::path AddPartition(const std::string& bus, const std::string& disk, const std::string& name,
                                       std::uint64_t sectors, const std::string& majorMinor = "")
    {
        const std::filesystem::path dir = root_ / "devices" / bus / "block" / disk / name;
        std::filesystem::create_directories(dir);
        Write(dir / "size", std::to_string(sectors));
        Write(dir / "partition", "1");
        if (!majorMinor.empty())
            Write(dir / "dev", majorMinor);
        std::filesystem::create_directory_symlink(dir, ClassBlock() / name);
        return dir;
    }

    // A device mapper or RAID device built on `member`.
    void AddMember(const std::filesystem::path& device, const std::string& member)
    {
        std::filesystem::create_directories(device / "slaves");
        std::filesystem::create_directory_symlink(ClassBlock() / member, device / "slaves" / member);
    }

    void SetBackingFile(const std::filesystem::path& loop, const std::string& backing)
    {
        std::filesystem::create_directories(loop / "loop");
        Write(loop / "loop" / "backing_file", backing);
    }

private:
    static void Write(const std::filesystem::path& file, const std::string& text) { std::ofstream(file) << text << '\n'; }
    std::filesystem::path root_;
};

}  // namespace quorvex::testing
