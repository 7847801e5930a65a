#include "app/jsonrows.h"

#include "logging/utf8write.h"

#include <QMap>

namespace {

// Room for the longest form one UTF-16 unit can take: "\u" and four hex digits.
constexpr int maxBytesPerUnit = 6;

char hexDigit(uint value)
{
    return "0123456789abcdef"[value & 0xf];
}

char *writeUnicodeEscape(char *cursor, ushort unit)
{
    *cursor++ = '\\';
    *cursor++ = 'u';
    *cursor++ = hexDigit(unit >> 12);
    *cursor++ = hexDigit(unit >> 8);
    *cursor++ = hexDigit(unit >> 4);
    *cursor++ = hexDigit(unit);
    return cursor;
}

char *writeAscii(char *cursor, ushort unit)
{
    if (unit >= 0x20 && unit != '"' && unit != '\\') {
        *cursor++ = char(unit);
        return cursor;
    }
    *cursor++ = '\\';
    switch (unit) {
    case '"': *cursor++ = '"'; break;
    case '\\': *cursor++ = '\\'; break;
    case '\b': *cursor++ = 'b'; break;
    case '\f': *cursor++ = 'f'; break;
    case '\n': *cursor++ = 'n'; break;
    case '\r': *cursor++ = 'r'; break;
    case '\t': *cursor++ = 't'; break;
    default: return writeUnicodeEscape(cursor - 1, unit);
    }
    return cursor;
}

} // namespace

void appendJsonString(QByteArray *out, const QString &value)
{
    const int start = out->size();
    out->resize(start + 2 + maxBytesPerUnit * value.size());
    char *cursor = out->data() + start;
    *cursor++ = '"';
    const ushort *src = value.utf16();
    const ushort *const end = src + value.size();
    while (src != end) {
        if (*src < 0x80) {
            cursor = writeAscii(cursor, *src++);
            continue;
        }
        const ushort first = *src;
        uint code = 0;
        if (utf8write::nextCodePoint(src, end, &code))
            cursor = utf8write::codePoint(cursor, code);
        else
            cursor = writeUnicodeEscape(cursor, first);
    }
    *cursor++ = '"';
    out->resize(int(cursor - out->constData()));
}

JsonRowWriter::JsonRowWriter(const QStringList &keys)
{
    // An object holds a key once, with the value inserted last, and writes its keys in order.
    QMap<QString, int> columnOfKey;
    for (int column = 0; column < keys.size(); ++column)
        columnOfKey.insert(keys.at(column), column);
    char opening = '{';
    for (auto it = columnOfKey.cbegin(); it != columnOfKey.cend(); ++it) {
        Member member{QByteArray(1, opening), it.value()};
        appendJsonString(&member.prefix, it.key());
        member.prefix.append(':');
        members << member;
        opening = ',';
    }
}

void JsonRowWriter::append(QByteArray *out, const QStringList &values) const
{
    if (members.isEmpty()) {
        out->append("{}");
        return;
    }
    for (const Member &member : members) {
        out->append(member.prefix);
        appendJsonString(out, values.at(member.column));
    }
    out->append('}');
}
