#include "app/mainwindow.h"
#include "app/quitsignals.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication a(argc, argv);
    quitOnTerminationSignals(&a);
    MainWindow w;
    w.show();
    return a.exec();
}
