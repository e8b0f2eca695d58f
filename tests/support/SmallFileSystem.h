#pragma once

#include "TempFolder.h"

#include <string>
#include <sys/mount.h>

namespace quorvex::testing {

// A tmpfs of a few KiB mounted on a folder of its own, so that writes really run out of space.
// Mounting needs root (or the capability); where it is not allowed, Mounted() is false and the
// test skips.
class SmallFileSystem {
public:
    explicit SmallFileSystem(std::size_t kibibytes)
    {
        const std::string options = "size=" + std::to_string(kibibytes) + "k,mode=0777";
        mounted_ = ::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            ::umount2(folder_.Path().c_str(), MNT_DETACH);
    }
    SmallFileSystem(const SmallFileSystem&) = delete;
    SmallFileSystem& operator=(const SmallFileSystem&) = delete;

    bool Mounted() const { return mounted_; }
    const std::filesystem::path& Path() const { return folder_.Path(); }

private:
    TempFolder folder_;
    bool mounted_ = false;
};

}  // namespace quorvex::testing
