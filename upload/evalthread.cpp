#include "upload/evalthread.h"

#include "store/recordkind.h"

EvalThread::EvalThread(QObject *parent)
    : UploadChannel(RecordKind::evaluations(), parent)
{
    clearSnapshot();
    finishSnapshot();
}
