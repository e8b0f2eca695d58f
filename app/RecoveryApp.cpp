#include "RecoveryApp.h"

#include "ProgramMessages.h"
#include "SingleInstanceGuard.h"

#include <QCoreApplication>
#include <chrono>
#include <memory>
#include <thread>

namespace quorvex::app {

int RecoveryApp::Run(const Options& options)
{
    QCoreApplication::setOrganizationName("Quorvex");
    QCoreApplication::setApplicationName("quorvex");
    auto guard = std::make_unique<SingleInstanceGuard>(options.guardName);
    for (int attempt = 0; options.replacing && !guard->Acquired() && attempt < 100; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        guard = std::make_unique<SingleInstanceGuard>(options.guardName);
    }
    if (!guard->Acquired()) {
        const QString text = "Another instance of software is already running.";
        if (options.otherInstanceNotice)
            options.otherInstanceNotice(text);
        else
            msgbox::ShowNotice(text.toStdString());
        return 1;
    }
    MainDialog dialog(options.environment());
    dialog.exec();
    return 1;  // the modal run only returns when something went wrong
}

}  // namespace quorvex::app
