// The Windows build under Wine against the Linux build: one `--once` sync of a generated site
// each, side by side, alternating which goes first, median of several rounds. Wine's own start
// (a `--version` run of the Windows build) is measured beside it, so that what is left is the
// sync's own time.
//
// usage: bench_windows_sync [ROWS_PER_KIND=20000] [ROUNDS=5]
// Run by `make bench-windows` (WINDOWS_ARCH=i686 or x86_64), which names the builds, the Wine
// loader and its prefix the way `make test-windows` does. With FERNWICK_BASELINE_LINUX_EXE and
// FERNWICK_BASELINE_WINDOWS_EXE (earlier builds, kept aside) the same rounds run those too, so
// that a change is measured against the code before it under the same load.
#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Build
{
    const char *name;
    QString program;
    QStringList arguments;
    QProcessEnvironment environment;
};

// Milliseconds from start to end of one run in `dir`, or -1 when it failed.
double timedRun(const Build &build, const QString &dir, const QStringList &arguments)
{
    QDir(dir + QStringLiteral("/log")).removeRecursively();
    QProcess process;
    process.setWorkingDirectory(dir);
    process.setProcessEnvironment(build.environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(build.program, build.arguments + arguments);
    const bool ended = process.waitForFinished(600000);
    const double took = timer.nsecsElapsed() / 1e6;
    if (!ended || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s %s failed:\n%s\n", build.name, qPrintable(arguments.join(QLatin1Char(' '))),
                     process.readAll().constData());
        return -1;
    }
    return took;
}

QProcessEnvironment windowsEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("WINEDEBUG"), QStringLiteral("-all"));
    environment.insert(QStringLiteral("WINEDLLOVERRIDES"), QStringLiteral("mscoree,mshtml="));
    environment.insert(QStringLiteral("ODBCSYSINI"), qEnvironmentVariable("FERNWICK_WINDOWS_ODBCSYSINI"));
    return environment;
}

} // namespace

int main(int argc, char **argv)
{
    prepareBenchProcess();
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int rows = args.size() > 1 ? args.at(1).toInt() : 20000;
    const int rounds = args.size() > 2 ? args.at(2).toInt() : 5;
    const QString windowsExe = qEnvironmentVariable("FERNWICK_WINDOWS_EXE");
    const QString wine = qEnvironmentVariable("FERNWICK_WINE");
    if (rows <= 0 || rounds <= 0 || windowsExe.isEmpty() || wine.isEmpty()) {
        std::fprintf(stderr, "usage: bench_windows_sync [ROWS_PER_KIND] [ROUNDS], with FERNWICK_WINDOWS_EXE, "
                             "FERNWICK_WINE, WINEPREFIX and FERNWICK_WINDOWS_ODBCSYSINI set (make bench-windows)\n");
        return 2;
    }
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("GuardTour_DB.mdb"));
    if (!generateSite(site, rows))
        return 1;
    OkReceiver receiver;
    QVector<Build> builds = {
        {"linux", QStringLiteral(FERNWICK_LINUX_EXE), {}, QProcessEnvironment::systemEnvironment()},
        {"windows", wine, {windowsExe}, windowsEnvironment()},
    };
    const QString baselineLinux = qEnvironmentVariable("FERNWICK_BASELINE_LINUX_EXE");
    const QString baselineWindows = qEnvironmentVariable("FERNWICK_BASELINE_WINDOWS_EXE");
    if (!baselineLinux.isEmpty() && !baselineWindows.isEmpty()) {
        builds.append({"linux-baseline", baselineLinux, {}, QProcessEnvironment::systemEnvironment()});
        builds.append({"windows-baseline", wine, {baselineWindows}, windowsEnvironment()});
    }
    for (const Build &build : builds) {
        QDir().mkpath(dir.filePath(QLatin1String(build.name)));
        writeSiteConfig(dir.filePath(QLatin1String(build.name)), site, receiver.url());
    }
    // Wine's server stays up between the runs, as it does on a desktop that has started it. It
    // outlives the bench, so it must not hold the bench's output open: a pipe into `tail` would
    // wait for the server to end.
    QProcess server;
    server.setProgram(QFileInfo(wine).dir().filePath(QStringLiteral("wineserver")));
    server.setArguments({QStringLiteral("-p")});
    server.setStandardOutputFile(QProcess::nullDevice());
    server.setStandardErrorFile(QProcess::nullDevice());
    server.startDetached();
    const int count = builds.size();
    QVector<QVector<double>> sync(count), start(count);
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < count; ++turn) {
            const int b = (round + turn) % count;
            const QString runDir = dir.filePath(QLatin1String(builds[b].name));
            sync[b] << timedRun(builds[b], runDir, {QStringLiteral("--once")});
            start[b] << timedRun(builds[b], runDir, {QStringLiteral("--version")});
            if (sync[b].last() < 0 || start[b].last() < 0)
                return 1;
        }
    }
    std::printf("%d rows per kind, median of %d rounds, alternating:\n", rows, rounds);
    for (int b = 0; b < count; ++b)
        std::printf("  %-16s sync %8.0f ms   start alone %6.0f ms\n", builds[b].name, median(sync[b]),
                    median(start[b]));
    // Each Windows build follows the Linux build of the same code.
    for (int b = 1; b < count; b += 2)
        std::printf("  %s/%s: %.2fx the whole run, %.2fx less each one's start\n", builds[b].name,
                    builds[b - 1].name, median(sync[b]) / median(sync[b - 1]),
                    (median(sync[b]) - median(start[b])) / (median(sync[b - 1]) - median(start[b - 1])));
    return 0;
}
