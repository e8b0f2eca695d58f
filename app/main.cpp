// quorvex: the desktop program.
#include "RecoveryApp.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    return quorvex::app::RecoveryApp::Run({});
}
