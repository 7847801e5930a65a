// Access's string functions and LIKE. Positions and lengths count characters, not bytes;
// comparisons ignore case, as Access's text comparison does.

#include "sql/access_function_support.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>

#include <string>
#include <vector>

namespace accessodbc {

bool ignoresCase(sqlite3_context *context, int argc, sqlite3_value **argv, int index, bool *out)
{
    *out = true;
    if (index >= argc)
        return true;
    long long compare = 0;
    if (!wholeArgument(context, argv[index], &compare))
        return false;
    if (compare < -1 || compare > 2) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return false;
    }
    *out = compare != 0;
    return true;
}

namespace {

using Characters = std::u32string;

// Invalid UTF-8 bytes are kept one by one as characters of their own value.
Characters decode(const std::string &text)
{
    Characters out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool valid = length > 0 && i + length <= text.size();
        char32_t code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
        for (size_t k = 1; valid && k < length; ++k) {
            const unsigned char next = static_cast<unsigned char>(text[i + k]);
            valid = (next >> 6) == 2;
            code = (code << 6) | (next & 0x3F);
        }
        out += valid ? code : char32_t(c);
        i += valid ? length : 1;
    }
    return out;
}

std::string encode(const Characters &text)
{
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// Upper and lower case as Unicode maps single characters: every script that has case,
// and no character that would become two ("ß" stays "ß", as in Access).
char32_t upper(char32_t c) { return char32_t(u_toupper(UChar32(c))); }

char32_t lower(char32_t c) { return char32_t(u_tolower(UChar32(c))); }

Characters folded(Characters text)
{
    for (char32_t &c : text)
        c = upper(c);
    return text;
}

bool textArgument(sqlite3_context *context, sqlite3_value *value, Characters *out)
{
    if (resultNullFor(context, value))
        return false;
    *out = decode(textOf(value));
    return true;
}

bool countArgument(sqlite3_context *context, sqlite3_value *value, long long minimum, long long *out)
{
    if (!wholeArgument(context, value, out))
        return false;
    if (*out < minimum) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return false;
    }
    return true;
}

void resultCharacters(sqlite3_context *context, const Characters &text) { resultText(context, encode(text)); }

void left(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    long long count = 0;
    if (countArgument(context, argv[1], 0, &count) && textArgument(context, argv[0], &text))
        resultCharacters(context, text.substr(0, size_t(count)));
}

void right(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    long long count = 0;
    if (countArgument(context, argv[1], 0, &count) && textArgument(context, argv[0], &text))
        resultCharacters(context, text.substr(text.size() - std::min(text.size(), size_t(count))));
}

// Mid(text, start[, length]): start counts from 1.
void mid(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Characters text;
    long long start = 0, length = -1;
    if (!countArgument(context, argv[1], 1, &start) || (argc > 2 && !countArgument(context, argv[2], 0, &length))
        || !textArgument(context, argv[0], &text))
        return;
    const size_t from = std::min(text.size(), size_t(start - 1));
    resultCharacters(context, text.substr(from, length < 0 ? Characters::npos : size_t(length)));
}

void len(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    if (textArgument(context, argv[0], &text))
        sqlite3_result_int64(context, (sqlite3_int64)text.size());
}

// InStr([start, ]text, sought[, compare]): the position of sought from start on, 0 when
// absent; compare (after start only) 0 tells case apart.
void instr(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    long long start = 1;
    bool caseless = true;
    if ((argc >= 3 && !countArgument(context, argv[0], 1, &start)) || !ignoresCase(context, argc, argv, 3, &caseless))
        return;
    const int textIndex = argc == 2 ? 0 : 1;
    Characters text, sought;
    if (!textArgument(context, argv[textIndex], &text) || !textArgument(context, argv[textIndex + 1], &sought))
        return;
    if (size_t(start) > text.size() + (sought.empty() ? 1 : 0)) {
        sqlite3_result_int64(context, 0);
        return;
    }
    const size_t found = caseless ? folded(text).find(folded(sought), size_t(start - 1))
                                  : text.find(sought, size_t(start - 1));
    sqlite3_result_int64(context, found == Characters::npos ? 0 : (sqlite3_int64)found + 1);
}

template <char32_t (*Convert)(char32_t)> void changeCase(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    if (!textArgument(context, argv[0], &text))
        return;
    for (char32_t &c : text)
        c = Convert(c);
    resultCharacters(context, text);
}

// StrConv(text, conversion): 1 upper case, 2 lower case, 3 the first letter of each word
// upper and the others lower (a word follows a blank, tab, line break or NUL); the
// conversions between code pages and widths are not known here.
void strConv(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long conversion = 0;
    Characters text;
    if (!wholeArgument(context, argv[1], &conversion) || !textArgument(context, argv[0], &text))
        return;
    if (conversion < 1 || conversion > 3) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    bool wordStart = true;
    for (char32_t &c : text) {
        const bool upperCase = conversion == 1 || (conversion == 3 && wordStart);
        c = upperCase ? upper(c) : lower(c);
        wordStart = c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' || c == 0;
    }
    resultCharacters(context, text);
}

// Trim, LTrim and RTrim remove blanks only; userData says which ends.
void trim(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (resultNullFor(context, argv[0]))
        return;
    const int ends = entryData(context);
    std::string text = textOf(argv[0]);
    if (ends & 1)
        text.erase(0, std::min(text.size(), text.find_first_not_of(' ')));
    if (ends & 2)
        text.erase(text.find_last_not_of(' ') + 1);
    resultText(context, text);
}

// A LIKE pattern: * any run, ? any one character, # one digit, [abc], [a-c] and [!a-c]
// a set; a wildcard inside brackets stands for itself. ODBC's % and _ are * and ?, as
// Access's driver takes them, also in a bound pattern, which only reaches us here.
struct PatternItem {
    enum Kind { AnyRun, AnyOne, Digit, Set } kind = Set;
    bool negated = false;
    std::vector<std::pair<char32_t, char32_t>> ranges;
};

bool parseSet(const Characters &pattern, size_t &i, PatternItem *item)
{
    ++i;
    if (i < pattern.size() && pattern[i] == '!') {
        item->negated = true;
        ++i;
    }
    for (; i < pattern.size() && pattern[i] != ']'; ++i) {
        char32_t low = pattern[i], high = low;
        if (i + 2 < pattern.size() && pattern[i + 1] == '-' && pattern[i + 2] != ']') {
            high = pattern[i + 2];
            i += 2;
        }
        if (high < low)
            return false;
        item->ranges.emplace_back(upper(low), upper(high));
        if (low != upper(low) || high != upper(high))
            item->ranges.emplace_back(low, high);
    }
    return i < pattern.size();
}

// The escape character, when there is one, makes the character after it stand for itself.
bool parsePattern(const Characters &pattern, const Characters &escape, std::vector<PatternItem> *items)
{
    for (size_t i = 0; i < pattern.size(); ++i) {
        PatternItem item;
        if (!escape.empty() && pattern[i] == escape[0]) {
            if (++i == pattern.size())
                return false;
            item.ranges.emplace_back(upper(pattern[i]), upper(pattern[i]));
            items->push_back(std::move(item));
            continue;
        }
        switch (pattern[i]) {
        case '*':
        case '%':
            item.kind = PatternItem::AnyRun;
            break;
        case '?':
        case '_':
            item.kind = PatternItem::AnyOne;
            break;
        case '#':
            item.kind = PatternItem::Digit;
            break;
        case '[':
            if (!parseSet(pattern, i, &item))
                return false;
            break;
        default:
            item.ranges.emplace_back(upper(pattern[i]), upper(pattern[i]));
            break;
        }
        items->push_back(std::move(item));
    }
    return true;
}

bool matchesOne(const PatternItem &item, char32_t c)
{
    switch (item.kind) {
    case PatternItem::AnyOne:
        return true;
    case PatternItem::Digit:
        return c >= '0' && c <= '9';
    default: {
        const char32_t u = upper(c);
        bool inSet = false;
        for (const auto &range : item.ranges)
            inSet = inSet || (u >= range.first && u <= range.second) || (c >= range.first && c <= range.second);
        return inSet != item.negated;
    }
    }
}

// Backtracks to the last * only, so a match takes time proportional to text × pattern.
bool matches(const std::vector<PatternItem> &items, const Characters &text)
{
    size_t p = 0, t = 0, starItem = std::string::npos, starText = 0;
    while (t < text.size()) {
        if (p < items.size() && items[p].kind == PatternItem::AnyRun) {
            starItem = p++;
            starText = t;
        } else if (p < items.size() && matchesOne(items[p], text[t])) {
            ++p;
            ++t;
        } else if (starItem != std::string::npos) {
            p = starItem + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < items.size() && items[p].kind == PatternItem::AnyRun)
        ++p;
    return p == items.size();
}

// like(text, pattern[, escape]): the escape is one character.
void like(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Characters text, pattern, escape;
    if (!textArgument(context, argv[0], &text) || !textArgument(context, argv[1], &pattern)
        || (argc > 2 && !textArgument(context, argv[2], &escape)))
        return;
    std::vector<PatternItem> items;
    if (escape.size() > 1 || !parsePattern(pattern, escape, &items)) {
        sqlite3_result_error(context, "Invalid pattern string", -1);
        return;
    }
    sqlite3_result_int(context, matches(items, text) ? 1 : 0);
}

bool requiredText(sqlite3_context *context, sqlite3_value *value, Characters *out)
{
    if (isNull(value)) {
        sqlite3_result_error(context, "Invalid use of Null", -1);
        return false;
    }
    *out = decode(textOf(value));
    return true;
}

// Replace(text, find, replacement[, start[, count[, compare]]]): the text from start on,
// with up to count (all when -1) occurrences of find replaced, left to right.
void replace(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Characters text, sought, replacement;
    long long start = 1, count = -1;
    bool caseless = true;
    if (!requiredText(context, argv[0], &text) || !requiredText(context, argv[1], &sought)
        || !requiredText(context, argv[2], &replacement) || (argc > 3 && !countArgument(context, argv[3], 1, &start))
        || (argc > 4 && !countArgument(context, argv[4], -1, &count)) || !ignoresCase(context, argc, argv, 5, &caseless))
        return;
    text = text.substr(std::min(text.size(), size_t(start - 1)));
    if (sought.empty()) {
        resultCharacters(context, text);
        return;
    }
    const Characters searched = caseless ? folded(text) : text;
    const Characters soughtForm = caseless ? folded(sought) : sought;
    Characters result;
    size_t from = 0;
    for (long long done = 0; count < 0 || done < count; ++done) {
        const size_t found = searched.find(soughtForm, from);
        if (found == Characters::npos)
            break;
        result += text.substr(from, found - from) + replacement;
        from = found + sought.size();
    }
    resultCharacters(context, result + text.substr(from));
}

// InStrRev(text, sought[, start[, compare]]): the last position of sought that ends by
// start (-1: the end), 0 when absent.
void instrRev(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    Characters text, sought;
    long long start = -1;
    bool caseless = true;
    if ((argc > 2 && !wholeArgument(context, argv[2], &start)) || !ignoresCase(context, argc, argv, 3, &caseless))
        return;
    if (start == 0 || start < -1) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    if (!textArgument(context, argv[0], &text) || !textArgument(context, argv[1], &sought))
        return;
    const size_t end = start == -1 ? text.size() : size_t(start);
    if (end > text.size()) {
        sqlite3_result_int64(context, 0);
        return;
    }
    if (sought.empty()) {
        sqlite3_result_int64(context, (sqlite3_int64)end);
        return;
    }
    const Characters haystack = caseless ? folded(text) : text;
    const Characters needle = caseless ? folded(sought) : sought;
    const size_t found = end < needle.size() ? Characters::npos : haystack.rfind(needle, end - needle.size());
    sqlite3_result_int64(context, found == Characters::npos ? 0 : (sqlite3_int64)found + 1);
}

// Chr and Asc read character codes as English Windows does, in code page 1252; ChrW and
// AscW in UTF-16, AscW's code an Integer (-1 for U+FFFF).
class WindowsLatin1 {
public:
    WindowsLatin1()
    {
        UErrorCode status = U_ZERO_ERROR;
        converter_ = ucnv_open("windows-1252", &status);
        ucnv_setSubstChars(converter_, "?", 1, &status);
        if (U_FAILURE(status)) {
            ucnv_close(converter_);
            converter_ = nullptr;
        }
    }
    ~WindowsLatin1() { ucnv_close(converter_); }
    WindowsLatin1(const WindowsLatin1 &) = delete;
    WindowsLatin1 &operator=(const WindowsLatin1 &) = delete;

    bool toUnicode(unsigned char byte, char32_t *out)
    {
        UChar unit = 0;
        UErrorCode status = U_ZERO_ERROR;
        const char in = char(byte);
        if (!converter_ || ucnv_toUChars(converter_, &unit, 1, &in, 1, &status) != 1 || U_FAILURE(status))
            return false;
        *out = unit;
        return true;
    }

    // A character the code page lacks is its substitute, '?', as Windows gives it.
    unsigned char fromUnicode(char32_t c)
    {
        UChar units[2];
        int32_t length = 0;
        U16_APPEND_UNSAFE(units, length, UChar32(c));
        char out = '?';
        UErrorCode status = U_ZERO_ERROR;
        if (converter_)
            ucnv_fromUChars(converter_, &out, 1, units, length, &status);
        return static_cast<unsigned char>(out);
    }

private:
    UConverter *converter_;
};

// ICU converters keep state between calls, so each thread has its own.
WindowsLatin1 &windowsLatin1()
{
    static thread_local WindowsLatin1 converter;
    return converter;
}

// Space(count) and String(count, character): count blanks, or count of the character,
// given as text (its first) or as a character code, which reads as Chr reads it.
void repeated(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    long long count = 0;
    if ((argc > 1 && resultNullFor(context, argv[1])) || !countArgument(context, argv[0], 0, &count))
        return;
    char32_t c = ' ';
    if (argc > 1 && sqlite3_value_type(argv[1]) == SQLITE_TEXT) {
        const Characters given = decode(valueText(argv[1]));
        if (given.empty()) {
            sqlite3_result_error(context, kInvalidArgument, -1);
            return;
        }
        c = given[0];
    } else if (argc > 1) {
        long long code = 0;
        if (!wholeArgument(context, argv[1], &code))
            return;
        const unsigned char byte = static_cast<unsigned char>(((code % 256) + 256) % 256);
        if (!windowsLatin1().toUnicode(byte, &c)) {
            sqlite3_result_error(context, kInvalidArgument, -1);
            return;
        }
    }
    if (count > 65535) {
        sqlite3_result_error(context, "Out of string space", -1);
        return;
    }
    resultCharacters(context, Characters(size_t(count), c));
}

void strReverse(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    if (!requiredText(context, argv[0], &text))
        return;
    resultCharacters(context, Characters(text.rbegin(), text.rend()));
}

void chr(sqlite3_context *context, int, sqlite3_value **argv)
{
    long long code = 0;
    if (!wholeArgument(context, argv[0], &code))
        return;
    const bool wide = entryData(context) != 0;
    char32_t c = 0;
    const bool known = wide ? (code >= -32768 && code <= 65535) : (code >= 0 && code <= 255);
    if (known && wide)
        c = char32_t(code < 0 ? code + 65536 : code);
    if (!known || (!wide && !windowsLatin1().toUnicode(static_cast<unsigned char>(code), &c))) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    resultCharacters(context, Characters(1, c));
}

void asc(sqlite3_context *context, int, sqlite3_value **argv)
{
    Characters text;
    if (!requiredText(context, argv[0], &text))
        return;
    if (text.empty()) {
        sqlite3_result_error(context, kInvalidArgument, -1);
        return;
    }
    if (entryData(context) == 0) {
        sqlite3_result_int(context, windowsLatin1().fromUnicode(text[0]));
        return;
    }
    const int unit = text[0] > 0xFFFF ? int(U16_LEAD(text[0])) : int(text[0]);
    sqlite3_result_int(context, unit > 32767 ? unit - 65536 : unit);
}

const FunctionEntry kTextFunctions[] = {
    {"fw_instrrev", -1, instrRev, true, 0},
    {"fw_space", 1, repeated, true, 0},
    {"fw_string", 2, repeated, true, 0},
    {"fw_strreverse", 1, strReverse, true, 0},
    {"fw_chr", 1, chr, true, 0},
    {"fw_chrw", 1, chr, true, 1},
    {"fw_asc", 1, asc, true, 0},
    {"fw_ascw", 1, asc, true, 1},
    {"fw_left", 2, left, true, 0},
    {"fw_right", 2, right, true, 0},
    {"fw_mid", 2, mid, true, 0},
    {"fw_mid", 3, mid, true, 0},
    {"fw_len", 1, len, true, 0},
    {"fw_instr", 2, instr, true, 0},
    {"fw_instr", 3, instr, true, 0},
    {"fw_instr", 4, instr, true, 0},
    {"fw_strconv", 2, strConv, true, 0},
    {"fw_ucase", 1, changeCase<upper>, true, 0},
    {"fw_lcase", 1, changeCase<lower>, true, 0},
    {"fw_trim", 1, trim, true, 3},
    {"fw_ltrim", 1, trim, true, 1},
    {"fw_rtrim", 1, trim, true, 2},
    {"fw_like", 2, like, true, 0},
    {"fw_like", 3, like, true, 0},
    {"fw_replace", -1, replace, true, 0},
};

} // namespace

bool registerTextFunctions(sqlite3 *db)
{
    return registerFunctions(db, kTextFunctions);
}

} // namespace accessodbc
