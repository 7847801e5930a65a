#include "upload/endpointsetting.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <QTextCodec>
#include <QUrl>
#include <QVariant>

#include <limits>

namespace {
constexpr int defaultTimeoutSeconds = 120;
// The longest limit whose milliseconds still fit a timer's interval.
constexpr int longestTimeoutSeconds = std::numeric_limits<int>::max() / 1000;

// QSettings keeps the keys before the first section, and those of any [General], as its own.
bool startsGeneralSection(const QByteArray &line)
{
    const int end = line.indexOf(']');
    const QByteArray name = line.mid(1, end < 0 ? -1 : end - 1).trimmed();
    return name.toLower() == "general";
}

// The text after "=" on the last line of the general section that sets `key`, with the
// blanks around it dropped; null when no line does.
QByteArray writtenValue(const QString &fileName, const QString &key)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray wantedKey = key.toLatin1();
    QByteArray value;
    bool inGeneralSection = true;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &rawLine : lines) {
        const QByteArray line = rawLine.trimmed();
        if (line.startsWith('[')) {
            inGeneralSection = startsGeneralSection(line);
            continue;
        }
        const int equals = line.indexOf('=');
        if (inGeneralSection && equals > 0 && line.left(equals).trimmed() == wantedKey)
            value = line.mid(equals + 1).trimmed();
    }
    return value;
}

// Where the INI format ends the line: at a ";" outside double quotes, a backslash taking
// the character after it as it is. -1 when no such ";" is there.
int unquotedSemicolonAt(const QByteArray &value)
{
    bool quoted = false;
    for (int i = 0; i < value.size(); ++i) {
        const char c = value.at(i);
        if (c == '\\')
            ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ';' && !quoted)
            return i;
    }
    return -1;
}

QString refusalOfCutUrl(const QString &key, const QByteArray &written, int semicolonAt)
{
    // QSettings reads the file as Latin-1; the URL it would have posted to is shown the same way.
    const QString cutTo = QString::fromLatin1(written.left(semicolonAt).trimmed());
    return QStringLiteral("%1 in sys.ini has an unquoted \";\": the ini format ends the value there, which would "
                          "cut the URL to \"%2\". Put the URL in double quotes; nothing was posted")
        .arg(key, cutTo);
}

// What QUrl found wrong, without the parts it adds to say where.
QString urlFault(const QUrl &url)
{
    const QString fault = url.errorString();
    const int details = fault.indexOf(QLatin1String("; source was"));
    return details < 0 ? fault : fault.left(details);
}

QString joinedValue(const QSettings &settings, const QString &key)
{
    const QVariant value = settings.value(key);
    if (value.userType() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1Char(','));
    return value.toString();
}

QString fileNameText(const QByteArray &bytes)
{
    QTextCodec::ConverterState state;
    const QString text = QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 ? text : QString::fromLocal8Bit(bytes);
}

// The INI format reads a file as bytes of an 8-bit encoding; in one saved as UTF-16 (Notepad's
// "Unicode", which starts it with a byte-order mark) it finds no key at all. Empty when the
// file is not UTF-16, or not there.
QString utf16Encoding(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray start = file.read(2);
    if (start == "\xff\xfe")
        return QStringLiteral("UTF-16 little-endian (Notepad's \"Unicode\")");
    if (start == "\xfe\xff")
        return QStringLiteral("UTF-16 big-endian (Notepad's \"Unicode big endian\")");
    // Without a mark, ASCII text in UTF-16 has a zero byte beside every letter.
    if (start.size() == 2 && (start.at(0) == 0) != (start.at(1) == 0))
        return QStringLiteral("UTF-16 without a byte-order mark");
    return QString();
}

QString refusalOfUtf16(const QString &key, const QString &encoding)
{
    return QStringLiteral("sys.ini is saved as %1, which the ini format cannot read, so %2 "
                          "was not read. Save sys.ini as UTF-8 (in Notepad: File, Save As, Encoding UTF-8); nothing "
                          "was posted")
        .arg(encoding, key);
}

// A value of plain text is the URL as written; one with quotes or escapes is joined from
// the pieces QSettings made of it.
QString urlOfList(const QStringList &pieces, const QByteArray &written)
{
    if (written.isEmpty() || written.contains('"') || written.contains('\\'))
        return pieces.join(QLatin1Char(','));
    return QString::fromLatin1(written);
}
}

Endpoint readEndpoint(const QSettings &settings, const QString &key)
{
    const QString encoding = utf16Encoding(settings.fileName());
    if (!encoding.isEmpty())
        return {QString(), refusalOfUtf16(key, encoding)};
    const QByteArray written = writtenValue(settings.fileName(), key);
    const int semicolonAt = unquotedSemicolonAt(written);
    if (semicolonAt >= 0)
        return {QString(), refusalOfCutUrl(key, written, semicolonAt)};
    const QVariant value = settings.value(key);
    const QString url = value.userType() == QMetaType::QStringList ? urlOfList(value.toStringList(), written)
                                                                    : value.toString();
    // A URL that does not parse (a port out of range or not a number) keeps its scheme and
    // host but loses its port and path: posted, it would go to port 80 of that host.
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!url.isEmpty() && !parsed.isValid())
        return {QString(), QStringLiteral("%1 in sys.ini is \"%2\", which is not a URL that can be posted to as "
                                          "written (%3); nothing was posted")
                               .arg(key, url, urlFault(parsed))};
    return {url, QString()};
}

QStringList readFileSetting(const QSettings &settings, const QString &key)
{
    QStringList names = {joinedValue(settings, key)};
    const QByteArray written = writtenValue(settings.fileName(), key);
    const int comment = written.indexOf(';');
    const QString asWritten = fileNameText(comment < 0 ? written : written.left(comment).trimmed());
    if (!written.contains('"') && asWritten != names.first())
        names << asWritten;
    return names;
}

QString hostAsInUrl(const QString &host)
{
    // Of the hosts a URL holds, only an IPv6 address has a colon.
    return host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
}

int readInactivityTimeoutSeconds(const QSettings &settings)
{
    const QVariant setting = settings.value(QStringLiteral("HTTP_TIMEOUT_SECONDS"), defaultTimeoutSeconds);
    bool isNumber = false;
    const int seconds = setting.toInt(&isNumber);
    if (!isNumber || seconds < 0)
        return defaultTimeoutSeconds;
    return qMin(seconds, longestTimeoutSeconds);
}
