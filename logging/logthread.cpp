#include "logging/logthread.h"

#include "logging/logline.h"

#include <QDir>
#include <QFile>
#include <QMutexLocker>

namespace {
const QString logFilePattern = QStringLiteral("log/fernwicklog-%1%2%3.txt");
constexpr unsigned long linePauseUs = 10000;
constexpr unsigned long passPauseUs = 100000;
}

LogThread::LogThread(QObject *parent)
    : QThread(parent)
{
    QDir().mkdir(QStringLiteral("log"));
}

LogThread::~LogThread()
{
    stop();
    wait();
}

void LogThread::appendLog(QString line)
{
    appendUtf8(line.toUtf8());
}

void LogThread::appendUtf8(QByteArray line)
{
    QMutexLocker lock(&listMutex);
    logList.append(line);
}

void LogThread::stop()
{
    stopRequested = true;
    running = false;
}

void LogThread::run()
{
    // A stop that came before the thread got going must still end it.
    running = !stopRequested;
    while (running) {
        writePass();
        usleep(passPauseUs);
    }
    // Whatever was queued up to the stop is written now; the pacing ends with the stop.
    writePass();
}

bool LogThread::takeFirst(QByteArray *line)
{
    QMutexLocker lock(&listMutex);
    if (logList.isEmpty())
        return false;
    *line = logList.takeFirst();
    return true;
}

void LogThread::writePass()
{
    {
        QMutexLocker lock(&listMutex);
        if (logList.isEmpty())
            return;
    }
    // One file per pass: lines written after midnight in this pass stay in the old day's file.
    QFile file(dailyFileName(logFilePattern, LocalClock::now().date()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QByteArray line;
    while (takeFirst(&line)) {
        file.write(line.append('\n'));
        if (running)
            usleep(linePauseUs);
    }
    file.close();
}
