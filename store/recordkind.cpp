#include "store/recordkind.h"

const RecordKind &RecordKind::checkpoints()
{
    static const RecordKind kind{
        QStringLiteral("pointData"),
        QStringLiteral("point"),
        QStringLiteral("select CStr(id) as pId,CheckPoint_Card,CheckPoint_Name,CheckPoint_Number,CheckPoint_Type "
                       "from GT_CHECKPOINT;"),
        {"pId", "CheckPoint_Card", "CheckPoint_Name", "CheckPoint_Number", "CheckPoint_Type"},
        {"pId", "ptCard", "ptName", "ptNum", "ptType"},
        QStringLiteral("pId:%1,CheckPoint_Card:%2,CheckPoint_Name:%3,CheckPoint_Number:%4,CheckPoint_Type:%5"),
        -1,
        QStringLiteral("POINT_HTTPURL"),
        QStringLiteral("log/responsePointData-%1%2%3.txt"),
        QStringLiteral("orva_point_data"),
        QStringLiteral("create table orva_point_data (pId text,pCard text,pName text,pNumber text,pType text,"
                       "createTime text);"),
        QStringLiteral("insert into orva_point_data (pId,pCard, pName,pNumber,pType,createTime) "
                       "values (?, ?, ?, ?, ?, ?);"),
        true,
    };
    return kind;
}

const RecordKind &RecordKind::routeStops()
{
    static const RecordKind kind{
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
        QStringLiteral("LINE_HTTPURL"),
        QStringLiteral("log/responseLineData-%1%2%3.txt"),
        QStringLiteral("orva_line_data"),
        QStringLiteral("create table orva_line_data (lId text,lName text,placeId text,lOrder text,"
                       "lNextPlaceTime text,lStayTime text,createTime text);"),
        QStringLiteral("insert into orva_line_data (lId, lName, placeId,lOrder,lNextPlaceTime,lStayTime,createTime) "
                       "values (?, ?, ?, ?, ?, ?, ?);"),
        true,
    };
    return kind;
}

const RecordKind &RecordKind::plans()
{
    static const RecordKind kind{
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
    return kind;
}

const RecordKind &RecordKind::evaluations()
{
    static const RecordKind kind{
        QString(),
        QString(),
        QString(),
        {},
        {},
        QString(),
        -1,
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
    return kind;
}

QString placeText(int place)
{
    return place == 0 ? QString() : QString::number(place);
}
