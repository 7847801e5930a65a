#pragma once

// The three handle kinds the driver hands out. Each begins with a tag so that an entry
// point can refuse a pointer that is not one of ours, or not of the kind it expects.

#include "diagnostics.h"
#include "storage.h"

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

struct HandleBase {
    explicit HandleBase(HandleTag t) : tag(t) {}
    ~HandleBase() { tag = HandleTag::Freed; }
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
    HandleBase *base = static_cast<HandleBase *>(handle);
    if (!base || base->tag != Tag)
        return nullptr;
    return static_cast<T *>(base);
}

inline Environment *asEnvironment(SQLHANDLE h) { return handleCast<Environment, HandleTag::Environment>(h); }
inline Connection *asConnection(SQLHANDLE h) { return handleCast<Connection, HandleTag::Connection>(h); }

} // namespace accessodbc
