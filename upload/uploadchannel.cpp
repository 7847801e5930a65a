#include "upload/uploadchannel.h"

#include "logging/logline.h"
#include "store/recordkind.h"
#include "upload/endpointsetting.h"
#include "upload/httppost.h"
#include "upload/postlimits.h"
#include "upload/proxysetting.h"

#include <QElapsedTimer>
#include <QSettings>
#include <QTimer>
#include <QUrl>

namespace {
constexpr int retryIntervalMs = 1000;

// A post's limit on how long nothing may move. A post moves hundreds of times a second, and
// each restart of a timer is a call into the system (under Wine, a round trip to its server),
// so the timer runs on as bytes move and, when it runs out, counts from the last move.
class IdleLimit : public QObject
{
public:
    IdleLimit(HttpPost *post, int limitMs, const QString &why)
        : QObject(post)
        , limitMs(limitMs)
    {
        timer.setSingleShot(true);
        connect(post, &HttpPost::moved, this, &IdleLimit::moved);
        connect(post, &HttpPost::finished, &timer, &QTimer::stop);
        connect(&timer, &QTimer::timeout, this, [this, post, why] {
            const qint64 left = this->limitMs - lastMove.elapsed();
            if (left > 0)
                timer.start(int(left));
            else
                post->abandon(why);
        });
    }
    void moved()
    {
        lastMove.start();
        if (!timer.isActive())
            timer.start(limitMs);
    }

private:
    const int limitMs;
    QTimer timer;
    QElapsedTimer lastMove;
};

// The answer's text, and a note where the text runs to the end of the part that was kept.
QString answerLine(const HttpAnswer &answer)
{
    QString line = textUpToZero(answer.body());
    if (answer.bodyCut() && !answer.body().contains('\0'))
        line += QStringLiteral(" [the answer went on past %1 bytes; only those are recorded]").arg(HttpAnswer::keptBodyBytes);
    return line;
}
}

UploadChannel::UploadChannel(const RecordKind &kind, QObject *parent)
    : QThread(parent)
    , recordKind(kind)
    , snapshot(kind)
    , responseList(kind.responsePattern)
{
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
    const QUrl url(endpoint.url, QUrl::TolerantMode);
    const ProxySetting proxy = readProxySetting(settings, url);
    if (!proxy.refusal.isEmpty()) {
        refuse(proxy.refusal);
        return;
    }
    const int timeoutSeconds = readInactivityTimeoutSeconds(settings);
    auto *post = new HttpPost(url, body, this);
    connect(post, &HttpPost::finished, this, [this, post] { record(post); });
    watchPost(post, timeoutSeconds);
    post->start(tls, proxy.proxy);
}

void UploadChannel::refuse(const QString &why)
{
    record(QStringLiteral("Failed: ") + why);
    emit notPosted(why);
}

// Tracks the post until it has ended and, with a limit, starts the inactivity limit once the
// post can move; it counts from the last time bytes moved in either direction.
void UploadChannel::watchPost(HttpPost *post, int timeoutSeconds)
{
    inFlight.insert(post);
    if (timeoutSeconds > 0) {
        const QString why = QStringLiteral("nothing moved for %1 s (HTTP_TIMEOUT_SECONDS), so the post was abandoned")
                                .arg(timeoutSeconds);
        auto *idle = new IdleLimit(post, PostLimits::idleLimitMs(timeoutSeconds), why);
        post->limitHeadTime(PostLimits::idleLimitMs(timeoutSeconds),
                            QStringLiteral("the head of its answer had not come whole %1 s (HTTP_TIMEOUT_SECONDS) after "
                                           "its first byte, so the post was abandoned")
                                .arg(timeoutSeconds));
        // No byte can move before the event loop runs, and the sync that posts holds it off
        // while it reads the kinds after this one; the idle time counts from when it runs.
        QTimer::singleShot(0, idle, [idle, post] {
            if (!post->isFinished())
                idle->moved();
        });
    }
    emit postsInFlightChanged(inFlight.size());
}

int UploadChannel::postsInFlight() const
{
    return inFlight.size();
}

// Each abandoned post is recorded before this returns.
void UploadChannel::abandonPostsInFlight(const QString &why)
{
    const QSet<HttpPost *> posts = inFlight;
    for (HttpPost *post : posts)
        post->abandon(why);
}

void UploadChannel::record(HttpPost *post)
{
    inFlight.remove(post);
    const QString failure = post->failure();
    const bool failed = !failure.isEmpty();
    post->deleteLater();
    record(failed ? QStringLiteral("Failed: ") + failure : answerLine(post->answer()));
    emit postsInFlightChanged(inFlight.size());
    if (failed && !post->mayHaveLeft())
        emit notPosted(failure);
    else
        emit answered(failed, failure);
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
