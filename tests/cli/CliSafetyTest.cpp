// quorvex-cli never makes things worse: a destination refused before the scan, never the card
// itself, a destination too small, and imaging a failing card (with GNU ddrescue's maps both
// ways). Real loop devices and mounts where the machine allows them; skipped cleanly where not.
#include "CliRunner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mount.h>
#include <thread>

using namespace quorvex::testing;
namespace fs = std::filesystem;

namespace {

int Shell(const std::string& command)
{
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellOutput(const std::string& command)
{
    std::string out;
    if (FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r")) {
        std::array<char, 256> chunk{};
        while (std::fgets(chunk.data(), chunk.size(), pipe) != nullptr)
            out += chunk.data();
        ::pclose(pipe);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

// An ext4 file system in an image file, attached as a loop device and mounted: a real block
// device with a real mount, as a card in a reader is. Ready() is false where that is not allowed.
class MountedImage {
public:
    MountedImage() : image_(dir_.Path() / "disk.img"), mountPoint_(dir_.Path() / "mnt")
    {
        fs::create_directory(mountPoint_);
        if (Shell("truncate -s 16M '" + image_.string() + "' && mkfs.ext4 -q -F '" + image_.string() + "'") != 0)
            return;
        device_ = ShellOutput("losetup --find --show '" + image_.string() + "'");
        if (device_.empty())
            return;
        mounted_ = ::mount(device_.c_str(), mountPoint_.c_str(), "ext4", 0, nullptr) == 0;
    }
    ~MountedImage()
    {
        if (mounted_)
            ::umount2(mountPoint_.c_str(), MNT_DETACH);
        if (!device_.empty())
            Shell("losetup -d " + device_);
    }
    MountedImage(const MountedImage&) = delete;
    MountedImage& operator=(const MountedImage&) = delete;

    bool Ready() const { return mounted_; }
    const std::string& Device() const { return device_; }
    const fs::path& Image() const { return image_; }
    const fs::path& MountPoint() const { return mountPoint_; }

private:
    TempDir dir_;
    fs::path image_, mountPoint_;
    std::string device_;
    bool mounted_ = false;
};

std::vector<unsigned char> WholeFile(const fs::path& path)
{
    return ReadBytes(path, 0, static_cast<std::size_t>(fs::file_size(path)));
}

std::string SampleFaults(const std::string& more)
{
    return std::string("QUORVEX_FAULT_PATH=") + QUORVEX_SAMPLE_IMAGE + " " + more;
}

}  // namespace

TEST(CliSafety, ADestinationThatIsAFileIsRefusedBeforeAnyScanning)
{
    TempDir dir;
    const fs::path file = dir.Path() / "a-file";
    std::ofstream(file) << "not a folder";
    const fs::path err = dir.Path() / "err.txt";
    const fs::path log = dir.Path() / "reads.log";
    const Result result = RunCliWithFaults(SampleFaults("QUORVEX_FAULT_LOG=" + log.string()),
                                           std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --out " + file.string(), err);
    EXPECT_EQ(result.status, 2);
    EXPECT_TRUE(result.out.empty());
    EXPECT_NE(ReadText(err).find("is not a folder"), std::string::npos) << ReadText(err);
    EXPECT_FALSE(fs::exists(log));  // not one sector of the card was read
    EXPECT_EQ(RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --out " + (file / "sub").string(), err).status, 2);
    EXPECT_NE(ReadText(err).find("is a file"), std::string::npos);
}

TEST(CliSafety, NeverSavesOrImagesOntoTheCardBeingRecovered)
{
    MountedImage card;
    if (!card.Ready())
        GTEST_SKIP() << "loop devices and mounts are not allowed here";
    TempDir dir;
    const fs::path err = dir.Path() / "err.txt";
    const Result save = RunCli("scan " + card.Device() + " --out " + (card.MountPoint() / "rescued").string(), err);
    EXPECT_EQ(save.status, 2);
    EXPECT_NE(ReadText(err).find("the drive you are recovering from"), std::string::npos) << ReadText(err);
    EXPECT_FALSE(fs::exists(card.MountPoint() / "rescued"));
    const Result image = RunCli("image " + card.Device() + " " + (card.MountPoint() / "copy.img").string(), err);
    EXPECT_EQ(image.status, 2);
    EXPECT_FALSE(fs::exists(card.MountPoint() / "copy.img"));
    // Scanning the image file itself: saving inside it (its loop device's mount) is refused,
    // saving next to it is fine.
    const Result inside = RunCli("scan " + card.Image().string() + " --out " + (card.MountPoint() / "x").string(), err);
    EXPECT_EQ(inside.status, 2);
    EXPECT_NE(ReadText(err).find("inside the disk image"), std::string::npos) << ReadText(err);
    EXPECT_EQ(RunCli("scan " + card.Image().string() + " --out " + (dir.Path() / "beside").string(), err).status, 0);
}

TEST(CliSafety, ADestinationTooSmallGetsTheFilesThatFitAndSaysWhatIsMissing)
{
    TempDir dir;
    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=200k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    const fs::path err = dir.Path() / "err.txt";
    const Result result =
        RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 64 --json --out " + small.string(), err);
    std::vector<fs::path> saved;
    for (const auto& entry : fs::recursive_directory_iterator(small))
        if (entry.is_regular_file())
            saved.push_back(entry.path());
    std::vector<std::uintmax_t> sizes;
    for (const fs::path& file : saved)
        sizes.push_back(fs::file_size(file));
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(result.status, 3);
    EXPECT_NE(ReadText(err).find("need"), std::string::npos) << ReadText(err);
    EXPECT_NE(result.out.find("\"not_saved\":"), std::string::npos);
    ASSERT_FALSE(saved.empty());
    for (std::uintmax_t size : sizes)
        EXPECT_EQ(size, 64u * 1024);  // whole files only, none cut short
    EXPECT_LT(saved.size(), 9u);

    // Without --json the summary names the files not saved, from the first one on.
    std::vector<std::string> found;
    for (const std::string& line : Lines(result.out))
        if (const auto at = line.find("\"name\":\""); at != std::string::npos)
            found.push_back(line.substr(at + 8, line.find('"', at + 8) - at - 8));
    ASSERT_GT(found.size(), saved.size());
    ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=200k"), 0);
    const Result text = RunCli(std::string("scan ") + QUORVEX_SAMPLE_IMAGE + " --max-kb 64 --out " + small.string(), err);
    ::umount2(small.c_str(), MNT_DETACH);
    EXPECT_EQ(text.status, 3);
    EXPECT_NE(ReadText(err).find("more: " + found[saved.size()]), std::string::npos) << ReadText(err);
}

TEST(CliSafety, ImagingACardWithBadSectorsLeavesZerosThereAndAMapOfThem)
{
    TempDir dir;
    const fs::path image = dir.Path() / "card.img", map = dir.Path() / "card.map", err = dir.Path() / "err.txt";
    const Result result = RunCliWithFaults(SampleFaults("QUORVEX_FAULT_BAD_SECTORS=2100-2102,9000"),
                                           std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() +
                                               " --map " + map.string(),
                                           err);
    EXPECT_EQ(result.status, 3) << ReadText(err);
    auto expected = WholeFile(QUORVEX_SAMPLE_IMAGE);
    std::fill_n(expected.begin() + 2100 * 512, 3 * 512, 0);
    std::fill_n(expected.begin() + 9000 * 512, 512, 0);
    EXPECT_TRUE(WholeFile(image) == expected);
    const std::string text = ReadText(map);
    EXPECT_NE(text.find("0x00106800  0x00000600  -"), std::string::npos) << text;
    EXPECT_NE(text.find("0x00465000  0x00000200  -"), std::string::npos) << text;
    EXPECT_NE(ReadText(err).find("2048 bytes (4 sectors) could not be read"), std::string::npos) << ReadText(err);
}

TEST(CliSafety, AStoppedImagingGoesOnFromItsMapAndTheRunThatSeesTheCardGoExitsTwo)
{
    TempDir dir;
    const fs::path image = dir.Path() / "card.img", map = dir.Path() / "card.map", err = dir.Path() / "err.txt";
    const std::string args = std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() + " --map " + map.string();
    const Result gone = RunCliWithFaults(SampleFaults("QUORVEX_FAULT_GONE_AFTER=3"), args, err);
    EXPECT_EQ(gone.status, 2);
    EXPECT_NE(ReadText(err).find("went away"), std::string::npos) << ReadText(err);
    const Result resumed = RunCli(args, err);
    EXPECT_EQ(resumed.status, 0) << ReadText(err);
    EXPECT_NE(ReadText(err).find("Continued"), std::string::npos);
    EXPECT_TRUE(WholeFile(image) == WholeFile(QUORVEX_SAMPLE_IMAGE));
}

TEST(CliSafety, AnImageThatCannotGoWhereItIsToldIsRefusedWithTwoBeforeTheCardIsRead)
{
    TempDir dir;
    const fs::path err = dir.Path() / "err.txt", kept = dir.Path() / "kept.img";
    const Result missing = RunCli(std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " +
                                      (dir.Path() / "no-such-folder" / "card.img").string(), err);
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(ReadText(err).find("no such folder"), std::string::npos) << ReadText(err);
    std::ofstream(kept) << "an image of another card";
    const Result exists = RunCli(std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " + kept.string(), err);
    EXPECT_EQ(exists.status, 2);
    EXPECT_NE(ReadText(err).find("exists already"), std::string::npos) << ReadText(err);
    EXPECT_EQ(ReadText(kept), "an image of another card");
}

TEST(CliSafety, DdrescueGoesOnFromOurMapAndWeFromItsMap)
{
    if (Shell("ddrescue --version") != 0)
        GTEST_SKIP() << "GNU ddrescue is not installed";
    const auto sample = WholeFile(QUORVEX_SAMPLE_IMAGE);
    TempDir dir;
    const fs::path err = dir.Path() / "err.txt";
    // ddrescue copies the first 2 MiB; we copy the rest from its map.
    {
        const fs::path image = dir.Path() / "a.img", map = dir.Path() / "a.map";
        ASSERT_EQ(Shell(std::string("ddrescue -q -s 2Mi ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() + " " +
                        map.string()),
                  0);
        ASSERT_LT(fs::file_size(image), sample.size());
        const Result ours = RunCli(std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() + " --map " +
                                       map.string(),
                                   err);
        EXPECT_EQ(ours.status, 0) << ReadText(err);
        EXPECT_TRUE(WholeFile(image) == sample);
    }
    // We are stopped by a card that goes away; ddrescue copies the rest from our map.
    {
        const fs::path image = dir.Path() / "b.img", map = dir.Path() / "b.map";
        const Result ours = RunCliWithFaults(SampleFaults("QUORVEX_FAULT_GONE_AFTER=2"),
                                             std::string("image ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() +
                                                 " --map " + map.string(),
                                             err);
        ASSERT_EQ(ours.status, 2);
        EXPECT_EQ(Shell(std::string("ddrescue -q ") + QUORVEX_SAMPLE_IMAGE + " " + image.string() + " " + map.string()),
                  0);
        EXPECT_TRUE(WholeFile(image) == sample);
        EXPECT_NE(ReadText(map).find("+"), std::string::npos);
    }
}
