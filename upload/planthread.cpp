#include "upload/planthread.h"

#include "kinds/recordkind.h"

PlanThread::PlanThread(QObject *parent)
    : UploadChannel(RecordKind::plans(), parent)
{
}
