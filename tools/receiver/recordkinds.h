#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// One kind of record the guard-tour client posts, with the endpoint path it
// arrives on and the exact set of keys every one of its objects carries.
struct RecordKind {
    QString name;
    QStringList keys;
};

const QVector<RecordKind> &recordKinds();
const RecordKind *recordKindNamed(const QString &name);
