#pragma once

#include <QByteArray>

// Bodies as the sync client sends them: "key=" and compact JSON, keys in
// ascending order, every value a string, nothing percent-encoded.
namespace samples {

inline QByteArray pointBody()
{
    return QByteArrayLiteral(
        R"(key=[{"pId":"1","ptCard":"0001A2B3","ptName":"Gate","ptNum":"1","ptType":"0"},)"
        R"({"pId":"2","ptCard":"","ptName":"Boiler room","ptNum":"12","ptType":"1"}])");
}

inline QByteArray lineBody()
{
    return QByteArrayLiteral(
        R"(key=[{"lId":"7","lName":"Night round","lNextPlaceTime":"5","lOrder":"1","lStayTime":"30","placeId":"1"}])");
}

inline QByteArray planBody()
{
    return QByteArrayLiteral(
        R"(key=[{"lineId":"3","pCreateTime":"2026/12/1 8:00:00","pEndTime":"06:00","pExcCycle":"1",)"
        R"("pExcWeek":"1111100","pMode":"0","pRestCycle":"0","pStartDate":"2026-12-01",)"
        R"("pStartTime":"22:00","pType":"1","placeId":"","planId":"5"}])");
}

inline QByteArray planStatusBody()
{
    return QByteArrayLiteral(
        R"(key=[{"eBindDevice":"D1","eBindTeam":"T1","eBindUser":"U1","eCreateTime":"2026-12-08 07:00:00",)"
        R"("eDFlag":"0","eDeviceName":"Reader 1","eEndTime":"06:00","eErrorTime":"","eId":"11",)"
        R"("eLName":"Night round","eLineOrder":"1","ePatrolTime":"2026-12-08 01:02:03",)"
        R"("ePlaceName":"Gate","ePlanMode":"0","ePlanState":"1","ePlanType":"1","eStayTime":"30",)"
        R"("eStartTime":"22:00","eTeamName":"Team A","eUserName":"Li Wei","planId":"5"}])");
}

// Characters a form decoder would change, and text outside ASCII.
inline QByteArray pointBodyWithAwkwardText()
{
    return QByteArrayLiteral(
        "key=[{\"pId\":\"3\",\"ptCard\":\"a&b=c\",\"ptName\":\"东门 100% + \\\"north\\\"\","
        "\"ptNum\":\"%41+%2B\",\"ptType\":\"巡更点\"}]");
}

// One checkpoint record, repeated until the body reaches at least minimumBytes.
inline QByteArray largePointBody(int minimumBytes)
{
    const QByteArray record =
        QByteArrayLiteral(R"({"pId":"100000","ptCard":"00A1B2C3D4","ptName":"Warehouse aisle 17","ptNum":"100000","ptType":"0"})");
    QByteArray body = QByteArrayLiteral("key=[");
    body.reserve(minimumBytes + record.size() + 8);
    body += record;
    while (body.size() < minimumBytes)
        body += ',' + record;
    body += ']';
    return body;
}

} // namespace samples
