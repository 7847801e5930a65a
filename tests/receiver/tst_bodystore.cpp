#include "bodystore.h"

#include <QtTest>

#include <thread>
#include <vector>

// A store that cannot write a body is seen over the wire, as a 500, in tst_http.
class BodyStoreTest : public QObject
{
    Q_OBJECT

private slots:
    void neverReusesANameAcrossThreads();
    void createsAMissingDirectoryAndKeepsTheBody();
};

namespace {

QByteArray contentsOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// Bursts from several threads at once, each body different: none may overwrite another.
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

    QSet<QByteArray> contents;
    for (const QString &file : QDir(dir.path()).entryList(QDir::Files))
        contents.insert(contentsOf(QDir(dir.path()).filePath(file)));
    QCOMPARE(contents.size(), threads * bodiesPerThread);
}

// Stores into a directory it creates, byte for byte, or says why it cannot create it.
void BodyStoreTest::createsAMissingDirectoryAndKeepsTheBody()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString nested = QDir(dir.path()).filePath(QStringLiteral("received/today"));
    BodyStore store(nested);
    QString error;
    QVERIFY2(store.prepare(&error), qPrintable(error));
    const QByteArray body = QByteArray("key=[{\"pId\":\"1\",\"ptName\":\"东门 a&b=c 100% +\"}]\r\n") + '\0' + "tail";
    const QString path = store.store(QStringLiteral("point"), body, &error);
    QVERIFY2(!path.isEmpty(), qPrintable(error));
    QCOMPARE(QDir(nested).entryList(QDir::Files).size(), 1);
    QCOMPARE(contentsOf(path), body);

    const QString plainFile = QDir(dir.path()).filePath(QStringLiteral("occupied"));
    QFile occupier(plainFile);
    QVERIFY(occupier.open(QIODevice::WriteOnly));
    occupier.close();
    BodyStore blocked(QDir(plainFile).filePath(QStringLiteral("sub")));
    QVERIFY(!blocked.prepare(&error));
    QVERIFY(error.contains(QStringLiteral("occupied")));
}

QTEST_GUILESS_MAIN(BodyStoreTest)
#include "tst_bodystore.moc"
