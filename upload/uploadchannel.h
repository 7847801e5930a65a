#pragma once

#include "logging/dailyfilequeue.h"
#include "store/snapshotinsert.h"

#include <QHash>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QThread>

class QNetworkAccessManager;
class QNetworkReply;
class QSqlError;
class QTimer;
struct RecordKind;

// One record kind's way to the server: posts a body to the kind's endpoint and appends
// every answer to the kind's daily response file. It also keeps the kind's snapshot table.
//
// Every post ends with one line in the response file: the body of a 2xx answer, or
// "Failed: " and why. Redirects are not followed.
// A post that moves no bytes for HTTP_TIMEOUT_SECONDS is abandoned, and whoever ends the
// program can wait for the posts in flight and abandon what remains.
//
// A snapshot is replaced as a whole: clearSnapshot takes the file's write lock and opens a
// transaction that removes the old rows, insertSnapshot adds rows inside it, and
// finishSnapshot commits. abandonSnapshot rolls back, so a failed read leaves the previous
// snapshot as it was. The first step that fails gives the whole snapshot up the same way;
// snapshotFailure then says why.
class UploadChannel : public QThread
{
    Q_OBJECT
public:
    UploadChannel(const RecordKind &kind, QObject *parent);
    ~UploadChannel() override;

    const RecordKind &kind() const { return recordKind; }

    void sendData(QByteArray body);

    int postsInFlight() const;
    // Aborts every post still in flight; each is recorded as failed, with `why` as the reason.
    void abandonPostsInFlight(const QString &why);

    void clearSnapshot();
    void insertSnapshot(const QStringList &values);
    void finishSnapshot();
    void abandonSnapshot();
    // "<table> snapshot not saved: <reason>" when the last snapshot was given up by a
    // failure of the local file, so the table still holds the one before; else empty.
    QString snapshotFailure() const;
    // The reason alone, as SQLite gives it; empty when the snapshot was saved.
    QString snapshotFailureReason() const { return failureReason; }

signals:
    void postsInFlightChanged(int count);
    // One post has ended; failed unless a 2xx answer came.
    void answered(bool failed, const QString &error);

public slots:
    void getData(QNetworkReply *);

private:
    void watchPost(QNetworkReply *reply, int timeoutSeconds);
    void abandonPost(QNetworkReply *reply, const QString &why);
    QString failureText(QNetworkReply *reply, const QString &abandonedBecause) const;

    void record(const QString &line);
    void writeWaitingLines(DailyFileQueue::Pacing pacing);
    bool openSnapshot();
    bool execute(const QString &statement);
    bool insertRow(const QStringList &values);
    void insertStandaloneRow(const QStringList &values);
    bool giveUp(const QSqlError &error);
    bool giveUp(const QString &reason);
    void endSnapshot();
    void rollBack();

    const RecordKind &recordKind;
    QSqlDatabase localDb;
    QNetworkAccessManager *manager = nullptr;
    DailyFileQueue responseList;
    // While answers wait for a file that cannot be written, they are tried again now and then.
    QTimer *retryTimer = nullptr;
    // Posts not yet answered, each with the reason it was abandoned (empty while it runs).
    QHash<QNetworkReply *, QString> inFlight;

    enum class Snapshot { None, Open, GivenUp };
    Snapshot snapshot = Snapshot::None;
    QString failureReason;
    bool tablePresent = false;
    SnapshotInsert insert;
};
