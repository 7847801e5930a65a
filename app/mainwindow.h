#pragma once

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

public slots:
    void getParam(QString PathMdb, QString PassWd);
    void SqlLog(QString log);

private slots:
    void on_pushButton_clicked();
    void timeout();

private:
    void extract(const ExtractionKind &kind, UploadChannel *channel);
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
    LogThread *logThread = nullptr;
    DBThread *dbThread = nullptr;
    PointThread *pointThread = nullptr;
    LineThread *lineThread = nullptr;
    PlanThread *planThread = nullptr;
};

// The ODBC connection string for the guard-tour database. A path or password that ODBC
// would otherwise split or trim goes in braces, with "}" doubled.
QString accessConnectionString(const QString &path, const QString &password);
