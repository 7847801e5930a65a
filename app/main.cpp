#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/processsetup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    cacheLocalTimeZone();
    chooseCommandLinePlatform(argc, argv);
    QApplication a(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(FERNWICK_VERSION));
    quitOnTerminationSignals(&a);
    // The toolkit has taken its own options out; what is left is the program's.
    if (a.arguments().size() > 1)
        return runCommandLine(a);
    MainWindow w;
    w.show();
    return a.exec();
}
