#pragma once

// What the benchmarks share: a local receiver and a working directory pointed at a site.
#include "app/processsetup.h"
#include "gtdb.h"

#include <httplib.h>

#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVector>

#include <algorithm>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>

// Line-buffered output, an offscreen window, and unixODBC pointed at the build's driver list
// unless the caller chose one.
inline void prepareBenchProcess()
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("ODBCSYSINI"))
        qputenv("ODBCSYSINI", FERNWICK_ODBCSYSINI);
    cacheLocalTimeZone();
}

// The middle value; -1 for none.
inline double median(QVector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

// A receiver that reads every body whole and answers "ok".
class OkReceiver
{
public:
    OkReceiver()
    {
        server.set_payload_max_length(2ull << 30);
        server.Post(R"(/.*)", [this](const httplib::Request &, httplib::Response &response,
                                     const httplib::ContentReader &reader) {
            reader([this](const char *, size_t length) {
                received += length;
                return true;
            });
            response.set_content("ok", "text/plain");
        });
        port = server.bind_to_any_port("127.0.0.1");
        thread = std::thread([this] {
            server.listen_after_bind();
            listenerEnded = true;
        });
        // stop() only takes effect once the server runs.
        while (!server.is_running() && !listenerEnded)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~OkReceiver()
    {
        server.stop();
        thread.join();
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    std::atomic<qint64> received{0};

private:
    httplib::Server server;
    std::thread thread;
    std::atomic<bool> listenerEnded{false};
    int port = 0;
};

// fernwick.db in `dir` with a configuration row naming `site`, and sys.ini naming the
// receiver's three paths.
inline void writeSiteConfig(const QString &dir, const QString &site, const QString &baseUrl)
{
    {
        auto db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
        db.setDatabaseName(dir + QStringLiteral("/fernwick.db"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("create table orva_fernwick_config (PATH text,PASSWD text)"));
        q.prepare(QStringLiteral("insert into orva_fernwick_config values (?, '')"));
        q.addBindValue(site);
        q.exec();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    QSettings ini(dir + QStringLiteral("/sys.ini"), QSettings::IniFormat);
    ini.setValue(QStringLiteral("POINT_HTTPURL"), baseUrl + QStringLiteral("/point"));
    ini.setValue(QStringLiteral("LINE_HTTPURL"), baseUrl + QStringLiteral("/line"));
    ini.setValue(QStringLiteral("PLAN_HTTPURL"), baseUrl + QStringLiteral("/plan"));
}

// A guard-tour database of `rows` generated rows per kind; says why on stderr when it fails.
inline bool generateSite(const QString &path, int rows)
{
    QString error;
    if (gtdb::generateGuardTourDb(path, rows, QString(), &error))
        return true;
    std::fprintf(stderr, "cannot generate the site: %s\n", qPrintable(error));
    return false;
}
