#include "upload/settleposts.h"

#include "upload/postlimits.h"
#include "upload/uploadchannel.h"

#include <QEventLoop>
#include <QTimer>

int postsInFlight(const QList<UploadChannel *> &channels)
{
    int count = 0;
    for (const UploadChannel *channel : channels)
        count += channel->postsInFlight();
    return count;
}

namespace {
// Whether the system was ending the program by the end of the wait.
bool waitForPosts(const QList<UploadChannel *> &channels, const std::function<bool()> &systemEnding)
{
    bool bySystem = systemEnding();
    if (postsInFlight(channels) == 0)
        return bySystem;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (UploadChannel *channel : channels)
        QObject::connect(channel, &UploadChannel::postsInFlightChanged, &loop, [&loop, &channels] {
            if (postsInFlight(channels) == 0)
                loop.quit();
        });
    // The system may begin to end the program while it waits, which leaves it less time.
    QTimer watch;
    watch.setInterval(100);
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (bySystem || !systemEnding())
            return;
        bySystem = true;
        if (deadline.remainingTime() > PostLimits::systemEndGraceMs())
            deadline.start(PostLimits::systemEndGraceMs());
    });
    deadline.start(bySystem ? PostLimits::systemEndGraceMs() : PostLimits::exitGraceMs());
    watch.start();
    loop.exec();
    return bySystem;
}
}

void settlePosts(const QList<UploadChannel *> &channels, const std::function<bool()> &systemEnding)
{
    const QString why = waitForPosts(channels, systemEnding)
        ? QStringLiteral("Windows was ending the program (its console closed, a logoff or a shutdown) and it waited "
                         "%1 s for it, so the post was abandoned")
              .arg(PostLimits::systemEndGraceSeconds)
        : QStringLiteral("the program was ending and waited %1 s for it, so the post was abandoned")
              .arg(PostLimits::exitGraceSeconds);
    for (UploadChannel *channel : channels)
        channel->abandonPostsInFlight(why);
}
