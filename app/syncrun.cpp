// The sync run and the extraction frame that reads one kind of record, keeps its
// snapshot and posts it.
#include "app/jsonrows.h"
#include "app/mainwindow.h"
#include "app/odbcrowreader.h"
#include "app/oldlogs.h"
#include "app/syncoutcome.h"
#include "app/valuetext.h"
#include "store/recordkind.h"
#include "logging/logline.h"
#include "logging/logthread.h"
#include "ui_mainwindow.h"
#include "upload/linethread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSettings>
#include <QVector>

namespace {
const QString accessConnection = QStringLiteral("GuardTour_DB");

// Laying out one line of many megabytes freezes the window for seconds, so the pane shows
// a long body's beginning only; the log file always has all of it.
constexpr int paneBodyLimit = 4096;

QString paneBody(const QByteArray &utf8)
{
    // Four bytes of UTF-8 never make less than one character, so this holds the whole
    // beginning the pane shows.
    const QString text = QString::fromUtf8(utf8.left(4 * paneBodyLimit));
    if (utf8.size() <= 4 * paneBodyLimit && text.size() <= paneBodyLimit)
        return text;
    return text.left(paneBodyLimit)
        + QStringLiteral(" … [%1 bytes in all; the log file has the whole body]").arg(utf8.size());
}

QString connectionValue(const QString &value)
{
    const bool needsBraces = value.contains(QLatin1Char(';')) || value.contains(QLatin1Char('{'))
        || value.contains(QLatin1Char('}')) || value != value.trimmed();
    if (!needsBraces)
        return value;
    QString escaped = value;
    escaped.replace(QLatin1Char('}'), QStringLiteral("}}"));
    return QLatin1Char('{') + escaped + QLatin1Char('}');
}

QVector<int> columnIndexes(const QSqlRecord &record, const QStringList &columns)
{
    QVector<int> indexes;
    indexes.reserve(columns.size());
    for (const QString &column : columns)
        indexes << record.indexOf(column);
    return indexes;
}

// A NULL is the empty text. The toolkit would turn a NULL number into "0", which the
// server could not tell from a real zero.
QString columnText(const QVariant &value)
{
    return value.isNull() ? QString() : valueText(value);
}

}

// The request body "key=" + the compact JSON array of the rows, written one object at a
// time: the text is the same as the whole array's, without holding every object twice.
class RequestBody
{
public:
    explicit RequestBody(const QStringList &keys)
        : writer(keys)
        , bytes(QByteArrayLiteral("key=["))
    {
    }
    void append(const QStringList &values)
    {
        if (rows++ > 0)
            bytes.append(',');
        writer.append(&bytes, values);
    }
    QByteArray finish() { return bytes.append(']'); }
    int count() const { return rows; }

private:
    const JsonRowWriter writer;
    QByteArray bytes;
    int rows = 0;
};

QString accessConnectionString(const QString &path, const QString &password, const QString &driver)
{
    return QStringLiteral("DRIVER={") + driver + QStringLiteral("};")
        + fillPlaceholders(QStringLiteral("FIL={MS Access};DBQ=%1;Uid=%2;Pwd=%3"),
                           {connectionValue(path), QString(), connectionValue(password)});
}

void MainWindow::syncData()
{
    // The handle is let go before the name is registered anew, so the toolkit has no
    // connection in use to complain about.
    accessDb = QSqlDatabase();
    QSqlDatabase::removeDatabase(accessConnection);
    accessDb = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), accessConnection);
    accessDriver = jetDriverName;
    accessDb.setDatabaseName(accessConnectionString(pathMdb, passWd, accessDriver));
    runOutcome->startRun();
    postTrust = readTlsSetting(QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat));
    removeOldLogs();
    toPane(QStringLiteral("******** KELDO-FERNWICK start ********"));
    pointData();
    lineData();
    planData();
    toPane(QStringLiteral("******** KELDO-FERNWICK end ********"));
    toFile(QStringLiteral("****** end ******"));
}

// A window left open for months removes old days as a timer's runs do, at every sync.
void MainWindow::removeOldLogs()
{
    const int keepDays = readLogKeepDays(QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat));
    const RemovedLogs removed = removeOldDailyFiles(QStringLiteral("log"), LocalClock::now().date(), keepDays);
    runOutcome->setOldLogsNotRemoved(removed.notRemoved);
    const QString line = removedLogsLine(removed, keepDays);
    if (!line.isEmpty())
        toFile(line);
}

void MainWindow::pointData()
{
    extract(pointThread);
}

void MainWindow::lineData()
{
    extract(lineThread);
}

void MainWindow::planData()
{
    extract(planThread);
}

void MainWindow::extract(UploadChannel *channel)
{
    const RecordKind &kind = channel->kind();
    RequestBody rows(kind.keys);
    toFile(QStringLiteral("sql ") + kind.operation + QStringLiteral(" start"));
    channel->clearSnapshot();
    toPane(QStringLiteral("-------- ") + kind.operation + QStringLiteral(" start --------"));
    QString error;
    if (readRows(kind, channel, &rows, &error)) {
        channel->finishSnapshot();
        reportSnapshotFailure(channel);
        // The server gets the rows even when the local copy could not be kept.
        const QByteArray body = rows.finish();
        // Recorded first: a post can fail, and be answered, inside sendData.
        runOutcome->addKind({kind.word, true, rows.count(), KindOutcome::Post::Waiting, QString(),
                             channel->snapshotFailureReason()});
        channel->sendData(body, postTrust);
        const QByteArray sent = bytesUpToZero(body);
        toFile(kind.word + QStringLiteral(" sendData: "));
        logThread->appendUtf8(sent);
        toPane(kind.word + QStringLiteral(" sendData: ") + paneBody(sent));
    } else {
        // Posting an empty array would tell the server that the site has no records at all.
        channel->abandonSnapshot();
        toFile(QStringLiteral("AccessDB error: ") + error);
        reportSnapshotFailure(channel);
        toFileAndPane(kind.word + QStringLiteral(" sendData skipped"));
        runOutcome->addKind({kind.word, false, 0, KindOutcome::Post::None, error, channel->snapshotFailureReason()});
    }
    toPane(QStringLiteral("-------- ") + kind.operation + QStringLiteral(" end --------"));
    toFile(QStringLiteral("sql ") + kind.operation + QStringLiteral(" end"));
}

// Reads every row of the kind's query into the snapshot and the array. False, with the
// driver's text in `error`, when the database could not be opened or the read did not finish.
bool MainWindow::readRows(const RecordKind &kind, UploadChannel *channel, RequestBody *rows, QString *error)
{
    if (!openAccessDb()) {
        toFileAndPane(QStringLiteral("AccessDB open failed"));
        *error = accessDb.lastError().text();
        return false;
    }
    toFileAndPane(QStringLiteral("AccessDB open success"));
    QSqlQuery query(accessDb);
    query.setForwardOnly(true);
    bool complete = query.exec(kind.query);
    if (complete) {
        const QVector<int> indexes = columnIndexes(query.record(), kind.columns);
        const LineTemplate rowLine(kind.rowLine, kind.columns.size());
        OdbcRowReader reader(&query);
        while (query.next()) {
            const QStringList values = rowValues(kind, reader.readRow(), indexes);
            logThread->appendUtf8(rowLine.fillUtf8(values));
            channel->insertSnapshot(values);
            rows->append(values);
        }
        complete = !query.lastError().isValid();
    }
    if (!complete)
        *error = query.lastError().text();
    query.clear();
    accessDb.close();
    return complete;
}

// Where the driver manager knows no driver by the Access driver's usual name, the open is
// tried once more under the 64-bit engine's name, which then serves the rest of the run.
bool MainWindow::openAccessDb()
{
    if (accessDb.open())
        return true;
    if (accessDriver != jetDriverName || odbcDriverInstalled(jetDriverName))
        return false;
    accessDriver = aceDriverName;
    accessDb.setDatabaseName(accessConnectionString(pathMdb, passWd, accessDriver));
    toFileAndPane(QStringLiteral("AccessDB driver: ") + accessDriver);
    return accessDb.open();
}

void MainWindow::watchAnswers(UploadChannel *channel)
{
    const QString word = channel->kind().word;
    connect(channel, &UploadChannel::answered, runOutcome, [run = runOutcome, word](bool failed, const QString &error) {
        run->recordPostEnd(word, failed ? KindOutcome::Post::Failed : KindOutcome::Post::Answered, error);
    });
    connect(channel, &UploadChannel::notPosted, runOutcome, [run = runOutcome, word](const QString &why) {
        run->recordPostEnd(word, KindOutcome::Post::NotPosted, why);
    });
}

void MainWindow::reportSnapshotFailure(const UploadChannel *channel)
{
    if (!channel->snapshotFailure().isEmpty())
        toFileAndPane(channel->snapshotFailure());
}

void MainWindow::toFile(const QString &message)
{
    logThread->appendLog(logLine(message));
}

void MainWindow::toPane(const QString &message)
{
    ui->plainTextEdit->appendPlainText(logLine(message));
}

void MainWindow::toFileAndPane(const QString &message)
{
    toFile(message);
    toPane(message);
}

// The row's values as text, in column order. The place is read as an integer and logged
// before the row line; everywhere else it goes as its place text.
QStringList MainWindow::rowValues(const RecordKind &kind, const QVector<QVariant> &row,
                                  const QVector<int> &indexes)
{
    static const QVariant absent;
    QStringList values;
    values.reserve(indexes.size());
    for (int i = 0; i < indexes.size(); ++i) {
        const QVariant &value = indexes.at(i) < 0 ? absent : row.at(indexes.at(i));
        if (i == kind.placeColumn) {
            const int place = value.toInt();
            logThread->appendUtf8(QByteArrayLiteral("Place_ID : ") + QByteArray::number(place));
            values << placeText(place);
        } else {
            values << columnText(value);
        }
    }
    return values;
}
