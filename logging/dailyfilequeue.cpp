#include "logging/dailyfilequeue.h"

#include "app/processsetup.h"
#include "logging/logline.h"
#include "logging/toolmessages.h"

#include <QMutexLocker>
#include <QThread>
#include <QDebug>

#include <atomic>

namespace {
constexpr unsigned long linePauseUs = 10000;
// Bytes handed to one write when the queue is long: large enough to keep up with any sync,
// small enough that a failed batch is cheap to write again.
constexpr int batchBytes = 256 * 1024;

std::atomic<int> unwrittenLines{0};
}

DailyFileQueue::DailyFileQueue(const QString &pattern)
    : pattern(pattern)
    , linePause(&DailyFileQueue::defaultLinePause)
{
}

DailyFileQueue::~DailyFileQueue()
{
    unwrittenLines += lines.size();
}

void DailyFileQueue::append(const QByteArray &line)
{
    QMutexLocker lock(&mutex);
    lines.append(line);
}

int DailyFileQueue::size() const
{
    QMutexLocker lock(&mutex);
    return lines.size();
}

bool DailyFileQueue::isEmpty() const
{
    return size() == 0;
}

void DailyFileQueue::defaultLinePause()
{
    QThread::usleep(linePauseUs);
}

void DailyFileQueue::setLinePause(std::function<void()> pause)
{
    linePause = std::move(pause);
}

bool DailyFileQueue::writeTo(const QDate &day, Pacing pacing)
{
    if (isEmpty())
        return true;
    const QString fileName = dailyFileName(pattern, day);
    AppendFile file;
    QString reason;
    if (!file.open(fileName, &reason))
        return writeFailed(fileName, reason);
    while (true) {
        bool full = false;
        const QList<QByteArray> batch = nextBatch(pacing, &full);
        if (batch.isEmpty())
            break;
        if (!file.appendWhole(joinedLines(batch), &reason))
            return writeFailed(fileName, reason);
        writeSucceeded(fileName);
        dropFirst(batch.size());
        if (pacing == Pacing::Paced && (size() < shortQueueLines || !full))
            linePause();
    }
    return true;
}

// The lines of the next write: one line while the queue is short and paced, otherwise as many
// as fit a batch, leaving a paced queue no shorter than short; `full` tells whether the batch
// was cut at its size. Only the lines' handles are copied under the lock, so that the program
// queueing lines meanwhile is held up briefly: under Wine a thread that waits on a lock costs
// a round trip to the system's server.
QList<QByteArray> DailyFileQueue::nextBatch(Pacing pacing, bool *full) const
{
    QMutexLocker lock(&mutex);
    int limit = lines.size();
    if (pacing == Pacing::Paced)
        limit = qMax(qMin(limit, 1), limit - shortQueueLines);
    int count = 0;
    int bytes = 0;
    while (count < limit && (count == 0 || bytes + lines.at(count).size() < batchBytes)) {
        bytes += lines.at(count).size() + 1;
        ++count;
    }
    *full = count < limit;
    return lines.mid(0, count);
}

QByteArray DailyFileQueue::joinedLines(const QList<QByteArray> &batch)
{
    int size = 0;
    for (const QByteArray &line : batch)
        size += line.size() + 1;
    QByteArray bytes;
    bytes.reserve(size);
    for (const QByteArray &line : batch) {
        bytes.append(line);
        bytes.append('\n');
    }
    return bytes;
}

void DailyFileQueue::dropFirst(int count)
{
    QMutexLocker lock(&mutex);
    lines.erase(lines.begin(), lines.begin() + count);
}

bool DailyFileQueue::writeFailed(const QString &fileName, const QString &reason)
{
    if (!failing)
        qCWarning(toolMessages).noquote() << QStringLiteral("%1 cannot be written (%2); its lines are kept until it can be")
                                    .arg(fileName, reason);
    failing = true;
    return false;
}

void DailyFileQueue::writeSucceeded(const QString &fileName)
{
    if (failing)
        qCWarning(toolMessages).noquote() << QStringLiteral("%1 is written again").arg(fileName);
    failing = false;
}

int unwrittenLineCount()
{
    return unwrittenLines.load();
}

void reportUnwrittenLines()
{
    if (const int count = unwrittenLineCount())
        qCWarning(toolMessages).noquote() << QStringLiteral("%1 log and response lines could not be written").arg(count);
}
