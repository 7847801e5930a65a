#pragma once

#include <QMainWindow>
#include <QSqlDatabase>
#include <QString>

class QTimer;
class LogThread;
class DBThread;

namespace Ui {
class MainWindow;
}

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

public slots:
    void getParam(QString PathMdb, QString PassWd);
    void SqlLog(QString log);

private slots:
    void timeout();

private:
    QTimer *timer = nullptr;
    QSqlDatabase accessDb;
    Ui::MainWindow *ui;
    QString pathMdb;
    QString passWd;
    LogThread *logThread = nullptr;
    DBThread *dbThread = nullptr;
};
