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
void waitForPosts(const QList<UploadChannel *> &channels, int graceMs)
{
    if (postsInFlight(channels) == 0)
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    for (UploadChannel *channel : channels)
        QObject::connect(channel, &UploadChannel::postsInFlightChanged, &loop, [&loop, &channels] {
            if (postsInFlight(channels) == 0)
                loop.quit();
        });
    deadline.start(graceMs);
    loop.exec();
}
}

void settlePosts(const QList<UploadChannel *> &channels)
{
    waitForPosts(channels, PostLimits::exitGraceMs());
    const QString why = QStringLiteral("the program was ending and waited %1 s for it, so the post was abandoned")
                            .arg(PostLimits::exitGraceSeconds);
    for (UploadChannel *channel : channels)
        channel->abandonPostsInFlight(why);
}
