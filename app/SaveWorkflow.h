#pragma once

#include "FoundFileSaver.h"
#include "MainDialogEnvironment.h"
#include "VolumeDescription.h"

#include <QString>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace quorvex::app {

// What one Save Selected or Save All saves.
struct SaveRequest {
    const FoundFileCatalogue* catalogue = nullptr;  // complete: its scan has ended
    VolumeDescription drive;                        // where the found files are read from
    bool all = true;
    std::vector<std::string> names;                 // Save Selected: the chosen files
    PhotoSaving photoSaving;                        // exact recovery only
    const DuplicateMap* duplicates = nullptr;       // the copies among the found files, when known
};

// One save, from the folder to the last notice: asks for a folder until one may take the files
// (never on the drive being read), offers to save as many as fit when they do not, writes them in
// "File Saving..." and tells the user what could not be saved.
class SaveWorkflow {
public:
    SaveWorkflow(const MainDialogEnvironment& env, QWidget* parent) : env_(env), parent_(parent) {}

    // Asks for the folder and saves there; the save's report, or nullopt when the user cancelled
    // the folder choice (nothing was saved).
    std::optional<SaveReport> Save(const SaveRequest& request);
    // The notices of a save that did not save everything (none when it did).
    void TellWhatWasNotSaved(const SaveReport& report);

private:
    // Asks for a save folder until one can take the files (or the user cancels); says why a
    // folder is refused. Empty when cancelled.
    QString ChooseSaveFolder(const VolumeDescription& drive);

    const MainDialogEnvironment& env_;
    QWidget* parent_;
};

}  // namespace quorvex::app
