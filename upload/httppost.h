#pragma once

#include "upload/connectionwatch.h"
#include "upload/httpanswer.h"

#include <QAbstractSocket>
#include <QNetworkProxy>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QTcpSocket;
class QTimer;
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

    // Connects, with `tls` for https, through `proxy` unless it is none: an http:// post goes
    // to an HTTP proxy as a request for the whole URL, an https:// one through a tunnel the
    // proxy opens with CONNECT. Every end comes from the event loop, after this returns, and
    // an address that cannot be posted to fails there too.
    void start(const TlsSetting &tls, const QNetworkProxy &proxy = QNetworkProxy(QNetworkProxy::NoProxy));

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
    // From the first byte of an answer, its head (interim answers included) must come
    // whole within `ms`, or the post is abandoned with `why`: a head sent a byte at a time
    // would otherwise hold the post for ever.
    void limitHeadTime(int ms, const QString &why);

signals:
    // The server took a byte of the request, or a byte of the answer came.
    void moved();
    // Emitted once, when the post has ended either way.
    void finished();

private:
    QByteArray requestHead() const;
    void sendMore();
    qint64 requestBytesUnsent() const;
    bool requestAllTaken() const;
    void checkRequestTaken();
    void pollWhileSending();
    void readAnswer();
    void takeAnswer(const QByteArray &bytes);
    void readWhatCame();
    void takeEndOfConnection();
    void takeSocketError(QAbstractSocket::SocketError error);
    void finish();

    const QUrl target;
    const QByteArray body;
    QTcpSocket *socket = nullptr;
    QNetworkProxy httpProxy = QNetworkProxy(QNetworkProxy::NoProxy);  // an http:// post's proxy, spoken to by the post
    bool headSent = false;
    qint64 requestHanded = 0;  // of the head and body, what went to the socket
    qint64 bodySent = 0;       // of the body, what went to the socket
    qint64 requestTaken = 0;   // of the head and body, what the server has taken, as last seen
    QTimer *takenPoll = nullptr;
    ConnectionWatch watch;
    bool answerBegun = false;  // a byte of an answer came
    bool answeredEarly = false;  // a 2xx answer came whole while the body was still going out
    int headLimitMs = 0;
    QString headLimitWhy;
    QTimer *headTimer = nullptr;
    HttpAnswer reply;
    bool ended = false;
    QString abandonedBecause;
    QString socketFailure;  // how the connection failed, in Qt's words
    QString certificateErrors;
};
