#include "app/mainwindow.h"
#include "app/processsetup.h"
#include "logging/dailyfilequeue.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    cacheLocalTimeZone();
    QApplication a(argc, argv);
    quitOnTerminationSignals(&a);
    int exitCode = 0;
    {
        MainWindow w;
        w.show();
        exitCode = a.exec();
    }
    // The window has written what it could; what is left is said once.
    reportUnwrittenLines();
    return exitCode;
}
