#include "RecoveryApp.h"

#include "ProgramMessages.h"
#include "SingleInstanceGuard.h"

#include <QCoreApplication>

namespace quorvex::app {

int RecoveryApp::Run(const Options& options)
{
    QCoreApplication::setOrganizationName("Quorvex");
    QCoreApplication::setApplicationName("quorvex");
    const SingleInstanceGuard guard(options.guardName);
    if (!guard.Acquired()) {
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
