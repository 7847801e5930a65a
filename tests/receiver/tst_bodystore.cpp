#include "bodystore.h"

#include <QtTest>

#include <thread>
#include <vector>

class BodyStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheBodyByteForByte();
    void namesTheFileAfterKindAndTime();
    void neverReusesANameForBodiesInABurst();
    void neverReusesANameAcrossThreads();
    void createsAMissingDirectory();
    void reportsADirectoryItCannotCreate();
    void reportsAFileItCannotWrite();
};

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

} // namespace

void BodyStoreTest::keepsTheBodyByteForByte()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BodyStore store(dir.path());
    const QByteArray body = QByteArray("key=[{\"pId\":\"1\",\"ptName\":\"东门 a&b=c 100% +\"}]\r\n") + '\0' + "tail";

    QString error;
    const QString path = store.store(QStringLiteral("point"), body, &error);

    QVERIFY2(!path.isEmpty(), qPrintable(error));
    QCOMPARE(contentsOf(path), body);
}

void BodyStoreTest::namesTheFileAfterKindAndTime()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BodyStore store(dir.path());

    QString error;
    const QString path = store.store(QStringLiteral("planstatus"), "key=[]", &error);

    QCOMPARE(QFileInfo(path).absolutePath(), QDir(dir.path()).absolutePath());
    const QRegularExpression pattern(QStringLiteral(R"(^planstatus-\d{8}-\d{6}-\d{3}-\d{6}\.txt$)"));
    QVERIFY2(pattern.match(QFileInfo(path).fileName()).hasMatch(), qPrintable(path));
}

void BodyStoreTest::neverReusesANameForBodiesInABurst()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BodyStore store(dir.path());

    const int bodies = 200;
    QString error;
    for (int i = 0; i < bodies; ++i)
        QVERIFY2(!store.store(QStringLiteral("line"), QByteArray::number(i), &error).isEmpty(), qPrintable(error));

    const QStringList files = filesIn(dir.path());
    QCOMPARE(files.size(), bodies);
    QSet<QByteArray> contents;
    for (const QString &file : files)
        contents.insert(contentsOf(QDir(dir.path()).filePath(file)));
    QCOMPARE(contents.size(), bodies);
}

void BodyStoreTest::neverReusesANameAcrossThreads()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BodyStore store(dir.path());

    const int threads = 4;
    const int bodiesPerThread = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < threads; ++t) {
        writers.emplace_back([&store, t] {
            QString error;
            for (int i = 0; i < bodiesPerThread; ++i)
                store.store(QStringLiteral("plan"), QByteArray::number(t * 1000 + i), &error);
        });
    }
    for (std::thread &writer : writers)
        writer.join();

    QCOMPARE(filesIn(dir.path()).size(), threads * bodiesPerThread);
}

void BodyStoreTest::createsAMissingDirectory()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString nested = QDir(dir.path()).filePath(QStringLiteral("received/today"));
    BodyStore store(nested);

    QString error;
    QVERIFY2(store.prepare(&error), qPrintable(error));
    QVERIFY(!store.store(QStringLiteral("point"), "key=[]", &error).isEmpty());
    QCOMPARE(filesIn(nested).size(), 1);
}

void BodyStoreTest::reportsADirectoryItCannotCreate()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString plainFile = QDir(dir.path()).filePath(QStringLiteral("occupied"));
    QFile occupier(plainFile);
    QVERIFY(occupier.open(QIODevice::WriteOnly));
    occupier.close();
    BodyStore store(QDir(plainFile).filePath(QStringLiteral("sub")));

    QString error;
    QVERIFY(!store.prepare(&error));
    QVERIFY(error.contains(QStringLiteral("occupied")));
}

void BodyStoreTest::reportsAFileItCannotWrite()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    BodyStore store(QDir(dir.path()).filePath(QStringLiteral("never-created")));

    QString error;
    QVERIFY(store.store(QStringLiteral("point"), "key=[]", &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

QTEST_GUILESS_MAIN(BodyStoreTest)
#include "tst_bodystore.moc"
