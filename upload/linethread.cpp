#include "upload/linethread.h"

#include "store/recordkind.h"

LineThread::LineThread(QObject *parent)
    : UploadChannel(RecordKind::routeStops(), parent)
{
}
