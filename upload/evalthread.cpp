#include "upload/evalthread.h"

namespace {
const ChannelKind evalKind{
    QStringLiteral("PLANSTATUS_HTTPURL"),
    QStringLiteral("log/responseEvalData-%1%2%3.txt"),
    QStringLiteral("orva_eval_data"),
    QStringLiteral("create table orva_eval_data (eId text,eStartTime text,eEndTime text,ePatrolTime text,"
                   "eLName text,ePlaceName text,eBindUser text,eUserName text,eBindDevice text,"
                   "eDeviceName text,ePlanState text,eStayTime text,eBindTeam text,eTeamName text,"
                   "eCreateTime text,ePlanType text,eLineOrder text,ePlanMode text,planId text,eDFlag text,"
                   "eErrorTime text);"),
    QStringLiteral("insert into orva_eval_data (eId,eStartTime,eEndTime,ePatrolTime,eLName,ePlaceName,"
                   "eBindUser,eUserName,eBindDevice,eDeviceName,ePlanState,eStayTime,eBindTeam,eTeamName,"
                   "eCreateTime,ePlanType,eLineOrder,ePlanMode,planId,eDFlag,eErrorTime) "
                   "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);"),
    false,
};
}

EvalThread::EvalThread(QObject *parent)
    : UploadChannel(evalKind, parent)
{
    clearSnapshot();
    finishSnapshot();
}
