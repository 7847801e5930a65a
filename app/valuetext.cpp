#include "app/valuetext.h"

#include <QDateTime>

namespace {

QChar *writeDigits(QChar *cursor, int value, int width)
{
    for (int i = width - 1; i >= 0; --i) {
        cursor[i] = QLatin1Char(char('0' + value % 10));
        value /= 10;
    }
    return cursor + width;
}

QChar *writeSeparator(QChar *cursor, char separator)
{
    *cursor = QLatin1Char(separator);
    return cursor + 1;
}

// "yyyy-MM-ddTHH:mm:ss.zzz", as Qt::ISODateWithMs writes a local date-time, from the value's
// own date and time fields, local, UTC or offset alike: a date-time of the guard-tour database
// has no zone, and is carried in UTC so that no local-time gap can make it invalid. An invalid
// value, or a year of more or fewer than four digits, is the empty text, as with the toolkit.
QString dateTimeText(const QDateTime &moment)
{
    const QDate date = moment.date();
    const QTime time = moment.time();
    if (!moment.isValid() || date.year() < 1 || date.year() > 9999)
        return QString();
    QString text(23, Qt::Uninitialized);
    QChar *cursor = text.data();
    cursor = writeSeparator(writeDigits(cursor, date.year(), 4), '-');
    cursor = writeSeparator(writeDigits(cursor, date.month(), 2), '-');
    cursor = writeSeparator(writeDigits(cursor, date.day(), 2), 'T');
    cursor = writeSeparator(writeDigits(cursor, time.hour(), 2), ':');
    cursor = writeSeparator(writeDigits(cursor, time.minute(), 2), ':');
    cursor = writeSeparator(writeDigits(cursor, time.second(), 2), '.');
    writeDigits(cursor, time.msec(), 3);
    return text;
}

} // namespace

QString valueText(const QVariant &value)
{
    if (value.userType() == QMetaType::QDateTime)
        return dateTimeText(*static_cast<const QDateTime *>(value.constData()));
    return value.toString();
}
