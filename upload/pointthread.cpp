#include "upload/pointthread.h"

#include "store/recordkind.h"

PointThread::PointThread(QObject *parent)
    : UploadChannel(RecordKind::checkpoints(), parent)
{
}
