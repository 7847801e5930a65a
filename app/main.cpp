#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/processsetup.h"
#include "logging/dailyfilequeue.h"
#include "logging/toolmessages.h"

#include <QApplication>

#include <memory>

int main(int argc, char *argv[])
{
    cacheLocalTimeZone();
    routeMessages(!opensWindow(argc, argv));
    chooseCommandLinePlatform(argc, argv);
    auto platformStart = std::make_unique<PlatformStartGuard>();
    QApplication a(argc, argv);
    platformStart.reset();
    QApplication::setApplicationVersion(QStringLiteral(FERNWICK_VERSION));
    quitOnTerminationSignals(&a);
    int exitCode = 0;
    // The toolkit has taken its own options out; what is left is the program's.
    if (a.arguments().size() > 1) {
        exitCode = runCommandLine(a);
    } else {
        releaseConsoleOfItsOwn();
        MainWindow w;
        w.show();
        exitCode = a.exec();
    }
    // The window has written what it could; what is left is said once.
    reportUnwrittenLines();
    return exitCode;
}
