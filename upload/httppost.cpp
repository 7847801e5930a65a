#include "upload/httppost.h"

#include "upload/endpointsetting.h"
#include "upload/tlssetting.h"

#include <QHostAddress>
#include <QLocale>
#include <QSslSocket>
#include <QTimer>

namespace {
// The body goes out in pieces, so that a large one is not copied whole into the socket.
constexpr int pieceBytes = 256 * 1024;
// How often the post looks at what the server has taken of the request while some of it is
// still on its way.
constexpr int takenPollMs = 100;

// The Accept-Language Qt's HTTP layer sends: the system's locale, then English, then anything.
QByteArray acceptLanguage()
{
    const QString locale = QLocale::system().name().replace(QLatin1Char('_'), QLatin1Char('-'));
    if (locale == QLatin1String("C"))
        return "en,*";
    if (locale.startsWith(QLatin1String("en-")))
        return locale.toLatin1() + ",*";
    return locale.toLatin1() + ",en,*";
}

// Host and explicit port as Qt writes them: an IPv6 address in brackets, a name in ASCII.
QByteArray hostHeader(const QUrl &url)
{
    const QString host = url.host();
    QByteArray value = QHostAddress().setAddress(host) ? hostAsInUrl(host).toLatin1() : QUrl::toAce(host);
    if (url.port() != -1)
        value += ':' + QByteArray::number(url.port());
    return value;
}

// The path and query as Qt's layer puts them on the request line.
QByteArray requestTarget(QUrl url)
{
    QUrl::FormattingOptions format(QUrl::RemoveFragment | QUrl::RemoveUserInfo | QUrl::FullyEncoded
                                   | QUrl::RemoveScheme | QUrl::RemoveAuthority);
    if (url.path().isEmpty())
        url.setPath(QStringLiteral("/"));
    else
        format |= QUrl::NormalizePathSegments;
    return url.toEncoded(format);
}

// "HTTP <code> <reason> from <url>", and the address a redirect names.
QString statusFailureText(const HttpAnswer &answer, const QUrl &url)
{
    QString text = QStringLiteral("HTTP ") + QString::number(answer.status());
    if (!answer.reasonPhrase().isEmpty())
        text += QLatin1Char(' ') + answer.reasonPhrase();
    text += QStringLiteral(" from ") + url.toString();
    const QByteArray location = answer.header("Location");
    if (answer.status() / 100 == 3 && !location.isEmpty()) {
        const QUrl target = url.resolved(QUrl::fromEncoded(location));
        text += QStringLiteral("; redirected to %1, which sys.ini does not name, so the post was not sent there")
                    .arg(target.toString());
    }
    return text;
}

// Qt's HTTP layer's words for how a connection failed.
QString socketFailureText(QAbstractSocket::SocketError error, const QTcpSocket &socket, const QUrl &url,
                          const QString &certificateErrors)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("Host %1 not found").arg(url.host());
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral("Connection refused");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("Socket operation timed out");
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QStringLiteral("Proxy requires authentication");
    case QAbstractSocket::SslHandshakeFailedError:
        // Qt's words do not say what was wrong with the certificate; its errors do.
        return certificateErrors.isEmpty() ? QStringLiteral("SSL handshake failed")
                                           : QStringLiteral("SSL handshake failed: ") + certificateErrors;
    default:
        return socket.errorString();
    }
}
}

HttpPost::HttpPost(const QUrl &url, const QByteArray &body, QObject *parent)
    : QObject(parent)
    , target(url)
    , body(body)
{
}

// An early success counts once the server has taken the whole body.
bool HttpPost::succeeded() const
{
    return reply.state() == HttpAnswer::State::Complete && reply.status() / 100 == 2
        && (!answeredEarly || requestAllTaken());
}

// A status that came before the connection broke says more than how it broke.
QString HttpPost::failure() const
{
    if (succeeded())
        return QString();
    if (reply.hasStatus() && reply.status() / 100 != 2)
        return statusFailureText(reply, target);
    const QString noAnswer = QStringLiteral("No answer from %1: %2").arg(target.toString());
    if (!abandonedBecause.isEmpty())
        return noAnswer.arg(abandonedBecause);
    if (answeredEarly)
        return QStringLiteral("Early answer from %1: HTTP %2 came before the server had the whole body, and the "
                              "connection ended when it had taken %3 of the body's %4 bytes; the post was not sent again")
            .arg(target.toString())
            .arg(reply.status())
            .arg(qMax<qint64>(0, requestTaken - (requestHanded - bodySent)))
            .arg(body.size());
    if (!socketFailure.isEmpty())
        return socketFailure;
    if (!headSent)
        return noAnswer.arg(QStringLiteral("the connection closed before the request could be sent (in the TLS "
                                           "handshake); nothing was posted"));
    if (!answerBegun)
        return noAnswer.arg(QStringLiteral("the connection closed before an answer came; the post was not sent again, "
                                           "since the server may already have taken it"));
    return QStringLiteral("Unreadable answer from %1: %2").arg(target.toString(), reply.fault());
}

void HttpPost::abandon(const QString &why)
{
    if (ended)
        return;
    abandonedBecause = why;
    finish();
}

void HttpPost::limitHeadTime(int ms, const QString &why)
{
    headLimitMs = ms;
    headLimitWhy = why;
}

void HttpPost::start(const TlsSetting &tls, const QNetworkProxy &proxy)
{
    const bool secure = target.scheme() == QLatin1String("https");
    if (!secure && target.scheme() != QLatin1String("http")) {
        socketFailure = QStringLiteral("Protocol \"%1\" is unknown").arg(target.scheme());
        QTimer::singleShot(0, this, &HttpPost::finish);
        return;
    }
    if (secure) {
        auto *sslSocket = new QSslSocket(this);
        sslSocket->setSslConfiguration(tls.configuration());
        connect(sslSocket, QOverload<const QList<QSslError> &>::of(&QSslSocket::sslErrors), this,
                [this](const QList<QSslError> &errors) { certificateErrors = certificateErrorsText(errors); });
        connect(sslSocket, &QSslSocket::encrypted, this, &HttpPost::sendMore);
        socket = sslSocket;
    } else {
        socket = new QTcpSocket(this);
        connect(socket, &QTcpSocket::connected, this, &HttpPost::sendMore);
    }
    // Qt's layer keeps its connections alive the same way.
    connect(socket, &QTcpSocket::connected, this,
            [this] { socket->setSocketOption(QAbstractSocket::KeepAliveOption, 1); });
    connect(socket, &QTcpSocket::bytesWritten, this, &HttpPost::sendMore);
    // What went to the socket is not yet what the server took: the system's send queue holds
    // megabytes, so the post watches that queue drain.
    takenPoll = new QTimer(this);
    takenPoll->setInterval(takenPollMs);
    connect(takenPoll, &QTimer::timeout, this, &HttpPost::pollWhileSending);
    connect(socket, &QTcpSocket::readyRead, this, &HttpPost::readAnswer);
    connect(socket, &QTcpSocket::disconnected, this, &HttpPost::takeEndOfConnection);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(socket, &QAbstractSocket::errorOccurred, this, &HttpPost::takeSocketError);
#else
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QAbstractSocket::error), this,
            &HttpPost::takeSocketError);
#endif
    const quint16 port = quint16(target.port(secure ? 443 : 80));
    // Qt would tunnel through an HTTP proxy with CONNECT, which proxies refuse to any port but
    // 443; a plain post is sent to the proxy whole instead, as a request for the URL.
    if (!secure && proxy.type() == QNetworkProxy::HttpProxy) {
        httpProxy = proxy;
        socket->setProxy(QNetworkProxy::NoProxy);
        socket->connectToHost(proxy.hostName(), proxy.port());
        return;
    }
    socket->setProxy(proxy);
    if (secure)
        static_cast<QSslSocket *>(socket)->connectToHostEncrypted(target.host(), port);
    else
        socket->connectToHost(target.host(), port);
}

QByteArray HttpPost::requestHead() const
{
    const bool viaProxy = httpProxy.type() == QNetworkProxy::HttpProxy;
    const QByteArray origin = viaProxy ? "http://" + hostHeader(target) : QByteArray();
    QByteArray head = "POST " + origin + requestTarget(target) + " HTTP/1.1\r\n";
    head += "Host: " + hostHeader(target) + "\r\n";
    if (viaProxy && !httpProxy.user().isEmpty())
        head += "Proxy-Authorization: Basic "
            + (httpProxy.user() + QLatin1Char(':') + httpProxy.password()).toUtf8().toBase64() + "\r\n";
    // The type Qt would pick itself for a body that names none; like Qt, an empty body goes without.
    if (!body.isEmpty())
        head += "Content-Type: application/x-www-form-urlencoded\r\n";
    head += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    head += "Connection: Keep-Alive\r\n";
    head += "Accept-Encoding: gzip, deflate\r\n";
    head += "Accept-Language: " + acceptLanguage() + "\r\n";
    head += "User-Agent: Mozilla/5.0\r\n\r\n";
    return head;
}

// The head first, then the body, a few pieces ahead of what the connection has taken.
void HttpPost::sendMore()
{
    if (!headSent) {
        headSent = true;
        watch.watch(*socket);
        const QByteArray head = requestHead();
        socket->write(head);
        requestHanded += head.size();
    }
    while (bodySent < body.size() && socket->bytesToWrite() < 4 * pieceBytes) {
        const qint64 piece = qMin<qint64>(pieceBytes, body.size() - bodySent);
        socket->write(body.constData() + bodySent, piece);
        bodySent += piece;
        requestHanded += piece;
    }
    if (!takenPoll->isActive())
        takenPoll->start();
    checkRequestTaken();
}

// Of the request, what the server has not yet taken; -1 when that cannot be told any more.
// The system's count is of the bytes on the wire, which for TLS are a little more than the
// request's; it only ever serves to tell whether the server took more, and whether it took all.
qint64 HttpPost::requestBytesUnsent() const
{
    const qint64 inSystem = watch.untakenBytes();
    if (inSystem < 0)
        return -1;
    qint64 unsent = socket->bytesToWrite() + inSystem;
    if (auto *sslSocket = qobject_cast<QSslSocket *>(socket))
        unsent += sslSocket->encryptedBytesToWrite();
    return unsent;
}

bool HttpPost::requestAllTaken() const
{
    return bodySent == body.size() && requestTaken == requestHanded;
}

void HttpPost::checkRequestTaken()
{
    const qint64 unsent = requestBytesUnsent();
    if (ended || unsent < 0)
        return;
    const qint64 taken = requestHanded - unsent;
    if (taken > requestTaken) {
        requestTaken = taken;
        emit moved();
    }
    if (!requestAllTaken())
        return;
    takenPoll->stop();
    if (answeredEarly)
        finish();
}

// While the request goes out, the post also looks for an answer itself: under Wine a
// connection whose send queue is full can leave Qt untold that the server answered and reset.
void HttpPost::pollWhileSending()
{
    readWhatCame();
    if (!ended)
        checkRequestTaken();
}

void HttpPost::readAnswer()
{
    takeAnswer(socket->readAll());
}

void HttpPost::takeAnswer(const QByteArray &bytes)
{
    if (ended || bytes.isEmpty() || answeredEarly)
        return;
    if (!answerBegun && headLimitMs > 0) {
        headTimer = new QTimer(this);
        headTimer->setSingleShot(true);
        connect(headTimer, &QTimer::timeout, this, [this] { abandon(headLimitWhy); });
        headTimer->start(headLimitMs);
    }
    answerBegun = true;
    emit moved();
    const HttpAnswer::State state = reply.take(bytes);
    if (headTimer && reply.hasStatus())
        headTimer->stop();
    if (state == HttpAnswer::State::Reading)
        return;
    checkRequestTaken();
    // A success that came while the body was still going out is taken once the server has
    // the whole body: a server may answer before it has read it all, and read on.
    if (succeeded() && !requestAllTaken()) {
        answeredEarly = true;
        return;
    }
    finish();
}

// What Qt read and what a reset left in the system unread, which Qt lets go when it takes the
// reset while sending: a 413 sent before the reset is the answer. Only a plain connection's
// bytes are the answer; a TLS one's would be records.
void HttpPost::readWhatCame()
{
    readAnswer();
    if (!qobject_cast<QSslSocket *>(socket))
        takeAnswer(watch.unreadBytes());
}

// What came before the end is read first: an answer may end with the connection.
void HttpPost::takeEndOfConnection()
{
    checkRequestTaken();
    readWhatCame();
    if (ended)
        return;
    if (answerBegun && !answeredEarly) {
        if (watch.wasReset())
            reply.connectionReset();
        else
            reply.connectionEnded();
    }
    finish();
}

void HttpPost::takeSocketError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError) {
        takeEndOfConnection();
        return;
    }
    if (ended)
        return;
    socketFailure = socketFailureText(error, *socket, target, certificateErrors);
    // A write the server's reset failed may have come after the server's answer, which says more.
    if (headSent)
        readWhatCame();
    finish();
}

void HttpPost::finish()
{
    if (ended)
        return;
    ended = true;
    if (takenPoll)
        takenPoll->stop();
    if (headTimer)
        headTimer->stop();
    if (socket) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
    watch.stop();
    emit finished();
}
