#include "upload/uploadchannel.h"

#include "logging/logline.h"
#include "store/recordkind.h"
#include "upload/endpointsetting.h"
#include "upload/oncebody.h"
#include "upload/postlimits.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QVariant>

namespace {
constexpr int retryIntervalMs = 1000;
const char *const recordedMark = "fernwickRecorded";
const char *const certificateErrorsMark = "fernwickCertificateErrors";

// The HTTP status; 0 when none came.
int statusOf(const QNetworkReply *reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

// Only a 2xx status answers a post; Qt reports no error for a redirect it does not follow.
bool isSuccess(const QNetworkReply *reply)
{
    const int status = statusOf(reply);
    return status == 0 || status / 100 == 2;
}

// "HTTP <code> <reason> from <url>", and the address a redirect names. For a 307 or 308 Qt
// wants to send the body again, which a body sent once refuses; the status came before that.
QString statusFailureText(const QNetworkReply *reply)
{
    QString text = QStringLiteral("HTTP ") + QString::number(statusOf(reply));
    const QString reason = reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString();
    if (!reason.isEmpty())
        text += QLatin1Char(' ') + reason;
    text += QStringLiteral(" from ") + reply->url().toString();
    const QByteArray location = reply->rawHeader("Location");
    if (statusOf(reply) / 100 == 3 && !location.isEmpty()) {
        const QUrl target = reply->url().resolved(QUrl::fromEncoded(location));
        text += QStringLiteral("; redirected to %1, which sys.ini does not name, so the post was not sent there")
                    .arg(target.toString());
    }
    return text;
}
}

UploadChannel::UploadChannel(const RecordKind &kind, QObject *parent)
    : QThread(parent)
    , recordKind(kind)
    , snapshot(kind)
    , responseList(kind.responsePattern)
{
    manager = new QNetworkAccessManager(this);
    connect(manager, &QNetworkAccessManager::finished, this, &UploadChannel::getData);
    retryTimer = new QTimer(this);
    retryTimer->setSingleShot(true);
    retryTimer->setInterval(retryIntervalMs);
    connect(retryTimer, &QTimer::timeout, this, [this] { writeWaitingLines(DailyFileQueue::Pacing::Paced); });
}

UploadChannel::~UploadChannel()
{
    abandonPostsInFlight(QStringLiteral("the program ended first, so the post was abandoned"));
    // Answers that could not be written before are not dropped when the program ends.
    responseList.writeTo(LocalClock::now().date(), DailyFileQueue::Pacing::Unpaced);
}

void UploadChannel::sendData(QByteArray body)
{
    sendData(std::move(body), readTlsSetting(QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat)));
}

void UploadChannel::sendData(QByteArray body, const TlsSetting &tls)
{
    // Read afresh at every post, so a changed URL takes effect without a restart.
    QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
    const Endpoint endpoint = readEndpoint(settings, recordKind.settingsKey);
    if (!endpoint.refusal.isEmpty()) {
        refuse(endpoint.refusal);
        return;
    }
    if (!tls.refusal.isEmpty()) {
        refuse(tls.refusal + QStringLiteral("; nothing was posted"));
        return;
    }
    const int timeoutSeconds = readInactivityTimeoutSeconds(settings);
    QNetworkRequest request(QUrl(endpoint.url, QUrl::TolerantMode));
    if (tls.siteAuthorities)
        request.setSslConfiguration(tls.configuration);
    // A site's data goes to the address sys.ini names, never to one a server redirects to.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    // The type Qt picks itself for a body that names none, named here so that Qt does not warn
    // about it at every post. Like Qt, an empty body goes without one.
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    auto *onceBody = new OnceBody(body, nullptr);
    QNetworkReply *reply = manager->post(request, onceBody);
    onceBody->setParent(reply);
    keepCertificateErrors(reply);
    watchPost(reply, timeoutSeconds);
}

void UploadChannel::refuse(const QString &why)
{
    record(QStringLiteral("Failed: ") + why);
    emit notPosted(why);
}

// Qt's description of a failed handshake does not say what was wrong with the certificate;
// the errors it found are kept with the reply for its failure line.
void UploadChannel::keepCertificateErrors(QNetworkReply *reply)
{
    connect(reply, &QNetworkReply::sslErrors, reply, [reply](const QList<QSslError> &errors) {
        reply->setProperty(certificateErrorsMark, certificateErrorsText(errors));
    });
}

// Tracks the post until its reply is handled and, with a limit, starts the inactivity timer
// once the post can move and restarts it whenever bytes move in either direction.
void UploadChannel::watchPost(QNetworkReply *reply, int timeoutSeconds)
{
    // A reply that finished inside post() has been recorded already.
    if (reply->isFinished())
        return;
    inFlight.insert(reply, QString());
    if (timeoutSeconds > 0) {
        auto *idle = new QTimer(reply);
        idle->setSingleShot(true);
        idle->setInterval(PostLimits::idleLimitMs(timeoutSeconds));
        const auto restart = [idle] { idle->start(); };
        connect(reply, &QNetworkReply::uploadProgress, idle, restart);
        connect(reply, &QNetworkReply::metaDataChanged, idle, restart);
        connect(reply, &QNetworkReply::downloadProgress, idle, restart);
        connect(reply, &QNetworkReply::finished, idle, &QTimer::stop);
        const QString why = QStringLiteral("nothing moved for %1 s (HTTP_TIMEOUT_SECONDS), so the post was abandoned")
                                .arg(timeoutSeconds);
        connect(idle, &QTimer::timeout, this, [this, reply, why] { abandonPost(reply, why); });
        // No byte can move before the event loop runs, and the sync that posts holds it off
        // while it reads the kinds after this one; the idle time counts from when it runs.
        QTimer::singleShot(0, idle, [idle, reply] {
            if (!reply->isFinished())
                idle->start();
        });
    }
    emit postsInFlightChanged(inFlight.size());
}

int UploadChannel::postsInFlight() const
{
    return inFlight.size();
}

void UploadChannel::abandonPostsInFlight(const QString &why)
{
    const QList<QNetworkReply *> replies = inFlight.keys();
    for (QNetworkReply *reply : replies)
        abandonPost(reply, why);
}

// The abort finishes the reply, so getData records it before this returns.
void UploadChannel::abandonPost(QNetworkReply *reply, const QString &why)
{
    const auto post = inFlight.find(reply);
    if (post == inFlight.end())
        return;
    *post = why;
    reply->abort();
}

void UploadChannel::getData(QNetworkReply *reply)
{
    // Qt finishes a reply that was aborted before it started once more when it starts;
    // only the first finish is recorded.
    if (reply->property(recordedMark).toBool())
        return;
    reply->setProperty(recordedMark, true);
    const bool watched = inFlight.contains(reply);
    const QString abandonedBecause = inFlight.take(reply);
    const bool failed = reply->error() != QNetworkReply::NoError || !isSuccess(reply);
    const QString failure = failed ? failureText(reply, abandonedBecause) : QString();
    const QString line = failed ? QStringLiteral("Failed: ") + failure : textUpToZero(reply->readAll());
    reply->deleteLater();
    record(line);
    if (watched)
        emit postsInFlightChanged(inFlight.size());
    emit answered(failed, failure);
}

// Qt's own wording, except where it would not tell an operator what happened. A status
// that came before the connection broke says more than how it broke.
QString UploadChannel::failureText(QNetworkReply *reply, const QString &abandonedBecause) const
{
    if (!isSuccess(reply))
        return statusFailureText(reply);
    const QString noAnswer = QStringLiteral("No answer from %1: %2");
    const QString url = reply->url().toString();
    if (!abandonedBecause.isEmpty())
        return noAnswer.arg(url, abandonedBecause);
    const QString certificateErrors = reply->property(certificateErrorsMark).toString();
    if (reply->error() == QNetworkReply::SslHandshakeFailedError && !certificateErrors.isEmpty())
        return reply->errorString() + QStringLiteral(": ") + certificateErrors;
    if (reply->error() == QNetworkReply::ContentReSendError)
        return noAnswer.arg(url, QStringLiteral("the connection closed before an answer came; the post was not "
                                                "sent again, since the server may already have taken it"));
    return reply->errorString();
}

void UploadChannel::record(const QString &line)
{
    responseList.append(line.toUtf8());
    writeWaitingLines(DailyFileQueue::Pacing::Paced);
}

void UploadChannel::writeWaitingLines(DailyFileQueue::Pacing pacing)
{
    if (!responseList.writeTo(LocalClock::now().date(), pacing))
        retryTimer->start();
}
