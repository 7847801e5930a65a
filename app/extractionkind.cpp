#include "app/extractionkind.h"

const ExtractionKind &ExtractionKind::checkpoints()
{
    static const ExtractionKind kind{
        QStringLiteral("pointData"),
        QStringLiteral("point"),
        QStringLiteral("select CStr(id) as pId,CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,CheckPoint_Type "
                       "from GT_CHECKPOINT;"),
        {"pId", "CheckPoint_Card", "CheckPoint_Name", "CheckPoint_Number", "CheckPoint_Type"},
        {"pId", "ptCard", "ptName", "ptNum", "ptType"},
        QStringLiteral("pId:%1,CheckPoint_Card:%2,CheckPoint_Name:%3,CheckPoint_Number:%4,CheckPoint_Type:%5"),
        -1,
    };
    return kind;
}

const ExtractionKind &ExtractionKind::routeStops()
{
    static const ExtractionKind kind{
        QStringLiteral("lineData"),
        QStringLiteral("line"),
        QStringLiteral("SELECT CStr(line.id) AS lID, (select Line_Name from GT_LINE where id = line.Line_ID) AS "
                       "Line_Name, CStr(line.Place_ID) AS lPlace_ID, CStr(line.Line_Order) AS lLine_Order, "
                       "CStr(line.NextPlace_Time) AS lNextPlace_Time, CStr(line.Stay_Time) AS lStay_Time FROM "
                       "GT_LINE_EXTD AS line;"),
        {"lID", "Line_Name", "lPlace_ID", "lLine_Order", "lNextPlace_Time", "lStay_Time"},
        {"lId", "lName", "placeId", "lOrder", "lNextPlaceTime", "lStayTime"},
        QStringLiteral("lId:%1,lName:%2,placeId:%3,lOrder:%4,lNextPlaceTime:%5,lStayTime:%6"),
        -1,
    };
    return kind;
}

const ExtractionKind &ExtractionKind::plans()
{
    static const ExtractionKind kind{
        QStringLiteral("planData"),
        QStringLiteral("plan"),
        QStringLiteral("select CStr(ID) AS planId,CStr(Line_ID) AS lineId,Plan_StartTime AS pStartTime,"
                       "Plan_EndTime AS pEndTime,Plan_Type AS pType,CStr(Plan_Mode) AS pMode,Excute_Week AS "
                       "pExcWeek,Start_Date AS pStartDate,CStr(Excute_Cycle) AS pExcCycle,CStr(Rest_Cycle) AS "
                       "pRestCycle,Place_ID,CStr(Create_Time) AS pCreateTime From GT_PLAN;"),
        {"planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek", "pStartDate", "pExcCycle",
         "pRestCycle", "Place_ID", "pCreateTime"},
        {"planId", "lineId", "pStartTime", "pEndTime", "pType", "pMode", "pExcWeek", "pStartDate", "pExcCycle",
         "pRestCycle", "placeId", "pCreateTime"},
        QStringLiteral("planId:%1,lineId:%2,pStartTime:%3,pEndTime:%4,pType:%5,pMode:%6,pExcWeek:%7,"
                       "pStartDate:%8,pExcCycle:%9,pRestCycle:%10,placeId:%11,pCreateTime:%12"),
        10,
    };
    return kind;
}

QString placeText(int place)
{
    return place == 0 ? QString() : QString::number(place);
}
