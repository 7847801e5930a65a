#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// What the last sync run did with one kind: whether it was read, and what became of its post.
struct KindOutcome
{
    enum class Post { None, Waiting, Answered, Failed, NotPosted };
    QString word;  // "point", "line", "plan"
    bool read = false;
    int rows = 0;
    Post post = Post::None;
    QString error; // the read's or the post's, when either failed, or why nothing was posted
    QString snapshotError; // why the snapshot was not saved, when it was not
};

// The last sync run's outcome, kind by kind, kept up to date as the answers come. The
// window tells the operator through its pane and the log; this is what an unattended run
// (--once) reads for its lines and its exit status.
class SyncOutcome : public QObject
{
    Q_OBJECT
public:
    explicit SyncOutcome(QObject *parent);

    void startRun();
    void addKind(const KindOutcome &kind);
    // How a kind's post ended: answered, failed or never sent. The end of a post of an earlier
    // run, arriving after a new run began, counts for nothing.
    void recordPostEnd(const QString &word, KindOutcome::Post end, const QString &error);
    // The old daily files of this run that LOG_KEEP_DAYS would have removed and could not be,
    // each as "name (reason)".
    void setOldLogsNotRemoved(const QStringList &names) { logsNotRemoved = names; }

    const QVector<KindOutcome> &kinds() const { return outcomes; }
    const QStringList &oldLogsNotRemoved() const { return logsNotRemoved; }
    bool postsWaiting() const;

signals:
    // A post of the run has its answer or its failure; runSettled once none is left.
    void answerRecorded();
    void runSettled();

private:
    QVector<KindOutcome> outcomes;
    QStringList logsNotRemoved;
};
