#include "odbc/odbc_strings.h"

#include <cstring>

namespace accessodbc {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at text[pos]; returns false for a malformed one.
bool decodeUtf8(const std::string &text, size_t &pos, char32_t *codePoint)
{
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    int extra;
    char32_t value;
    if (lead < 0x80) {
        *codePoint = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        value = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        value = lead & 0x07;
    } else {
        return false;
    }
    if (pos + extra >= text.size())
        return false;
    for (int i = 1; i <= extra; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (next & 0x3F);
    }
    static const char32_t smallest[] = {0, 0x80, 0x800, 0x10000};
    if (value < smallest[extra] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return false;
    pos += extra + 1;
    *codePoint = value;
    return true;
}

void appendUtf8(char32_t codePoint, std::string *out)
{
    if (codePoint < 0x80) {
        out->push_back(char(codePoint));
    } else if (codePoint < 0x800) {
        out->push_back(char(0xC0 | (codePoint >> 6)));
        out->push_back(char(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out->push_back(char(0xE0 | (codePoint >> 12)));
        out->push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(char(0x80 | (codePoint & 0x3F)));
    } else {
        out->push_back(char(0xF0 | (codePoint >> 18)));
        out->push_back(char(0x80 | ((codePoint >> 12) & 0x3F)));
        out->push_back(char(0x80 | ((codePoint >> 6) & 0x3F)));
        out->push_back(char(0x80 | (codePoint & 0x3F)));
    }
}

} // namespace

std::string fromAnsi(const SQLCHAR *text, SQLLEN length)
{
    if (!text)
        return std::string();
    const char *chars = reinterpret_cast<const char *>(text);
    if (length == SQL_NTS)
        return std::string(chars);
    return length > 0 ? std::string(chars, size_t(length)) : std::string();
}

std::string fromWide(const SQLWCHAR *text, SQLLEN length)
{
    if (!text)
        return std::string();
    size_t count = 0;
    if (length == SQL_NTS) {
        while (text[count])
            ++count;
    } else if (length > 0) {
        count = size_t(length);
    }
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "SQLWCHAR is UTF-16 here");
    return utf16ToUtf8(reinterpret_cast<const char16_t *>(text), count);
}

void utf8ToUtf16(const std::string &utf8, std::u16string *out)
{
    out->clear();
    size_t pos = 0;
    while (pos < utf8.size()) {
        const unsigned char byte = static_cast<unsigned char>(utf8[pos]);
        if (byte < 0x80) {
            out->push_back(char16_t(byte));
            ++pos;
            continue;
        }
        char32_t codePoint;
        if (!decodeUtf8(utf8, pos, &codePoint)) {
            out->push_back(kReplacement);
            ++pos;
        } else if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            out->push_back(char16_t(0xD800 + (codePoint >> 10)));
            out->push_back(char16_t(0xDC00 + (codePoint & 0x3FF)));
        } else {
            out->push_back(char16_t(codePoint));
        }
    }
}

std::string utf16ToUtf8(const char16_t *text, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            unit = kReplacement;
        }
        appendUtf8(unit, &out);
    }
    return out;
}

bool copyAnsiOut(const std::string &value, SQLCHAR *buffer, SQLLEN bufferBytes, SQLLEN *fullLength)
{
    *fullLength = SQLLEN(value.size());
    if (!buffer || bufferBytes <= 0)
        return !value.empty();
    const size_t room = size_t(bufferBytes - 1);
    const size_t count = value.size() < room ? value.size() : room;
    std::memcpy(buffer, value.data(), count);
    buffer[count] = 0;
    return count < value.size();
}

bool copyWideOut(const std::string &value, SQLWCHAR *buffer, SQLLEN bufferChars, SQLLEN *fullLength)
{
    std::u16string wide;
    utf8ToUtf16(value, &wide);
    *fullLength = SQLLEN(wide.size());
    if (!buffer || bufferChars <= 0)
        return !wide.empty();
    const size_t room = size_t(bufferChars - 1);
    const size_t count = wide.size() < room ? wide.size() : room;
    std::memcpy(buffer, wide.data(), count * sizeof(SQLWCHAR));
    buffer[count] = 0;
    return count < wide.size();
}

} // namespace accessodbc
