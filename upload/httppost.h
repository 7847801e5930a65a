#pragma once

#include "upload/httpanswer.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QTcpSocket;
struct TlsSetting;

// One POST on a connection of its own, with the very bytes Qt's HTTP layer sends for a post
// of the same body: the request line, Qt's header lines in Qt's order, the body. The answer
// is read by HttpAnswer, which passes over interim answers and refuses broken framing,
// where Qt's layer takes the first 1xx for the answer and a broken chunk for the end.
//
// The body is sent once and never again: a server that closes the connection after taking
// it may already have stored it. Redirects are not followed. A certificate that does not
// check out ends the post with every problem found.
class HttpPost : public QObject
{
    Q_OBJECT
public:
    HttpPost(const QUrl &url, const QByteArray &body, QObject *parent);

    // Connects, with `tls` for https. Every end comes from the event loop, after this returns,
    // and an address that cannot be posted to fails there too.
    void start(const TlsSetting &tls);

    const QUrl &url() const { return target; }
    bool isFinished() const { return ended; }
    const HttpAnswer &answer() const { return reply; }
    // A complete answer with a 2xx status.
    bool succeeded() const;
    // Why it did not succeed, for an operator; empty when it did.
    QString failure() const;
    // Whether a byte of the request may have left: false when the post failed before it had a
    // connection to send on (refused, no such host, a certificate that did not check out).
    bool mayHaveLeft() const { return headSent; }
    // Ends the post now, if it has not ended: it fails with `why`.
    void abandon(const QString &why);

signals:
    // A byte went out or came in.
    void moved();
    // Emitted once, when the post has ended either way.
    void finished();

private:
    QByteArray requestHead() const;
    void sendMore();
    void readAnswer();
    void takeEndOfConnection();
    void takeSocketError(QAbstractSocket::SocketError error);
    void finish();

    const QUrl target;
    const QByteArray body;
    QTcpSocket *socket = nullptr;
    bool headSent = false;
    qint64 bodySent = 0;
    bool answerBegun = false;  // a byte of an answer came
    HttpAnswer reply;
    bool ended = false;
    QString abandonedBecause;
    QString socketFailure;  // how the connection failed, in Qt's words
    QString certificateErrors;
};
