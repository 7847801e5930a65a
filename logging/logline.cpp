#include "logging/logline.h"

#include "logging/utf8write.h"

#include <QLocale>
#include <QVector>

#include <algorithm>
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
        // QDateTime::toString would write the system locale's digits (Arabic-Indic under
        // ar_EG, say); the stamp is always in ASCII digits.
        cachedText = QLocale::c().toString(QDateTime::fromSecsSinceEpoch(second), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        cachedSecond = second;
    }
    return cachedText;
}

QString logLine(const QString &message)
{
    return QStringLiteral("\r[ ") + timeStamp() + QStringLiteral(" ] ") + message;
}

namespace {

// The template cut into literal text and values: a piece with value -1 is text only.
struct TemplatePiece
{
    QString literal;
    int value;
};

QVector<TemplatePiece> splitTemplate(const QString &templ, int valueCount)
{
    QVector<TemplatePiece> pieces;
    QString literal;
    const int n = templ.size();
    for (int i = 0; i < n; ++i) {
        const QChar c = templ.at(i);
        if (c != QLatin1Char('%') || i + 1 >= n || !templ.at(i + 1).isDigit()) {
            literal += c;
            continue;
        }
        const int first = templ.at(i + 1).digitValue();
        int value = -1;
        if (i + 2 < n && templ.at(i + 2).isDigit()) {
            const int twoDigits = first * 10 + templ.at(i + 2).digitValue();
            if (twoDigits >= 1 && twoDigits <= valueCount) {
                value = twoDigits - 1;
                i += 2;
            }
        }
        if (value < 0 && first >= 1 && first <= valueCount) {
            value = first - 1;
            i += 1;
        }
        if (value < 0) {
            literal += c;
            continue;
        }
        pieces.append({literal, value});
        literal.clear();
    }
    pieces.append({literal, -1});
    return pieces;
}

} // namespace

QString fillPlaceholders(const QString &templ, const QStringList &values)
{
    QString out;
    out.reserve(templ.size() + 16 * values.size());
    for (const TemplatePiece &piece : splitTemplate(templ, values.size())) {
        out += piece.literal;
        if (piece.value >= 0)
            out += values.at(piece.value);
    }
    return out;
}

LineTemplate::LineTemplate(const QString &templ, int valueCount)
    : templ(templ)
{
    const QVector<TemplatePiece> split = splitTemplate(templ, valueCount);
    // Each value can be turned into UTF-8 on its own only when no two meet and no literal holds
    // half a surrogate pair that a value's other half could complete.
    bool separate = true;
    for (int i = 0; i < split.size(); ++i) {
        const QString &literal = split.at(i).literal;
        const bool followsValue = i > 0 && split.at(i).value >= 0 && literal.isEmpty();
        if (followsValue || std::any_of(literal.cbegin(), literal.cend(), [](QChar c) { return c.isSurrogate(); }))
            separate = false;
        pieces.append({literal.toUtf8(), split.at(i).value});
    }
    if (!separate)
        pieces.clear();
}

namespace {

// As QString::toUtf8: a surrogate without its partner becomes '?'.
char *writeUtf8(char *cursor, const QString &text)
{
    const ushort *src = text.utf16();
    const ushort *const end = src + text.size();
    while (src != end) {
        uint code = 0;
        if (utf8write::nextCodePoint(src, end, &code))
            cursor = utf8write::codePoint(cursor, code);
        else
            *cursor++ = '?';
    }
    return cursor;
}

} // namespace

QByteArray LineTemplate::fillUtf8(const QStringList &values) const
{
    if (pieces.isEmpty())
        return fillPlaceholders(templ, values).toUtf8();
    int room = 0;
    for (const Piece &piece : pieces)
        room += piece.literal.size() + (piece.value >= 0 ? 3 * values.at(piece.value).size() : 0);
    QByteArray out(room, Qt::Uninitialized);
    char *cursor = out.data();
    for (const Piece &piece : pieces) {
        cursor = std::copy(piece.literal.cbegin(), piece.literal.cend(), cursor);
        if (piece.value >= 0)
            cursor = writeUtf8(cursor, values.at(piece.value));
    }
    out.truncate(int(cursor - out.constData()));
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
