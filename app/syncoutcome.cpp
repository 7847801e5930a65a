#include "app/syncoutcome.h"

#include <algorithm>

SyncOutcome::SyncOutcome(QObject *parent)
    : QObject(parent)
{
}

void SyncOutcome::startRun()
{
    outcomes.clear();
    logsNotRemoved.clear();
}

void SyncOutcome::addKind(const KindOutcome &kind)
{
    outcomes.append(kind);
}

void SyncOutcome::recordPostEnd(const QString &word, KindOutcome::Post end, const QString &error)
{
    for (KindOutcome &outcome : outcomes) {
        if (outcome.word != word || outcome.post != KindOutcome::Post::Waiting)
            continue;
        outcome.post = end;
        outcome.error = error;
        emit answerRecorded();
        if (!postsWaiting())
            emit runSettled();
        return;
    }
}

bool SyncOutcome::postsWaiting() const
{
    return std::any_of(outcomes.begin(), outcomes.end(),
                       [](const KindOutcome &outcome) { return outcome.post == KindOutcome::Post::Waiting; });
}
