#pragma once

#include "VolumeSource.h"

#include <optional>
#include <string>

namespace quorvex::cli {

// How the CLI reads its source: straight from the path when it may, otherwise (a block device it
// has no rights to) through a read-only descriptor the system grants on request. Nothing when the
// request was refused: the reason and the ways to get access are on stderr by then (status 2).
// Any other failure to open gives the path's own opener, whose runs report it as before.
std::optional<VolumeOpener> OpenerForSource(const std::string& path);

// Says once on stderr that running as administrator is not needed, when this process runs so
// through sudo or pkexec; the files it saves are given to that user (GiveSavedFilesToUser).
void MentionAdministratorIsNotNeeded();

// Gives what was saved at `path` to the person who ran quorvex-cli through sudo or pkexec, when it
// lies in their home.
void GiveSavedFilesToUser(const std::string& path);

}  // namespace quorvex::cli
