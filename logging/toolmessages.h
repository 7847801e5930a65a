#pragma once

#include <QLoggingCategory>

// The program's own lines on stderr (a log file that cannot be written, lines lost at exit)
// go under this category, so that they can be told from what the toolkit says.
Q_DECLARE_LOGGING_CATEGORY(toolMessages)

// Writes the program's own lines to stderr as they are, without a category in front. With
// `toolkitQuiet` everything else the toolkit would print is dropped: an unattended run that a
// service manager or cron records must carry only lines an operator can act on. Otherwise
// the toolkit's lines go where they went before.
void routeMessages(bool toolkitQuiet);
