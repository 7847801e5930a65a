#pragma once

// Shared by the exported entry points: the guard every call runs in, and the copying
// of text results into ANSI or wide application buffers.

#include "odbc/handles.h"
#include "odbc/odbc_strings.h"

#include <new>

namespace accessodbc {

// What a call on a handle starts afresh besides its diagnostics; a statement's overload
// forgets a cancel meant for an earlier call.
inline void startCall(HandleBase *) {}

// Runs one entry point: starts a fresh diagnostic area, and keeps any C++ exception
// from crossing into the C caller.
template <typename Handle, typename Body>
SQLRETURN guarded(Handle *handle, Body body)
{
    if (!handle)
        return SQL_INVALID_HANDLE;
    const std::unique_lock<std::mutex> lock = lockFor(handle);
    handle->diag.clear();
    startCall(handle);
    try {
        const SQLRETURN rc = body();
        handle->diag.lastReturn = rc;
        return rc;
    } catch (...) {
        try {
            return handle->diag.error("HY001", "Memory allocation error.");
        } catch (...) {
            return SQL_ERROR;
        }
    }
}

enum class Encoding { Ansi, Wide };

// Copies value into a character buffer. bufferLength and *length count bytes when
// lengthInBytes is set (SQLGetInfo, SQLColAttribute, ...), else characters of the
// encoding. A cut value adds 01004 and gives SQL_SUCCESS_WITH_INFO.
template <typename LengthT>
SQLRETURN writeText(Diagnostics &diag, Encoding encoding, const std::string &value, SQLPOINTER buffer,
                    SQLLEN bufferLength, LengthT *length, bool lengthInBytes, bool reportTruncation = true)
{
    SQLLEN full = 0;
    bool truncated;
    if (encoding == Encoding::Ansi) {
        truncated = copyAnsiOut(value, static_cast<SQLCHAR *>(buffer), bufferLength, &full);
    } else {
        const SQLLEN chars = lengthInBytes ? bufferLength / SQLLEN(sizeof(SQLWCHAR)) : bufferLength;
        truncated = copyWideOut(value, static_cast<SQLWCHAR *>(buffer), chars, &full);
        if (lengthInBytes)
            full *= SQLLEN(sizeof(SQLWCHAR));
    }
    storeLength(length, full);
    if (truncated && buffer && reportTruncation) {
        diag.warning("01004", "String data, right truncated.");
        return SQL_SUCCESS_WITH_INFO;
    }
    return SQL_SUCCESS;
}

inline std::string textIn(Encoding encoding, const void *text, SQLLEN length)
{
    return encoding == Encoding::Ansi ? fromAnsi(static_cast<const SQLCHAR *>(text), length)
                                      : fromWide(static_cast<const SQLWCHAR *>(text), length);
}

// Combines two return codes of one call: an error wins, then a warning.
inline SQLRETURN worse(SQLRETURN a, SQLRETURN b)
{
    if (a == SQL_ERROR || b == SQL_ERROR)
        return SQL_ERROR;
    if (a == SQL_SUCCESS_WITH_INFO || b == SQL_SUCCESS_WITH_INFO)
        return SQL_SUCCESS_WITH_INFO;
    return a;
}

} // namespace accessodbc
