#include "support/generatedtext.h"

QString units(std::initializer_list<ushort> codes)
{
    QString text;
    for (ushort code : codes)
        text.append(QChar(code));
    return text;
}

QStringList everyUnitAlone()
{
    QStringList strings;
    for (uint code = 0; code <= 0xffff; ++code)
        strings << QString(QChar(ushort(code)));
    return strings;
}

QStringList surrogateCases()
{
    return {
        units({0xd83d, 0xde00}),                 // a pair
        units({0xd800, 0xdc00}), units({0xdbff, 0xdfff}),
        units({0xd83d}),                          // high at the end
        units({0xd83d, 'a'}),                     // high before a non-surrogate
        units({0xd83d, 0xd83d, 0xde00}),          // high before a pair
        units({0xde00, 0xd83d}),                  // low then high
        units({0xde00}), units({'x', 0xdfff, 'y'}),
        units({0xfffe, 0xffff, 0xfeff}),
        QString(), QStringLiteral(""),
    };
}

QString randomString(QRandomGenerator &random)
{
    static const ushort awkward[] = {0, 1, 8, 9, 10, 12, 13, 0x1f, 0x20, '"', '\\', '/', 0x7f, 0x80, 0x7ff,
                                     0x800, 0x4e1c, 0xd7ff, 0xd800, 0xdbff, 0xdc00, 0xdfff, 0xe000, 0xfffd, 0xffff};
    const int length = random.bounded(40);
    QString text;
    for (int i = 0; i < length; ++i) {
        const int pick = random.bounded(4);
        if (pick == 0)
            text.append(QChar(ushort(random.bounded(0x10000))));
        else if (pick == 1)
            text.append(QChar(ushort(random.bounded(0x20, 0x7f))));
        else
            text.append(QChar(awkward[random.bounded(int(sizeof awkward / sizeof *awkward))]));
    }
    return text;
}

QList<QStringList> rowsOf(const QStringList &strings, int columns)
{
    QList<QStringList> rows;
    for (int start = 0; start < strings.size(); start += columns) {
        QStringList row = strings.mid(start, columns);
        while (row.size() < columns)
            row << QString();
        rows << row;
    }
    return rows;
}
