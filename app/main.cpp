// quorvex: the desktop program.
#include "MemoryTuning.h"
#include "RecoveryApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    quorvex::KeepFreedMemoryForReuse();
    QApplication application(argc, argv);
    return quorvex::app::RecoveryApp::Run({});
}
