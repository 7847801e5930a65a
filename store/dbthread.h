#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QThread>

// Owns the local SQLite connection "fernwick_db" and the configuration record that
// tells where the guard-tour database is and its password.
class DBThread : public QThread
{
    Q_OBJECT
public:
    explicit DBThread(QObject *parent);

    void loadConfig();

    // Why the last loadConfig fell back to the built-in defaults without reading the
    // record, as one line for the operator; empty when the file was read.
    QString readFailure() const { return failure; }

signals:
    void getParam(QString Path, QString PassWd);
    void SqlLog(QString log);

private:
    void readConfig();
    void readConfigRows();
    void seedConfigTable();
    void useDefaults();
    void fail(const QSqlError &error);

    QSqlDatabase localDb;
    QString pathMdb;
    QString passWd;
    QString failure;
};
