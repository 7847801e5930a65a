#include "upload/pointthread.h"

#include "kinds/recordkind.h"

PointThread::PointThread(QObject *parent)
    : UploadChannel(RecordKind::checkpoints(), parent)
{
}
