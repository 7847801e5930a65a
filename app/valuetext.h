#pragma once

#include <QString>
#include <QVariant>

// The text of a value read from the guard-tour database: what QVariant::toString gives, except
// that a date-time is written from its own date and time fields, never through local time
// (see OdbcRowReader). The toolkit's own writer also formats each part with printf, which made
// it the dearest step of a plan row.
QString valueText(const QVariant &value);
