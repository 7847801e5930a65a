#pragma once

class QApplication;

// Without options the program is its window. With `--once` it runs the window's start-up
// sync unshown, waits for the answers, prints one line per kind and ends with 0 when every
// kind was read and answered, 1 otherwise; a usage error ends it with 2.

// Called before the application object exists: where no window will be shown, or no
// display is there to show one, the toolkit is told to draw offscreen.
void chooseCommandLinePlatform(int argc, char *argv[]);

// The program's exit code, for an application object that was given options.
int runCommandLine(QApplication &app);
