// What goes wrong, and how the driver says so: missing files, passwords, files that
// are not databases, bad SQL and statements that would write.

#include "odbcfixture.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace odbcfixture;

namespace {

const char kOneCheckpoint[] = "INSERT INTO GT_CHECKPOINT VALUES (1, 'A1', 'Gate', 1, 0);";

} // namespace

class TestOdbcFailures : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;
    QStringList connectionNames;

    QSqlDatabase connect(const QString &path, const QString &password = QString())
    {
        const QString name = QStringLiteral("conn%1").arg(connectionNames.size());
        connectionNames << name;
        return accessDatabase(name, path, password);
    }

    QString openError(const QString &path, const QString &password = QString())
    {
        QSqlDatabase db = connect(path, password);
        if (db.open()) {
            db.close();
            return QString();
        }
        return db.lastError().text();
    }

private slots:
    void init()
    {
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        for (const QString &name : connectionNames)
            QSqlDatabase::removeDatabase(name);
        connectionNames.clear();
        delete dir;
    }

    void missingFileIsNamedInTheError()
    {
        const QString path = dir->filePath(QStringLiteral("absent.mdb"));
        QVERIFY(openError(path).contains(QStringLiteral("Could not find file '%1'.").arg(path)));
    }

    void fileThatIsNotADatabaseIsRefused()
    {
        const QString path = dir->filePath(QStringLiteral("notes.mdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Standard notes, not a database at all, but long enough to have a header.\n");
        file.close();
        QVERIFY(openError(path).contains(QStringLiteral("Unrecognized database format '%1'.").arg(path)));
    }

    void emptyFileIsRefused()
    {
        const QString path = dir->filePath(QStringLiteral("empty.mdb"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(openError(path).contains(QStringLiteral("Unrecognized database format")));
    }

    void formatIsRecognisedByHeaderNotExtension()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint, QString(), QStringLiteral("site.backup"));
        QCOMPARE(openError(path), QString());
    }

    void wrongPasswordIsRefused()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint, QStringLiteral("s3cret"));
        QVERIFY(openError(path, QStringLiteral("wrong")).contains(QStringLiteral("Not a valid password.")));
        QVERIFY(openError(path).contains(QStringLiteral("Not a valid password.")));
    }

    void rightPasswordOpens()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint, QStringLiteral("s3cret"));
        QCOMPARE(openError(path, QStringLiteral("s3cret")), QString());
    }

    void databaseWithoutPasswordAcceptsAnyPassword()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint);
        QCOMPARE(openError(path, QStringLiteral("whatever")), QString());
    }

    void bracedValuesMayHoldSeparatorsAndBraces()
    {
        QDir(dir->path()).mkdir(QStringLiteral("a;b {c}"));
        const QString path = makeDatabase(*dir, kOneCheckpoint, QStringLiteral(" p;w}d "),
                                          QStringLiteral("a;b {c}/GuardTour_DB.mdb"));
        QSqlDatabase db = connect(QString());
        db.setDatabaseName(QStringLiteral("DRIVER={Microsoft Access Driver (*.mdb)};FIL={MS Access};DBQ={%1};Uid=;"
                                          "Pwd={ p;w}}d }")
                               .arg(QString(path).replace(QLatin1Char('}'), QStringLiteral("}}"))));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        db.close();
    }

    void keysIgnoreCase()
    {
        const QString path = makeDatabase(*dir, kOneCheckpoint, QStringLiteral("pw"));
        QSqlDatabase db = connect(QString());
        db.setDatabaseName(QStringLiteral("driver={Microsoft Access Driver (*.mdb)};dbq=%1;PWD=pw;Extra=1").arg(path));
        QVERIFY2(db.open(), qPrintable(db.lastError().text()));
        db.close();
    }

    void syntaxErrorFailsTheStatementWithTheDriversMessage()
    {
        QSqlDatabase db = connect(makeDatabase(*dir, kOneCheckpoint));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(!query.exec(QStringLiteral("select CStr(id from GT_CHECKPOINT;")));
        QVERIFY(query.lastError().text().contains(QStringLiteral("Syntax error")));
        QVERIFY(!query.exec(QStringLiteral("select id from NO_SUCH_TABLE;")));
        QVERIFY(query.lastError().text().contains(QStringLiteral("NO_SUCH_TABLE")));
        QVERIFY(query.exec(QStringLiteral("select id from GT_CHECKPOINT;")));
        db.close();
    }

    void secondStatementInOneTextIsRefused()
    {
        QSqlDatabase db = connect(makeDatabase(*dir, kOneCheckpoint));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(!query.exec(QStringLiteral("select 1; select 2;")));
        QVERIFY(query.lastError().text().contains(QStringLiteral("Characters found after end of SQL statement.")));
        db.close();
    }

    void writesAreRefusedAndLeaveTheFileUnchanged_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::newRow("insert") << "INSERT INTO GT_CHECKPOINT VALUES (2, 'B', 'x', 2, 0)";
        QTest::newRow("update") << "UPDATE GT_CHECKPOINT SET CheckPoint_Name = 'y'";
        QTest::newRow("delete") << "DELETE FROM GT_CHECKPOINT;";
        QTest::newRow("create") << "CREATE TABLE t (a INTEGER)";
        QTest::newRow("temp table") << "CREATE TEMP TABLE t (a INTEGER)";
        QTest::newRow("drop") << "DROP TABLE GT_LINE";
        QTest::newRow("pragma") << "PRAGMA journal_mode = WAL";
        QTest::newRow("attach") << "ATTACH DATABASE 'other.db' AS other";
        QTest::newRow("vacuum") << "VACUUM";
    }

    void writesAreRefusedAndLeaveTheFileUnchanged()
    {
        QFETCH(QString, sql);
        const QString path = makeDatabase(*dir, kOneCheckpoint);
        const QByteArray before = fileChecksum(path);
        const QStringList filesBefore = QDir(dir->path()).entryList(QDir::Files);
        QSqlDatabase db = connect(path);
        QVERIFY(db.open());
        {
            QSqlQuery query(db);
            QVERIFY(!query.exec(sql));
            QVERIFY(!query.lastError().text().isEmpty());
            QVERIFY(query.exec(QStringLiteral("select count(*) as n from GT_CHECKPOINT")));
            QVERIFY(query.next());
            QCOMPARE(query.value("n").toInt(), 1);
        }
        db.close();
        QCOMPARE(fileChecksum(path), before);
        QCOMPARE(QDir(dir->path()).entryList(QDir::Files), filesBefore);
    }

    void writeRefusalSaysTheDatabaseIsReadOnly()
    {
        QSqlDatabase db = connect(makeDatabase(*dir, kOneCheckpoint));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(!query.exec(QStringLiteral("DELETE FROM GT_CHECKPOINT;")));
        QVERIFY(query.lastError().text().contains(QStringLiteral("Cannot update. Database or object is read-only.")));
        db.close();
    }

    void passwordTableCannotBeRead()
    {
        QSqlDatabase db = connect(makeDatabase(*dir, kOneCheckpoint, QStringLiteral("pw")), QStringLiteral("pw"));
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(!query.exec(QStringLiteral("select * from fw_database_password")));
        QVERIFY(!db.tables().contains(QStringLiteral("fw_database_password")));
        db.close();
    }

    void tablesAreListed()
    {
        QSqlDatabase db = connect(makeDatabase(*dir, kOneCheckpoint));
        QVERIFY(db.open());
        QStringList tables = db.tables();
        tables.sort();
        QCOMPARE(tables, (QStringList{"GT_CHECKPOINT", "GT_LINE", "GT_LINE_EXTD", "GT_PLAN"}));
        db.close();
    }
};

QTEST_GUILESS_MAIN(TestOdbcFailures)
#include "tst_odbc_failures.moc"
