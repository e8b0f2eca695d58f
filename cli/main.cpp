// quorvex-cli: lists volumes, scans a volume or a disk image for lost pictures and saves them.
#include "ExitStatus.h"
#include "ImageCommand.h"
#include "ListCommand.h"
#include "MemoryTuning.h"
#include "ScanCommand.h"
#include "SourceAccess.h"

#include <CLI/CLI.hpp>
#include <cstdlib>

#ifndef QUORVEX_VERSION
#define QUORVEX_VERSION "0"
#endif

int main(int argc, char** argv)
{
    using namespace quorvex::cli;
    quorvex::KeepFreedMemoryForReuse();

    CLI::App app{"Quorvex finds lost or deleted pictures on a card, a disk or a disk image.", "quorvex-cli"};
    app.set_version_flag("--version", "quorvex-cli " QUORVEX_VERSION);
    app.require_subcommand(1);
    app.footer("Exit status: 0 done, 1 bad usage, 2 the source cannot be opened (or the destination is refused),\n"
               "3 some files could not be written or saved (image: some sectors could not be read), 4 the scan\n"
               "ran out of memory, 130 stopped by Ctrl-C.");

    bool listJson = false;
    std::string sysClassBlock = "/sys/class/block";
    CLI::App* list = app.add_subcommand("list", "List the volumes that can be scanned");
    list->add_flag("--json", listJson, "One JSON object per line");
    list->add_option("--sys-block", sysClassBlock, "Where the kernel lists block devices")->group("");

    ScanCommandOptions scan;
    CLI::App* scanCommand = app.add_subcommand("scan", "Scan a device or a disk image for found files");
    scanCommand->add_option("SOURCE", scan.source, "A block device (/dev/sdb1) or a disk image file")->required();
    scanCommand->add_option("--types", scan.types, "Types to look for, e.g. JPG,BMP (default: all)")->delimiter(',');
    scanCommand->add_option("--prefix", scan.prefix, "File-name prefix; each type adds its token (default FoundFile)");
    scanCommand->add_option("--max-kb", scan.maxKb,
                            "Maximum size in KiB copied per found file: N for all types or TOKEN=N (default 20480)")
        ->allow_extra_args(false);
    scanCommand->add_option("--out", scan.outputFolder, "Save every found file under DIR/recoverd/<TOKEN>/");
    scanCommand->add_flag("--json", scan.json, "One JSON object per found file, then a summary");
    scanCommand->add_option("--session", scan.session,
                            "Keep the scan's state in FILE as it goes; if FILE holds a scan of this source with "
                            "these options that did not end, go on from where it stopped");
    scanCommand->add_flag("--exact", scan.exact,
                          "Exact recovery: validated headers, each file's real end, and a verdict per file "
                          "(complete, reassembled, damaged, truncated)");
    scanCommand->add_flag("--no-reassembly", [&scan](std::int64_t) { scan.reassemble = false; },
                          "Exact recovery: leave damaged photos as found instead of searching the card for the "
                          "pieces that make them whole");
    auto addPhotoOptions = [](CLI::App* command, PhotoOptions& photos) {
        command->add_flag("--name-by-date", photos.nameByDate,
                          "Exact recovery: save a photo that knows when it was taken as YYYY-MM-DD_HH-MM-SS.<TOKEN>, "
                          "its file times set to that time");
        command->add_flag("--skip-duplicates", photos.skipDuplicates,
                          "Exact recovery: save each photo once, leaving out the copies of it the card holds");
        command->add_flag("--keep-names", [&photos](std::int64_t) { photos.keepNames = true; },
                          "Exact recovery (the default there): save a file the card's file system still names as "
                          "recoverd/<its folder on the card>/<its name>, with its time");
        command->add_flag("--found-names", [&photos](std::int64_t) { photos.keepNames = false; },
                          "Exact recovery: save every file under its found name in recoverd/<TOKEN>/");
    };
    addPhotoOptions(scanCommand, scan.photos);

    ResultsCommandOptions results;
    CLI::App* resultsCommand =
        app.add_subcommand("results", "List (and save) the files a scan's session file holds, without scanning again");
    resultsCommand->add_option("FILE", results.session, "A session file written by scan --session")->required();
    resultsCommand->add_option("--types", results.types, "Only these types, e.g. JPG,BMP")->delimiter(',');
    resultsCommand->add_option("--out", results.outputFolder, "Save the files under DIR/recoverd/<TOKEN>/");
    resultsCommand->add_flag("--json", results.json, "One JSON object per found file, then a summary");
    addPhotoOptions(resultsCommand, results.photos);

    ImageCommandOptions image;
    CLI::App* imageCommand = app.add_subcommand(
        "image", "Copy a device into an image file the way a failing card needs, then scan the image");
    imageCommand->add_option("SOURCE", image.source, "The device to copy (/dev/sdb1), read-only")->required();
    imageCommand->add_option("IMAGE", image.image, "The image file to write")->required();
    imageCommand->add_option("--map", image.map,
                             "A map of what was copied (GNU ddrescue's format): written as it goes, and an imaging "
                             "that was stopped goes on from it");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        return app.exit(error) == 0 ? kExitDone : kExitBadUsage;
    }

    if (*list)
        return RunListCommand(listJson, sysClassBlock);
    MentionAdministratorIsNotNeeded();
    if (*imageCommand)
        return RunImageCommand(image);
    if (*resultsCommand)
        return RunResultsCommand(results);
    return RunScanCommand(scan);
}
