// quorvex: the desktop program.
#include "MemoryTuning.h"
#include "RecoveryApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    quorvex::KeepFreedMemoryForReuse();
    QApplication application(argc, argv);
    quorvex::app::RecoveryApp::Options options;
    // The only option: set by the copy that restarts Quorvex with administrator rights.
    options.replacing = QApplication::arguments().contains("--replacing");
    return quorvex::app::RecoveryApp::Run(options);
}
