#include "upload/httpanswer.h"

#include <algorithm>
#include <vector>

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

// The codings a post offers to take, in the names servers give them; more than a few in a
// row is no answer a server means.
constexpr int maxCodings = 5;

QByteArray codingName(const QByteArray &coding)
{
    return coding == "x-gzip" ? QByteArrayLiteral("gzip") : coding;
}

// The codings a header names, in the order they were applied, without "identity", which
// changes nothing, and without the empty elements a list may have.
QList<QByteArray> codingsOf(const QByteArray &value)
{
    QList<QByteArray> codings;
    for (const QByteArray &each : value.split(',')) {
        const QByteArray coding = codingName(each.trimmed().toLower());
        if (!coding.isEmpty() && coding != "identity")
            codings << coding;
    }
    return codings;
}

// A zlib stream begins with a method byte and a check that makes the first two bytes a
// multiple of 31; a gzip one with 1f 8b.
bool beginsAsZlibOrGzip(const QByteArray &bytes)
{
    const int first = uchar(bytes.at(0));
    const int second = uchar(bytes.at(1));
    return (first == 0x1f && second == 0x8b) || ((first & 0x0f) == 8 && ((first << 8) | second) % 31 == 0);
}
}

// Undoes the codings of a body as its bytes come, one zlib stream per coding, each stream's
// output going on to the next in pieces, so that what a coding expands to is never held.
class BodyDecoder
{
public:
    enum class Result { Going, Full, Failed };

    // `decodeOrder`: the codings from the last applied to the first.
    explicit BodyDecoder(const QList<QByteArray> &decodeOrder)
    {
        for (const QByteArray &coding : decodeOrder)
            layers.emplace_back(new Layer(coding));
    }

    // Decodes `raw` onto `out`; Full once `out` has grown past `room` bytes.
    Result feed(const QByteArray &raw, QByteArray *out, int room, QString *why)
    {
        return feedLayer(0, raw, false, out, room, why);
    }

    // The body has ended: Going when every stream ended with it.
    Result finish(QByteArray *out, int room, QString *why)
    {
        for (size_t i = 0; i < layers.size(); ++i) {
            const Result result = feedLayer(i, QByteArray(), true, out, room, why);
            if (result != Result::Going)
                return result;
            if (!layers[i]->ended) {
                *why = layers[i]->fault(QStringLiteral("it ends before its last block"));
                return Result::Failed;
            }
        }
        return Result::Going;
    }

private:
    struct Layer
    {
        explicit Layer(const QByteArray &coding)
            : coding(coding)
        {
        }
        ~Layer()
        {
            if (started)
                inflateEnd(&stream);
        }
        QString fault(const QString &message) const
        {
            return QStringLiteral("its %1 body cannot be decompressed: %2").arg(QString::fromLatin1(coding), message);
        }

        const QByteArray coding;
        z_stream stream = {};
        bool started = false;
        bool ended = false;
        QByteArray firstBytes;  // until there are two, which tell the kind of stream
    };

    // Starts the layer's stream once its first bytes have come. A "deflate" that is neither
    // zlib nor gzip is taken as raw deflate, which some servers send under that name.
    bool start(Layer &layer, QByteArray *input, bool last)
    {
        layer.firstBytes += *input;
        if (layer.firstBytes.size() < 2 && !last)
            return false;
        const bool raw = layer.coding == "deflate" && layer.firstBytes.size() >= 2 && !beginsAsZlibOrGzip(layer.firstBytes);
        inflateInit2(&layer.stream, raw ? -MAX_WBITS : MAX_WBITS + 32);
        layer.started = true;
        *input = layer.firstBytes;
        layer.firstBytes.clear();
        return true;
    }

    Result feedLayer(size_t index, QByteArray input, bool last, QByteArray *out, int room, QString *why)
    {
        if (index == layers.size()) {
            out->append(input);
            return out->size() > room ? Result::Full : Result::Going;
        }
        Layer &layer = *layers[index];
        // What follows the end of a stream says nothing.
        if (layer.ended || (!layer.started && !start(layer, &input, last)))
            return Result::Going;
        layer.stream.next_in = reinterpret_cast<Bytef *>(input.data());
        layer.stream.avail_in = uInt(input.size());
        char buffer[16384];
        for (;;) {
            layer.stream.next_out = reinterpret_cast<Bytef *>(buffer);
            layer.stream.avail_out = sizeof buffer;
            const int status = inflate(&layer.stream, Z_NO_FLUSH);
            // What came out before a fault goes on first, so that the first fault in the
            // stream is told, however the bytes came.
            const int produced = int(sizeof buffer - layer.stream.avail_out);
            if (produced > 0) {
                const Result next = feedLayer(index + 1, QByteArray(buffer, produced), false, out, room, why);
                if (next != Result::Going)
                    return next;
            }
            if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
                *why = layer.fault(layer.stream.msg ? QString::fromLatin1(layer.stream.msg)
                                                    : QStringLiteral("zlib error %1").arg(status));
                return Result::Failed;
            }
            if (status == Z_STREAM_END) {
                layer.ended = true;
                return Result::Going;
            }
            // All taken and nothing more to give: the rest of the stream is still to come.
            if (layer.stream.avail_in == 0 && produced < int(sizeof buffer))
                return Result::Going;
            if (status == Z_BUF_ERROR)
                return Result::Going;
        }
    }

    std::vector<std::unique_ptr<Layer>> layers;
};

HttpAnswer::HttpAnswer() = default;
HttpAnswer::~HttpAnswer() = default;

HttpAnswer::State HttpAnswer::take(const QByteArray &bytes)
{
    if (current != State::Reading)
        return current;
    pending += bytes;
    while (current == State::Reading && step()) {
    }
    // What was read goes at once per piece, not once per line: a piece of many short lines
    // costs no more than one of a few long ones.
    pending.remove(0, pendingAt);
    pendingAt = 0;
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
                     .arg(rawBodyBytes)
                     .arg(rawBodyBytes + bodyLeft));
        break;
    case Phase::StatusLine:
    case Phase::Headers:
        breakOff(QStringLiteral("the connection closed before the status line and headers of the answer had come"));
        break;
    default:
        breakOff(QStringLiteral("the connection closed after %1 bytes, before the last chunk of the body")
                     .arg(rawBodyBytes));
        break;
    }
    return current;
}

HttpAnswer::State HttpAnswer::connectionReset()
{
    if (current == State::Reading && phase == Phase::BodyToEnd)
        breakOff(QStringLiteral("the connection was reset after %1 bytes of a body that only the end of the "
                                "connection ends, so whether it came whole cannot be told")
                     .arg(rawBodyBytes));
    return connectionEnded();
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

bool HttpAnswer::hasHeader(const QByteArray &name) const
{
    for (const auto &field : headers) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// One step of reading; false when it needs more bytes first.
bool HttpAnswer::step()
{
    QByteArray line;
    const qint64 unread = pending.size() - pendingAt;
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
        if (unread == 0)
            return false;
        takeBodyBytes(qMin(bodyLeft, unread));
        if (current != State::Reading)
            return false;
        if (bodyLeft == 0) {
            if (phase == Phase::SizedBody)
                complete();
            else
                phase = Phase::ChunkEnd;
        }
        return true;
    case Phase::BodyToEnd:
        if (unread == 0)
            return false;
        takeBodyBytes(unread);
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
    const int end = pending.indexOf('\n', pendingAt);
    if ((end < 0 ? pending.size() : end) - pendingAt > maxLineBytes) {
        breakOff(QStringLiteral("a line of more than %1 bytes in its headers or framing").arg(maxLineBytes));
        return false;
    }
    if (end < 0)
        return false;
    *line = pending.mid(pendingAt, end - pendingAt);
    const int taken = end + 1 - pendingAt;
    pendingAt = end + 1;
    if (line->endsWith('\r'))
        line->chop(1);
    if (phase == Phase::StatusLine || phase == Phase::Headers || phase == Phase::Trailers) {
        headerBytes += taken;
        if (headerBytes > maxHeaderBytes) {
            breakOff(QStringLiteral("more than %1 bytes of headers").arg(maxHeaderBytes));
            return false;
        }
    }
    return true;
}

// "HTTP/1.1 200 OK": the version, three digits, and a reason that may be empty, written in
// UTF-8 by the servers that write it in anything but ASCII.
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
    reason = QString::fromUtf8(line.mid(13));
    headers.clear();
    phase = Phase::Headers;
    return true;
}

// A line without a colon says nothing and is passed over, as browsers do; one that begins
// with a blank goes on the value before it.
void HttpAnswer::readHeaderLine(const QByteArray &line)
{
    if ((line.startsWith(' ') || line.startsWith('\t')) && !headers.isEmpty()) {
        const QByteArray more = line.trimmed();
        QByteArray &value = headers.last().second;
        if (!more.isEmpty())
            value += (value.isEmpty() ? QByteArray() : QByteArray(" ")) + more;
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
    if (startFraming() && bodyLeft == 0 && phase == Phase::SizedBody)
        complete();
}

// Where the body ends and which codings it came in; false when that cannot be told.
bool HttpAnswer::startFraming()
{
    QList<QByteArray> codings = codingsOf(header("Content-Encoding"));
    const QList<QByteArray> transferCodings = codingsOf(header("Transfer-Encoding"));
    if (!transferCodings.isEmpty()) {
        const bool chunked = transferCodings.last() == "chunked";
        phase = chunked ? Phase::ChunkSize : Phase::BodyToEnd;
        codings += chunked ? transferCodings.mid(0, transferCodings.size() - 1) : transferCodings;
    } else if (!hasHeader("Content-Length")) {
        phase = Phase::BodyToEnd;
    } else {
        // Several Content-Length headers are one length only when they agree.
        const QByteArray lengths = header("Content-Length");
        QByteArray length;
        for (const QByteArray &each : lengths.split(',')) {
            const QByteArray value = each.trimmed();
            if (!isDecimal(value) || value.size() > 18
                || (!length.isEmpty() && value.toLongLong() != length.toLongLong())) {
                breakOff(QStringLiteral("its Content-Length is not one number of bytes: %1").arg(quoted(lengths)));
                return false;
            }
            length = value;
        }
        bodyLeft = length.toLongLong();
        phase = Phase::SizedBody;
    }
    if (codings.isEmpty())
        return true;
    if (codings.size() > maxCodings) {
        breakOff(QStringLiteral("its body came in %1 codings, more than any server means").arg(codings.size()));
        return false;
    }
    for (const QByteArray &coding : codings) {
        if (coding != "gzip" && coding != "deflate") {
            breakOff(QStringLiteral("its body came in the %1 coding, which the post did not ask for (it takes gzip "
                                    "and deflate) and which cannot be read")
                         .arg(quoted(coding)));
            return false;
        }
    }
    std::reverse(codings.begin(), codings.end());
    decoder.reset(new BodyDecoder(codings));
    return true;
}

// "1a;name=value": hex digits, then extensions, which say nothing to this reader. Zeros in
// front of the digits change nothing.
bool HttpAnswer::readChunkSize(const QByteArray &line)
{
    const int extensions = line.indexOf(';');
    const QByteArray digits = (extensions < 0 ? line : line.left(extensions)).trimmed();
    int significant = 0;
    while (significant < digits.size() - 1 && digits.at(significant) == '0')
        ++significant;
    bool hex = !digits.isEmpty() && digits.size() - significant <= maxChunkSizeDigits;
    for (char c : digits)
        hex = hex && isHexDigit(c);
    if (!hex) {
        breakOff(QStringLiteral("a chunk size line that is not a hexadecimal number: %1").arg(quoted(line)));
        return false;
    }
    bodyLeft = digits.mid(significant).toLongLong(nullptr, 16);
    phase = bodyLeft == 0 ? Phase::Trailers : Phase::ChunkData;
    return true;
}

void HttpAnswer::takeBodyBytes(qint64 count)
{
    const QByteArray bytes = pending.mid(pendingAt, int(count));
    pendingAt += int(count);
    bodyLeft -= count;
    rawBodyBytes += count;
    if (cut)
        return;
    if (!decoder) {
        keep(bytes);
        return;
    }
    QByteArray decoded;
    QString fault;
    const BodyDecoder::Result result = decoder->feed(bytes, &decoded, keptBodyBytes - content.size(), &fault);
    if (result == BodyDecoder::Result::Failed)
        breakOff(fault);
    else
        keep(decoded);
}

// Past what is kept, the body is only framed: nothing more of it is decoded or held.
void HttpAnswer::keep(const QByteArray &decoded)
{
    const int room = keptBodyBytes - content.size();
    content += decoded.left(room);
    if (decoded.size() > room) {
        cut = true;
        decoder.reset();
    }
}

// A body that came empty has no coding to undo, whatever its headers say.
void HttpAnswer::complete()
{
    phase = Phase::Done;
    if (decoder && rawBodyBytes > 0) {
        QByteArray decoded;
        QString fault;
        const BodyDecoder::Result result = decoder->finish(&decoded, keptBodyBytes - content.size(), &fault);
        if (result == BodyDecoder::Result::Failed) {
            breakOff(fault);
            return;
        }
        keep(decoded);
    }
    decoder.reset();
    current = State::Complete;
}

// A broken answer has no body: what was decoded before the fault depends on how the bytes came.
void HttpAnswer::breakOff(const QString &fault)
{
    why = fault;
    current = State::Broken;
    decoder.reset();
    content.clear();
    cut = false;
}
