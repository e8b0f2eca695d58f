#pragma once

// What the tests of asking for a device need: a loop device over an image of their own (root
// only), and a fake of the system's disk service on a private bus.
#include "TempFolder.h"

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

namespace quorvex::testing {

// A loop device over a 1 MiB image whose every byte is its offset's low byte; empty Path() when
// this machine cannot attach one (not root, no loop devices).
class LoopDevice {
public:
    LoopDevice();
    ~LoopDevice();
    LoopDevice(const LoopDevice&) = delete;
    LoopDevice& operator=(const LoopDevice&) = delete;
    const std::string& Path() const { return device_; }

private:
    TempFolder folder_;
    std::string device_;
};

// A private message bus (dbus-daemon), stopped when it goes; empty Address() when dbus-daemon is
// not installed.
class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    const std::string& Address() const { return address_; }

private:
    int pid_ = -1;
    std::string address_;
};

// The disk service's part that Quorvex talks to, answering as the test says: a descriptor of a
// file (read-only or writable), a refusal, or an answer too late. A device whose name ends in
// "unmanaged" resolves to an object that is not there.
class FakeDiskService {
public:
    enum class Answer { ReadOnlyDescriptor, WritableDescriptor, NotAuthorized, TooLate };
    FakeDiskService(const std::string& busAddress, std::string file, bool resolvesDevices = true);
    ~FakeDiskService();
    FakeDiskService(const FakeDiskService&) = delete;
    FakeDiskService& operator=(const FakeDiskService&) = delete;

    bool Ready() const { return ready_; }
    std::atomic<Answer> answer{Answer::ReadOnlyDescriptor};
    // The block object the last OpenForBackup was called on, and whether it allowed a password
    // dialog.
    std::string LastObject();
    bool LastInteractive() const { return lastInteractive_; }
    void LastInteractiveSet(bool interactive) { lastInteractive_ = interactive; }

    struct State;  // what the bus handlers see

private:
    State* state_;
    bool ready_ = false;
    std::atomic<bool> lastInteractive_{false};
    std::thread thread_;
};

}  // namespace quorvex::testing
