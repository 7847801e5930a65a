#pragma once

#include <QString>
#include <QStringList>

class QSettings;

// Where sys.ini says a kind's posts go.
struct Endpoint
{
    QString url;      // the URL as written in the file
    QString refusal;  // why nothing may be posted to it; empty when it may
};

// The endpoint under `key` in the general section of the INI file that `settings` reads.
//
// QSettings reads a value in ways that do not suit a URL: unquoted commas make it a list,
// with the blanks around them dropped, and an unquoted ";" ends it, so that the rest of the
// URL is taken for a comment. The file's own line for the key tells both apart: a URL with
// commas is taken as that line writes it, and one that the format cuts is refused, since
// the site's data would otherwise go to an address nobody wrote.
Endpoint readEndpoint(const QSettings &settings, const QString &key);

// The names the general section gives under `key` for a file: as the INI format reads the
// value and, where the line writes it otherwise, as written (up to a ";" that starts a
// comment), the first that names a file being the one meant. The format takes a backslash for
// an escape, so "C:\fernwick\site-ca.pem" reads as "C:ernwickite-ca.pem", and reads bytes as
// Latin-1; as written, a backslash stays, and the bytes are UTF-8 where they are UTF-8 and
// otherwise in the system's 8-bit encoding, in which an older Notepad saves the file.
QStringList readFileSetting(const QSettings &settings, const QString &key);

// A URL's host as the URL writes it: an IPv6 address in brackets.
QString hostAsInUrl(const QString &host);

// HTTP_TIMEOUT_SECONDS: how long a post may go without moving a byte; 0 means no limit. A
// value that is not a whole number of seconds, 0 or more, gives the default of 120.
int readInactivityTimeoutSeconds(const QSettings &settings);
