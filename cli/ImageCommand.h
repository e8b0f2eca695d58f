#pragma once

#include <string>

namespace quorvex::cli {

struct ImageCommandOptions {
    std::string source;   // a block device or an image file
    std::string image;    // the image file to write
    std::string map;      // GNU ddrescue-format map; empty: none
};

// Copies the source into the image as failing cards need, with progress on stderr. Returns the
// exit status: 0 complete, 3 some sectors unreadable (zeros in the image), 2 the source cannot be
// opened or went away, the image path is refused, or the map cannot be continued, 130 stopped
// by Ctrl-C (the map holds where it got to).
int RunImageCommand(const ImageCommandOptions& options);

}  // namespace quorvex::cli
