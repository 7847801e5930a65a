#include "logging/dailyfilequeue.h"
#include "logging/logthread.h"
#include "support/testsupport.h"
#include "support/warningrecorder.h"

#include <QRandomGenerator>
#include <QtTest>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace {
const QDateTime noonOfTestDay(QDate(2021, 6, 6), QTime(12, 0, 0));
const QString dayFile = QStringLiteral("log/fernwicklog-20210606.txt");
const QString cannotWrite = QStringLiteral("^log/fernwicklog-20210606\\.txt cannot be written \\(.+\\); "
                                           "its lines are kept until it can be$");
const QString writtenAgain = QStringLiteral("^log/fernwicklog-20210606\\.txt is written again$");

// Ways the log cannot be written, each with its repair.
enum class Fault { LogIsAFile, DayFileIsAFolder, LogNotWritable };

bool breakLog(Fault fault)
{
    switch (fault) {
    case Fault::LogIsAFile: {
        QFile file(QStringLiteral("log"));
        return file.open(QIODevice::WriteOnly) && file.write("not a folder") > 0;
    }
    case Fault::DayFileIsAFolder:
        return QDir().mkpath(dayFile);
    case Fault::LogNotWritable:
        return QDir().mkdir(QStringLiteral("log"))
            && QFile::setPermissions(QStringLiteral("log"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    }
    return false;
}

bool repairLog(Fault fault)
{
    switch (fault) {
    case Fault::LogIsAFile:
        return QFile::remove(QStringLiteral("log")) && QDir().mkdir(QStringLiteral("log"));
    case Fault::DayFileIsAFolder:
        return QDir().rmdir(dayFile);
    case Fault::LogNotWritable:
        return QFile::setPermissions(QStringLiteral("log"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                               | QFileDevice::ExeOwner);
    }
    return false;
}

// The file size limit of this process, lowered for a while so that a write runs out of room in
// the middle of a line, as on a full disk. Writes past the limit are cut short instead of
// killing the process.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit lowered = saved;
        lowered.rlim_cur = bytes;
        applied = setrlimit(RLIMIT_FSIZE, &lowered) == 0;
    }
    ~FileSizeLimit() { lift(); }
    void lift()
    {
        if (applied)
            setrlimit(RLIMIT_FSIZE, &saved);
        applied = false;
    }
    bool isApplied() const { return applied; }

private:
    rlimit saved{};
    bool applied = false;
};

// Lines as a site's log holds them: stamped lines, row lines with non-ASCII names, empty
// lines, bodies with line breaks inside, and now and then one longer than a write batch.
QList<QByteArray> generatedLines(quint32 seed, int count)
{
    QRandomGenerator random(seed);
    const QList<QByteArray> pieces = {"\r[ 2021-06-06 12:00:00 ] ", "东门岗亭", "Müller", "key=[{\"pId\":\"1\"}]",
                                      "\n", " ", "🚓", "0123456789"};
    QList<QByteArray> lines;
    for (int i = 0; i < count; ++i) {
        QByteArray line;
        const int length = random.bounded(100) == 0 ? 20000 : random.bounded(12);
        for (int j = 0; j < length; ++j)
            line += pieces.at(random.bounded(pieces.size()));
        lines << line;
    }
    return lines;
}

QStringList linesOf(const QString &path)
{
    QStringList lines = QString::fromUtf8(readAll(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}
}

Q_DECLARE_METATYPE(Fault)

class LogWriterTest : public QObject
{
    Q_OBJECT
private slots:
    void createsNoFileWhenNothingWasLogged();
    void keepsLinesWhileTheLogCannotBeWritten_data();
    void keepsLinesWhileTheLogCannotBeWritten();
    void saysAFailureOnceHoweverOftenItIsRetried();
    void keepsALineCutShortQueued();
    void countsWhatCouldNotBeWritten();
    void batchesWriteTheSameBytesAsSingleLines_data();
    void batchesWriteTheSameBytesAsSingleLines();
    void pacesOnlyWhileTheQueueIsShort_data();
    void pacesOnlyWhileTheQueueIsShort();
    void writesWhatWasQueuedJustBeforeStop();
};

// Stopped at once or after a while, a writer that was given nothing ends and leaves log/ empty.
void LogWriterTest::createsNoFileWhenNothingWasLogged()
{
    WorkingDir wd;
    for (int i = 0; i < 20; ++i) {
        LogThread writer(nullptr);
        writer.start();
        // Long enough for the writer to pass over its empty queue once.
        if (i == 0)
            QTest::qWait(100);
        writer.stop();
        QVERIFY(writer.wait(5000));
    }
    QVERIFY(QDir(QStringLiteral("log")).exists());
    QVERIFY(QDir(QStringLiteral("log")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}

void LogWriterTest::keepsLinesWhileTheLogCannotBeWritten_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::newRow("log is a file, later a folder") << Fault::LogIsAFile;
    QTest::newRow("day file is a folder") << Fault::DayFileIsAFolder;
    QTest::newRow("log without write permission") << Fault::LogNotWritable;
}

void LogWriterTest::keepsLinesWhileTheLogCannotBeWritten()
{
    QFETCH(Fault, fault);
    if (fault == Fault::LogNotWritable && geteuid() == 0)
        QSKIP("permissions do not bind root");
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    QVERIFY(breakLog(fault));
    WarningRecorder warnings;
    LogThread writer(nullptr);
    writer.start();
    writer.appendLog(QStringLiteral("first"));
    writer.appendLog(QStringLiteral("second"));
    QTRY_COMPARE_WITH_TIMEOUT(warnings.count(cannotWrite), 1, 10000);
    writer.appendLog(QStringLiteral("third"));
    QVERIFY(repairLog(fault));
    QTRY_COMPARE_WITH_TIMEOUT(linesOf(dayFile), (QStringList{"first", "second", "third"}), 10000);
    writer.appendLog(QStringLiteral("fourth"));
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(linesOf(dayFile), (QStringList{"first", "second", "third", "fourth"}));
    QCOMPARE(warnings.all(), warnings.all().filter(QRegularExpression(cannotWrite + "|" + writtenAgain)));
    QCOMPARE(warnings.count(cannotWrite), 1);
    QCOMPARE(warnings.count(writtenAgain), 1);
}

// Retries meet the same fault many times before anyone repairs it; stderr hears of it once,
// and once more only after the file was written again in between.
void LogWriterTest::saysAFailureOnceHoweverOftenItIsRetried()
{
    WorkingDir wd;
    QVERIFY(breakLog(Fault::LogIsAFile));
    WarningRecorder warnings;
    DailyFileQueue queue(QStringLiteral("log/fernwicklog-%1%2%3.txt"));
    queue.setLinePause([] {});
    queue.append("first");
    const QDate day = noonOfTestDay.date();
    for (int retry = 0; retry < 3; ++retry)
        QVERIFY(!queue.writeTo(day, DailyFileQueue::Pacing::Paced));
    QCOMPARE(warnings.count(cannotWrite), 1);
    QVERIFY(repairLog(Fault::LogIsAFile));
    QVERIFY(queue.writeTo(day, DailyFileQueue::Pacing::Paced));
    QVERIFY(queue.writeTo(day, DailyFileQueue::Pacing::Paced));
    QCOMPARE(warnings.count(writtenAgain), 1);
    QVERIFY(QDir().mkdir(QStringLiteral("log/fernwicklog-20210607.txt")));
    queue.append("second");
    for (int retry = 0; retry < 3; ++retry)
        QVERIFY(!queue.writeTo(day.addDays(1), DailyFileQueue::Pacing::Paced));
    QCOMPARE(warnings.all().size(), 3);
    QVERIFY2(warnings.all().last().startsWith("log/fernwicklog-20210607.txt cannot be written ("),
             qPrintable(warnings.all().last()));
    QCOMPARE(linesOf(dayFile), QStringList{"first"});
}

void LogWriterTest::keepsALineCutShortQueued()
{
    // The disk runs out of room in the middle of a line: the file must not keep half a line
    // followed later by the whole line again, and nothing may be lost.
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    QVERIFY(QDir().mkdir(QStringLiteral("log")));
    {
        QFile earlier(dayFile);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier\n");
    }
    WarningRecorder warnings;
    LogThread writer(nullptr);
    {
        FileSizeLimit limit(12);
        QVERIFY(limit.isApplied());
        writer.start();
        writer.appendLog(QStringLiteral("a line that does not fit"));
        writer.appendLog(QStringLiteral("and one after it"));
        QTRY_COMPARE_WITH_TIMEOUT(warnings.count(cannotWrite), 1, 10000);
    }
    QTRY_COMPARE_WITH_TIMEOUT(readAll(dayFile), QByteArray("earlier\na line that does not fit\nand one after it\n"),
                              10000);
    writer.stop();
    QVERIFY(writer.wait(10000));
    // The system's own reason, in the language of the machine's locale.
    QVERIFY2(warnings.all().first().contains(QLatin1Char('(') + qt_error_string(EFBIG) + QLatin1Char(')')),
             qPrintable(warnings.all().first()));
    QCOMPARE(warnings.count(writtenAgain), 1);
}

void LogWriterTest::countsWhatCouldNotBeWritten()
{
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    QVERIFY(breakLog(Fault::LogIsAFile));
    WarningRecorder warnings;
    const int before = unwrittenLineCount();
    {
        LogThread writer(nullptr);
        writer.start();
        writer.appendLog(QStringLiteral("first"));
        writer.appendLog(QStringLiteral("second"));
        writer.stop();
        QVERIFY(writer.wait(10000));
        writer.appendLog(QStringLiteral("after the stop"));
    }
    QCOMPARE(unwrittenLineCount() - before, 3);
    reportUnwrittenLines();
    QCOMPARE(warnings.all().last(), QStringLiteral("%1 log and response lines could not be written")
                                        .arg(unwrittenLineCount()));
}

void LogWriterTest::batchesWriteTheSameBytesAsSingleLines_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("count");
    for (quint32 seed = 1; seed <= 6; ++seed)
        QTest::addRow("seed %u", seed) << seed << int(seed * 250);
}

void LogWriterTest::batchesWriteTheSameBytesAsSingleLines()
{
    QFETCH(quint32, seed);
    QFETCH(int, count);
    WorkingDir wd;
    QVERIFY(QDir().mkdir(QStringLiteral("log")));
    const QList<QByteArray> lines = generatedLines(seed, count);
    QByteArray expected;
    for (const QByteArray &line : lines)
        expected += line + '\n';
    const QList<DailyFileQueue::Pacing> pacings = {DailyFileQueue::Pacing::Paced, DailyFileQueue::Pacing::Unpaced};
    for (DailyFileQueue::Pacing pacing : pacings) {
        const QString pattern = QStringLiteral("log/%1-%2%3.txt").arg(int(pacing));
        DailyFileQueue queue(pattern);
        queue.setLinePause([] {});
        for (const QByteArray &line : lines)
            queue.append(line);
        QVERIFY(queue.writeTo(QDate(2021, 6, 6), pacing));
        QVERIFY(queue.isEmpty());
        QCOMPARE(readAll(dailyFileName(pattern, QDate(2021, 6, 6))), expected);
    }
}

void LogWriterTest::pacesOnlyWhileTheQueueIsShort_data()
{
    QTest::addColumn<int>("burst");
    QTest::addColumn<int>("pauses");
    // Past a hundred lines, the batch that leaves the last hundred is followed by one pause.
    QTest::newRow("a short queue") << 100 << 100;
    QTest::newRow("just over") << 101 << 101;
    QTest::newRow("a burst of 10,000") << 10000 << 101;
}

void LogWriterTest::pacesOnlyWhileTheQueueIsShort()
{
    // A burst is on disk after the last hundred lines' pauses, about a second, instead of
    // trailing the program by one pause per line.
    QFETCH(int, burst);
    QFETCH(int, pauses);
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    std::atomic<int> pausesTaken{0};
    writer.setLinePause([&] { ++pausesTaken; });
    QStringList expected;
    for (int i = 0; i < burst; ++i) {
        expected << QStringLiteral("\r[ 2021-06-06 12:00:00 ] 东门岗亭 Müller 🚓 row %1").arg(i);
        writer.appendLog(expected.last());
    }
    writer.start();
    QTRY_COMPARE_WITH_TIMEOUT(linesOf(dayFile).size(), burst, 60000);
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(linesOf(dayFile), expected);
    QCOMPARE(pausesTaken.load(), pauses);
}

void LogWriterTest::writesWhatWasQueuedJustBeforeStop()
{
    // A stop in the middle of a long paced pass (3,000 lines at 10 ms each) must neither
    // wait for the pace nor drop what is still queued.
    WorkingDir wd;
    ClockAt clock(noonOfTestDay);
    LogThread writer(nullptr);
    writer.start();
    QStringList expected;
    for (int i = 0; i < 3000; ++i) {
        expected << QStringLiteral("row %1").arg(i);
        writer.appendLog(expected.last());
    }
    QTRY_VERIFY(!linesOf(dayFile).isEmpty());
    writer.appendLog(QStringLiteral("queued just before stop"));
    expected << QStringLiteral("queued just before stop");
    writer.stop();
    QVERIFY(writer.wait(10000));
    QCOMPARE(linesOf(dayFile), expected);
}

QTEST_GUILESS_MAIN(LogWriterTest)
#include "tst_logwriter.moc"
