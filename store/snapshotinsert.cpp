#include "store/snapshotinsert.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {
const ushort emptyText[] = {0};

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}
}

SnapshotInsert::~SnapshotInsert()
{
    release();
}

bool SnapshotInsert::prepare(const QSqlDatabase &db, const QString &text)
{
    release();
    error.clear();
    handle = sqliteHandle(db);
    if (!handle) {
        error = QStringLiteral("the snapshot file is not open");
        return false;
    }
    const int result = sqlite3_prepare16_v2(handle, text.utf16(), int(text.size() * sizeof(ushort)),
                                            &statement, nullptr);
    if (result != SQLITE_OK) {
        fail();
        release();
        return false;
    }
    return true;
}

bool SnapshotInsert::insert(const QStringList &values, const QString &stamp)
{
    int position = 0;
    for (const QString &value : values) {
        if (!bind(++position, value))
            return false;
    }
    if (!stamp.isNull() && !bind(++position, stamp))
        return false;
    const int result = sqlite3_step(statement);
    // Resetting keeps the step's error code and text, and frees the statement for the next row.
    sqlite3_reset(statement);
    return result == SQLITE_DONE || fail();
}

// The text stays where it is until the step; SQLite turns it into the file's UTF-8 itself.
bool SnapshotInsert::bind(int position, const QString &value)
{
    const void *units = value.isEmpty() ? static_cast<const void *>(emptyText) : value.utf16();
    const int bytes = int(value.size() * sizeof(ushort));
    return sqlite3_bind_text16(statement, position, units, bytes, SQLITE_STATIC) == SQLITE_OK || fail();
}

bool SnapshotInsert::fail()
{
    error = QString::fromUtf8(sqlite3_errmsg(handle));
    return false;
}

void SnapshotInsert::release()
{
    sqlite3_finalize(statement);
    statement = nullptr;
}
