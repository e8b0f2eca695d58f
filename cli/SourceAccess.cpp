#include "SourceAccess.h"

#include "DeviceAccess.h"
#include "FileVolumeSource.h"
#include "InvokingUser.h"

#include <iostream>
#include <memory>

namespace quorvex::cli {

std::optional<VolumeOpener> OpenerForSource(const std::string& path)
{
    const VolumeOpenResult opened = FileVolumeSource::Open(path);
    if (opened.ok() || opened.failure != OpenFailure::PermissionDenied || !access::IsBlockDevice(path))
        return OpenerForPath(path);

    std::cerr << "quorvex-cli: " << path << " needs permission to be read; asking the system for it ...\n";
    access::AccessReply reply = access::RequestReadAccess(path, access::DefaultAccessOptions());
    if (reply.outcome == access::AccessOutcome::Granted) {
        auto device = std::make_shared<GrantedDevice>();
        device->path = path;
        device->fd = std::move(reply.fd);
        return OpenerForGrantedDevice(std::move(device));
    }
    std::cerr << "quorvex-cli: cannot read " << path << ": " << reply.message << ".\n"
              << access::WaysToReadWithoutAsking() << " Or run quorvex-cli with sudo.\n";
    return std::nullopt;
}

void MentionAdministratorIsNotNeeded()
{
    if (access::FindInvokingUser())
        std::cerr << "quorvex-cli: running as administrator is not needed: a drive you may not read is asked for "
                     "when it is needed; what is saved here is given to you.\n";
}

void GiveSavedFilesToUser(const std::string& path)
{
    if (const auto user = access::FindInvokingUser())
        access::GiveToInvokingUser(*user, path);
}

}  // namespace quorvex::cli
