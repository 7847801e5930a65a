// A working day with the window open: a generated site of N rows per kind, the window
// offscreen, 更新数据 pressed every few seconds against a local receiver that answers "ok".
// Before each press it prints the process's RSS and how many lines the log file trails the
// program by (the backlog). Each sync queues the same number of lines, so the backlog is
// worked out at the end, once closing the window has written the whole log.
//
// usage: bench_presses [ROWS_PER_KIND=10000] [PRESSES=12] [SECONDS_BETWEEN=10]
#include "app/mainwindow.h"
#include "app/processsetup.h"
#include "gtdb.h"

#include <httplib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVector>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <thread>

namespace {

class OkReceiver
{
public:
    OkReceiver()
    {
        server.set_payload_max_length(2ull << 30);
        server.Post(R"(/.*)", [](const httplib::Request &, httplib::Response &response,
                                 const httplib::ContentReader &reader) {
            reader([](const char *, size_t) { return true; });
            response.set_content("ok", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] { server.listen_after_bind(); });
    }
    ~OkReceiver()
    {
        server.stop();
        thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }

private:
    httplib::Server server;
    std::thread thread;
    int port = 0;
};

void writeSiteConfig(const QString &site, const QString &baseUrl)
{
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(QStringLiteral("fernwick.db"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
        q.prepare(QStringLiteral("insert into orva_fernwick_config values (?, '')"));
        q.addBindValue(site);
        q.exec();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    QSettings ini(QStringLiteral("sys.ini"), QSettings::IniFormat);
    ini.setValue(QStringLiteral("POINT_HTTPURL"), baseUrl + QStringLiteral("/point"));
    ini.setValue(QStringLiteral("LINE_HTTPURL"), baseUrl + QStringLiteral("/line"));
    ini.setValue(QStringLiteral("PLAN_HTTPURL"), baseUrl + QStringLiteral("/plan"));
}

double rssMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE *statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024 * 1024);
}

qint64 logLines()
{
    qint64 lines = 0;
    for (const QString &name : QDir(QStringLiteral("log")).entryList({"fernwicklog-*.txt"})) {
        QFile file(QStringLiteral("log/") + name);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        while (!file.atEnd())
            lines += file.read(1 << 20).count('\n');
    }
    return lines;
}

void runEventsFor(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

struct Sample
{
    double rss;
    qint64 onDisk;
};

} // namespace

int main(int argc, char *argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ODBCSYSINI"))
        qputenv("ODBCSYSINI", FERNWICK_ODBCSYSINI);
    cacheLocalTimeZone();
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int presses = argc > 2 ? QByteArray(argv[2]).toInt() : 12;
    const int gapMs = (argc > 3 ? QByteArray(argv[3]).toInt() : 10) * 1000;

    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    QString error;
    if (!gtdb::generateGuardTourDb(site, rows, QString(), &error)) {
        std::fprintf(stderr, "cannot generate the site: %s\n", qPrintable(error));
        return 1;
    }
    OkReceiver receiver;
    QDir::setCurrent(dir.path());
    writeSiteConfig(site, receiver.url());

    std::printf("rows per kind: %d, presses: %d, every %d s\n", rows, presses, gapMs / 1000);
    QVector<Sample> samples;
    QElapsedTimer closing;
    {
        auto window = std::make_unique<MainWindow>();  // the first sync runs here
        auto *button = window->findChild<QPushButton *>(QStringLiteral("pushButton"));
        for (int press = 0; press <= presses; ++press) {
            if (press > 0)
                button->click();
            runEventsFor(gapMs);
            samples.append({rssMb(), logLines()});
        }
        closing.start();
    }
    const double closeMs = closing.nsecsElapsed() / 1e6;

    // One start line, then the same lines for every sync.
    const qint64 total = logLines();
    const double perSync = double(total - 1) / (presses + 1);
    std::printf("log lines in all: %lld, per sync: %.1f; closing the window wrote the rest in %.0f ms\n", total,
                perSync, closeMs);
    std::printf("%6s %10s %14s\n", "sync", "RSS (MB)", "log backlog");
    for (int i = 0; i < samples.size(); ++i) {
        const qint64 queued = 1 + qint64((i + 1) * perSync + 0.5);
        std::printf("%6d %10.1f %14lld\n", i + 1, samples.at(i).rss, queued - samples.at(i).onDisk);
    }
    return 0;
}
