#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

// Local time as the whole program sees it. Tests move it with an offset so that
// dates (daily file names, midnight) can be chosen without touching the system clock.
namespace LocalClock {
QDateTime now();
void setOffsetMsecs(qint64 offset);
}

// "yyyy-MM-dd HH:mm:ss" of the current local time.
QString timeStamp();

// "\r[ <time stamp> ] " followed by the message.
QString logLine(const QString &message);

// Fills %1..%99 of a template in a single pass: a value that itself holds "%2"
// is kept as it is. A two-digit placeholder wins when that many values were given,
// so "%10" with twelve values is the tenth value, not the first followed by "0".
QString fillPlaceholders(const QString &templ, const QStringList &values);

// A template of fillPlaceholders made ready once for many lines with the same number of
// values: the same text, written straight as UTF-8.
class LineTemplate
{
public:
    LineTemplate(const QString &templ, int valueCount);
    QByteArray fillUtf8(const QStringList &values) const;

private:
    struct Piece
    {
        QByteArray literal; // UTF-8, before the value
        int value;          // index into the values, or -1 after the last literal
    };
    QString templ;
    QVector<Piece> pieces; // empty: the values cannot be encoded one by one
};

// A daily file name: "%1%2%3" of the pattern become year (4 digits), month and day.
QString dailyFileName(const QString &pattern, const QDate &date);

// The bytes up to, not including, the first zero byte.
QByteArray bytesUpToZero(const QByteArray &bytes);

// Bytes as text: UTF-8 up to, not including, the first zero byte.
QString textUpToZero(const QByteArray &bytes);
