#pragma once

// The three handle kinds the driver hands out. Every live handle is in one set, and each
// carries a tag of its kind, so that an entry point can refuse a pointer that is not one
// of ours, one already freed, or one of another kind.

#include "odbc/diagnostics.h"
#include "sql/sql_translate.h"
#include "storage/storage.h"

#include <sql.h>
#include <sqlext.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace accessodbc {

enum class HandleTag : uint32_t {
    Environment = 0x46574e56, // "FWNV"
    Connection = 0x4657434e,  // "FWCN"
    Statement = 0x46575354,   // "FWST"
    Freed = 0xdeadbeef,
};

// An application calling the driver without a driver manager may pass a handle it has
// already freed; only the set of live handles can tell that without reading freed memory.
void addLiveHandle(const void *handle);
void removeLiveHandle(const void *handle);
bool isLiveHandle(const void *handle);

struct HandleBase {
    explicit HandleBase(HandleTag t) : tag(t) { addLiveHandle(this); }
    ~HandleBase()
    {
        removeLiveHandle(this);
        tag = HandleTag::Freed;
    }
    HandleBase(const HandleBase &) = delete;
    HandleBase &operator=(const HandleBase &) = delete;

    HandleTag tag;
    Diagnostics diag;
};

struct Statement;

// Applications call from several threads, each on connections of its own. A call holds the
// lock of the handle it works on: an environment's for the environment, a connection's for
// the connection, its statements and its database. So one connection is used by one thread
// at a time, while separate connections run side by side; the registry of live handles
// has a lock of its own.
struct Environment : HandleBase {
    Environment() : HandleBase(HandleTag::Environment) {}
    std::mutex lock;
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
    // Changed by the connections' calls, under their own locks.
    std::atomic<int> connectionCount{0};
};

struct Connection : HandleBase {
    explicit Connection(Environment *e) : HandleBase(HandleTag::Connection), environment(e) {}
    std::mutex lock;
    Environment *environment;
    std::unique_ptr<Database> database;
    sql::Refusals refusedQueries; // the database's saved queries that are listed but cannot run
    std::vector<Statement *> statements;
    std::string connectionString;
    SQLUINTEGER loginTimeout = 0;
    SQLUINTEGER autocommit = SQL_AUTOCOMMIT_ON;

    bool connected() const { return database != nullptr; }
};

template <typename T, HandleTag Tag>
T *handleCast(SQLHANDLE handle)
{
    if (!isLiveHandle(handle))
        return nullptr;
    HandleBase *base = static_cast<HandleBase *>(handle);
    if (base->tag != Tag)
        return nullptr;
    return static_cast<T *>(base);
}

inline Environment *asEnvironment(SQLHANDLE h) { return handleCast<Environment, HandleTag::Environment>(h); }
inline Connection *asConnection(SQLHANDLE h) { return handleCast<Connection, HandleTag::Connection>(h); }

inline std::unique_lock<std::mutex> lockFor(Environment *environment)
{
    return std::unique_lock<std::mutex>(environment->lock);
}
inline std::unique_lock<std::mutex> lockFor(Connection *connection)
{
    return std::unique_lock<std::mutex>(connection->lock);
}

} // namespace accessodbc
