#include "upload/linethread.h"

#include "kinds/recordkind.h"

LineThread::LineThread(QObject *parent)
    : UploadChannel(RecordKind::routeStops(), parent)
{
}
