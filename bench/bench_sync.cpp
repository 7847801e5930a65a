// Measures one sync run at scale: a generated site of N rows per kind, read through the
// Access stand-in driver by a real (offscreen) main window, posted to a local receiver that
// answers "ok". Beside it, the floor of the same work done directly (sqlite3's C API,
// QJsonDocument, one prepared-statement transaction, one post) and the same job as a short
// script, each from start to the last recorded answer.
//
// usage: bench_sync [ROWS_PER_KIND ...]   fernwick and the script side by side, alternating,
//                                          median of 3 (default 10000 50000 100000)
//        bench_sync --detail [ROWS_PER_KIND=100000]   the in-process breakdown
#include "app/mainwindow.h"
#include "benchsupport.h"
#include "upload/pointthread.h"

#include <sqlite3.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

// Runs the event loop until `done` holds, looking every millisecond.
template<typename Done>
bool waitUntil(Done done, int timeoutMs = 600000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return done();
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

long peakRssMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}


int answersIn(const QString &dir)
{
    int lines = 0;
    for (const QString &name : QDir(dir + QStringLiteral("/log")).entryList({"response*.txt"})) {
        QFile f(dir + QStringLiteral("/log/") + name);
        if (f.open(QIODevice::ReadOnly))
            lines += f.readAll().count('\n');
    }
    return lines;
}

// --- the floor -------------------------------------------------------------------------

struct FloorKind
{
    const char *query;
    QStringList keys;
    const char *table;
};

const FloorKind floorKinds[] = {
    {"select cast(id as text),CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,CheckPoint_Type from GT_CHECKPOINT",
     {"pId", "ptCard", "ptName", "ptNum", "ptType"}, "p"},
    {"select cast(line.id as text),(select Line_Name from GT_LINE where id=line.Line_ID),cast(line.Place_ID as text),"
     "cast(line.Line_Order as text),cast(line.NextPlace_Time as text),cast(line.Stay_Time as text) "
     "from GT_LINE_EXTD as line",
     {"lId", "lName", "placeId", "lOrder", "lNextPlaceTime", "lStayTime"}, "l"},
    {"select cast(ID as text),cast(Line_ID as text),Plan_StartTime,Plan_EndTime,Plan_Type,cast(Plan_Mode as text),"
     "Excute_Week,Start_Date,cast(Excute_Cycle as text),cast(Rest_Cycle as text),Place_ID,cast(Create_Time as text) "
     "from GT_PLAN",
     {"planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek", "pStartDate", "pExcCycle",
      "pRestCycle", "placeId", "pCreateTime"}, "pl"},
};

QString columnText(sqlite3_stmt *stmt, int i)
{
    const auto *text = reinterpret_cast<const char *>(sqlite3_column_text(stmt, i));
    return text ? QString::fromUtf8(text, sqlite3_column_bytes(stmt, i)) : QString();
}

qint64 floorOneKind(sqlite3 *source, sqlite3 *local, const FloorKind &kind, QNetworkAccessManager &net,
                    const QString &url)
{
    sqlite3_stmt *read = nullptr;
    sqlite3_prepare_v2(source, kind.query, -1, &read, nullptr);
    const int n = kind.keys.size();
    QString columns;
    QString marks;
    for (int i = 0; i < n; ++i) {
        columns += (i ? QStringLiteral(",c") : QStringLiteral("c")) + QString::number(i) + QStringLiteral(" text");
        marks += i ? QStringLiteral(",?") : QStringLiteral("?");
    }
    sqlite3_exec(local, "begin", nullptr, nullptr, nullptr);
    sqlite3_exec(local, QStringLiteral("create table if not exists %1 (%2)").arg(kind.table, columns).toUtf8(),
                 nullptr, nullptr, nullptr);
    sqlite3_exec(local, QStringLiteral("delete from %1").arg(kind.table).toUtf8(), nullptr, nullptr, nullptr);
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(local, QStringLiteral("insert into %1 values (%2)").arg(kind.table, marks).toUtf8(), -1,
                       &insert, nullptr);
    QJsonArray rows;
    while (sqlite3_step(read) == SQLITE_ROW) {
        QJsonObject object;
        for (int i = 0; i < n; ++i) {
            const QString value = columnText(read, i);
            const QByteArray utf8 = value.toUtf8();
            sqlite3_bind_text(insert, i + 1, utf8.constData(), utf8.size(), SQLITE_TRANSIENT);
            object.insert(kind.keys.at(i), value);
        }
        sqlite3_step(insert);
        sqlite3_reset(insert);
        rows.append(object);
    }
    sqlite3_finalize(insert);
    sqlite3_finalize(read);
    sqlite3_exec(local, "commit", nullptr, nullptr, nullptr);
    const QByteArray body = QByteArrayLiteral("key=") + QJsonDocument(rows).toJson(QJsonDocument::Compact);
    QNetworkRequest request{QUrl(url)};
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply *reply = net.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    reply->deleteLater();
    return body.size();
}

double measureFloor(const QString &site, const QString &dir, const QString &baseUrl)
{
    QElapsedTimer t;
    t.start();
    sqlite3 *source = nullptr;
    sqlite3 *local = nullptr;
    sqlite3_open_v2(site.toUtf8(), &source, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_open_v2((dir + QStringLiteral("/floor.db")).toUtf8(), &local,
                    SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    QNetworkAccessManager net;
    const char *paths[] = {"/point", "/line", "/plan"};
    for (int k = 0; k < 3; ++k)
        floorOneKind(source, local, floorKinds[k], net, baseUrl + QLatin1String(paths[k]));
    sqlite3_close(local);
    sqlite3_close(source);
    return ms(t);
}

// --- whole programs, from start to the third recorded answer -----------------------------

struct ProgramRun
{
    double ms = -1;      // -1: the answers did not all come
    double cpuMs = -1;   // user + system time of the whole process, to its end
    long peakRssMb = -1; // of the program itself, just before it is stopped
};

// CPU time of the children this process has waited for; QProcess waits for each.
double childrenCpuMs()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
        + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// The high-water mark of a running process's resident memory, from /proc.
long processPeakRssMb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong() / 1024;
    }
    return -1;
}

constexpr qint64 giveUpMs = 300000;

ProgramRun runUntilAnswers(QProcess &process, const QString &dir, int answers)
{
    ProgramRun run;
    QElapsedTimer t;
    t.start();
    process.start();
    process.waitForStarted();
    while (answersIn(dir) < answers && process.state() != QProcess::NotRunning && t.elapsed() < giveUpMs)
        QThread::msleep(2);
    const double elapsed = ms(t);
    if (process.state() != QProcess::NotRunning)
        run.peakRssMb = processPeakRssMb(process.processId());
    if (answersIn(dir) >= answers)
        run.ms = elapsed;
    return run;
}

ProgramRun fernwickToThirdAnswer(const QString &site, const QString &baseUrl)
{
    QTemporaryDir dir;
    writeSiteConfig(dir.path(), site, baseUrl);
    const double cpuBefore = childrenCpuMs();
    QProcess fernwick;
    fernwick.setWorkingDirectory(dir.path());
    // FERNWICK_EXE names another build of the tool, such as one of an earlier version.
    const QString exe = qEnvironmentVariable("FERNWICK_EXE");
    fernwick.setProgram(exe.isEmpty() ? QCoreApplication::applicationDirPath() + QStringLiteral("/../fernwick") : exe);
    fernwick.setStandardOutputFile(QProcess::nullDevice());
    fernwick.setStandardErrorFile(QProcess::nullDevice());
    ProgramRun run = runUntilAnswers(fernwick, dir.path(), 3);
    fernwick.terminate();
    fernwick.waitForFinished(600000);
    run.cpuMs = childrenCpuMs() - cpuBefore;
    return run;
}

ProgramRun scriptToThirdAnswer(const QString &site, const QString &baseUrl)
{
    QTemporaryDir dir;
    const double cpuBefore = childrenCpuMs();
    QProcess script;
    script.setProgram(QStringLiteral("python3"));
    script.setArguments({QStringLiteral(FERNWICK_SOURCE_DIR "/bench/sync_script.py"), site, dir.path(), baseUrl});
    script.setProcessChannelMode(QProcess::ForwardedChannels);
    ProgramRun run = runUntilAnswers(script, dir.path(), 3);
    script.waitForFinished(600000);
    run.cpuMs = childrenCpuMs() - cpuBefore;
    return run;
}

// Both programs on the same site and receiver, one after the other, `rounds` times each; the
// machine's load moves both alike, and the medians drop the odd slow run.
void compareWithScript(int rows, int rounds)
{
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    if (!generateSite(site, rows))
        return;
    OkReceiver receiver;
    QVector<double> fernwick;
    QVector<double> script;
    QVector<double> fernwickCpu;
    QVector<double> scriptCpu;
    long peakRss = 0;
    qint64 postedByOne = 0;
    for (int round = 0; round < rounds; ++round) {
        const qint64 before = receiver.received;
        const ProgramRun own = fernwickToThirdAnswer(site, receiver.url());
        postedByOne = receiver.received - before;
        peakRss = std::max(peakRss, own.peakRssMb);
        const ProgramRun other = scriptToThirdAnswer(site, receiver.url());
        fernwick << own.ms;
        script << other.ms;
        fernwickCpu << own.cpuMs;
        scriptCpu << other.cpuMs;
        std::printf("  %d rows, round %d: fernwick %.0f ms (cpu %.0f), script %.0f ms (cpu %.0f)\n", rows,
                    round + 1, own.ms, own.cpuMs, other.ms, other.cpuMs);
    }
    const double ownMedian = median(fernwick);
    const double scriptMedian = median(script);
    std::printf("%d rows per kind, median of %d: fernwick %.0f ms, script %.0f ms, ratio %.2f\n", rows, rounds,
                ownMedian, scriptMedian, ownMedian / scriptMedian);
    // The CPU time moves less with the machine's load; fernwick's includes writing its log to
    // the end once stopped, which the script has none of.
    std::printf("  cpu time, median: fernwick %.0f ms, script %.0f ms, ratio %.2f\n", median(fernwickCpu),
                median(scriptCpu), median(fernwickCpu) / median(scriptCpu));
    std::printf("  fernwick peak RSS %ld MB; bytes posted %lld (limit 4 x bodies + 100 MB = %lld MB)\n", peakRss,
                postedByOne, 4 * postedByOne / (1024 * 1024) + 100);
}

// The first sync inside this process, then each extraction alone, the snapshot alone and
// the floor of the same work done directly.
void detail(int rows)
{
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    if (!generateSite(site, rows))
        return;
    OkReceiver receiver;
    const QString work = dir.filePath(QStringLiteral("work"));
    QDir().mkpath(work);
    writeSiteConfig(work, site, receiver.url());
    QDir::setCurrent(work);

    std::printf("rows per kind: %d\n", rows);
    QElapsedTimer t;
    t.start();
    MainWindow window;  // the first sync runs in the constructor
    const double firstSync = ms(t);
    if (!waitUntil([&] { return answersIn(work) >= 3; }))
        std::printf("not every answer arrived\n");
    const double firstToAnswers = ms(t);
    const qint64 posted = receiver.received;
    std::printf("syncData (first, in the constructor): %.0f ms; to the last recorded answer: %.0f ms\n",
                firstSync, firstToAnswers);
    std::printf("peak RSS after the first sync: %ld MB\n", peakRssMb());

    t.restart();
    window.pointData();
    const double point = ms(t);
    t.restart();
    window.lineData();
    const double line = ms(t);
    t.restart();
    window.planData();
    const double plan = ms(t);
    if (!waitUntil([&] { return answersIn(work) >= 6; }))
        std::printf("not every answer arrived\n");
    std::printf("extractions: pointData %.0f ms, lineData %.0f ms, planData %.0f ms\n", point, line, plan);

    {
        PointThread channel(nullptr);
        const QStringList values = {"123456", "CARD-123456", "东门岗亭 Gate 123456", "123456", "1"};
        t.restart();
        channel.clearSnapshot();
        for (int i = 0; i < rows; ++i)
            channel.insertSnapshot(values);
        channel.finishSnapshot();
        std::printf("snapshot of %d checkpoint rows alone: %.0f ms\n", rows, ms(t));
    }

    const double floor = measureFloor(site, dir.path(), receiver.url());
    std::printf("bytes posted by one sync: %lld\n", posted);
    std::printf("floor (sqlite3 C API + QJsonDocument + one transaction + one post per kind): %.0f ms\n", floor);
    std::printf("syncData / floor: %.2f\n", firstSync / floor);
    std::printf("peak RSS: %ld MB (limit 4 x body total + 100 MB = %lld MB)\n", peakRssMb(),
                4 * posted / (1024 * 1024) + 100);
}

} // namespace

int main(int argc, char *argv[])
{
    prepareBenchProcess();
    QApplication app(argc, argv);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--detail")) {
        detail(arguments.value(1, QStringLiteral("100000")).toInt());
        return 0;
    }
    if (arguments.isEmpty())
        arguments = QStringList{QStringLiteral("10000"), QStringLiteral("50000"), QStringLiteral("100000")};
    for (const QString &rows : arguments)
        compareWithScript(rows.toInt(), 3);
    return 0;
}
