#pragma once

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
    void stop();

protected:
    void run() override;

private:
    void writePass();
    bool takeFirst(QString *line);

    QList<QString> logList;
    QMutex listMutex;
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
};
