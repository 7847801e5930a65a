#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// An HTTP server on 127.0.0.1 at a free port, in a thread of its own, that records every
// POST and answers as told. Replies can be held back and released later, sent in slow
// pieces, or left out: the server then closes the connection right after taking the body,
// or sent as raw bytes.
// It can also answer before it reads the body and then drop the connection unread.
// Given a certificate and its key, it speaks HTTPS.
class TestServer
{
public:
    struct Request
    {
        QString path;
        QString target;  // the path and the query, as the request line had them
        QByteArray body;
        QByteArray contentType;
        QByteArray headers;  // every header as "name: value\n", sorted by name
    };

    TestServer();
    // An HTTPS server with the certificate and key of these PEM files.
    TestServer(const QString &certificateFile, const QString &keyFile);
    ~TestServer();

    QString url(const QString &path) const;
    // An empty `location` sends no Location header.
    void answerWith(int status, const QByteArray &body, const QString &location = QString());
    void holdReplies();
    void releaseReplies();
    // Answers `pieces` dots, one at a time, `gapMs` apart.
    void answerInPieces(int pieces, int gapMs);
    void closeAfterBody();
    // Sends these bytes as they are for the whole answer, then closes the connection.
    void answerRaw(const QByteArray &bytes);
    // Reads the first `slowBytes` of the body slowly, pausing `pauseUs` microseconds after
    // every `bytes` it takes, as a busy server or a thin line takes it, and the rest at once.
    void readBodySlowly(int slowBytes, int bytes, int pauseUs);
    // Answers with `status` without reading the body, and drops the connection, which the
    // unread body resets, once replies are released.
    void answerBeforeBody(int status);
    // Sends these bytes as they are as soon as the request's head has come, then reads the
    // whole body and closes, or, without `thenReadsBody`, drops the connection unread.
    void answerRawEarly(const QByteArray &bytes, bool thenReadsBody);
    // Sends these bytes one at a time, `gapMs` apart, after reading the body, then closes.
    void answerRawSlowly(const QByteArray &bytes, int gapMs);
    QList<Request> requests() const;
    int requestCount() const;
    // Blocks, without running any event loop, until `count` answers have been written out;
    // false if that takes more than half a minute.
    bool waitForAnswersSent(int count);

private:
    struct State;
    std::unique_ptr<State> state;
};
