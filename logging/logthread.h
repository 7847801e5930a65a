#pragma once

#include "logging/dailyfilequeue.h"

#include <QByteArray>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

// The only writer of the running log: callers queue finished lines, the writer's own
// thread appends them, paced, to "log/fernwicklog-yyyyMMdd.txt".
class LogThread : public QThread
{
public:
    explicit LogThread(QObject *parent);
    ~LogThread() override;

    // The daily file's name, "%1%2%3" standing for yyyy, MM and dd.
    static QString filePattern();

    void appendLog(QString line);
    // A line that is UTF-8 already, such as a request body, queued without a round trip.
    void appendUtf8(QByteArray line);
    void stop();

    // The pause after a paced line (10 ms); tests count pauses instead of sleeping.
    void setLinePause(std::function<void()> pause);

protected:
    void run() override;

private:
    void writePass(DailyFileQueue::Pacing pacing);

    // Kept as UTF-8, as they are written: a large sync queues tens of thousands at once.
    DailyFileQueue logList;
    std::function<void()> linePause;
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
};
