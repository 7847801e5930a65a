#pragma once

#include <QString>

// The Access driver's two names. Windows has the first only in its 32-bit form; the 64-bit
// database engine registers the second alone.
extern const QString jetDriverName;
extern const QString aceDriverName;

// Whether the ODBC driver manager has a driver registered under this name.
bool odbcDriverInstalled(const QString &name);
