#pragma once

#include "app/odbcdrivers.h"

#include <QMainWindow>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

class RequestBody;
class QTimer;
class LogThread;
class DBThread;
class PointThread;
class LineThread;
class PlanThread;
class UploadChannel;
struct ExtractionKind;

namespace Ui {
class MainWindow;
}

// What the last sync run did with one kind: whether it was read, and what became of its post.
struct KindOutcome
{
    enum class Post { None, Waiting, Answered, Failed };
    QString word;  // "point", "line", "plan"
    bool read = false;
    int rows = 0;
    Post post = Post::None;
    QString error; // the read's or the post's, when either failed
    QString snapshotError; // why the snapshot was not saved, when it was not
};

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

    const QVector<KindOutcome> &lastRun() const { return outcomes; }
    bool postsWaiting() const;

signals:
    // A post of the last run has its answer or its failure; runSettled once none is left.
    void answerRecorded();
    void runSettled();

public slots:
    void getParam(QString PathMdb, QString PassWd);
    void SqlLog(QString log);

private slots:
    void on_pushButton_clicked();
    void timeout();

private:
    void extract(const ExtractionKind &kind, UploadChannel *channel);
    void watchAnswers(UploadChannel *channel, const ExtractionKind &kind);
    void recordAnswer(const QString &word, bool failed, const QString &error);
    bool openAccessDb();
    bool readRows(const ExtractionKind &kind, UploadChannel *channel, RequestBody *rows, QString *error);
    QStringList rowValues(const ExtractionKind &kind, const QVector<QVariant> &row, const QVector<int> &indexes);
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
    LogThread *logThread = nullptr;
    DBThread *dbThread = nullptr;
    PointThread *pointThread = nullptr;
    LineThread *lineThread = nullptr;
    PlanThread *planThread = nullptr;
    QVector<KindOutcome> outcomes;
};

// The ODBC connection string for the guard-tour database. A path or password that ODBC
// would otherwise split or trim goes in braces, with "}" doubled.
// `driver` is the ODBC driver's registered name.
QString accessConnectionString(const QString &path, const QString &password, const QString &driver = jetDriverName);
