#pragma once

#include "app/odbcdrivers.h"
#include "upload/tlssetting.h"

#include <QMainWindow>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class RequestBody;
class SyncOutcome;
class QTimer;
class LogThread;
class DBThread;
class PointThread;
class LineThread;
class PlanThread;
class UploadChannel;
struct RecordKind;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    void syncData();
    void pointData();
    void lineData();
    void planData();

    // What the last sync run did, kind by kind, as its answers come.
    SyncOutcome *outcome() const { return runOutcome; }

public slots:
    void getParam(QString PathMdb, QString PassWd);
    void SqlLog(QString log);

private slots:
    void on_pushButton_clicked();
    void timeout();

private:
    QList<UploadChannel *> channels() const;
    void removeOldLogs();
    void extract(UploadChannel *channel);
    void watchAnswers(UploadChannel *channel);
    bool openAccessDb();
    bool readRows(const RecordKind &kind, UploadChannel *channel, RequestBody *rows, QString *error);
    QStringList rowValues(const RecordKind &kind, const QVector<QVariant> &row, const QVector<int> &indexes);
    void reportSnapshotFailure(const UploadChannel *channel);
    void toFile(const QString &message);
    void toPane(const QString &message);
    void toFileAndPane(const QString &message);

    QTimer *timer = nullptr;
    QSqlDatabase accessDb;
    Ui::MainWindow *ui;
    QString pathMdb;
    QString passWd;
    QString accessDriver;
    // CA_CERTIFICATES as the current sync read it, once for its three posts.
    TlsSetting postTrust;
    LogThread *logThread = nullptr;
    DBThread *dbThread = nullptr;
    PointThread *pointThread = nullptr;
    LineThread *lineThread = nullptr;
    PlanThread *planThread = nullptr;
    SyncOutcome *runOutcome = nullptr;
};

// The ODBC connection string for the guard-tour database. A path or password that ODBC
// would otherwise split or trim goes in braces, with "}" doubled.
// `driver` is the ODBC driver's registered name.
QString accessConnectionString(const QString &path, const QString &password, const QString &driver = jetDriverName);
