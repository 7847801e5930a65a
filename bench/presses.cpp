// A working day with the window open: a generated site of N rows per kind, the window
// offscreen, 更新数据 pressed every few seconds against a local receiver that answers "ok".
// For each sync it prints how many lines the log file trails the program by (the backlog) as
// the sync returns, and the RSS and backlog just before the next press. Each sync queues the
// same number of lines, so the backlog is worked out at the end, once closing the window has
// written the whole log.
//
// usage: bench_presses [ROWS_PER_KIND=10000] [PRESSES=12] [SECONDS_BETWEEN=10]
#include "app/mainwindow.h"
#include "benchsupport.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVector>

#include <unistd.h>

#include <cstdio>
#include <memory>

namespace {

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
    qint64 onDiskAtSyncEnd;
    double rss;
    qint64 onDisk;
};

} // namespace

int main(int argc, char *argv[])
{
    prepareBenchProcess();
    QApplication app(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int presses = argc > 2 ? QByteArray(argv[2]).toInt() : 12;
    const int gapMs = (argc > 3 ? QByteArray(argv[3]).toInt() : 10) * 1000;

    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    if (!generateSite(site, rows))
        return 1;
    OkReceiver receiver;
    QDir::setCurrent(dir.path());
    writeSiteConfig(dir.path(), site, receiver.url());

    std::printf("rows per kind: %d, presses: %d, every %d s\n", rows, presses, gapMs / 1000);
    QVector<Sample> samples;
    QElapsedTimer closing;
    {
        auto window = std::make_unique<MainWindow>();  // the first sync runs here
        auto *button = window->findChild<QPushButton *>(QStringLiteral("pushButton"));
        for (int press = 0; press <= presses; ++press) {
            if (press > 0)
                button->click();  // returns when the sync has queued all its lines
            const qint64 atSyncEnd = logLines();
            runEventsFor(gapMs);
            samples.append({atSyncEnd, rssMb(), logLines()});
        }
        closing.start();
    }
    const double closeMs = closing.nsecsElapsed() / 1e6;

    // One start line, then the same lines for every sync.
    const qint64 total = logLines();
    const double perSync = double(total - 1) / (presses + 1);
    std::printf("log lines in all: %lld, per sync: %.1f; closing the window wrote the rest in %.0f ms\n", total,
                perSync, closeMs);
    std::printf("%6s %22s %10s %22s\n", "sync", "backlog at its end", "RSS (MB)", "backlog before next");
    for (int i = 0; i < samples.size(); ++i) {
        const Sample &sample = samples.at(i);
        const qint64 queued = 1 + qint64((i + 1) * perSync + 0.5);
        std::printf("%6d %22lld %10.1f %22lld\n", i + 1, queued - sample.onDiskAtSyncEnd, sample.rss,
                    queued - sample.onDisk);
    }
    return 0;
}
