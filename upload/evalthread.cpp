#include "upload/evalthread.h"

#include "kinds/recordkind.h"

EvalThread::EvalThread(QObject *parent)
    : UploadChannel(RecordKind::evaluations(), parent)
{
    clearSnapshot();
    finishSnapshot();
}
