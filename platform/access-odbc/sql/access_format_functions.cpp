// Format(value, format): numbers and dates as text, by a named format or a picture, under
// fixed rules: English names, '.' before the decimals, ',' between thousands and '$' for
// Currency, whatever locale the process runs under. A picture character the driver does
// not know is refused with Access's "Invalid procedure call or argument", never written
// out as if it were text.

#include "sql/access_function_support.h"
#include "sql/access_functions.h"
#include "values/datetime.h"
#include "values/numbers.h"

#include <cmath>
#include <string>
#include <vector>

namespace accessodbc {

const char *const kMonthNames[12] = {"January", "February", "March",     "April",   "May",      "June",
                                     "July",    "August",   "September", "October", "November", "December"};
const char *const kDayNames[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

namespace {

struct NotKnown {};
struct Overflow {};

// Access holds no infinite Double: its arithmetic stops with Overflow before it makes one,
// so Format stops the same way on one that SQLite's arithmetic made.
void overflowUnlessFinite(double value)
{
    if (!std::isfinite(value))
        throw Overflow();
}

std::string lowered(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += char(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Named formats

const std::pair<const char *, const char *> kNamedDateFormats[] = {
    {"general date", ""},         {"short date", "yyyy-mm-dd"}, {"long date", "dddd, mmmm d, yyyy"},
    {"medium date", "dd-mmm-yy"}, {"long time", "hh:nn:ss"},    {"medium time", "hh:nn AM/PM"},
    {"short time", "hh:nn"}};

const std::pair<const char *, const char *> kNamedNumberFormats[] = {
    {"currency", "$#,##0.00;($#,##0.00)"}, {"fixed", "0.00"},         {"standard", "#,##0.00"},
    {"percent", "0.00%"},                  {"scientific", "0.00E+00"}};

// Yes/No, True/False and On/Off: the first word for any number but 0.
const std::pair<const char *, const char *> kNamedTruthFormats[] = {
    {"yes/no", "Yes\nNo"}, {"true/false", "True\nFalse"}, {"on/off", "On\nOff"}};

template <size_t N>
const char *named(const std::pair<const char *, const char *> (&names)[N], const std::string &format)
{
    const std::string name = lowered(format);
    for (const auto &entry : names) {
        if (name == entry.first)
            return entry.second;
    }
    return nullptr;
}

// Pictures

// Calls visit(position, character) for each character of a picture outside "quoted" text
// and \escapes, which are always literal.
template <typename Visit> void scanPicture(const std::string &picture, Visit visit)
{
    for (size_t i = 0; i < picture.size(); ++i) {
        if (picture[i] == '"') {
            const size_t end = picture.find('"', i + 1);
            i = end == std::string::npos ? picture.size() : end;
        } else if (picture[i] == '\\') {
            ++i;
        } else {
            visit(i, picture[i]);
        }
    }
}

bool isExponentAt(const std::string &picture, size_t i)
{
    return (picture[i] == 'E' || picture[i] == 'e') && i + 1 < picture.size()
           && (picture[i + 1] == '+' || picture[i + 1] == '-');
}

bool isNumberPicture(const std::string &picture)
{
    bool number = false;
    scanPicture(picture, [&](size_t i, char c) {
        number = number || c == '0' || c == '#' || c == '%' || isExponentAt(picture, i);
    });
    return number;
}

bool hasDateLetters(const std::string &picture)
{
    bool letters = false;
    scanPicture(picture, [&](size_t, char c) { letters = letters || isAsciiLetter(c); });
    return letters;
}

// Where a literal run starts at i (a quoted text, an escape, or a plain character): its
// text, and i moved past it.
std::string literalAt(const std::string &picture, size_t *i)
{
    const char c = picture[*i];
    if (c == '"') {
        const size_t end = picture.find('"', *i + 1);
        const std::string text = picture.substr(*i + 1, end == std::string::npos ? std::string::npos : end - *i - 1);
        *i = end == std::string::npos ? picture.size() : end + 1;
        return text;
    }
    if (c == '\\' && *i + 1 < picture.size()) {
        *i += 2;
        return std::string(1, picture[*i - 1]);
    }
    ++*i;
    return std::string(1, c);
}

// Dates

std::string twoDigits(int value)
{
    return std::string(1, char('0' + value / 10 % 10)) + char('0' + value % 10);
}

// Sunday is 0; 1899-12-30 was a Saturday.
int weekday(const DateTime &when)
{
    const long long days = (long long)std::floor(serialFromDateTime(DateTime{when.year, when.month, when.day}));
    return int(((days + 6) % 7 + 7) % 7);
}

bool startsWithWord(const std::string &picture, size_t pos, const char *word)
{
    for (size_t i = 0; word[i]; ++i) {
        if (pos + i >= picture.size() || std::tolower(static_cast<unsigned char>(picture[pos + i])) != word[i])
            return false;
    }
    return true;
}

size_t runOf(const std::string &picture, size_t pos)
{
    const char c = char(std::tolower(static_cast<unsigned char>(picture[pos])));
    size_t end = pos;
    while (end < picture.size() && std::tolower(static_cast<unsigned char>(picture[end])) == c)
        ++end;
    return end - pos;
}

// The clock marks, longest first: AM/PM, A/P and AMPM (Windows' designators, AM and PM).
const char *clockMarkAt(const std::string &picture, size_t pos)
{
    for (const char *mark : {"am/pm", "a/p", "ampm"}) {
        if (startsWithWord(picture, pos, mark))
            return mark;
    }
    return nullptr;
}

bool hasClockMark(const std::string &picture)
{
    for (size_t i = 0; i < picture.size(); ++i) {
        if (clockMarkAt(picture, i))
            return true;
    }
    return false;
}

std::string clockMark(const DateTime &when, const std::string &mark, char written)
{
    const bool morning = when.hour < 12;
    if (mark == "ampm")
        return morning ? "AM" : "PM";
    const bool upper = std::isupper(static_cast<unsigned char>(written));
    if (mark == "a/p")
        return std::string(1, upper ? (morning ? 'A' : 'P') : (morning ? 'a' : 'p'));
    return upper ? (morning ? "AM" : "PM") : (morning ? "am" : "pm");
}

std::string formatDatePicture(const DateTime &when, const std::string &picture);

// One run of a picture letter; m right after an hour is minutes, as in Access.
std::string dateRun(const DateTime &when, char letter, size_t run, bool twelveHour, bool afterHour)
{
    const int hour12 = when.hour % 12 == 0 ? 12 : when.hour % 12;
    const int hour = twelveHour ? hour12 : when.hour;
    const auto number = [run](int value) { return run >= 2 ? twoDigits(value) : std::to_string(value); };
    switch (letter) {
    case 'y':
        if (run == 1) {
            const double first = serialFromDateTime(DateTime{when.year, 1, 1});
            const double today = serialFromDateTime(DateTime{when.year, when.month, when.day});
            return std::to_string((long long)(today - first) + 1);
        }
        if (run == 2)
            return twoDigits(when.year % 100);
        if (run == 4)
            return std::to_string(when.year);
        break;
    case 'm':
        if (afterHour && run <= 2)
            return number(when.minute);
        if (run <= 2)
            return number(when.month);
        if (run == 3)
            return std::string(kMonthNames[when.month - 1]).substr(0, 3);
        if (run == 4)
            return kMonthNames[when.month - 1];
        break;
    case 'o':
        if (run == 4)
            return kMonthNames[when.month - 1];
        break;
    case 'd':
        if (run <= 2)
            return number(when.day);
        if (run == 3)
            return std::string(kDayNames[weekday(when)]).substr(0, 3);
        if (run == 4)
            return kDayNames[weekday(when)];
        if (run == 5)
            return formatDatePicture(when, "yyyy-mm-dd");
        if (run == 6)
            return formatDatePicture(when, "dddd, mmmm d, yyyy");
        break;
    case 'a':
        if (run == 4)
            return kDayNames[weekday(when)];
        break;
    case 'w':
        if (run == 1)
            return std::to_string(weekday(when) + 1);
        if (run == 2)
            return std::to_string(weekOfYear(when, 1, 1));
        break;
    case 'q':
        if (run == 1)
            return std::to_string((when.month - 1) / 3 + 1);
        break;
    case 'h':
        if (run <= 2)
            return number(hour);
        break;
    case 'n':
        if (run <= 2)
            return number(when.minute);
        break;
    case 's':
        if (run <= 2)
            return number(when.second);
        break;
    case 't':
        if (run == 5)
            return formatDatePicture(when, "hh:nn:ss");
        break;
    case 'c':
        if (run == 1)
            return formatAccessDateTime(when);
        break;
    default:
        break;
    }
    throw NotKnown();
}

std::string formatDatePicture(const DateTime &when, const std::string &picture)
{
    if (picture.empty())
        return formatAccessDateTime(when);
    const bool twelveHour = hasClockMark(picture);
    bool afterHour = false;
    std::string out;
    for (size_t i = 0; i < picture.size();) {
        const char c = picture[i];
        const char letter = char(std::tolower(static_cast<unsigned char>(c)));
        if (const char *mark = clockMarkAt(picture, i)) {
            out += clockMark(when, mark, c);
            i += std::string(mark).size();
        } else if (isAsciiLetter(c)) {
            const size_t run = runOf(picture, i);
            out += dateRun(when, letter, run, twelveHour, afterHour);
            afterHour = letter == 'h';
            i += run;
        } else if (std::string("0#@&%!<>").find(c) != std::string::npos) {
            throw NotKnown();
        } else {
            out += literalAt(picture, &i);
        }
    }
    return out;
}

// Numbers

// A non-negative number's digits, rounded half away from zero at a number of decimals,
// as Format rounds: from its 15 significant digits, so 1.005 shows as 1.01.
struct Digits {
    std::string whole;    // without leading zeros; empty for none
    std::string fraction; // exactly as many as asked for
};

// The digits of a number whose first point digits stand before the decimal point (none
// or fewer: zeros after it), rounded to decimals.
Digits roundedDigits(std::string digits, int point, int decimals)
{
    for (; point < 1; ++point)
        digits.insert(0, "0");
    const size_t kept = size_t(point + decimals);
    if (digits.size() <= kept)
        digits.append(kept + 1 - digits.size(), '0');
    const bool up = digits[kept] >= '5';
    digits.resize(kept);
    if (up) {
        size_t i = kept;
        while (i > 0 && digits[i - 1] == '9')
            digits[--i] = '0';
        if (i == 0) {
            digits.insert(0, "1");
            ++point;
        } else {
            ++digits[i - 1];
        }
    }
    Digits out{digits.substr(0, size_t(point)), digits.substr(size_t(point))};
    out.whole.erase(0, out.whole.find_first_not_of('0'));
    if (out.whole.find_first_not_of('0') == std::string::npos)
        out.whole.clear();
    return out;
}

Digits roundedDigits(double value, int decimals)
{
    int exponent = 0;
    const std::string digits = significantDigits(value, &exponent);
    return roundedDigits(digits, exponent + 1, decimals);
}

// A section of a number picture, read: its digit placeholders, where the point and the
// exponent are, and the literal text between them.
struct Placeholder {
    char kind;           // '0', '#', or 0 for literal text
    std::string literal; // the text of a literal
};

struct NumberPicture {
    std::vector<Placeholder> whole, fraction, exponent;
    std::string prefix, suffix; // literals before the first and after the last placeholder
    bool point = false;
    bool grouped = false;
    int thousandsScale = 0; // commas right before the point: each divides by 1000
    bool percent = false;
    std::string exponentMark; // "E+", "E-", "e+", "e-" or empty
};

bool isDigitPlaceholder(char c) { return c == '0' || c == '#'; }

bool hasWholePlaceholder(const std::string &section)
{
    bool found = false, wholeEnded = false;
    scanPicture(section, [&](size_t i, char c) {
        wholeEnded = wholeEnded || c == '.' || isExponentAt(section, i);
        found = found || (!wholeEnded && isDigitPlaceholder(c));
    });
    return found;
}

NumberPicture readNumberPicture(const std::string &section)
{
    NumberPicture picture;
    std::vector<Placeholder> *part = &picture.whole;
    // A section without a digit placeholder for the whole number shows it all the same,
    // as a # would, where its point, percent sign or exponent comes first.
    const bool wholeImplied = !hasWholePlaceholder(section);
    bool seenDigit = false;
    for (size_t i = 0; i < section.size();) {
        const char c = section[i];
        if (wholeImplied && !seenDigit && (c == '.' || c == '%' || isExponentAt(section, i))) {
            picture.whole.push_back(Placeholder{'#', std::string()});
            seenDigit = true;
        }
        if (isDigitPlaceholder(c)) {
            part->push_back(Placeholder{c, std::string()});
            seenDigit = true;
            ++i;
        } else if (c == '.' && !picture.point && picture.exponentMark.empty()) {
            picture.point = true;
            part = &picture.fraction;
            ++i;
        } else if (c == ',' && part == &picture.whole && seenDigit) {
            const bool digitFollows = i + 1 < section.size() && isDigitPlaceholder(section[i + 1]);
            picture.grouped = picture.grouped || digitFollows;
            picture.thousandsScale += digitFollows ? 0 : 1;
            ++i;
        } else if (isExponentAt(section, i) && picture.exponentMark.empty()) {
            picture.exponentMark = section.substr(i, 2);
            part = &picture.exponent;
            i += 2;
        } else if (isAsciiLetter(c) || c == '@' || c == '&' || c == '<' || c == '>' || c == '!') {
            throw NotKnown();
        } else {
            picture.percent = picture.percent || c == '%';
            const std::string literal = literalAt(section, &i);
            if (!seenDigit)
                picture.prefix += literal;
            else
                part->push_back(Placeholder{0, literal});
        }
    }
    // Literals after the last placeholder belong to no digit.
    for (std::vector<Placeholder> *digits : {&picture.exponent, &picture.fraction, &picture.whole}) {
        while (!digits->empty() && digits->back().kind == 0) {
            picture.suffix.insert(0, digits->back().literal);
            digits->pop_back();
        }
        if (!digits->empty())
            break;
    }
    return picture;
}

size_t digitCount(const std::vector<Placeholder> &placeholders)
{
    size_t count = 0;
    for (const Placeholder &p : placeholders)
        count += p.kind != 0;
    return count;
}

// The fewest digits the placeholders show: every one from the first 0 on.
size_t leastDigits(const std::vector<Placeholder> &placeholders)
{
    size_t least = 0;
    bool zeroSeen = false;
    for (const Placeholder &p : placeholders) {
        zeroSeen = zeroSeen || p.kind == '0';
        least += zeroSeen && p.kind != 0;
    }
    return least;
}

std::string withGrouping(const std::string &digits)
{
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

// Digits laid into the placeholders from the right; the first placeholder takes all the
// digits that are left, and literals stay where they are.
std::string fillWhole(const std::vector<Placeholder> &placeholders, std::string digits, bool grouped)
{
    const size_t least = leastDigits(placeholders);
    if (digits.size() < least)
        digits.insert(0, least - digits.size(), '0');
    if (grouped)
        digits = withGrouping(digits);
    std::string out;
    size_t remaining = digits.size();
    size_t placeholdersLeft = digitCount(placeholders);
    for (size_t i = placeholders.size(); i-- > 0;) {
        const Placeholder &p = placeholders[i];
        if (p.kind == 0) {
            out.insert(0, p.literal);
            continue;
        }
        --placeholdersLeft;
        // Grouping commas come along with the digits they stand between.
        size_t take = placeholdersLeft == 0 ? remaining : std::min<size_t>(remaining, 1);
        if (grouped && take == 1 && remaining > 1 && digits[remaining - 2] == ',' && placeholdersLeft > 0)
            take = 2;
        out.insert(0, digits.substr(remaining - take, take));
        remaining -= take;
    }
    return out;
}

// Digits laid into the placeholders from the left; a # that would show a trailing 0 shows nothing.
std::string fillFraction(const std::vector<Placeholder> &placeholders, std::string digits)
{
    size_t shown = digits.size();
    size_t index = placeholders.size();
    while (shown > 0 && index > 0) {
        const Placeholder &p = placeholders[--index];
        if (p.kind == 0)
            continue;
        if (p.kind != '#' || digits[shown - 1] != '0')
            break;
        --shown;
    }
    std::string out;
    size_t next = 0;
    for (const Placeholder &p : placeholders) {
        if (p.kind == 0)
            out += p.literal;
        else if (next < shown)
            out += digits[next++];
        else
            ++next;
    }
    return out;
}

std::string formatScientific(const NumberPicture &picture, double magnitude)
{
    const int wholeDigits = int(std::max<size_t>(digitCount(picture.whole), 1));
    const int decimals = int(digitCount(picture.fraction));
    // The mantissa is shifted in the digits, never divided by a power of ten: beside a
    // sub-normal number that power is itself beyond a double.
    int first = 0;
    const std::string significant = significantDigits(magnitude, &first);
    int exponent = magnitude == 0 ? 0 : first - wholeDigits + 1;
    Digits digits = roundedDigits(significant, first - exponent + 1, decimals);
    if (int(digits.whole.size()) > wholeDigits) {
        ++exponent;
        digits = roundedDigits(significant, first - exponent + 1, decimals);
    }
    std::string text = fillWhole(picture.whole, digits.whole, false);
    if (picture.point)
        text += "." + fillFraction(picture.fraction, digits.fraction);
    std::string power = std::to_string(std::abs(exponent));
    const size_t least = leastDigits(picture.exponent);
    if (power.size() < least)
        power.insert(0, least - power.size(), '0');
    const char *sign = exponent < 0 ? "-" : (picture.exponentMark[1] == '+' ? "+" : "");
    return text + picture.exponentMark.substr(0, 1) + sign + power;
}

std::string formatWithSection(const std::string &section, double magnitude)
{
    const NumberPicture picture = readNumberPicture(section);
    if (picture.percent) {
        magnitude *= 100;
        overflowUnlessFinite(magnitude); // a hundred times a number near the largest Double is beyond it
    }
    magnitude /= std::pow(1000.0, picture.thousandsScale);
    std::string body;
    if (!picture.exponentMark.empty()) {
        body = formatScientific(picture, magnitude);
    } else {
        const Digits digits = roundedDigits(magnitude, int(digitCount(picture.fraction)));
        body = fillWhole(picture.whole, digits.whole, picture.grouped);
        if (picture.point)
            body += "." + fillFraction(picture.fraction, digits.fraction);
    }
    return picture.prefix + body + picture.suffix;
}

// Up to four sections: positive, negative, zero and Null; an empty one takes the first's
// form. A negative number shown by the first section gets a minus sign.
std::vector<std::string> sectionsOf(const std::string &picture)
{
    std::vector<std::string> sections(1);
    for (size_t i = 0; i < picture.size();) {
        const size_t start = i;
        if (picture[i] == ';') {
            sections.emplace_back();
            ++i;
            continue;
        }
        literalAt(picture, &i);
        sections.back() += picture.substr(start, i - start);
    }
    if (sections.size() > 4)
        throw NotKnown();
    return sections;
}

std::string formatNumberPicture(double value, const std::string &picture)
{
    const std::vector<std::string> sections = sectionsOf(picture);
    const auto given = [&](size_t index) { return index < sections.size() && !sections[index].empty(); };
    if (value == 0 && given(2))
        return formatWithSection(sections[2], 0);
    if (value < 0 && given(1))
        return formatWithSection(sections[1], -value);
    const std::string text = formatWithSection(sections[0], std::fabs(value));
    return value < 0 ? "-" + text : text;
}

// Null shows as a number picture's fourth section says, when it has one; else it stays Null.
std::string nullSection(const std::string &format)
{
    if (!isNumberPicture(format) || named(kNamedNumberFormats, format))
        return std::string();
    const std::vector<std::string> sections = sectionsOf(format);
    return sections.size() == 4 && !sections[3].empty() ? formatWithSection(sections[3], 0) : std::string();
}

// A Single shows the digits it has, as CStr writes it, and not its widened double's.
std::string generalNumber(double value, bool single)
{
    if (single)
        return formatAccessSingle(value);
    return value == std::trunc(value) && std::fabs(value) < 1e15 ? std::to_string((long long)value)
                                                                  : formatAccessDouble(value);
}

std::string formatNumber(double value, const std::string &format, bool single)
{
    overflowUnlessFinite(value);
    if (format.empty() || lowered(format) == "general number")
        return generalNumber(value, single);
    if (const char *words = named(kNamedTruthFormats, format)) {
        const std::string both = words;
        const size_t split = both.find('\n');
        return value != 0 ? both.substr(0, split) : both.substr(split + 1);
    }
    if (const char *picture = named(kNamedNumberFormats, format))
        return formatNumberPicture(value, picture);
    return formatNumberPicture(value, format);
}

bool namesNumberFormat(const std::string &format)
{
    return lowered(format) == "general number" || named(kNamedTruthFormats, format)
           || named(kNamedNumberFormats, format) || (!named(kNamedDateFormats, format) && isNumberPicture(format));
}

bool namesDateFormat(const std::string &format)
{
    return named(kNamedDateFormats, format) || (!namesNumberFormat(format) && hasDateLetters(format));
}

// A value to format: a date, a number, or text that reads as either.
struct Formattable {
    bool isDate = false;
    DateTime when;
    double number = 0;
};

Formattable formattable(sqlite3_value *value, bool isDate)
{
    Formattable out;
    Number number;
    const int type = sqlite3_value_type(value);
    if (!isDate && (type == SQLITE_INTEGER || type == SQLITE_FLOAT))
        out.number = sqlite3_value_double(value);
    else if (!isDate && type == SQLITE_TEXT && parseNumber(valueText(value), &number))
        out.number = number.asDouble();
    else if (type != SQLITE_BLOB && readDate(value, &out.when))
        out.isDate = true;
    else
        throw NotKnown();
    return out;
}

// The value's own kind decides where the format does not: a picture of literals alone, or none.
std::string formatValue(sqlite3_value *value, FormattedKind kind, const std::string &format)
{
    const bool isDate = kind == FormattedKind::Date;
    if (format.empty() && !isDate && sqlite3_value_type(value) == SQLITE_TEXT)
        return valueText(value);
    const Formattable v = formattable(value, isDate);
    const bool dateValue = v.isDate;
    DateTime when = v.when;
    const bool asDate = namesDateFormat(format) || (dateValue && !namesNumberFormat(format));
    if (asDate) {
        if (!dateValue && !dateTimeFromSerial(v.number, &when))
            throw NotKnown();
        const char *picture = named(kNamedDateFormats, format);
        return formatDatePicture(when, picture ? picture : format);
    }
    return formatNumber(dateValue ? serialFromDateTime(when) : v.number, format, kind == FormattedKind::Single);
}

// fw_format(value, format, kind): kind is a FormattedKind.
void format(sqlite3_context *context, int, sqlite3_value **argv)
{
    if (isNull(argv[1]) && !isNull(argv[0])) {
        sqlite3_result_error(context, "Invalid use of Null", -1);
        return;
    }
    try {
        if (!isNull(argv[0]))
            resultText(context, formatValue(argv[0], FormattedKind(sqlite3_value_int(argv[2])), valueText(argv[1])));
        else if (const std::string forNull = nullSection(valueText(argv[1])); !forNull.empty())
            resultText(context, forNull);
        else
            sqlite3_result_null(context);
    } catch (const NotKnown &) {
        sqlite3_result_error(context, kInvalidArgument, -1);
    } catch (const Overflow &) {
        sqlite3_result_error(context, kOverflow, -1);
    }
}

const FunctionEntry kFormatFunctions[] = {
    {"fw_format", 3, format, true, 0},
};

} // namespace

bool registerFormatFunctions(sqlite3 *db) { return registerFunctions(db, kFormatFunctions); }

} // namespace accessodbc
