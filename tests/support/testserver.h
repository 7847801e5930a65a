#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

// An HTTP server on 127.0.0.1 at a free port, in a thread of its own, that records every
// POST and answers as told. Replies can be held back and released later, sent in slow
// pieces, or left out: the server then closes the connection right after taking the body.
class TestServer
{
public:
    struct Request
    {
        QString path;
        QByteArray body;
        QByteArray contentType;
        QByteArray headers;  // every header as "name: value\n", sorted by name
    };

    TestServer();
    ~TestServer();

    QString url(const QString &path) const;
    void answerWith(int status, const QByteArray &body);
    void holdReplies();
    void releaseReplies();
    // Answers `pieces` dots, one at a time, `gapMs` apart.
    void answerInPieces(int pieces, int gapMs);
    void closeAfterBody();
    QList<Request> requests() const;
    int requestCount() const;

private:
    struct State;
    std::unique_ptr<State> state;
};
