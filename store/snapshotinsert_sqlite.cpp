#include "store/snapshotinsert.h"

#include "logging/utf8write.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

namespace {
sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    if (!db.isOpen())
        return nullptr;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Text without surrogates has exactly one UTF-8 form, written at `out`, which has room for
// three bytes a unit; the end of what was written is returned. Null for text with a
// surrogate, whose stored form is left to SQLite's own reading of UTF-16, as the toolkit
// leaves it.
char *encodeUtf8(const QString &text, char *out)
{
    for (const QChar ch : text) {
        if (ch.isSurrogate())
            return nullptr;
        out = utf8write::codePoint(out, ch.unicode());
    }
    return out;
}
}

bool SnapshotInsert::isPrepared() const
{
    return statement != nullptr;
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
    reserveUtf8(values, stamp);
    char *free = utf8.data();
    int position = 0;
    for (const QString &value : values) {
        if (!bind(++position, value, &free))
            return false;
    }
    if (!stamp.isNull() && !bind(++position, stamp, &free))
        return false;
    const int result = sqlite3_step(statement);
    // Resetting keeps the step's error code and text, and frees the statement for the next row.
    sqlite3_reset(statement);
    return result == SQLITE_DONE || fail();
}

// Room for the whole row's UTF-8 at once, so that no value bound before the step moves.
// Never empty: an empty value is bound at a real address, which SQLite keeps apart from NULL.
void SnapshotInsert::reserveUtf8(const QStringList &values, const QString &stamp)
{
    size_t units = size_t(stamp.size());
    for (const QString &value : values)
        units += size_t(value.size());
    if (utf8.size() < 3 * units + 1)
        utf8.resize(3 * units + 1);
}

// Bound as UTF-8 where that is the file's form already: SQLite then neither converts nor
// copies the value before the step. The text stays where it is until the step.
bool SnapshotInsert::bind(int position, const QString &value, char **free)
{
    int result;
    if (char *end = encodeUtf8(value, *free)) {
        result = sqlite3_bind_text(statement, position, *free, int(end - *free), SQLITE_STATIC);
        *free = end;
    } else {
        const QString text = utf16ForSqlite(value);
        const int bytes = int(text.size() * sizeof(ushort));
        result = sqlite3_bind_text16(statement, position, text.utf16(), bytes, SQLITE_TRANSIENT);
    }
    return result == SQLITE_OK || fail();
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
