#include "ListCommand.h"

#include "ExitStatus.h"
#include "VolumeLister.h"

#include <iostream>
#include <nlohmann/json.hpp>

namespace quorvex::cli {

int RunListCommand(bool json, const std::filesystem::path& sysClassBlock)
{
    const std::vector<VolumeDescription> volumes = VolumeLister(sysClassBlock).List();
    for (const VolumeDescription& volume : volumes) {
        if (json) {
            nlohmann::ordered_json line;
            line["kind"] = VolumeKindName(volume.kind);
            line["device"] = volume.path;
            line["size_bytes"] = volume.sizeBytes ? nlohmann::ordered_json(*volume.sizeBytes) : nullptr;
            line["label"] = volume.RowText();
            std::cout << line.dump() << '\n';
        } else {
            std::cout << VolumeKindName(volume.kind) << '\t' << volume.path << '\t'
                      << (volume.sizeBytes ? std::to_string(*volume.sizeBytes) : "-") << '\t' << volume.RowText()
                      << '\n';
        }
    }
    return kExitDone;
}

}  // namespace quorvex::cli
