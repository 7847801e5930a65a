#pragma once

#include <QSqlDatabase>
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

signals:
    void getParam(QString Path, QString PassWd);
    void SqlLog(QString log);

private:
    bool configTablePresent() const;
    void readConfigRows();
    void seedConfigTable();

    QSqlDatabase localDb;
    QString pathMdb;
    QString passWd;
};
