#include "logging/logline.h"

#include <atomic>

namespace {
std::atomic<qint64> clockOffsetMsecs{0};
}

QDateTime LocalClock::now()
{
    return QDateTime::currentDateTime().addMSecs(clockOffsetMsecs.load());
}

void LocalClock::setOffsetMsecs(qint64 offset)
{
    clockOffsetMsecs.store(offset);
}

QString timeStamp()
{
    // A large sync stamps many rows within one second; the text is made once per second.
    thread_local qint64 cachedSecond = -1;
    thread_local QString cachedText;
    const qint64 second = (QDateTime::currentMSecsSinceEpoch() + clockOffsetMsecs.load()) / 1000;
    if (second != cachedSecond) {
        cachedText = QDateTime::fromSecsSinceEpoch(second).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        cachedSecond = second;
    }
    return cachedText;
}

QString logLine(const QString &message)
{
    return QStringLiteral("\r[ ") + timeStamp() + QStringLiteral(" ] ") + message;
}

QString fillPlaceholders(const QString &templ, const QStringList &values)
{
    QString out;
    out.reserve(templ.size() + 16 * values.size());
    const int n = templ.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = templ.at(i);
        if (c != QLatin1Char('%') || i + 1 >= n || !templ.at(i + 1).isDigit()) {
            out += c;
            continue;
        }
        const int first = templ.at(i + 1).digitValue();
        if (i + 2 < n && templ.at(i + 2).isDigit()) {
            const int twoDigits = first * 10 + templ.at(i + 2).digitValue();
            if (twoDigits >= 1 && twoDigits <= values.size()) {
                out += values.at(twoDigits - 1);
                i += 2;
                continue;
            }
        }
        if (first >= 1 && first <= values.size()) {
            out += values.at(first - 1);
            i += 1;
            continue;
        }
        out += c;
    }
    return out;
}

QString dailyFileName(const QString &pattern, const QDate &date)
{
    return fillPlaceholders(pattern, {QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0')),
                                      QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0')),
                                      QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'))});
}

QByteArray bytesUpToZero(const QByteArray &bytes)
{
    const int zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

QString textUpToZero(const QByteArray &bytes)
{
    return QString::fromUtf8(bytesUpToZero(bytes));
}
