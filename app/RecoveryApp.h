#pragma once

#include "MainDialog.h"

#include <functional>
#include <string>

namespace quorvex::app {

// Starts the program: one copy per machine, then the main window until the user ends it.
class RecoveryApp {
public:
    struct Options {
        std::string guardName = "Global\\{6F1C2B7E-9A34-4D5B-8E21-3C7A90B4D1F2-QUORVEX}";
        std::function<void(const QString&)> otherInstanceNotice;  // default: the markup message box
        std::function<MainDialogEnvironment()> environment = MainDialogEnvironment::Default;
    };

    // Returns the exit status: 1 when another copy runs; otherwise the program ends from inside
    // the main window (a confirmed exit ends the process at once with status 0).
    static int Run(const Options& options);
};

}  // namespace quorvex::app
