#pragma once

#include <filesystem>

namespace quorvex::cli {

// Prints the volumes the drive page would list: one "kind<TAB>device<TAB>size in bytes<TAB>row
// text" line each, or one JSON object per line. Returns the exit status.
int RunListCommand(bool json, const std::filesystem::path& sysClassBlock);

}  // namespace quorvex::cli
