#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>

#include "logging/logline.h"

// A fresh temporary directory that is the working directory while the object lives.
class WorkingDir
{
public:
    WorkingDir()
        : previous(QDir::currentPath())
    {
        QDir::setCurrent(dir.path());
    }
    ~WorkingDir() { QDir::setCurrent(previous); }
    QString path() const { return dir.path(); }
    QString file(const QString &name) const { return dir.filePath(name); }

private:
    QTemporaryDir dir;
    QString previous;
};

// Moves the program's clock so that it reads `start` now; the clock keeps running from there.
class ClockAt
{
public:
    explicit ClockAt(const QDateTime &start)
    {
        LocalClock::setOffsetMsecs(QDateTime::currentDateTime().msecsTo(start));
    }
    ~ClockAt() { LocalClock::setOffsetMsecs(0); }
};

inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A text file saved again as Notepad's "Unicode" saves it: a byte-order mark, then each UTF-16
// unit low byte first.
inline bool saveAsUtf16(const QString &path)
{
    const QString text = QString::fromUtf8(readAll(path));
    QByteArray bytes("\xff\xfe", 2);
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xff)).append(char(c.unicode() >> 8));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The pattern of a time-stamped line: "\r[ yyyy-MM-dd HH:mm:ss ] " + message.
inline QString stampedPattern(const QString &message)
{
    return QStringLiteral("\\r\\[ \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d \\] ")
        + QRegularExpression::escape(message);
}
