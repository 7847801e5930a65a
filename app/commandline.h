#pragma once

class QApplication;

// Without options the program is its window. With `--once` it runs the window's start-up
// sync unshown, waits for the answers, prints one line per kind (and one for each snapshot
// that was lost, for old daily files that could not be removed, and for log lines that were
// lost) and ends with 0 when every kind was read and answered, every snapshot saved, every
// old daily file removed and every line written, 1 otherwise; a usage error ends it with 2.
// `--set-database PATH [--password-stdin]` and `--check` set a site up and check it, without
// a sync (sitesetup.h).

// Whether these arguments ask for the window; callable before the application object exists.
bool opensWindow(int argc, char *argv[]);

// Called before the application object exists: where no window will be shown, the toolkit is
// told to draw offscreen, so that nothing but the window needs a display.
void chooseCommandLinePlatform(int argc, char *argv[]);

// The program's exit code, for an application object that was given options.
int runCommandLine(QApplication &app);
