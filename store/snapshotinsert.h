#pragma once

#include <QString>
#include <QStringList>

#ifdef FERNWICK_SNAPSHOT_ON_SQLITE_HANDLE
#include <vector>
struct sqlite3;
struct sqlite3_stmt;
#else
#include <QSqlQuery>
#endif

class QSqlDatabase;

// SQLite takes a leading U+FEFF or U+FFFE of UTF-16 text for a byte-order mark: it drops the
// one and reads the rest byte-swapped after the other. A mark of its own in front is what it
// drops then, so the text is stored exactly as it is.
inline QString utf16ForSqlite(const QString &text)
{
    const ushort first = text.isEmpty() ? 0 : text.at(0).unicode();
    return first == 0xfeff || first == 0xfffe ? QChar(0xfeff) + text : text;
}

// Adds rows to a snapshot table: one statement, prepared once. Every value is stored as
// the text the toolkit's SQLite driver stores for it; a null value as the empty text,
// never as NULL.
//
// Where the program is linked against the very SQLite library that the toolkit's driver
// uses, the rows go straight to the connection's own handle, which spares the toolkit's
// per-value binding. Elsewhere (the toolkit's own builds carry a SQLite of their own) they
// go through QSqlQuery.
class SnapshotInsert
{
public:
    SnapshotInsert() = default;
    ~SnapshotInsert();
    SnapshotInsert(const SnapshotInsert &) = delete;
    SnapshotInsert &operator=(const SnapshotInsert &) = delete;

    // False, with SQLite's text in errorText(), when the connection is not an open SQLite
    // one or the statement does not compile.
    bool prepare(const QSqlDatabase &db, const QString &statement);
    bool isPrepared() const;
    // Binds the values in order, then `stamp` unless it is null, and runs the statement.
    bool insert(const QStringList &values, const QString &stamp);
    // The statement must be let go before the transaction ends or the connection closes.
    void release();
    QString errorText() const { return error; }

private:
#ifdef FERNWICK_SNAPSHOT_ON_SQLITE_HANDLE
    void reserveUtf8(const QStringList &values, const QString &stamp);
    bool bind(int position, const QString &value, char **free);
    bool fail();

    sqlite3 *handle = nullptr;
    sqlite3_stmt *statement = nullptr;
    // The row's values in UTF-8, one after another; kept from row to row.
    std::vector<char> utf8;
#else
    bool fail();

    QSqlQuery query;
    bool prepared = false;
#endif
    QString error;
};
