#include "app/mainwindow.h"

#include "app/processsetup.h"
#include "app/syncoutcome.h"
#include "logging/logline.h"
#include "logging/logthread.h"
#include "store/dbthread.h"
#include "upload/linethread.h"
#include "upload/planthread.h"
#include "upload/pointthread.h"
#include "upload/postlimits.h"
#include "upload/settleposts.h"
#include "ui_mainwindow.h"

#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::MainWindow)
{
    ui->setupUi(this);
    timer = new QTimer(this);
    runOutcome = new SyncOutcome(this);
    logThread = new LogThread(this);
    dbThread = new DBThread(this);
    connect(dbThread, &DBThread::getParam, this, &MainWindow::getParam);
    connect(dbThread, &DBThread::SqlLog, this, &MainWindow::SqlLog);
    connect(timer, &QTimer::timeout, this, &MainWindow::timeout);
    pointThread = new PointThread(this);
    lineThread = new LineThread(this);
    planThread = new PlanThread(this);
    for (UploadChannel *channel : channels())
        watchAnswers(channel);
    dbThread->loadConfig();
    logThread->start();
    timer->start(500);
    logThread->appendLog(logLine(QStringLiteral("****** start ******")));
    if (!dbThread->readFailure().isEmpty())
        toFileAndPane(dbThread->readFailure());
    syncData();
}

MainWindow::~MainWindow()
{
    // The event loop runs while the posts finish; no new sync may start meanwhile.
    ui->pushButton->setEnabled(false);
    const bool bySystem = systemIsEndingTheProgram();
    if (const int waiting = postsInFlight(channels()))
        toFile(QStringLiteral("exit: posts in flight: %1; waiting up to %2 s for their answers%3")
                   .arg(waiting)
                   .arg(bySystem ? PostLimits::systemEndGraceSeconds : PostLimits::exitGraceSeconds)
                   .arg(bySystem ? QStringLiteral(", since Windows is ending the program") : QString()));
    settlePosts(channels(), systemIsEndingTheProgram);
    logThread->stop();
    logThread->wait();
    delete ui;
}

QList<UploadChannel *> MainWindow::channels() const
{
    return {pointThread, lineThread, planThread};
}

void MainWindow::getParam(QString PathMdb, QString PassWd)
{
    pathMdb = PathMdb;
    passWd = PassWd;
}

void MainWindow::SqlLog(QString log)
{
    logThread->appendLog(log);
}

void MainWindow::on_pushButton_clicked()
{
    syncData();
}

void MainWindow::timeout()
{
    ui->time_label->setText(timeStamp());
}
