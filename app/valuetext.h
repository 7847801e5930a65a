#pragma once

#include <QString>
#include <QVariant>

// The text QVariant::toString gives for a value read from the guard-tour database. Date-times
// in local time, the common case, are written here: the toolkit's own writer formats each
// part with printf, which made it the dearest step of a plan row.
QString valueText(const QVariant &value);
