#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariantList>

// A connection of the test's own onto fernwick.db in the working directory, as an outside
// reader or an operator editing the file would have.
class LocalFile
{
public:
    explicit LocalFile(const QString &connection = QStringLiteral("test_local_file"));
    ~LocalFile();

    bool hasTable(const QString &table) const;
    bool exec(const QString &sql, const QVariantList &values = {});
    // Each row's values as text; NULL shows as "<null>".
    QList<QStringList> rows(const QString &sql);
    QList<QStringList> table(const QString &name);

private:
    QString connectionName;
    QSqlDatabase db;
};
