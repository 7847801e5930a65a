#include "gtdb.h"
#include "support/localfile.h"
#include "support/site.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <algorithm>
#include <csignal>

// The real executable killed outright in the middle of a large sync. fernwick.db must come
// back intact, and each snapshot table must hold either all the rows it had before the sync
// or all the rows of the sync, never a mix and never a part.
namespace {
constexpr int smallSite = 3;
constexpr int largeSite = 40000;

struct Snapshot
{
    QString table;
    QString sourceTable; // in the guard-tour database, whose id is the table's first column
    QString sourceId;
};
const QList<Snapshot> snapshots = {
    {"orva_point_data", "GT_CHECKPOINT", "id"},
    {"orva_line_data", "GT_LINE_EXTD", "id"},
    {"orva_plan_data", "GT_PLAN", "ID"},
};

const QString journal = QStringLiteral("fernwick.db-journal");

QStringList sortedColumn(const QList<QStringList> &rows)
{
    QStringList column;
    for (const QStringList &row : rows)
        column << row.first();
    std::sort(column.begin(), column.end());
    return column;
}

QStringList sourceIds(const QString &site, const Snapshot &snapshot)
{
    QStringList ids;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("site"));
        db.setDatabaseName(site);
        if (db.open()) {
            QSqlQuery query(db);
            query.exec(QStringLiteral("select cast(%1 as text) from %2").arg(snapshot.sourceId, snapshot.sourceTable));
            while (query.next())
                ids << query.value(0).toString();
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("site"));
    std::sort(ids.begin(), ids.end());
    return ids;
}

int rowCount(const QString &table)
{
    const QList<QStringList> rows = LocalFile().rows(QStringLiteral("select count(*) from ") + table);
    return rows.isEmpty() ? -1 : rows.first().first().toInt();
}

bool allAnswersRecorded()
{
    const QStringList answers = QDir(QStringLiteral("log")).entryList({"response*Data-*.txt"});
    return answers.size() == 3;
}

bool runEnded()
{
    const QStringList logs = QDir(QStringLiteral("log")).entryList({"fernwicklog-*.txt"});
    return logs.size() == 1 && readAll(QStringLiteral("log/") + logs.first()).contains("****** end ******");
}

// The file with damage of the kind that a failing disk, a cut copy or a stray write leaves.
// The same seed always gives the same damage.
QByteArray damaged(QByteArray bytes, quint32 seed)
{
    QRandomGenerator random(seed);
    const int pageSize = 4096;
    switch (seed % 4) {
    case 0:
        bytes.truncate(random.bounded(bytes.size()));
        break;
    case 1:
        for (int i = 0; i < 16; ++i)
            bytes[random.bounded(bytes.size())] = char(random.bounded(256));
        break;
    case 2:
        bytes.replace(random.bounded(bytes.size() / pageSize) * pageSize, pageSize, QByteArray(pageSize, '\0'));
        break;
    case 3:
        for (int i = 16; i < 100; ++i)
            bytes[i] = char(random.bounded(256));
        break;
    }
    return bytes;
}

bool startProgram(QProcess &fernwick)
{
    fernwick.setWorkingDirectory(QDir::currentPath());
    fernwick.start(qEnvironmentVariable("FERNWICK_EXE"), QStringList());
    return fernwick.waitForStarted();
}

// A complete sync of the site by the program, which is then asked to end.
bool completeRun()
{
    QProcess fernwick;
    if (!startProgram(fernwick) || !QTest::qWaitFor(allAnswersRecorded, 60000))
        return false;
    fernwick.terminate();
    return fernwick.waitForFinished(60000);
}
}

class CrashSafetyTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo::exists(qEnvironmentVariable("FERNWICK_EXE")), "FERNWICK_EXE names no executable");
    }
    void killedSyncLeavesEachTableOldOrNew_data();
    void killedSyncLeavesEachTableOldOrNew();
    void damagedFileNeverStopsTheProgram();
};

void CrashSafetyTest::killedSyncLeavesEachTableOldOrNew_data()
{
    QTest::addColumn<bool>("afterFirstCommit");
    // The file has grown while a snapshot is still open: its pages are being written in place.
    QTest::newRow("first snapshot half written") << false;
    // The checkpoints are committed and the route stops are being written.
    QTest::newRow("second snapshot half written") << true;
}

void CrashSafetyTest::killedSyncLeavesEachTableOldOrNew()
{
    QFETCH(bool, afterFirstCommit);
    Site site;

    // A first, complete run on a small site gives the rows the tables hold before.
    QVERIFY(site.generate(smallSite));
    QVERIFY(completeRun());
    QMap<QString, QList<QStringList>> before;
    for (const Snapshot &s : snapshots) {
        before[s.table] = LocalFile().table(s.table);
        QCOMPARE(before[s.table].size(), smallSite);
    }

    QVERIFY(gtdb::generateGuardTourDb(site.path, largeSite));
    const qint64 sizeBefore = QFileInfo(QStringLiteral("fernwick.db")).size();
    QProcess fernwick;
    QVERIFY(startProgram(fernwick));
    if (afterFirstCommit) {
        QVERIFY(QTest::qWaitFor([] { return rowCount(QStringLiteral("orva_point_data")) == largeSite; }, 120000));
        QVERIFY(QTest::qWaitFor([] { return QFileInfo::exists(journal); }, 120000));
    } else {
        QVERIFY(QTest::qWaitFor([sizeBefore] {
            return QFileInfo::exists(journal) && QFileInfo(QStringLiteral("fernwick.db")).size() > sizeBefore;
        }, 120000));
    }
    fernwick.kill();
    QVERIFY(fernwick.waitForFinished(60000));
    QCOMPARE(fernwick.exitStatus(), QProcess::CrashExit);

    LocalFile file;
    QCOMPARE(file.rows(QStringLiteral("pragma integrity_check")), (QList<QStringList>{{"ok"}}));
    for (const Snapshot &s : snapshots) {
        const QList<QStringList> rows = file.table(s.table);
        const bool old = rows == before[s.table];
        const bool whole = !old && sortedColumn(rows) == sourceIds(site.path, s);
        QVERIFY2(old || whole, qPrintable(QStringLiteral("%1 holds %2 rows").arg(s.table).arg(rows.size())));
        if (afterFirstCommit && s.table == QLatin1String("orva_point_data"))
            QVERIFY2(whole, "a committed snapshot was lost");
    }
}

// Whatever the damage, the program runs its sync to the end and ends normally when asked.
void CrashSafetyTest::damagedFileNeverStopsTheProgram()
{
    QByteArray pristine;
    {
        Site site;
        QVERIFY(site.generate(200));
        QVERIFY(completeRun());
        pristine = readAll(QStringLiteral("fernwick.db"));
        QVERIFY(pristine.size() > 3 * 4096);
    }
    for (quint32 seed = 1; seed <= 12; ++seed) {
        WorkingDir wd;
        QFile file(QStringLiteral("fernwick.db"));
        const QByteArray bytes = damaged(pristine, seed);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();
        QProcess fernwick;
        QVERIFY(startProgram(fernwick));
        QVERIFY2(QTest::qWaitFor([&fernwick] { return runEnded() || fernwick.state() == QProcess::NotRunning; }, 60000),
                 qPrintable(QStringLiteral("seed %1").arg(seed)));
        fernwick.terminate();
        QVERIFY(fernwick.waitForFinished(60000));
        QVERIFY2(fernwick.exitStatus() == QProcess::NormalExit && fernwick.exitCode() == 0,
                 qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(QString::fromUtf8(fernwick.readAllStandardError()))));
        QVERIFY2(runEnded(), qPrintable(QStringLiteral("seed %1").arg(seed)));
    }
}

QTEST_GUILESS_MAIN(CrashSafetyTest)
#include "tst_crashsafety.moc"
