#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

// Appends `value` as a JSON string in the exact bytes QJsonDocument::toJson writes: raw
// UTF-8, with the quotation mark, the backslash and control characters escaped, and a
// surrogate that has no partner written as a \u escape.
void appendJsonString(QByteArray *out, const QString &value);

// Writes one row's JSON object with every value a string, byte for byte as QJsonDocument
// writes an object whose keys were inserted in column order. The members are put in key
// order once, so a row costs only its values.
class JsonRowWriter
{
public:
    explicit JsonRowWriter(const QStringList &keys);
    void append(QByteArray *out, const QStringList &values) const;

private:
    struct Member
    {
        QByteArray prefix; // '{' or ',', the quoted key and ':'
        int column;
    };
    QVector<Member> members;
};
