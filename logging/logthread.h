#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QThread>

#include <atomic>

// The only writer of the running log: callers queue finished lines, the writer's own
// thread appends them, paced, to "log/fernwicklog-yyyyMMdd.txt".
class LogThread : public QThread
{
public:
    explicit LogThread(QObject *parent);
    ~LogThread() override;

    void appendLog(QString line);
    // A line that is UTF-8 already, such as a request body, queued without a round trip.
    void appendUtf8(QByteArray line);
    void stop();

protected:
    void run() override;

private:
    void writePass();
    bool takeFirst(QByteArray *line);

    // Kept as UTF-8: a large sync queues far more than the paced writer can write at once.
    QList<QByteArray> logList;
    QMutex listMutex;
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
};
