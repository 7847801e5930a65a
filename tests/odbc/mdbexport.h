#pragma once

// A table of a sample database as mdb-export writes it, for tests that compute their
// expected answers without the driver.

#include <QProcess>
#include <QStringList>
#include <QVector>

// A header line, then one record per row; fields are quoted when they hold text, and an
// empty unquoted field is NULL (a null QString here). Dates are "yyyy-MM-dd hh:mm:ss",
// binary fields are left out.
struct ExportedTable {
    QStringList header;
    QVector<QStringList> rows;

    int column(const QString &name) const { return header.indexOf(name); }
    int column(const char *name) const { return header.indexOf(QLatin1String(name)); }
    QStringList values(const QString &name) const
    {
        QStringList out;
        const int i = column(name);
        for (const QStringList &row : rows)
            out << row.value(i);
        return out;
    }
};

// mdb-export's CSV: fields in double quotes may hold commas, doubled quotes and line breaks.
inline QVector<QStringList> parseMdbExportCsv(const QString &text)
{
    QVector<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false, inQuotes = false;
    const auto endField = [&] {
        record << (quoted ? (field.isNull() ? QStringLiteral("") : field) : (field.isEmpty() ? QString() : field));
        field = QString();
        quoted = false;
    };
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                inQuotes = false;
            else
                field += c;
        } else if (c == '"') {
            inQuotes = quoted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\n') {
            endField();
            records << record;
            record.clear();
        } else {
            field += c;
        }
    }
    return records;
}

// Empty when mdb-export is missing or fails. Binary fields are left out unless binaryMode
// is "raw"; libmdb counts a Replication ID among them, and prints it in that mode as text.
inline ExportedTable mdbExport(const QString &database, const QString &table,
                               const QString &binaryMode = QStringLiteral("strip"))
{
    QProcess process;
    process.start(QStringLiteral("mdb-export"), {QStringLiteral("-b"), binaryMode, QStringLiteral("-T"),
                                                 QStringLiteral("%Y-%m-%d %H:%M:%S"), database, table});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return ExportedTable();
    QVector<QStringList> records = parseMdbExportCsv(QString::fromUtf8(process.readAllStandardOutput()));
    ExportedTable result;
    if (!records.isEmpty())
        result.header = records.takeFirst();
    result.rows = records;
    return result;
}
