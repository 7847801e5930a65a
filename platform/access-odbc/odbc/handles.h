#pragma once

// The three handle kinds the driver hands out. Every live handle is in one set, and each
// carries a tag of its kind, so that an entry point can refuse a pointer that is not one
// of ours, one already freed, or one of another kind.

#include "odbc/diagnostics.h"
#include "storage/storage.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <memory>
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

struct Environment : HandleBase {
    Environment() : HandleBase(HandleTag::Environment) {}
    SQLINTEGER odbcVersion = SQL_OV_ODBC3;
    int connectionCount = 0;
};

struct Connection : HandleBase {
    explicit Connection(Environment *e) : HandleBase(HandleTag::Connection), environment(e) {}
    Environment *environment;
    std::unique_ptr<Database> database;
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

} // namespace accessodbc
