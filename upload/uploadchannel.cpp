#include "upload/uploadchannel.h"

#include "logging/logline.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QTimer>
#include <QUrl>
#include <QVariant>

namespace {
const QString localConnection = QStringLiteral("fernwick_db");
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
    if (snapshotOpen)
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

bool UploadChannel::snapshotTablePresent() const
{
    return localDb.tables(QSql::Tables).contains(kind.table, Qt::CaseSensitive);
}

bool UploadChannel::createSnapshotTable()
{
    QSqlQuery create(localDb);
    return create.exec(kind.createStatement);
}

void UploadChannel::clearSnapshot()
{
    if (snapshotOpen)
        abandonSnapshot();
    localDb = QSqlDatabase::database(localConnection, true);
    if (!localDb.isOpen())
        return;
    if (!localDb.transaction()) {
        localDb.close();
        return;
    }
    snapshotOpen = true;
    tablePresent = snapshotTablePresent();
    if (tablePresent)
        QSqlQuery(localDb).exec(QStringLiteral("delete from ") + kind.table);
}

void UploadChannel::insertSnapshot(const QStringList &values)
{
    if (snapshotOpen)
        insertRow(values);
    else
        insertStandaloneRow(values);
}

bool UploadChannel::insertRow(const QStringList &values)
{
    // The table comes into being with its first row, never by a clear alone.
    if (!tablePresent) {
        tablePresent = createSnapshotTable();
        if (!tablePresent)
            return false;
    }
    if (!insertPrepared) {
        insertQuery = QSqlQuery(localDb);
        insertPrepared = insertQuery.prepare(kind.insertStatement);
        if (!insertPrepared)
            return false;
    }
    int position = 0;
    for (const QString &value : values)
        insertQuery.bindValue(position++, value.isNull() ? QStringLiteral("") : value);
    if (kind.timeStamped)
        insertQuery.bindValue(position, timeStamp());
    return insertQuery.exec();
}

// A row written outside a clear-insert-finish sequence, as a transaction of its own.
void UploadChannel::insertStandaloneRow(const QStringList &values)
{
    if (!localDb.isValid() || !localDb.open())
        return;
    if (localDb.transaction()) {
        tablePresent = snapshotTablePresent();
        if (insertRow(values))
            localDb.commit();
        else
            localDb.rollback();
    }
    releaseInsert();
    localDb.close();
}

void UploadChannel::finishSnapshot()
{
    if (!snapshotOpen)
        return;
    releaseInsert();
    if (!localDb.commit())
        localDb.rollback();
    endSnapshot();
}

void UploadChannel::abandonSnapshot()
{
    if (!snapshotOpen)
        return;
    releaseInsert();
    localDb.rollback();
    endSnapshot();
}

void UploadChannel::endSnapshot()
{
    snapshotOpen = false;
    localDb.close();
}

void UploadChannel::releaseInsert()
{
    insertQuery = QSqlQuery();
    insertPrepared = false;
}
