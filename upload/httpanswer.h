#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <memory>

class BodyDecoder;

// A server's answer to one post, read as its bytes come.
//
// Interim answers (1xx but 101) are passed over: the answer is the final status that
// follows them, with its headers and body. The body ends where its framing says:
// chunked, Content-Length, or the end of the connection; it is decoded as it comes when it
// came gzip or deflate (which every post offers to take), in one coding or several. An
// answer whose framing does not hold together, or that came in a coding the post did not
// ask for, is broken, with what was wrong, rather than taken for what it seems to say.
//
// Of the body only the first keptBodyBytes are kept, decoded; the rest is read to the end of
// its framing and let go without being decoded, so no answer holds more than that.
class HttpAnswer
{
public:
    enum class State { Reading, Complete, Broken };

    // What is kept of a body: far more than any answer a server writes for a person to read.
    static constexpr int keptBodyBytes = 1024 * 1024;

    HttpAnswer();
    ~HttpAnswer();

    // Takes the next bytes from the connection.
    State take(const QByteArray &bytes);
    // The connection ended: a body that runs to its end is complete, anything else cut short.
    State connectionEnded();
    // The connection was reset: nothing can be complete that the end of the connection would end.
    State connectionReset();

    State state() const { return current; }
    // Whether the final status line and its headers have come.
    bool hasStatus() const { return finalStatusCame; }
    int status() const { return statusCode; }
    QString reasonPhrase() const { return reason; }
    // The header's value, several of the same name joined by ", "; empty when absent.
    QByteArray header(const QByteArray &name) const;
    bool hasHeader(const QByteArray &name) const;
    // The body, decoded, once complete: all of it, or its first keptBodyBytes.
    QByteArray body() const { return content; }
    // Whether the body went on past what is kept.
    bool bodyCut() const { return cut; }
    // What was wrong, once broken.
    QString fault() const { return why; }

private:
    enum class Phase { StatusLine, Headers, SizedBody, BodyToEnd, ChunkSize, ChunkData, ChunkEnd, Trailers, Done };

    bool step();
    bool takeLine(QByteArray *line);
    bool readStatusLine(const QByteArray &line);
    void readHeaderLine(const QByteArray &line);
    void startBody();
    bool startFraming();
    bool readChunkSize(const QByteArray &line);
    void takeBodyBytes(qint64 count);
    void keep(const QByteArray &decoded);
    void complete();
    void breakOff(const QString &fault);

    State current = State::Reading;
    Phase phase = Phase::StatusLine;
    QByteArray pending;
    int pendingAt = 0;  // where the unread part of `pending` begins
    int statusCode = 0;
    bool finalStatusCame = false;
    QString reason;
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 headerBytes = 0;
    qint64 bodyLeft = 0;  // of the sized body or of the current chunk
    qint64 rawBodyBytes = 0;
    std::unique_ptr<BodyDecoder> decoder;
    QByteArray content;
    bool cut = false;
    QString why;
};
