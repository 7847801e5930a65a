#pragma once

#include <QString>

// The Access driver's two names (fernwick_driver_names.h), as the toolkit takes them.
extern const QString jetDriverName;
extern const QString aceDriverName;

// Whether the ODBC driver manager has a driver registered under this name.
bool odbcDriverInstalled(const QString &name);
