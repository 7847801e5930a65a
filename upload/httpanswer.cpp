#include "upload/httpanswer.h"

// Qt's own builds carry zlib inside Qt Core, under prefixed names; Debian's Qt uses the system's.
#ifdef FERNWICK_ZLIB_OF_QT
#include <QtZlib/zlib.h>
#else
#include <zlib.h>
#endif

namespace {
// Far above any real status or header line; a server sending more is not answering HTTP.
constexpr int maxLineBytes = 64 * 1024;
constexpr qint64 maxHeaderBytes = 1024 * 1024;
// Fifteen hex digits fit a qint64 with room to add.
constexpr int maxChunkSizeDigits = 15;

// Bytes as an operator can read them in a line: printable ASCII as it is, the rest as \xNN,
// at most 40 of them.
QString quoted(const QByteArray &bytes)
{
    constexpr int shown = 40;
    QString text;
    for (char byte : bytes.left(shown)) {
        const auto value = uchar(byte);
        if (value >= 0x20 && value < 0x7f && value != '"' && value != '\\')
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("\\x%1").arg(value, 2, 16, QLatin1Char('0'));
    }
    if (bytes.size() > shown)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isDecimal(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// The last coding a Transfer-Encoding names, which frames the body.
QByteArray lastCoding(const QByteArray &transferEncoding)
{
    return transferEncoding.split(',').last().trimmed().toLower();
}

// Inflates with zlib's `windowBits`; Z_STREAM_END when the whole stream came.
int inflateWith(int windowBits, const QByteArray &raw, QByteArray *out, QString *message)
{
    z_stream stream = {};
    int result = inflateInit2(&stream, windowBits);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(raw.constData()));
    stream.avail_in = uInt(raw.size());
    char buffer[16384];
    while (result == Z_OK) {
        stream.next_out = reinterpret_cast<Bytef *>(buffer);
        stream.avail_out = sizeof buffer;
        result = inflate(&stream, Z_NO_FLUSH);
        if (result == Z_OK || result == Z_STREAM_END)
            out->append(buffer, int(sizeof buffer - stream.avail_out));
        // Everything taken and room left, yet the stream has not ended: it was cut short.
        if (result == Z_OK && stream.avail_in == 0 && stream.avail_out != 0)
            result = Z_BUF_ERROR;
    }
    *message = stream.msg ? QString::fromLatin1(stream.msg) : QStringLiteral("it ends before its last block");
    inflateEnd(&stream);
    return result;
}

// gzip and zlib streams are told apart by their header; a "deflate" that is neither is
// taken as raw deflate, which some servers send under that name.
bool decompress(const QByteArray &coding, const QByteArray &raw, QByteArray *out, QString *why)
{
    QString message;
    int result = inflateWith(MAX_WBITS + 32, raw, out, &message);
    if (result == Z_DATA_ERROR && out->isEmpty())
        result = inflateWith(-MAX_WBITS, raw, out, &message);
    if (result == Z_STREAM_END)
        return true;
    *why = QStringLiteral("its %1 body cannot be decompressed: %2").arg(QString::fromLatin1(coding), message);
    return false;
}
}

HttpAnswer::State HttpAnswer::take(const QByteArray &bytes)
{
    if (current != State::Reading)
        return current;
    pending += bytes;
    while (current == State::Reading && step()) {
    }
    return current;
}

HttpAnswer::State HttpAnswer::connectionEnded()
{
    if (current != State::Reading)
        return current;
    switch (phase) {
    case Phase::BodyToEnd:
        complete();
        break;
    case Phase::SizedBody:
        breakOff(QStringLiteral("the connection closed after %1 of the %2 bytes its Content-Length names")
                     .arg(content.size())
                     .arg(content.size() + bodyLeft));
        break;
    case Phase::StatusLine:
    case Phase::Headers:
        breakOff(QStringLiteral("the connection closed before the status line and headers of the answer had come"));
        break;
    default:
        breakOff(QStringLiteral("the connection closed after %1 bytes, before the last chunk of the body")
                     .arg(content.size()));
        break;
    }
    return current;
}

QByteArray HttpAnswer::header(const QByteArray &name) const
{
    QList<QByteArray> values;
    for (const auto &field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            values << field.second;
    }
    return values.join(", ");
}

// One step of reading; false when it needs more bytes first.
bool HttpAnswer::step()
{
    QByteArray line;
    switch (phase) {
    case Phase::StatusLine:
        return takeLine(&line) && readStatusLine(line);
    case Phase::Headers:
        if (!takeLine(&line))
            return false;
        if (line.isEmpty())
            startBody();
        else
            readHeaderLine(line);
        return true;
    case Phase::SizedBody:
    case Phase::ChunkData:
        if (pending.isEmpty())
            return false;
        takeBodyBytes(qMin(bodyLeft, qint64(pending.size())));
        if (bodyLeft == 0) {
            if (phase == Phase::SizedBody)
                complete();
            else
                phase = Phase::ChunkEnd;
        }
        return true;
    case Phase::BodyToEnd:
        if (pending.isEmpty())
            return false;
        takeBodyBytes(pending.size());
        return true;
    case Phase::ChunkSize:
        return takeLine(&line) && readChunkSize(line);
    case Phase::ChunkEnd:
        if (!takeLine(&line))
            return false;
        if (line.isEmpty())
            phase = Phase::ChunkSize;
        else
            breakOff(QStringLiteral("a chunk of the body runs on past the size its line gave: %1").arg(quoted(line)));
        return true;
    case Phase::Trailers:
        if (!takeLine(&line))
            return false;
        if (line.isEmpty())
            complete();
        return true;
    case Phase::Done:
        break;
    }
    return false;
}

// A line up to LF, without it or the CR before it; false while it has not all come.
bool HttpAnswer::takeLine(QByteArray *line)
{
    const int end = pending.indexOf('\n');
    if ((end < 0 ? pending.size() : end) > maxLineBytes) {
        breakOff(QStringLiteral("a line of more than %1 bytes in its headers or framing").arg(maxLineBytes));
        return false;
    }
    if (end < 0)
        return false;
    *line = pending.left(end);
    pending.remove(0, end + 1);
    if (line->endsWith('\r'))
        line->chop(1);
    if (phase == Phase::StatusLine || phase == Phase::Headers || phase == Phase::Trailers) {
        headerBytes += end + 1;
        if (headerBytes > maxHeaderBytes) {
            breakOff(QStringLiteral("more than %1 bytes of headers").arg(maxHeaderBytes));
            return false;
        }
    }
    return true;
}

// "HTTP/1.1 200 OK": the version, three digits, and a reason that may be empty.
bool HttpAnswer::readStatusLine(const QByteArray &line)
{
    const bool wellFormed = line.size() >= 12 && line.startsWith("HTTP/") && line.at(6) == '.' && line.at(8) == ' '
        && isDecimal(line.mid(5, 1) + line.mid(7, 1)) && isDecimal(line.mid(9, 3))
        && (line.size() == 12 || line.at(12) == ' ');
    if (!wellFormed) {
        breakOff(QStringLiteral("it does not begin with an HTTP status line: %1").arg(quoted(line)));
        return false;
    }
    statusCode = line.mid(9, 3).toInt();
    reason = QString::fromLatin1(line.mid(13));
    headers.clear();
    phase = Phase::Headers;
    return true;
}

// A line without a colon says nothing and is passed over, as browsers do; one that begins
// with a blank goes on the value before it.
void HttpAnswer::readHeaderLine(const QByteArray &line)
{
    if ((line.startsWith(' ') || line.startsWith('\t')) && !headers.isEmpty()) {
        headers.last().second = (headers.last().second + ' ' + line.trimmed()).trimmed();
        return;
    }
    const int colon = line.indexOf(':');
    if (colon > 0)
        headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
}

void HttpAnswer::startBody()
{
    // An interim answer: the final one follows.
    if (statusCode >= 100 && statusCode < 200 && statusCode != 101) {
        phase = Phase::StatusLine;
        return;
    }
    finalStatusCame = true;
    if (statusCode < 200 || statusCode == 204 || statusCode == 304) {
        complete();
        return;
    }
    const QByteArray transferEncoding = header("Transfer-Encoding");
    if (!transferEncoding.isEmpty()) {
        phase = lastCoding(transferEncoding) == "chunked" ? Phase::ChunkSize : Phase::BodyToEnd;
        return;
    }
    const QByteArray lengths = header("Content-Length");
    if (lengths.isEmpty()) {
        phase = Phase::BodyToEnd;
        return;
    }
    // Several Content-Length headers are one length only when they agree.
    QByteArray length;
    for (const QByteArray &each : lengths.split(',')) {
        const QByteArray value = each.trimmed();
        if (!isDecimal(value) || value.size() > 18 || (!length.isEmpty() && value.toLongLong() != length.toLongLong())) {
            breakOff(QStringLiteral("its Content-Length is not one number of bytes: %1").arg(quoted(lengths)));
            return;
        }
        length = value;
    }
    bodyLeft = length.toLongLong();
    phase = Phase::SizedBody;
    if (bodyLeft == 0)
        complete();
}

// "1a;name=value": hex digits, then extensions, which say nothing to this reader.
bool HttpAnswer::readChunkSize(const QByteArray &line)
{
    const int extensions = line.indexOf(';');
    const QByteArray digits = (extensions < 0 ? line : line.left(extensions)).trimmed();
    bool hex = !digits.isEmpty() && digits.size() <= maxChunkSizeDigits;
    for (char c : digits)
        hex = hex && isHexDigit(c);
    if (!hex) {
        breakOff(QStringLiteral("a chunk size line that is not a hexadecimal number: %1").arg(quoted(line)));
        return false;
    }
    bodyLeft = digits.toLongLong(nullptr, 16);
    phase = bodyLeft == 0 ? Phase::Trailers : Phase::ChunkData;
    return true;
}

void HttpAnswer::takeBodyBytes(qint64 count)
{
    content += pending.left(int(count));
    pending.remove(0, int(count));
    bodyLeft -= count;
}

void HttpAnswer::complete()
{
    phase = Phase::Done;
    const QByteArray coding = header("Content-Encoding").trimmed().toLower();
    if (coding == "gzip" || coding == "deflate") {
        QByteArray decoded;
        QString fault;
        if (!decompress(coding, content, &decoded, &fault)) {
            breakOff(fault);
            return;
        }
        content = decoded;
    }
    current = State::Complete;
}

void HttpAnswer::breakOff(const QString &fault)
{
    why = fault;
    current = State::Broken;
}
