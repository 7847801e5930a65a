#include "upload/httppost.h"

#include "upload/endpointsetting.h"
#include "upload/tlssetting.h"

#include <QHostAddress>
#include <QLocale>
#include <QSslSocket>
#include <QTimer>

namespace {
// The body goes out in pieces, so that a large one is not copied whole into the socket.
constexpr int pieceBytes = 64 * 1024;

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

bool HttpPost::succeeded() const
{
    return reply.state() == HttpAnswer::State::Complete && reply.status() / 100 == 2;
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
    if (!socketFailure.isEmpty())
        return socketFailure;
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

void HttpPost::start(const TlsSetting &tls)
{
    const bool secure = target.scheme() == QLatin1String("https");
    if (!secure && target.scheme() != QLatin1String("http")) {
        socketFailure = QStringLiteral("Protocol \"%1\" is unknown").arg(target.scheme());
        QTimer::singleShot(0, this, &HttpPost::finish);
        return;
    }
    if (secure) {
        auto *sslSocket = new QSslSocket(this);
        sslSocket->setSslConfiguration(tls.configuration);
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
    connect(socket, &QTcpSocket::bytesWritten, this, [this] {
        emit moved();
        sendMore();
    });
    connect(socket, &QTcpSocket::readyRead, this, &HttpPost::readAnswer);
    connect(socket, &QTcpSocket::disconnected, this, &HttpPost::takeEndOfConnection);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(socket, &QAbstractSocket::errorOccurred, this, &HttpPost::takeSocketError);
#else
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QAbstractSocket::error), this,
            &HttpPost::takeSocketError);
#endif
    const quint16 port = quint16(target.port(secure ? 443 : 80));
    if (secure)
        static_cast<QSslSocket *>(socket)->connectToHostEncrypted(target.host(), port);
    else
        socket->connectToHost(target.host(), port);
}

QByteArray HttpPost::requestHead() const
{
    QByteArray head = "POST " + requestTarget(target) + " HTTP/1.1\r\n";
    head += "Host: " + hostHeader(target) + "\r\n";
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
        socket->write(requestHead());
    }
    while (bodySent < body.size() && socket->bytesToWrite() < 4 * pieceBytes) {
        const qint64 piece = qMin<qint64>(pieceBytes, body.size() - bodySent);
        socket->write(body.constData() + bodySent, piece);
        bodySent += piece;
    }
}

void HttpPost::readAnswer()
{
    const QByteArray bytes = socket->readAll();
    if (ended || bytes.isEmpty())
        return;
    answerBegun = true;
    emit moved();
    if (reply.take(bytes) != HttpAnswer::State::Reading)
        finish();
}

// What came before the end is read first: an answer may end with the connection.
void HttpPost::takeEndOfConnection()
{
    readAnswer();
    if (ended)
        return;
    if (answerBegun)
        reply.connectionEnded();
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
    finish();
}

void HttpPost::finish()
{
    if (ended)
        return;
    ended = true;
    if (socket) {
        disconnect(socket, nullptr, this, nullptr);
        socket->abort();
    }
    emit finished();
}
