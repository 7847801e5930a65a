#include "upload/pointthread.h"

namespace {
const ChannelKind pointKind{
    QStringLiteral("POINT_HTTPURL"),
    QStringLiteral("log/responsePointData-%1%2%3.txt"),
    QStringLiteral("orva_point_data"),
    QStringLiteral("create table orva_point_data (pId text,pCard text,pName text,pNumber text,pType text,"
                   "createTime text);"),
    QStringLiteral("insert into orva_point_data (pId,pCard, pName,pNumber,pType,createTime) "
                   "values (?, ?, ?, ?, ?, ?);"),
    true,
};
}

PointThread::PointThread(QObject *parent)
    : UploadChannel(pointKind, parent)
{
}
