#include "AccessTestSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <mutex>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <vector>

namespace quorvex::testing {

namespace {

std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char chunk[256];
        while (std::fgets(chunk, sizeof chunk, pipe))
            text += chunk;
        ::pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

}  // namespace

LoopDevice::LoopDevice()
{
    if (::geteuid() != 0)
        return;
    const std::string image = (folder_.Path() / "card.img").string();
    {
        std::vector<char> bytes(1 << 20);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes[i] = static_cast<char>(i & 0xFF);
        std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    device_ = Output("losetup --find --show '" + image + "' 2>/dev/null");
    if (device_.rfind("/dev/", 0) != 0)
        device_.clear();
}

LoopDevice::~LoopDevice()
{
    if (!device_.empty())
        std::system(("losetup -d '" + device_ + "' 2>/dev/null").c_str());
}

PrivateBus::PrivateBus()
{
    int out[2];
    if (::pipe(out) != 0)
        return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        ::execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(out[1]);
    char chunk[512];
    std::string line;
    for (ssize_t n; line.find('\n') == std::string::npos && (n = ::read(out[0], chunk, sizeof chunk)) > 0;)
        line.append(chunk, static_cast<std::size_t>(n));
    ::close(out[0]);
    if (const auto end = line.find('\n'); end != std::string::npos)
        address_ = line.substr(0, end);
}

PrivateBus::~PrivateBus()
{
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

struct FakeDiskService::State {
    State(FakeDiskService* o, std::string f) : owner(o), file(std::move(f)) {}
    FakeDiskService* owner;
    std::string file;
    sd_bus* bus = nullptr;
    std::atomic<bool> quit{false};
    std::mutex mutex;
    std::string lastObject;
};

namespace {

int ResolveDevice(sd_bus_message* call, void*, sd_bus_error*)
{
    const char* key = nullptr;
    const char* path = nullptr;
    if (sd_bus_message_enter_container(call, 'a', "{sv}") < 0 || sd_bus_message_enter_container(call, 'e', "sv") < 0 ||
        sd_bus_message_read(call, "s", &key) < 0 || sd_bus_message_read(call, "v", "s", &path) < 0)
        return -EINVAL;
    std::string name = path;
    // A device the service does not manage resolves to no object at all.
    if (name.ends_with("unmanaged"))
        name = "/org/freedesktop/UDisks2/drives/none";
    else
        name = "/org/freedesktop/UDisks2/block_devices/fake_" + name.substr(name.find_last_of('/') + 1);
    sd_bus_message* reply = nullptr;
    sd_bus_message_new_method_return(call, &reply);
    sd_bus_message_append(reply, "ao", 1, name.c_str());
    const int result = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return result;
}

int OpenForBackup(sd_bus_message* call, void* data, sd_bus_error* error)
{
    auto* state = static_cast<FakeDiskService::State*>(data);
    {
        std::lock_guard lock(state->mutex);
        state->lastObject = sd_bus_message_get_path(call);
    }
    state->owner->LastInteractiveSet(sd_bus_message_get_allow_interactive_authorization(call) > 0);
    switch (state->owner->answer.load()) {
    case FakeDiskService::Answer::NotAuthorized:
        return sd_bus_error_set(error, "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", "dismissed");
    case FakeDiskService::Answer::TooLate:
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        break;
    default:
        break;
    }
    const bool writable = state->owner->answer.load() == FakeDiskService::Answer::WritableDescriptor;
    const int fd = ::open(state->file.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    const int result = sd_bus_reply_method_return(call, "h", fd);
    ::close(fd);
    return result;
}

const sd_bus_vtable kManager[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("ResolveDevice", "a{sv}a{sv}", "ao", ResolveDevice, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kBlock[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("OpenForBackup", "a{sv}", "h", OpenForBackup, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

FakeDiskService::FakeDiskService(const std::string& busAddress, std::string file, bool resolvesDevices)
    : state_(new State(this, std::move(file)))
{
    sd_bus*& bus = state_->bus;
    if (busAddress.empty() || sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, busAddress.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 || sd_bus_start(bus) < 0)
        return;
    if ((resolvesDevices &&
         sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/UDisks2/Manager", "org.freedesktop.UDisks2.Manager",
                                  kManager, state_) < 0) ||
        sd_bus_add_fallback_vtable(bus, nullptr, "/org/freedesktop/UDisks2/block_devices",
                                   "org.freedesktop.UDisks2.Block", kBlock, nullptr, state_) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.UDisks2", 0) < 0)
        return;
    ready_ = true;
    thread_ = std::thread([this] {
        while (!state_->quit.load()) {
            const int r = sd_bus_process(state_->bus, nullptr);
            if (r < 0)
                break;
            if (r == 0)
                sd_bus_wait(state_->bus, 100000);
        }
    });
}

FakeDiskService::~FakeDiskService()
{
    state_->quit.store(true);
    if (thread_.joinable())
        thread_.join();
    sd_bus_flush_close_unref(state_->bus);
    delete state_;
}

std::string FakeDiskService::LastObject()
{
    std::lock_guard lock(state_->mutex);
    return state_->lastObject;
}

}  // namespace quorvex::testing
