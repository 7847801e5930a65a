#include "upload/planthread.h"

#include "store/recordkind.h"

PlanThread::PlanThread(QObject *parent)
    : UploadChannel(RecordKind::plans(), parent)
{
}
