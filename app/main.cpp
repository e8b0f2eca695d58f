// quorvex: the desktop program.
#include "RecoveryApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    quorvex::app::RecoveryApp::Options options;
    // The only option: set by the copy that restarts Quorvex with administrator rights.
    options.replacing = QApplication::arguments().contains("--replacing");
    return quorvex::app::RecoveryApp::Run(options);
}
