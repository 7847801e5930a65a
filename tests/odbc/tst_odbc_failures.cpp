// What goes wrong through QODBC, and how the driver says so: a database that another
// program is writing, hidden tables and statements that would write. Also what must still
// connect: braced connection-string values and files named unlike databases. The states
// and messages of refused connections are tested through the ODBC API (tst_odbc_api).

#include "odbcfixture.h"

#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>

using namespace odbcfixture;

namespace {

const char kOneCheckpoint[] = "INSERT INTO GT_CHECKPOINT VALUES (1, 'A1', 'Gate', 1, 0);";
const QString kDriver = QStringLiteral("DRIVER={%1};FIL={MS Access};").arg(QLatin1String(accessdriver::jetName));

} // namespace

class TestOdbcFailures : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QSqlDatabase db;

    // Connects as the application does, or with connection, in which <path> stands for
    // path with its closing braces doubled.
    QString openError(const QString &path, const QString &password = QString(), QString connection = QString())
    {
        db = accessDatabase(QStringLiteral("conn"), path, password);
        if (!connection.isEmpty())
            db.setDatabaseName(connection.replace(QStringLiteral("<path>"), QString(path).replace('}', "}}")));
        return db.open() ? QString() : db.lastError().text();
    }

    // A query on an open database with the password "pw".
    QSqlQuery openedQuery()
    {
        const QString error = openError(makeDatabase(*dir, kOneCheckpoint, "pw"), QStringLiteral("pw"));
        if (!error.isEmpty())
            qWarning("fixture did not open: %s", qPrintable(error));
        return QSqlQuery(db);
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("conn"));
        delete dir;
    }

    void connects_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("password");   // the database's
        QTest::addColumn<QString>("given");
        QTest::addColumn<QString>("connection"); // empty: the application's form
        QTest::newRow("right password") << "GuardTour_DB.mdb" << "s3cret" << "s3cret" << "";
        QTest::newRow("no password needed, one given") << "GuardTour_DB.mdb" << "" << "any" << "";
        QTest::newRow("recognised by header, not extension") << "site.backup" << "" << "" << "";
        QTest::newRow("braced values hold separators and braces")
            << "a;b {c}/GuardTour_DB.mdb" << " p;w}d " << ""
            << kDriver + "DBQ={<path>};Uid=;Pwd={ p;w}}d }";
    }

    void connects()
    {
        QFETCH(QString, file);
        QFETCH(QString, password);
        QFETCH(QString, given);
        QFETCH(QString, connection);
        QDir(dir->path()).mkpath(QFileInfo(dir->filePath(file)).path());
        QCOMPARE(openError(makeDatabase(*dir, kOneCheckpoint, password, file), given, connection), QString());
    }

    // The sqlite3 shell stands for the guard-tour software writing to its database: its
    // exclusive lock keeps every reader out until the transaction ends.
    void aDatabaseAnotherProgramIsWritingIsInUse()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint);
        QProcess writer;
        writer.start(QStringLiteral("sqlite3"), {path});
        QVERIFY2(writer.waitForStarted(), qPrintable(writer.errorString()));
        writer.write("BEGIN EXCLUSIVE;\nSELECT 'locked';\n");
        while (!writer.readAllStandardOutput().contains("locked"))
            QVERIFY2(writer.waitForReadyRead(), "the sqlite3 shell did not take the lock");

        const QString error = openError(path);
        QVERIFY2(error.contains(QStringLiteral("Could not use '%1'; file already in use.").arg(path)), qPrintable(error));

        writer.write("COMMIT;\n");
        writer.closeWriteChannel();
        QVERIFY(writer.waitForFinished());
        QCOMPARE(openError(path), QString());
    }

    void writesAreRefusedAndLeaveTheFileUnchanged_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("message");
        const QString readOnly = QStringLiteral("Cannot update. Database or object is read-only.");
        QTest::newRow("insert") << "INSERT INTO GT_CHECKPOINT VALUES (2, 'B', 'x', 2, 0)" << readOnly;
        QTest::newRow("update") << "UPDATE GT_CHECKPOINT SET CheckPoint_Name = 'y'" << readOnly;
        QTest::newRow("delete") << "DELETE FROM GT_CHECKPOINT;" << readOnly;
        QTest::newRow("create") << "CREATE TABLE t (a INTEGER)" << readOnly;
        QTest::newRow("temp table") << "CREATE TEMP TABLE t (a INTEGER)" << readOnly;
        QTest::newRow("drop") << "DROP TABLE GT_LINE" << readOnly;
        QTest::newRow("pragma") << "PRAGMA journal_mode = WAL" << "Invalid SQL statement";
        QTest::newRow("attach") << "ATTACH DATABASE 'other.db' AS other" << readOnly;
        QTest::newRow("vacuum") << "VACUUM" << readOnly;
    }

    void writesAreRefusedAndLeaveTheFileUnchanged()
    {
        QFETCH(QString, sql);
        QFETCH(QString, message);
        const QString path = makeDatabase(*dir, kOneCheckpoint);
        const QByteArray before = fileChecksum(path);
        QVERIFY(openError(path).isEmpty());
        {
            QSqlQuery query(db);
            QVERIFY(!query.exec(sql));
            QVERIFY2(query.lastError().text().contains(message), qPrintable(query.lastError().text()));
            QVERIFY(query.exec(QStringLiteral("select count(*) as n from GT_CHECKPOINT")));
            QVERIFY(query.next());
            QCOMPARE(query.value("n").toInt(), 1);
        }
        db.close();
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), QStringList{"GuardTour_DB.mdb"});
    }

    // The table that keeps the password is neither listed nor readable.
    void catalogListsOnlyTheApplicationTables()
    {
        QSqlQuery query = openedQuery();
        QStringList tables = db.tables();
        tables.sort();
        QCOMPARE(tables, (QStringList{"GT_CHECKPOINT", "GT_LINE", "GT_LINE_EXTD", "GT_PLAN"}));
        QVERIFY(!query.exec(QStringLiteral("select * from fw_database_password")));
        QVERIFY2(query.lastError().text().contains(QStringLiteral("fw_database_password")),
                 qPrintable(query.lastError().text()));
        QVERIFY(query.exec(QStringLiteral("select id from GT_CHECKPOINT;")));
    }
};

QTEST_GUILESS_MAIN(TestOdbcFailures)
#include "tst_odbc_failures.moc"
