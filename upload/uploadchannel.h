#pragma once

#include "logging/dailyfilequeue.h"
#include "store/snapshottable.h"
#include "upload/tlssetting.h"

#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class HttpPost;
class QTimer;
struct RecordKind;

// One record kind's way to the server: posts a body to the kind's endpoint and appends
// every answer to the kind's daily response file. The kind's snapshot table, which
// SnapshotTable keeps, is reached through it too.
//
// Every post ends with one line in the response file: the body of a 2xx answer, or
// "Failed: " and why. Redirects are not followed. A certificate that does not check out
// fails the post with every problem found; nothing turns the check off. CA_CERTIFICATES
// adds a site's own certificate authorities to the system's.
// A post that moves no bytes for HTTP_TIMEOUT_SECONDS is abandoned, and whoever ends the
// program can wait for the posts in flight and abandon what remains.
class UploadChannel : public QThread
{
    Q_OBJECT
public:
    UploadChannel(const RecordKind &kind, QObject *parent);
    ~UploadChannel() override;

    const RecordKind &kind() const { return recordKind; }

    // Reads CA_CERTIFICATES for this post alone.
    void sendData(QByteArray body);
    // With the trust a sync read once for all its posts: a site's CA file may be large.
    void sendData(QByteArray body, const TlsSetting &tls);

    int postsInFlight() const;
    // Aborts every post still in flight; each is recorded as failed, with `why` as the reason.
    void abandonPostsInFlight(const QString &why);

    void clearSnapshot() { snapshot.clear(); }
    void insertSnapshot(const QStringList &values) { snapshot.insert(values); }
    void finishSnapshot() { snapshot.finish(); }
    void abandonSnapshot() { snapshot.abandon(); }
    QString snapshotFailure() const { return snapshot.failure(); }
    QString snapshotFailureReason() const { return snapshot.failureReason(); }

signals:
    void postsInFlightChanged(int count);
    // One post has ended; failed unless a 2xx answer came.
    void answered(bool failed, const QString &error);
    // A body was not posted at all, for `why`; its line in the response file says so too.
    void notPosted(const QString &why);

private:
    void refuse(const QString &why);
    void watchPost(HttpPost *post, int timeoutSeconds);
    // The post's answer, or why it failed, goes to the response file.
    void record(HttpPost *post);
    void record(const QString &line);
    void writeWaitingLines(DailyFileQueue::Pacing pacing);

    const RecordKind &recordKind;
    SnapshotTable snapshot;
    DailyFileQueue responseList;
    // While answers wait for a file that cannot be written, they are tried again now and then.
    QTimer *retryTimer = nullptr;
    // Posts not yet ended.
    QSet<HttpPost *> inFlight;
};
