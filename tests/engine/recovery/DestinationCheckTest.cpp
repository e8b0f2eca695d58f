// Where saved files may go: a writable folder whose file system does not live on the device
// being recovered from. Devices and mounts come from fake trees; the folders are real.
#include "DestinationCheck.h"
#include "FakeSysfs.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace quorvex;
using namespace quorvex::testing;
namespace fs = std::filesystem;

namespace {

// A machine with two disks: sda (sda1 holds the home folders) and the card sdb (sdb1, sdb2); a
// mapped device on sdb1, a loop device over sdb2, and a loop device over a disk image file.
struct Machine {
    FakeSysfs sys;
    TempFolder root;
    SystemTables tables;
    fs::path image;

    Machine()
    {
        sys.AddDisk("pci0/ata1", "sda", 1000000, 0, "8:0");
        sys.AddPartition("pci0/ata1", "sda", "sda1", 900000, "8:1");
        sys.AddDisk("usb1/host2", "sdb", 64000, 1, "8:16");
        sys.AddPartition("usb1/host2", "sdb", "sdb1", 30000, "8:17");
        sys.AddPartition("usb1/host2", "sdb", "sdb2", 30000, "8:18");
        const fs::path dm = sys.AddDisk("virtual", "dm-0", 30000, 0, "254:0");
        sys.AddMember(dm, "sdb1");
        const fs::path loop0 = sys.AddDisk("virtual", "loop0", 30000, 0, "7:0");
        sys.SetBackingFile(loop0, "/dev/sdb2");
        image = root / "home/card.img";
        fs::create_directories(root / "home");
        std::ofstream(image) << "an image of a card";
        const fs::path loop1 = sys.AddDisk("virtual", "loop1", 8, 0, "7:1");
        sys.SetBackingFile(loop1, image.string());

        // Each "file system" is a real folder; the mount table says which device holds it.
        const std::pair<const char*, const char*> mounts[] = {
            {"home", "8:1"}, {"card", "8:17"}, {"card two", "8:18"}, {"crypt", "254:0"},
            {"loop", "7:0"}, {"inside-image", "7:1"}, {"whole-card", "8:16"}};
        std::ofstream table(root / "mountinfo");
        int id = 20;
        for (const auto& [folder, device] : mounts) {
            fs::create_directories(root / folder);
            std::string point = (root / folder).string();
            for (std::size_t at = point.find(' '); at != std::string::npos; at = point.find(' '))
                point.replace(at, 1, "\\040");
            table << id++ << " 1 " << device << " / " << point << " rw,relatime - ext4 /dev/x rw\n";
        }
        tables.sysClassBlock = sys.ClassBlock();
        tables.mountInfo = root / "mountinfo";
    }

    DestinationCheck Check(const std::string& folder, const std::string& source) const
    {
        return CheckDestination((root / folder).string(), source, tables);
    }
};

}  // namespace

TEST(DestinationCheck, AFolderOnAnotherDiskIsFine)
{
    Machine m;
    EXPECT_TRUE(m.Check("home", "/dev/sdb1").ok());
    EXPECT_TRUE(m.Check("home/rescued/2026", "/dev/sdb1").ok());  // made when saving
    EXPECT_FALSE(fs::exists(m.root / "home/rescued"));                  // the check made nothing
    EXPECT_EQ(DeviceHoldingPath(m.root / "card two/x", m.tables), "sdb2");
}

TEST(DestinationCheck, TheSourceAndEverythingBuiltOnItsDiskAreRefused)
{
    Machine m;
    const DestinationCheck same = m.Check("card/out", "/dev/sdb1");
    EXPECT_EQ(same.problem, DestinationProblem::OnTheSource);
    EXPECT_NE(same.reason.find("sdb1"), std::string::npos);
    EXPECT_NE(same.reason.find("overwrite"), std::string::npos);
    EXPECT_EQ(m.Check("card two", "/dev/sdb1").problem, DestinationProblem::OnTheSource);   // same disk
    EXPECT_EQ(m.Check("card", "/dev/sdb").problem, DestinationProblem::OnTheSource);        // a partition of it
    EXPECT_EQ(m.Check("whole-card", "/dev/sdb1").problem, DestinationProblem::OnTheSource);  // the disk itself
    EXPECT_EQ(m.Check("crypt", "/dev/sdb1").problem, DestinationProblem::OnTheSource);      // mapped on it
    EXPECT_EQ(m.Check("loop", "/dev/sdb2").problem, DestinationProblem::OnTheSource);       // a loop over it
    EXPECT_EQ(m.Check("crypt", "/dev/sdb").problem, DestinationProblem::OnTheSource);
    EXPECT_TRUE(m.Check("crypt", "/dev/sda1").ok());
}

TEST(DestinationCheck, InsideTheScannedImageIsRefusedButNextToItIsFine)
{
    Machine m;
    const DestinationCheck inside = m.Check("inside-image/out", m.image.string());
    EXPECT_EQ(inside.problem, DestinationProblem::OnTheSource);
    EXPECT_NE(inside.reason.find("loop1"), std::string::npos);
    EXPECT_TRUE(m.Check("home", m.image.string()).ok());
    EXPECT_TRUE(m.Check("inside-image", (m.root / "home/other.img").string()).ok());
}

TEST(DestinationCheck, FilesInTheWayAndFoldersThatCannotBeWrittenAreRefused)
{
    Machine m;
    std::ofstream(m.root / "home/notes.txt") << "a file";
    EXPECT_EQ(m.Check("home/notes.txt", "/dev/sdb1").problem, DestinationProblem::NotAFolder);
    const DestinationCheck under = m.Check("home/notes.txt/out", "/dev/sdb1");
    EXPECT_EQ(under.problem, DestinationProblem::NotAFolder);
    EXPECT_NE(under.reason.find("is a file"), std::string::npos);
    EXPECT_EQ(CheckDestination("", "/dev/sdb1", m.tables).problem, DestinationProblem::NotAFolder);

    // A read-only file system refuses even an administrator.
    TempFolder readOnly;
    if (::mount("tmpfs", readOnly.Path().c_str(), "tmpfs", MS_RDONLY, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    const DestinationCheck check = CheckDestination((readOnly / "out").string(), "/dev/sdb1", m.tables);
    ::umount2(readOnly.Path().c_str(), MNT_DETACH);
    EXPECT_EQ(check.problem, DestinationProblem::NotWritable);
    EXPECT_NE(check.reason.find("Read-only"), std::string::npos) << check.reason;
}
