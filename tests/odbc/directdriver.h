#pragma once

// The driver's entry points looked up in the library itself, for tests that call it as an
// application that loads it without a driver manager would.

#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>

namespace odbcfixture {

struct DirectDriver {
    void *library = nullptr;
    SQLRETURN (*allocHandle)(SQLSMALLINT, SQLHANDLE, SQLHANDLE *) = nullptr;
    SQLRETURN (*freeHandle)(SQLSMALLINT, SQLHANDLE) = nullptr;
    SQLRETURN (*setEnvAttr)(SQLHENV, SQLINTEGER, SQLPOINTER, SQLINTEGER) = nullptr;
    SQLRETURN (*driverConnect)(SQLHDBC, SQLHWND, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLSMALLINT *,
                               SQLUSMALLINT) = nullptr;
    SQLRETURN (*disconnect)(SQLHDBC) = nullptr;
    SQLRETURN (*getInfo)(SQLHDBC, SQLUSMALLINT, SQLPOINTER, SQLSMALLINT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*tables)(SQLHSTMT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *, SQLSMALLINT, SQLCHAR *,
                        SQLSMALLINT) = nullptr;
    SQLRETURN (*execDirect)(SQLHSTMT, SQLCHAR *, SQLINTEGER) = nullptr;
    SQLRETURN (*numResultCols)(SQLHSTMT, SQLSMALLINT *) = nullptr;
    SQLRETURN (*fetch)(SQLHSTMT) = nullptr;
    SQLRETURN (*getData)(SQLHSTMT, SQLUSMALLINT, SQLSMALLINT, SQLPOINTER, SQLLEN, SQLLEN *) = nullptr;
    SQLRETURN (*closeCursor)(SQLHSTMT) = nullptr;
    SQLRETURN (*freeStmt)(SQLHSTMT, SQLUSMALLINT) = nullptr;
    SQLRETURN (*cancel)(SQLHSTMT) = nullptr;
    SQLRETURN (*getDiagRec)(SQLSMALLINT, SQLHANDLE, SQLSMALLINT, SQLCHAR *, SQLINTEGER *, SQLCHAR *, SQLSMALLINT,
                            SQLSMALLINT *) = nullptr;

    template <typename F>
    bool resolve(F *function, const char *name)
    {
        *function = reinterpret_cast<F>(dlsym(library, name));
        return *function != nullptr;
    }

    bool load(const char *path)
    {
        library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        return library && resolve(&allocHandle, "SQLAllocHandle") && resolve(&freeHandle, "SQLFreeHandle")
            && resolve(&setEnvAttr, "SQLSetEnvAttr") && resolve(&driverConnect, "SQLDriverConnect")
            && resolve(&disconnect, "SQLDisconnect") && resolve(&getInfo, "SQLGetInfo")
            && resolve(&tables, "SQLTables") && resolve(&execDirect, "SQLExecDirect")
            && resolve(&numResultCols, "SQLNumResultCols") && resolve(&fetch, "SQLFetch")
            && resolve(&getData, "SQLGetData") && resolve(&closeCursor, "SQLCloseCursor")
            && resolve(&freeStmt, "SQLFreeStmt") && resolve(&cancel, "SQLCancel")
            && resolve(&getDiagRec, "SQLGetDiagRec");
    }
};

} // namespace odbcfixture
