#pragma once

#include <QString>

// What an installer runs before the first sync: pointing fernwick.db at the guard-tour
// database, and checking that a sync would work. Both print their lines on stdout and
// return the program's exit code: 0 when all went or would go, 1 otherwise.

// Sets the configuration record's path and, with `passwordFromStdin`, the password read
// from the first line of standard input (never from the command line, where other users of
// the machine could read it).
int setDatabase(const QString &path, bool passwordFromStdin);

// Everything short of posting, one line per step: the configuration record, the guard-tour
// database and each kind's rows (counted only), and for each kind's URL the host's address,
// a connection and, for https, the TLS handshake. Nothing is written: not to the servers,
// not to fernwick.db, not to log/.
int checkSite();
