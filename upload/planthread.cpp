#include "upload/planthread.h"

namespace {
const ChannelKind planKind{
    QStringLiteral("PLAN_HTTPURL"),
    QStringLiteral("log/responsePlanData-%1%2%3.txt"),
    QStringLiteral("orva_plan_data"),
    QStringLiteral("create table orva_plan_data (planId text,lineId text,pStartTime text,pEndTime text,"
                   "pType text,pMode text,pExcWeek text,pStartDate text,pExcCycle text,pRestCycle text,"
                   "placeId text,pCreateTime text);"),
    QStringLiteral("insert into orva_plan_data (planId,lineId,pStartTime,pEndTime,pType,pMode,pExcWeek,"
                   "pStartDate,pExcCycle,pRestCycle,placeId,pCreateTime) "
                   "values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?);"),
    false,
};
}

PlanThread::PlanThread(QObject *parent)
    : UploadChannel(planKind, parent)
{
}
