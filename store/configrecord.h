#pragma once

#include <QString>

class QSqlQuery;

// The configuration record of fernwick.db as an installer sets it up, outside a sync.
namespace ConfigRecord {

// The values a first start seeds the record with.
QString defaultPath();
QString defaultPassword();

// Creates the record's table with the row a first start seeds, inside the caller's
// transaction. False when a statement failed; the query holds its error.
bool createSeededTable(QSqlQuery *query);

struct Values
{
    QString path;
    QString password;
    bool fromFile = false; // false: the file has no row, and a start would use the defaults
};

// Reads the record without creating or changing anything. False, with why in `error`, when
// there is no fernwick.db or it cannot be read.
bool read(Values *values, QString *error);

// Sets the Access database's path, and its password unless `password` is null, in every row
// of the record, all in one transaction. A file or table that is not there yet is made and
// seeded as at a first start before the change. Another program holding the file is not
// waited for: nothing is written, and `error` says so. `created` tells whether the table
// was made now.
bool write(const QString &path, const QString &password, bool *created, QString *error);

}
