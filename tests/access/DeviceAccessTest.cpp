// Asking for a device without running as administrator: the open helper's checks and the helper
// program, the pkexec client (with a fake pkexec), the disk-service client against a fake service
// on a private bus, the descriptor source, and what a run as root gives back to its user.
#include "AccessTestSupport.h"
#include "BlockDeviceOpen.h"
#include "DescriptorPassing.h"
#include "DeviceAccess.h"
#include "FileVolumeSource.h"
#include "InvokingUser.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::access;
using quorvex::testing::TempFolder;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

int AccessMode(int fd) { return ::fcntl(fd, F_GETFL) & O_ACCMODE; }

std::string FirstBytes(int fd, std::size_t count)
{
    std::string bytes(count, '\0');
    const ssize_t n = ::pread(fd, bytes.data(), count, 0);
    bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return bytes;
}

void MakeScript(const fs::path& path, const std::string& body)
{
    WriteFile(path, "#!/bin/sh\n" + body + "\n");
    fs::permissions(path, fs::perms::owner_all);
}

}  // namespace

TEST(BlockDeviceOpen, AnythingButABlockDeviceIsRefusedBeforeItIsOpened)
{
    TempFolder folder;
    WriteFile(folder / "card.img", std::string(4096, 'x'));
    fs::create_symlink(folder / "card.img", folder / "link");
    fs::create_directory(folder / "folder");
    ASSERT_EQ(::mkfifo((folder / "fifo").c_str(), 0600), 0);
    for (const char* name : {"card.img", "link", "folder", "fifo"}) {
        const BlockOpenResult opened = OpenBlockDeviceForReading((folder / name).string());
        EXPECT_FALSE(opened.fd.Valid()) << name;
        EXPECT_EQ(opened.failure, BlockOpenFailure::NotABlockDevice) << name;
    }
    EXPECT_EQ(OpenBlockDeviceForReading((folder / "missing").string()).failure, BlockOpenFailure::NotFound);
    EXPECT_EQ(OpenBlockDeviceForReading("/dev/null").failure, BlockOpenFailure::NotABlockDevice);
}

TEST(BlockDeviceOpen, ABlockDeviceOpensReadOnlyAndAPathSwappedBeforeTheOpenIsRefused)
{
    quorvex::testing::LoopDevice loop;
    if (loop.Path().empty())
        GTEST_SKIP() << "no loop device can be attached here (needs root)";
    BlockOpenResult opened = OpenBlockDeviceForReading(loop.Path());
    ASSERT_TRUE(opened.fd.Valid()) << opened.message;
    EXPECT_EQ(AccessMode(opened.fd.Get()), O_RDONLY);
    EXPECT_EQ(::fcntl(opened.fd.Get(), F_GETFL) & O_NONBLOCK, 0);
    EXPECT_EQ(FirstBytes(opened.fd.Get(), 4), std::string("\x00\x01\x02\x03", 4));
    const char byte = 0;
    EXPECT_EQ(::pwrite(opened.fd.Get(), &byte, 1, 0), -1);

    // Through a link named like a device: checked as the device, then swapped for a file.
    TempFolder folder;
    const fs::path link = folder / "sdx";
    fs::create_symlink(loop.Path(), link);
    WriteFile(folder / "decoy", std::string(4096, 'y'));
    const BlockOpenResult swapped = OpenBlockDeviceForReading(link.string(), [&] { fs::rename(folder / "decoy", link); });
    EXPECT_FALSE(swapped.fd.Valid());
    EXPECT_EQ(swapped.failure, BlockOpenFailure::Changed);
}

TEST(OpenHelper, SendsTheDescriptorOverItsStandardOutputAndRefusesEverythingElse)
{
    // Runs the helper with a socket (or another file) as its standard output; its exit status.
    auto run = [](const std::vector<std::string>& args, bool socketOut, UniqueFd* received) {
        int sockets[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), 0);
        UniqueFd ours(sockets[0]), theirs(sockets[1]);
        int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(socketOut ? theirs.Get() : devnull, STDOUT_FILENO);
            ::dup2(devnull, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(QUORVEX_OPEN_DEVICE_HELPER_PATH)};
            for (const std::string& arg : args)
                argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(99);
        }
        ::close(devnull);
        theirs.Reset();
        int status = 0;
        ::waitpid(child, &status, 0);
        ReceivedDescriptor got = ReceiveDescriptor(ours.Get(), std::chrono::milliseconds(200));
        if (received)
            *received = std::move(got.fd);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    TempFolder folder;
    WriteFile(folder / "card.img", "not a device");
    UniqueFd fd;
    EXPECT_EQ(run({(folder / "card.img").string()}, true, &fd), 2);
    EXPECT_FALSE(fd.Valid());
    EXPECT_EQ(run({(folder / "missing").string()}, true, &fd), 3);
    EXPECT_EQ(run({}, true, &fd), 1);
    EXPECT_EQ(run({"/dev/null", "/dev/null"}, true, &fd), 1);
    EXPECT_FALSE(fd.Valid());

    quorvex::testing::LoopDevice loop;
    if (loop.Path().empty())
        GTEST_SKIP() << "no loop device can be attached here (needs root)";
    EXPECT_EQ(run({loop.Path()}, false, &fd), 1);  // standard output is not a socket
    EXPECT_EQ(run({loop.Path()}, true, &fd), 0);
    ASSERT_TRUE(fd.Valid());
    EXPECT_EQ(AccessMode(fd.Get()), O_RDONLY);
    EXPECT_EQ(FirstBytes(fd.Get(), 2), std::string("\x00\x01", 2));
}

TEST(OpenHelperClient, TakesTheDescriptorAndTellsRefusalsTimeoutsAndMissingPartsApart)
{
    TempFolder folder;
    WriteFile(folder / "card.img", "bytes of a card");
    // A pkexec that says something first and then runs the helper as it is.
    MakeScript(folder / "pkexec", "echo 'pkexec: starting' >&2\nexec \"$@\"");
    MakeScript(folder / "refusing-pkexec", "exit 126");
    MakeScript(folder / "slow-pkexec", "sleep 5");
    HelperOptions options;
    options.pkexecPath = (folder / "pkexec").string();
    options.helperPath = QUORVEX_OPEN_DEVICE_HELPER_PATH;
    options.timeout = std::chrono::milliseconds(2000);

    AccessReply reply = OpenThroughHelper((folder / "card.img").string(), options);
    EXPECT_EQ(reply.outcome, AccessOutcome::Failed);  // the helper's own refusal, its last line passed on
    EXPECT_EQ(reply.message, (folder / "card.img").string() + ": not a block device");

    options.pkexecPath = (folder / "refusing-pkexec").string();
    EXPECT_EQ(OpenThroughHelper("/dev/sdx", options).outcome, AccessOutcome::Refused);

    options.pkexecPath = (folder / "slow-pkexec").string();
    options.timeout = std::chrono::milliseconds(300);
    const auto started = std::chrono::steady_clock::now();
    reply = OpenThroughHelper("/dev/sdx", options);
    EXPECT_EQ(reply.outcome, AccessOutcome::Failed);
    EXPECT_NE(reply.message.find("in time"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

    options.pkexecPath = (folder / "no-pkexec").string();
    EXPECT_EQ(OpenThroughHelper("/dev/sdx", options).outcome, AccessOutcome::Unavailable);
    options.pkexecPath = (folder / "pkexec").string();
    options.helperPath = (folder / "no-helper").string();
    EXPECT_EQ(OpenThroughHelper("/dev/sdx", options).outcome, AccessOutcome::Unavailable);

    quorvex::testing::LoopDevice loop;
    if (loop.Path().empty())
        GTEST_SKIP() << "no loop device can be attached here (needs root)";
    options.helperPath = QUORVEX_OPEN_DEVICE_HELPER_PATH;
    options.timeout = std::chrono::milliseconds(5000);
    reply = OpenThroughHelper(loop.Path(), options);
    ASSERT_EQ(reply.outcome, AccessOutcome::Granted) << reply.message;
    EXPECT_EQ(AccessMode(reply.fd.Get()), O_RDONLY);
}

TEST(UDisksClient, AGrantedDescriptorIsReadOnlyAndRefusalsTimeoutsAndAMissingServiceAreToldApart)
{
    quorvex::testing::PrivateBus bus;
    if (bus.Address().empty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    TempFolder folder;
    WriteFile(folder / "card.img", "the card's bytes");
    UDisksOptions options;
    options.busAddress = bus.Address();
    options.timeout = std::chrono::milliseconds(3000);

    // Nobody owns the service's name yet: not there, so the helper would be tried next.
    EXPECT_EQ(OpenThroughUDisks("/dev/sdx", options).outcome, AccessOutcome::Unavailable);

    {
        quorvex::testing::FakeDiskService service(bus.Address(), (folder / "card.img").string());
        ASSERT_TRUE(service.Ready());
        AccessReply reply = OpenThroughUDisks("/dev/sdx", options);
        ASSERT_EQ(reply.outcome, AccessOutcome::Granted) << reply.message;
        EXPECT_EQ(AccessMode(reply.fd.Get()), O_RDONLY);
        EXPECT_EQ(FirstBytes(reply.fd.Get(), 3), "the");
        EXPECT_EQ(service.LastObject(), "/org/freedesktop/UDisks2/block_devices/fake_sdx");  // as the service resolved it
        EXPECT_TRUE(service.LastInteractive());

        service.answer = quorvex::testing::FakeDiskService::Answer::WritableDescriptor;
        reply = OpenThroughUDisks("/dev/sdx", options);
        EXPECT_EQ(reply.outcome, AccessOutcome::Failed);
        EXPECT_FALSE(reply.fd.Valid());

        service.answer = quorvex::testing::FakeDiskService::Answer::NotAuthorized;
        EXPECT_EQ(OpenThroughUDisks("/dev/sdx", options).outcome, AccessOutcome::Refused);

        service.answer = quorvex::testing::FakeDiskService::Answer::TooLate;
        options.timeout = std::chrono::milliseconds(300);
        reply = OpenThroughUDisks("/dev/sdx", options);
        EXPECT_EQ(reply.outcome, AccessOutcome::Failed);
        EXPECT_NE(reply.message.find("in time"), std::string::npos) << reply.message;
        options.timeout = std::chrono::milliseconds(3000);
        options.interactive = false;
        service.answer = quorvex::testing::FakeDiskService::Answer::ReadOnlyDescriptor;
        EXPECT_EQ(OpenThroughUDisks("/dev/sdx", options).outcome, AccessOutcome::Granted);
        EXPECT_FALSE(service.LastInteractive());
        // A device the service does not manage: not there for it either.
        EXPECT_EQ(OpenThroughUDisks("/dev/unmanaged", options).outcome, AccessOutcome::Unavailable);
    }
    // A service without ResolveDevice: the object path is the one it gives every device.
    quorvex::testing::FakeDiskService older(bus.Address(), (folder / "card.img").string(), false);
    ASSERT_TRUE(older.Ready());
    EXPECT_EQ(OpenThroughUDisks("/dev/dm-0", options).outcome, AccessOutcome::Granted);
    EXPECT_EQ(older.LastObject(), "/org/freedesktop/UDisks2/block_devices/dm_2d0");

    // No bus at all.
    options.busAddress = "unix:path=" + (folder / "no-bus").string();
    EXPECT_EQ(OpenThroughUDisks("/dev/sdx", options).outcome, AccessOutcome::Unavailable);
}

TEST(DeviceAccess, TheHelperIsTriedOnlyWhenTheDiskServiceIsNotThere)
{
    quorvex::testing::PrivateBus bus;
    if (bus.Address().empty())
        GTEST_SKIP() << "dbus-daemon is not installed";
    TempFolder folder;
    WriteFile(folder / "card.img", "not a device");
    const fs::path tried = folder / "pkexec-ran";
    MakeScript(folder / "pkexec", "touch '" + tried.string() + "'\nexec \"$@\"");
    AccessOptions options;
    options.udisks.busAddress = bus.Address();
    options.udisks.timeout = std::chrono::milliseconds(3000);
    options.helper.pkexecPath = (folder / "pkexec").string();
    options.helper.helperPath = QUORVEX_OPEN_DEVICE_HELPER_PATH;

    // No disk service: the helper is asked, and what it says comes back.
    AccessReply reply = RequestReadAccess((folder / "card.img").string(), options);
    EXPECT_TRUE(fs::exists(tried));
    EXPECT_EQ(reply.outcome, AccessOutcome::Failed);
    EXPECT_NE(reply.message.find("not a block device"), std::string::npos) << reply.message;
    fs::remove(tried);

    // The service says no: that is the answer, the helper is not asked behind its back.
    quorvex::testing::FakeDiskService service(bus.Address(), (folder / "card.img").string());
    ASSERT_TRUE(service.Ready());
    service.answer = quorvex::testing::FakeDiskService::Answer::NotAuthorized;
    EXPECT_EQ(RequestReadAccess("/dev/sdx", options).outcome, AccessOutcome::Refused);
    EXPECT_FALSE(fs::exists(tried));

    // Neither is there: both reasons are told.
    options.udisks.busAddress = "unix:path=" + (folder / "no-bus").string();
    options.helper.pkexecPath = (folder / "no-pkexec").string();
    reply = RequestReadAccess("/dev/sdx", options);
    EXPECT_EQ(reply.outcome, AccessOutcome::Unavailable);
    EXPECT_NE(reply.message.find("system bus"), std::string::npos) << reply.message;
    EXPECT_NE(reply.message.find("pkexec"), std::string::npos) << reply.message;
}

TEST(DeviceAccess, OnlyBlockDevicesAreAskedForAndTheHelperCanBeNamedForTests)
{
    TempFolder folder;
    WriteFile(folder / "card.img", "an image");
    EXPECT_FALSE(IsBlockDevice((folder / "card.img").string()));
    EXPECT_FALSE(IsBlockDevice((folder / "missing").string()));
    EXPECT_FALSE(IsBlockDevice("/dev/null"));
    quorvex::testing::LoopDevice loop;
    if (!loop.Path().empty()) {
        EXPECT_TRUE(IsBlockDevice(loop.Path()));
    }

    ::unsetenv("QUORVEX_OPEN_DEVICE_HELPER");
    const std::string installed = DefaultAccessOptions().helper.helperPath;
    EXPECT_TRUE(installed.ends_with("/quorvex/quorvex-open-device")) << installed;
    ::setenv("QUORVEX_OPEN_DEVICE_HELPER", "/build/access/quorvex-open-device", 1);
    EXPECT_EQ(DefaultAccessOptions().helper.helperPath, "/build/access/quorvex-open-device");
    ::setenv("QUORVEX_OPEN_DEVICE_HELPER", "", 1);
    EXPECT_EQ(DefaultAccessOptions().helper.helperPath, installed);
    ::unsetenv("QUORVEX_OPEN_DEVICE_HELPER");
}

TEST(GrantedDevice, EveryRunReadsADuplicateAndADescriptorThatCouldWriteIsRefused)
{
    TempFolder folder;
    WriteFile(folder / "card.img", std::string(2048, 'c'));
    auto device = std::make_shared<GrantedDevice>();
    device->path = "/dev/sdx";
    device->fd.Reset(::open((folder / "card.img").c_str(), O_RDONLY | O_CLOEXEC));
    const VolumeOpener opener = OpenerForGrantedDevice(device);
    VolumeOpenResult first = opener(), second = opener();
    ASSERT_TRUE(first.ok() && second.ok());
    first.source.reset();  // one run ending closes its copy only
    unsigned char byte = 0;
    EXPECT_EQ(second.source->ReadAt(2047, {&byte, 1}).bytesRead, 1u);
    EXPECT_EQ(byte, 'c');
    EXPECT_EQ(second.source->SizeBytes(), 2048u);

    // An offset past what a file offset can hold is refused before the device is asked.
    EXPECT_EQ(second.source->ReadAt(std::uint64_t(1) << 63, {&byte, 1}).error, EOVERFLOW);

    VolumeOpenResult writable = FileVolumeSource::FromDescriptor(
        UniqueFd(::open((folder / "card.img").c_str(), O_RDWR | O_CLOEXEC)), "/dev/sdx");
    EXPECT_FALSE(writable.ok());
    EXPECT_NE(writable.message.find("for writing"), std::string::npos);
}

TEST(InvokingUser, OnlyARootProcessStartedBySudoOrPkexecHasOne)
{
    static std::map<std::string, std::string> variables;
    const auto getenv = +[](const char* name) -> const char* {
        const auto found = variables.find(name);
        return found == variables.end() ? nullptr : found->second.c_str();
    };
    variables = {{"SUDO_UID", "0"}};
    EXPECT_FALSE(FindInvokingUser(0, getenv));  // root itself
    variables = {{"SUDO_UID", "12x"}};
    EXPECT_FALSE(FindInvokingUser(0, getenv));
    variables = {};
    EXPECT_FALSE(FindInvokingUser(0, getenv));
    // Uid 0's account exists on every machine; a uid of an account that does not is nobody.
    variables = {{"PKEXEC_UID", "4000000000"}};
    EXPECT_FALSE(FindInvokingUser(0, getenv));

    const passwd* account = ::getpwnam("nobody");
    if (account == nullptr)
        GTEST_SKIP() << "no 'nobody' account here";
    const std::string uid = std::to_string(account->pw_uid);
    variables = {{"SUDO_UID", uid}, {"SUDO_GID", "4242"}};
    std::optional<InvokingUser> user = FindInvokingUser(0, getenv);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->uid, account->pw_uid);
    EXPECT_EQ(user->gid, 4242u);
    EXPECT_EQ(user->home, fs::path(account->pw_dir));
    EXPECT_FALSE(FindInvokingUser(1000, getenv));  // not running as root: nothing to give back
    variables = {{"PKEXEC_UID", uid}};
    user = FindInvokingUser(0, getenv);
    ASSERT_TRUE(user);
    EXPECT_EQ(user->gid, account->pw_gid);
}

TEST(InvokingUser, WhatRootSavedInTheUsersHomeBecomesTheirsAndNothingElseChanges)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "changing owners needs root";
    TempFolder home, elsewhere;
    InvokingUser user{4242, 4343, home.Path()};
    fs::create_directories(home / "rescued/recoverd/JPG");
    WriteFile(home / "rescued/recoverd/JPG/FoundFileJPG1.JPG", "photo");
    WriteFile(home / "theirs.txt", "someone else's");
    ASSERT_EQ(::chown((home / "theirs.txt").c_str(), 777, 777), 0);
    fs::create_directory(home / "rescued/recoverd/PNG");
    WriteFile(elsewhere / "outside.txt", "outside");
    fs::create_symlink(elsewhere / "outside.txt", home / "rescued/recoverd/PNG/link");

    auto owner = [](const fs::path& path) {
        struct stat info {};
        ::lstat(path.c_str(), &info);
        return std::pair<uid_t, gid_t>(info.st_uid, info.st_gid);
    };
    EXPECT_EQ(GiveToInvokingUser(user, home / "rescued/recoverd"), 4u);  // two folders, a file, and PNG
    EXPECT_EQ(owner(home / "rescued/recoverd"), std::make_pair(uid_t(4242), gid_t(4343)));
    EXPECT_EQ(owner(home / "rescued/recoverd/JPG/FoundFileJPG1.JPG"), std::make_pair(uid_t(4242), gid_t(4343)));
    EXPECT_EQ(owner(home / "rescued").first, 0u);  // only what was asked
    EXPECT_EQ(owner(elsewhere / "outside.txt").first, 0u);  // a link is not followed
    EXPECT_EQ(owner(home / "rescued/recoverd/PNG/link").first, 0u);
    EXPECT_EQ(GiveToInvokingUser(user, home / "theirs.txt"), 0u);
    EXPECT_EQ(owner(home / "theirs.txt").first, 777u);
    EXPECT_EQ(GiveToInvokingUser(user, elsewhere / "outside.txt"), 0u);  // outside the home
    // A home of "/" would be every file of the machine: nothing is given.
    EXPECT_EQ(GiveToInvokingUser(InvokingUser{4242, 4343, "/"}, elsewhere / "outside.txt"), 0u);
    EXPECT_EQ(GiveToInvokingUser(user, home / "rescued/recoverd/../../../" / elsewhere.Path().filename() / "outside.txt"), 0u);
    EXPECT_EQ(owner(elsewhere / "outside.txt").first, 0u);
}
