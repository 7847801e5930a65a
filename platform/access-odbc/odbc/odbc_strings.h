#pragma once

// Text crossing the ODBC boundary: the driver works in UTF-8 inside; the ANSI entry
// points take and give UTF-8 bytes, the wide ones UTF-16 in SQLWCHAR units.

#include <sql.h>
#include <sqlucode.h>

#include <string>

namespace accessodbc {

std::string fromAnsi(const SQLCHAR *text, SQLLEN length);
std::string fromWide(const SQLWCHAR *text, SQLLEN length);

// UTF-16 of a UTF-8 text; a byte that does not start a valid sequence becomes U+FFFD.
void utf8ToUtf16(const std::string &utf8, std::u16string *out);
std::string utf16ToUtf8(const char16_t *text, size_t length);

// Copy value into an application buffer as ODBC asks: as much as fits with a terminator,
// the full length in *fullLength (bytes for ANSI, characters for wide), and true when
// it had to be cut.
bool copyAnsiOut(const std::string &value, SQLCHAR *buffer, SQLLEN bufferBytes, SQLLEN *fullLength);
bool copyWideOut(const std::string &value, SQLWCHAR *buffer, SQLLEN bufferChars, SQLLEN *fullLength);

template <typename T>
void storeLength(T *target, SQLLEN value)
{
    if (target)
        *target = T(value);
}

} // namespace accessodbc
