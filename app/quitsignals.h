#pragma once

class QCoreApplication;

// On Unix, SIGINT and SIGTERM quit the event loop, so the program ends exactly as
// when its window is closed. Elsewhere this does nothing.
void quitOnTerminationSignals(QCoreApplication *app);
