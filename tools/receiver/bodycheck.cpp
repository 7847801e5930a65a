#include "bodycheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace {

const QByteArray kBodyPrefix = QByteArrayLiteral("key=");

BodyVerdict refused(const QString &reason)
{
    BodyVerdict verdict;
    verdict.reason = reason;
    return verdict;
}

BodyVerdict accepted(int recordCount)
{
    BodyVerdict verdict;
    verdict.accepted = true;
    verdict.recordCount = recordCount;
    return verdict;
}

QString jsonTypeName(const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null: return QStringLiteral("null");
    case QJsonValue::Bool: return QStringLiteral("a boolean");
    case QJsonValue::Double: return QStringLiteral("a number");
    case QJsonValue::String: return QStringLiteral("a string");
    case QJsonValue::Array: return QStringLiteral("an array");
    case QJsonValue::Object: return QStringLiteral("an object");
    case QJsonValue::Undefined: break;
    }
    return QStringLiteral("undefined");
}

QString missingKey(const RecordKind &kind, const QJsonObject &record)
{
    for (const QString &key : kind.keys) {
        if (!record.contains(key))
            return QStringLiteral("missing key \"%1\"").arg(key);
    }
    return {};
}

QString unknownKeyOrNonString(const RecordKind &kind, const QJsonObject &record)
{
    for (auto it = record.constBegin(); it != record.constEnd(); ++it) {
        if (!kind.keys.contains(it.key()))
            return QStringLiteral("unknown key \"%1\"").arg(it.key());
        if (!it.value().isString()) {
            return QStringLiteral("value of \"%1\" is %2, not a string")
                .arg(it.key(), jsonTypeName(it.value()));
        }
    }
    return {};
}

// Empty when the element is a valid record of the kind, otherwise what is wrong.
QString recordProblem(const RecordKind &kind, const QJsonValue &element)
{
    if (!element.isObject())
        return QStringLiteral("is %1, not an object").arg(jsonTypeName(element));
    const QJsonObject record = element.toObject();
    const QString missing = missingKey(kind, record);
    if (!missing.isEmpty())
        return missing;
    return unknownKeyOrNonString(kind, record);
}

} // namespace

BodyVerdict checkBody(const RecordKind &kind, const QByteArray &body)
{
    if (!body.startsWith(kBodyPrefix))
        return refused(QStringLiteral("body does not start with \"key=\""));

    // A view of the JSON text, so a body of tens of megabytes is not copied.
    const QByteArray json = QByteArray::fromRawData(body.constData() + kBodyPrefix.size(),
                                                    body.size() - kBodyPrefix.size());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        return refused(QStringLiteral("text after \"key=\" is not valid JSON: %1 at offset %2")
                           .arg(parseError.errorString())
                           .arg(parseError.offset));
    }
    if (!document.isArray())
        return refused(QStringLiteral("JSON after \"key=\" is not an array"));

    const QJsonArray records = document.array();
    for (int index = 0; index < records.size(); ++index) {
        const QString problem = recordProblem(kind, records.at(index));
        if (!problem.isEmpty())
            return refused(QStringLiteral("record %1: %2").arg(index).arg(problem));
    }
    return accepted(records.size());
}
