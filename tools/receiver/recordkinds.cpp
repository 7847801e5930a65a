#include "recordkinds.h"

const QVector<RecordKind> &recordKinds()
{
    static const QVector<RecordKind> kinds = {
        {QStringLiteral("point"),
         {"pId", "ptCard", "ptName", "ptNum", "ptType"}},
        {QStringLiteral("line"),
         {"lId", "lName", "placeId", "lOrder", "lNextPlaceTime", "lStayTime"}},
        {QStringLiteral("plan"),
         {"planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek",
          "pStartDate", "pExcCycle", "pRestCycle", "placeId", "pCreateTime"}},
        {QStringLiteral("planstatus"),
         {"eId", "eStartTime", "eEndTime", "ePatrolTime", "eLName", "ePlaceName",
          "eBindUser", "eUserName", "eBindDevice", "eDeviceName", "ePlanState",
          "eStayTime", "eBindTeam", "eTeamName", "eCreateTime", "ePlanType",
          "eLineOrder", "ePlanMode", "planId", "eDFlag", "eErrorTime"}},
    };
    return kinds;
}

const RecordKind *recordKindNamed(const QString &name)
{
    for (const RecordKind &kind : recordKinds()) {
        if (kind.name == name)
            return &kind;
    }
    return nullptr;
}
