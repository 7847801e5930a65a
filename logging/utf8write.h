#pragma once

#include <QChar>

// Writing UTF-16 text as UTF-8 into a buffer the caller has made large enough (three bytes
// a unit). Shared by the writers that must give the toolkit's bytes exactly.
namespace utf8write {

inline char *codePoint(char *cursor, uint code)
{
    if (code < 0x80) {
        *cursor++ = char(code);
        return cursor;
    }
    if (code < 0x800) {
        *cursor++ = char(0xc0 | (code >> 6));
    } else if (code < 0x10000) {
        *cursor++ = char(0xe0 | (code >> 12));
        *cursor++ = char(0x80 | ((code >> 6) & 0x3f));
    } else {
        *cursor++ = char(0xf0 | (code >> 18));
        *cursor++ = char(0x80 | ((code >> 12) & 0x3f));
        *cursor++ = char(0x80 | ((code >> 6) & 0x3f));
    }
    *cursor++ = char(0x80 | (code & 0x3f));
    return cursor;
}

// The code point that starts at *src, which moves past it; false for a surrogate without
// its partner, of which only the one unit is taken.
inline bool nextCodePoint(const ushort *&src, const ushort *end, uint *code)
{
    const ushort unit = *src++;
    *code = unit;
    if (!QChar::isSurrogate(unit))
        return true;
    if (QChar::isHighSurrogate(unit) && src != end && QChar::isLowSurrogate(*src)) {
        *code = QChar::surrogateToUcs4(unit, *src++);
        return true;
    }
    return false;
}

} // namespace utf8write
