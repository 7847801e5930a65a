#include "upload/postlimits.h"

#include <QtGlobal>

namespace {
// 0 where nothing shortens the wait.
int millisecondsFromEnvironment(const char *name)
{
    bool isNumber = false;
    const int ms = qEnvironmentVariableIntValue(name, &isNumber);
    return isNumber && ms > 0 ? ms : 0;
}

struct ShortenedWaits
{
    int exitGraceMs = millisecondsFromEnvironment("FERNWICK_EXIT_GRACE_MS");
    int idleLimitMs = millisecondsFromEnvironment("FERNWICK_IDLE_LIMIT_MS");
};

ShortenedWaits &shortenedWaits()
{
    static ShortenedWaits waits;
    return waits;
}
}

namespace PostLimits {

int exitGraceMs()
{
    const int shortened = shortenedWaits().exitGraceMs;
    return shortened > 0 ? shortened : exitGraceSeconds * 1000;
}

int systemEndGraceMs()
{
    return qMin(exitGraceMs(), systemEndGraceSeconds * 1000);
}

int idleLimitMs(int seconds)
{
    const int shortened = shortenedWaits().idleLimitMs;
    return shortened > 0 ? shortened : seconds * 1000;
}

void setPostWaitsForTests(int exitGraceMs, int idleLimitMs)
{
    shortenedWaits() = {qMax(exitGraceMs, 0), qMax(idleLimitMs, 0)};
}

}
