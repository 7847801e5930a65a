#include "upload/linethread.h"

namespace {
const ChannelKind lineKind{
    QStringLiteral("LINE_HTTPURL"),
    QStringLiteral("log/responseLineData-%1%2%3.txt"),
    QStringLiteral("orva_line_data"),
    QStringLiteral("create table orva_line_data (lId text,lName text,placeId text,lOrder text,"
                   "lNextPlaceTime text,lStayTime text,createTime text);"),
    QStringLiteral("insert into orva_line_data (lId, lName, placeId,lOrder,lNextPlaceTime,lStayTime,createTime) "
                   "values (?, ?, ?, ?, ?, ?, ?);"),
    true,
};
}

LineThread::LineThread(QObject *parent)
    : UploadChannel(lineKind, parent)
{
}
