#include "upload/uploadchannel.h"

#include "logging/logline.h"
#include "store/localdatabase.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QSqlError>
#include <QTimer>
#include <QUrl>
#include <QVariant>

namespace {
constexpr int retryIntervalMs = 1000;
}

UploadChannel::UploadChannel(const ChannelKind &kind, QObject *parent)
    : QThread(parent)
    , kind(kind)
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
    if (snapshot != Snapshot::None)
        abandonSnapshot();
    // Answers that could not be written before are not dropped when the program ends.
    responseList.writeTo(LocalClock::now().date(), DailyFileQueue::Pacing::Unpaced);
}

void UploadChannel::sendData(QByteArray body)
{
    QNetworkRequest request{QUrl()};
    // Read afresh at every post, so a changed URL takes effect without a restart.
    QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
    const QString url = settings.value(kind.settingsKey, QVariant()).toString();
    request.setUrl(QUrl(url, QUrl::TolerantMode));
    manager->post(request, body);
}

void UploadChannel::getData(QNetworkReply *reply)
{
    QString line;
    if (reply->error() != QNetworkReply::NoError)
        line = QStringLiteral("Failed: ") + reply->errorString();
    else
        line = textUpToZero(reply->readAll());
    reply->deleteLater();
    responseList.append(line.toUtf8());
    writeWaitingLines(DailyFileQueue::Pacing::Paced);
}

void UploadChannel::writeWaitingLines(DailyFileQueue::Pacing pacing)
{
    if (!responseList.writeTo(LocalClock::now().date(), pacing))
        retryTimer->start();
}

void UploadChannel::clearSnapshot()
{
    if (snapshot != Snapshot::None)
        abandonSnapshot();
    localDb = QSqlDatabase::database(LocalDatabase::connectionName, false);
    failure.clear();
    if (openSnapshot() && tablePresent)
        execute(QStringLiteral("delete from ") + kind.table);
}

// The write lock is taken as the transaction begins. A deferred transaction would first
// read and then fail at once, without waiting, on a lock that another connection took
// meanwhile, and the old rows would stay beside the new ones.
bool UploadChannel::openSnapshot()
{
    snapshot = Snapshot::Open;
    if (!localDb.open())
        return giveUp(localDb.lastError());
    if (!execute(QStringLiteral("begin immediate")))
        return false;
    QSqlError error;
    const LocalDatabase::TablePresence presence = LocalDatabase::tablePresence(localDb, kind.table, &error);
    if (presence == LocalDatabase::TablePresence::Unknown)
        return giveUp(error);
    tablePresent = presence == LocalDatabase::TablePresence::Present;
    return true;
}

bool UploadChannel::execute(const QString &statement)
{
    QSqlQuery query(localDb);
    return query.exec(statement) || giveUp(query.lastError());
}

void UploadChannel::insertSnapshot(const QStringList &values)
{
    switch (snapshot) {
    case Snapshot::Open:
        insertRow(values);
        break;
    case Snapshot::None:
        insertStandaloneRow(values);
        break;
    case Snapshot::GivenUp:
        // The rows of a snapshot that cannot be kept whole are not kept at all.
        break;
    }
}

bool UploadChannel::insertRow(const QStringList &values)
{
    // The table comes into being with its first row, never by a clear alone.
    if (!tablePresent) {
        if (!execute(kind.createStatement))
            return false;
        tablePresent = true;
    }
    if (!insertPrepared) {
        insertQuery = QSqlQuery(localDb);
        insertPrepared = insertQuery.prepare(kind.insertStatement);
        if (!insertPrepared)
            return giveUp(insertQuery.lastError());
    }
    int position = 0;
    for (const QString &value : values)
        insertQuery.bindValue(position++, value.isNull() ? QStringLiteral("") : value);
    if (kind.timeStamped)
        insertQuery.bindValue(position, timeStamp());
    return insertQuery.exec() || giveUp(insertQuery.lastError());
}

// A row written outside a clear-insert-finish sequence, as a transaction of its own.
void UploadChannel::insertStandaloneRow(const QStringList &values)
{
    if (!localDb.isValid())
        return;
    failure.clear();
    if (openSnapshot())
        insertRow(values);
    finishSnapshot();
}

// Rolls back whatever the snapshot wrote, so the table keeps the rows it had. Always false.
bool UploadChannel::giveUp(const QSqlError &error)
{
    failure = kind.table + QStringLiteral(" snapshot not saved: ") + LocalDatabase::errorText(error);
    releaseInsert();
    if (localDb.isOpen())
        QSqlQuery(localDb).exec(QStringLiteral("rollback"));
    localDb.close();
    snapshot = Snapshot::GivenUp;
    return false;
}

void UploadChannel::finishSnapshot()
{
    if (snapshot == Snapshot::Open) {
        releaseInsert();
        execute(QStringLiteral("commit"));
    }
    endSnapshot();
}

void UploadChannel::abandonSnapshot()
{
    if (snapshot == Snapshot::Open) {
        releaseInsert();
        QSqlQuery(localDb).exec(QStringLiteral("rollback"));
    }
    endSnapshot();
}

void UploadChannel::endSnapshot()
{
    snapshot = Snapshot::None;
    localDb.close();
}

void UploadChannel::releaseInsert()
{
    insertQuery = QSqlQuery();
    insertPrepared = false;
}
