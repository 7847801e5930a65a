#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStringList>
#include <QtGlobal>

// Collects the warnings the program writes to stderr, from any thread, while it lives.
class WarningRecorder
{
public:
    WarningRecorder()
    {
        QMutexLocker lock(&mutex());
        current() = this;
        previous = qInstallMessageHandler(&WarningRecorder::record);
    }
    ~WarningRecorder()
    {
        qInstallMessageHandler(previous);
        QMutexLocker lock(&mutex());
        current() = nullptr;
    }

    QStringList all() const
    {
        QMutexLocker lock(&mutex());
        return messages;
    }

    int count(const QString &pattern) const
    {
        return all().filter(QRegularExpression(pattern)).size();
    }

private:
    static void record(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        QMutexLocker lock(&mutex());
        if (type == QtWarningMsg && current())
            current()->messages << message;
    }
    static QMutex &mutex()
    {
        static QMutex m;
        return m;
    }
    static WarningRecorder *&current()
    {
        static WarningRecorder *recorder = nullptr;
        return recorder;
    }

    QStringList messages;
    QtMessageHandler previous = nullptr;
};
