// The driver as unixODBC's own isql sees it, registered through ODBCSYSINI.

#include "odbcfixture.h"

#include <QProcess>
#include <QStandardPaths>

using namespace odbcfixture;

class TestOdbcIsql : public QObject {
    Q_OBJECT

private:
    QTemporaryDir *dir = nullptr;

    QString runIsql(const QString &connection, const QByteArray &input)
    {
        QProcess isql;
        isql.start(QStringLiteral("isql"), {QStringLiteral("-v"), QStringLiteral("-b"), QStringLiteral("-d|"),
                                            QStringLiteral("-k"), connection});
        if (!isql.waitForStarted())
            return QStringLiteral("<isql did not start>");
        isql.write(input);
        isql.closeWriteChannel();
        isql.waitForFinished(60000);
        return QString::fromUtf8(isql.readAllStandardOutput() + isql.readAllStandardError());
    }

private slots:
    void init()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("isql")).isEmpty())
            QSKIP("isql is not installed");
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanup() { delete dir; }

    void isqlRunsTheCheckpointQuery()
    {
        const QString path = makeDatabase(*dir, QString::fromUtf8(
            "INSERT INTO GT_CHECKPOINT VALUES (4, 'C9', '配电房', 9, 2);"));
        const QString output = runIsql(connectionString(path),
                                       "select CStr(id) as pId,CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,"
                                       "CheckPoint_Type from GT_CHECKPOINT;\n");
        QVERIFY2(output.contains(QString::fromUtf8("4|C9|配电房|9|2")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestOdbcIsql)
#include "tst_odbc_isql.moc"
