#include "logging/logthread.h"

#include "logging/logline.h"

#include <QDir>

namespace {
const QString logFilePattern = QStringLiteral("log/fernwicklog-%1%2%3.txt");
constexpr unsigned long passPauseUs = 100000;
}

LogThread::LogThread(QObject *parent)
    : QThread(parent)
    , logList(logFilePattern)
    , linePause(&DailyFileQueue::defaultLinePause)
{
    // The pacing ends with the stop: what is left is written at once.
    logList.setLinePause([this] {
        if (running)
            linePause();
    });
    QDir().mkdir(QStringLiteral("log"));
}

LogThread::~LogThread()
{
    stop();
    wait();
}

QString LogThread::filePattern()
{
    return logFilePattern;
}

void LogThread::appendLog(QString line)
{
    logList.append(line.toUtf8());
}

void LogThread::appendUtf8(QByteArray line)
{
    logList.append(line);
}

void LogThread::stop()
{
    stopRequested = true;
    running = false;
}

void LogThread::setLinePause(std::function<void()> pause)
{
    linePause = std::move(pause);
}

void LogThread::run()
{
    // A stop that came before the thread got going must still end it.
    running = !stopRequested;
    while (running) {
        writePass(DailyFileQueue::Pacing::Paced);
        usleep(passPauseUs);
    }
    // Whatever was queued up to the stop is written now; the pacing ends with the stop.
    writePass(DailyFileQueue::Pacing::Unpaced);
}

void LogThread::writePass(DailyFileQueue::Pacing pacing)
{
    // One file per pass: lines written after midnight in this pass stay in the old day's file.
    logList.writeTo(LocalClock::now().date(), pacing);
}
