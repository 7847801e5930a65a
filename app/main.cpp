#include "app/mainwindow.h"
#include "app/processsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    cacheLocalTimeZone();
    QApplication a(argc, argv);
    quitOnTerminationSignals(&a);
    MainWindow w;
    w.show();
    return a.exec();
}
