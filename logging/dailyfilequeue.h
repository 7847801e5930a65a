#pragma once

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QMutex>
#include <QString>

#include <functional>

// Lines on their way to a daily file under log/, and the one way they get there.
//
// Lines may be queued from any thread; one thread at a time writes. A line leaves the queue
// only once all of its bytes are in the file: when the file cannot be opened or the disk fills
// up in the middle of a line, the file is cut back to where it was and the line waits, with
// every later one, for the next attempt. The first failure and the recovery are each said once
// on stderr. What is still queued when the queue is destroyed is counted for the exit line
// (reportUnwrittenLines).
//
// Pacing: while the queue is short, each line is followed by a pause of 10 ms, which keeps a
// small site gentle on the disk. Once the queue holds more than about a second of paced
// writing, lines go out in batches until it is short again, so the file never trails far
// behind the program; only a batch that took every line it could is followed by the pause,
// so that lines queued meanwhile go out together rather than a few to a write.
class DailyFileQueue
{
public:
    enum class Pacing { Paced, Unpaced };

    // `pattern` names the daily file, "%1%2%3" standing for yyyy, MM and dd.
    explicit DailyFileQueue(const QString &pattern);
    ~DailyFileQueue();
    DailyFileQueue(const DailyFileQueue &) = delete;
    DailyFileQueue &operator=(const DailyFileQueue &) = delete;

    void append(const QByteArray &line);
    int size() const;
    bool isEmpty() const;

    // Appends the waiting lines, oldest first, to the file of `day`, including lines queued
    // meanwhile. Returns false when lines remain because the file could not be written.
    bool writeTo(const QDate &day, Pacing pacing);

    // The pause after a paced line; tests count pauses instead of sleeping through them.
    void setLinePause(std::function<void()> pause);
    static void defaultLinePause();

    // Up to this many waiting lines the writer paces itself (about one second of writing).
    static constexpr int shortQueueLines = 100;

private:
    QList<QByteArray> nextBatch(Pacing pacing, bool *full) const;
    // The lines as they go to the file, each followed by its line end.
    static QByteArray joinedLines(const QList<QByteArray> &batch);
    void dropFirst(int count);
    bool writeFailed(const QString &fileName, const QString &reason);
    void writeSucceeded(const QString &fileName);

    const QString pattern;
    mutable QMutex mutex;
    QList<QByteArray> lines;
    std::function<void()> linePause;
    bool failing = false;
};

// Lines that queues were destroyed with, over the whole process.
int unwrittenLineCount();

// At exit: one stderr line with the count of lines that could not be written, if any.
void reportUnwrittenLines();
