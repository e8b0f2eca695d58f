#include "UDisksClient.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <systemd/sd-bus.h>

namespace quorvex::access {

namespace {

constexpr const char* kService = "org.freedesktop.UDisks2";

// sd-bus objects released when they go.
struct Bus {
    sd_bus* bus = nullptr;
    ~Bus() { sd_bus_flush_close_unref(bus); }
};
struct Message {
    sd_bus_message* message = nullptr;
    ~Message() { sd_bus_message_unref(message); }
};
struct Error {
    sd_bus_error error{};  // all null: SD_BUS_ERROR_NULL, without its C99 compound literal
    ~Error() { sd_bus_error_free(&error); }
    bool Is(const char* name) const { return sd_bus_error_has_name(&error, name) != 0; }
};

// What a failed call says for the user, and whether the answer is "no" or "not here".
AccessReply ReplyForError(const Error& error, int result)
{
    if (error.Is("org.freedesktop.UDisks2.Error.NotAuthorized") ||
        error.Is("org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain") ||
        error.Is("org.freedesktop.UDisks2.Error.NotAuthorizedDismissed") ||
        error.Is("org.freedesktop.DBus.Error.AccessDenied") ||
        error.Is("org.freedesktop.DBus.Error.InteractiveAuthorizationRequired"))
        return Refusal(AccessOutcome::Refused, "the system did not allow Quorvex to read the drive");
    if (error.Is("org.freedesktop.DBus.Error.ServiceUnknown") || error.Is("org.freedesktop.DBus.Error.NameHasNoOwner") ||
        error.Is("org.freedesktop.DBus.Error.UnknownMethod") || error.Is("org.freedesktop.DBus.Error.UnknownObject") ||
        error.Is("org.freedesktop.DBus.Error.UnknownInterface") ||
        (error.error.name != nullptr && std::strncmp(error.error.name, "org.freedesktop.DBus.Error.Spawn.", 33) == 0))
        return Refusal(AccessOutcome::Unavailable, "the system's disk service (UDisks2) is not running");
    if (result == -ETIMEDOUT || error.Is("org.freedesktop.DBus.Error.NoReply") || error.Is("org.freedesktop.DBus.Error.Timeout"))
        return Refusal(AccessOutcome::Failed, "the system's disk service did not answer in time");
    const char* said = error.error.message != nullptr ? error.error.message : std::strerror(-result);
    return Refusal(AccessOutcome::Failed, std::string("the system's disk service could not open the drive: ") + said);
}

int Connect(Bus& bus, const std::string& address)
{
    if (address.empty())
        return sd_bus_open_system(&bus.bus);
    int result = sd_bus_new(&bus.bus);
    if (result >= 0)
        result = sd_bus_set_address(bus.bus, address.c_str());
    if (result >= 0)
        result = sd_bus_set_bus_client(bus.bus, 1);
    if (result >= 0)
        result = sd_bus_start(bus.bus);
    return result;
}

// The disk service's name for a block device: its own answer (ResolveDevice), else the object
// path it gives every device (block_devices/<kernel name>, characters outside [A-Za-z0-9]
// written as _xx).
std::string ObjectPathOf(sd_bus* bus, const std::string& devicePath, std::uint64_t timeoutUs)
{
    Message call, reply;
    Error error;
    if (sd_bus_message_new_method_call(bus, &call.message, kService, "/org/freedesktop/UDisks2/Manager",
                                       "org.freedesktop.UDisks2.Manager", "ResolveDevice") >= 0 &&
        sd_bus_message_append(call.message, "a{sv}", 1, "path", "s", devicePath.c_str()) >= 0 &&
        sd_bus_message_append(call.message, "a{sv}", 0) >= 0 &&
        sd_bus_call(bus, call.message, timeoutUs, &error.error, &reply.message) >= 0 &&
        sd_bus_message_enter_container(reply.message, 'a', "o") >= 0) {
        const char* path = nullptr;
        if (sd_bus_message_read(reply.message, "o", &path) > 0 && path != nullptr)
            return path;
    }
    std::string name = devicePath.substr(devicePath.find_last_of('/') + 1);
    std::string path = "/org/freedesktop/UDisks2/block_devices/";
    for (const unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            path += static_cast<char>(c);
        } else {
            static const char* const digits = "0123456789abcdef";
            path += '_';
            path += digits[c >> 4];
            path += digits[c & 15];
        }
    }
    return path;
}

}  // namespace

AccessReply OpenThroughUDisks(const std::string& devicePath, const UDisksOptions& options)
{
    Bus bus;
    if (const int result = Connect(bus, options.busAddress); result < 0)
        return Refusal(AccessOutcome::Unavailable, std::string("there is no system bus here: ") + std::strerror(-result));
    const std::uint64_t timeoutUs = static_cast<std::uint64_t>(options.timeout.count()) * 1000;

    const std::string object = ObjectPathOf(bus.bus, devicePath, timeoutUs);
    Message call, reply;
    Error error;
    int result = sd_bus_message_new_method_call(bus.bus, &call.message, kService, object.c_str(),
                                                "org.freedesktop.UDisks2.Block", "OpenForBackup");
    if (result >= 0)
        result = sd_bus_message_set_allow_interactive_authorization(call.message, options.interactive ? 1 : 0);
    if (result >= 0)
        result = options.interactive ? sd_bus_message_append(call.message, "a{sv}", 0)
                                     : sd_bus_message_append(call.message, "a{sv}", 1, "auth.no_user_interaction", "b", 1);
    if (result >= 0)
        result = sd_bus_call(bus.bus, call.message, timeoutUs, &error.error, &reply.message);
    if (result < 0)
        return ReplyForError(error, result);

    int fd = -1;
    if (sd_bus_message_read(reply.message, "h", &fd) <= 0 || fd < 0)
        return Refusal(AccessOutcome::Failed, "the system's disk service sent no descriptor");
    // The descriptor belongs to the reply: keep a copy of our own.
    AccessReply granted;
    granted.fd.Reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!granted.fd.Valid())
        return Refusal(AccessOutcome::Failed, std::string("keeping the drive's descriptor: ") + std::strerror(errno));
    if (!OpenedReadOnly(granted.fd.Get()))
        return Refusal(AccessOutcome::Failed, "the system's disk service opened the drive for writing; it was not used");
    granted.outcome = AccessOutcome::Granted;
    return granted;
}

}  // namespace quorvex::access
