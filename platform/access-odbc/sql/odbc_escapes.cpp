#include "sql/odbc_escapes.h"
#include "sql/access_errors.h"
#include "sql/sql_tokens.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace accessodbc {
namespace sql {
namespace {

struct EscapeError {
    std::string message;
    int nativeError = accessError(AccessError::QueryRefused).nativeError;
};

bool isSymbol(const Token &token, const char *symbol)
{
    return token.type == TokenType::Symbol && token.value == symbol;
}

std::string upperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

std::string trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r\n") + 1 - first);
}

// A date, time or timestamp escape holds digits and separators only; whether the date
// exists is for the #literal# it becomes to say. Access keeps whole seconds, so a
// timestamp's fraction is dropped.
bool dateTimeText(const std::string &kind, const std::string &value, std::string *out)
{
    if (value.find_first_not_of("0123456789-: .") != std::string::npos)
        return false;
    const size_t dash = value.find('-'), colon = value.find(':');
    const bool date = dash != std::string::npos, time = colon != std::string::npos;
    std::string text = value;
    if (kind == "TS") {
        if (!date || !time)
            return false;
        const size_t point = text.find('.', colon);
        if (point != std::string::npos)
            text.erase(point);
    } else if ((kind == "D") != (date && !time) || (kind == "T") != (time && !date)) {
        return false;
    }
    *out = "#" + trimmed(text) + "#";
    return true;
}

// The Access form of one ODBC scalar function, given its arguments in Access SQL.
struct ScalarFunction {
    const char *odbcName;
    size_t minArguments;
    size_t maxArguments;
    std::string (*form)(const char *accessName, const std::vector<std::string> &arguments);
    const char *accessName;
};

std::string renamed(const char *accessName, const std::vector<std::string> &a)
{
    std::string sql = std::string(accessName) + "(";
    for (size_t i = 0; i < a.size(); ++i)
        sql += (i ? ", " : "") + a[i];
    return sql + ")";
}

std::string binaryOperator(const char *op, const std::vector<std::string> &a)
{
    return "(" + a[0] + " " + op + " " + a[1] + ")";
}

// LENGTH leaves out trailing blanks.
std::string length(const char *, const std::vector<std::string> &a) { return "Len(RTrim(" + a[0] + "))"; }

std::string constant(const char *value, const std::vector<std::string> &) { return value; }

// IFNULL(a, b) in Jet's own functions (Nz is the Access application's, not Jet's). Its
// first argument is written twice, which a marker cannot be: it would become two.
std::string ifNull(const char *, const std::vector<std::string> &a)
{
    const TokenizeResult tokens = tokenize(a[0]);
    if (std::any_of(tokens.tokens.begin(), tokens.tokens.end(),
                    [](const Token &token) { return token.type == TokenType::Parameter; }))
        throw EscapeError{"A parameter cannot be the first argument of {fn IFNULL}."};
    return "IIf(IsNull(" + a[0] + "), " + a[1] + ", " + a[0] + ")";
}

// CONVERT(value, SQL_type): the Access conversion to that type.
std::string convert(const char *, const std::vector<std::string> &a)
{
    static const struct {
        const char *type;
        const char *function;
    } conversions[] = {
        {"SQL_CHAR", "CStr"},     {"SQL_VARCHAR", "CStr"}, {"SQL_LONGVARCHAR", "CStr"}, {"SQL_WCHAR", "CStr"},
        {"SQL_WVARCHAR", "CStr"}, {"SQL_WLONGVARCHAR", "CStr"}, {"SQL_INTEGER", "CLng"}, {"SQL_SMALLINT", "CInt"},
        {"SQL_DOUBLE", "CDbl"},   {"SQL_FLOAT", "CDbl"},   {"SQL_REAL", "CDbl"},
    };
    const std::string type = upperCase(a[1]);
    for (const auto &conversion : conversions) {
        if (type == conversion.type)
            return std::string(conversion.function) + "(" + a[0] + ")";
    }
    throw EscapeError{"Invalid SQL data type in CONVERT: " + a[1] + "."};
}

// What SQLGetInfo lists as the driver's scalar functions, and nothing else.
const ScalarFunction kScalarFunctions[] = {
    {"CONCAT", 2, 2, binaryOperator, "&"},
    {"LCASE", 1, 1, renamed, "LCase"},
    {"UCASE", 1, 1, renamed, "UCase"},
    {"LEFT", 2, 2, renamed, "Left"},
    {"RIGHT", 2, 2, renamed, "Right"},
    {"LTRIM", 1, 1, renamed, "LTrim"},
    {"RTRIM", 1, 1, renamed, "RTrim"},
    {"SUBSTRING", 2, 3, renamed, "Mid"},
    {"LENGTH", 1, 1, length, nullptr},
    {"CHAR_LENGTH", 1, 1, renamed, "Len"},
    {"CHARACTER_LENGTH", 1, 1, renamed, "Len"},
    {"ABS", 1, 1, renamed, "Abs"},
    {"MOD", 2, 2, binaryOperator, "Mod"},
    {"POWER", 2, 2, binaryOperator, "^"},
    {"PI", 0, 0, constant, "3.14159265358979"},
    {"CURDATE", 0, 0, renamed, "Date"},
    {"CURTIME", 0, 0, renamed, "Time"},
    {"NOW", 0, 0, renamed, "Now"},
    {"YEAR", 1, 1, renamed, "Year"},
    {"MONTH", 1, 1, renamed, "Month"},
    {"DAYOFMONTH", 1, 1, renamed, "Day"},
    {"HOUR", 1, 1, renamed, "Hour"},
    {"MINUTE", 1, 1, renamed, "Minute"},
    {"SECOND", 1, 1, renamed, "Second"},
    {"IFNULL", 2, 2, ifNull, nullptr},
    {"USER", 0, 0, constant, "'admin'"},
    {"CONVERT", 2, 2, convert, nullptr},
};

class EscapeRewriter {
public:
    EscapeRewriter(const std::string &text, const std::vector<Token> &tokens) : text_(text), tokens_(tokens) {}

    std::string run() { return rewrite(0, tokens_.size() - 1); }

private:
    const std::string &text_;
    const std::vector<Token> &tokens_;
    mutable int nesting_ = 0;

    // Escapes nest within escapes; as for parentheses, Access's limit keeps the stack safe.
    class Nested {
    public:
        explicit Nested(const EscapeRewriter *rewriter) : rewriter_(rewriter)
        {
            if (++rewriter_->nesting_ > 200)
                throw EscapeError{"Query is too complex."};
        }
        ~Nested() { --rewriter_->nesting_; }
        Nested(const Nested &) = delete;
        Nested &operator=(const Nested &) = delete;

    private:
        const EscapeRewriter *rewriter_;
    };

    size_t end(size_t index) const { return tokens_[index].offset + tokens_[index].text.size(); }

    [[noreturn]] void fail(size_t from, size_t to) const
    {
        const size_t last = std::min(to, tokens_.size() - 2);
        throw EscapeError{"Syntax error (missing operator) in query expression '"
                          + text_.substr(tokens_[from].offset, end(last) - tokens_[from].offset) + "'."};
    }

    // The index of the token that closes the bracket opened at open.
    size_t closing(size_t open, const char *opening, const char *closer) const
    {
        int depth = 0;
        for (size_t i = open; tokens_[i].type != TokenType::End; ++i) {
            if (isSymbol(tokens_[i], opening))
                ++depth;
            else if (isSymbol(tokens_[i], closer) && --depth == 0)
                return i;
        }
        fail(open, tokens_.size() - 1);
    }

    // The text of tokens [from, to), with the blanks and comments between them as written
    // and every escape inside rewritten.
    std::string rewrite(size_t from, size_t to) const
    {
        std::string out;
        size_t copied = tokens_[from].offset;
        for (size_t i = from; i < to;) {
            if (!isSymbol(tokens_[i], "{")) {
                ++i;
                continue;
            }
            const size_t close = closing(i, "{", "}");
            out += text_.substr(copied, tokens_[i].offset - copied) + escape(i, close);
            copied = end(close);
            i = close + 1;
        }
        return out + text_.substr(copied, tokens_[to].offset - copied);
    }

    std::string escape(size_t open, size_t close) const
    {
        const Nested level(this);
        const Token &keyword = tokens_[open + 1];
        const std::string kind = keyword.type == TokenType::Name ? upperCase(keyword.value) : std::string();
        const bool oneString = close == open + 3 && tokens_[open + 2].type == TokenType::String;
        std::string literal;
        if ((kind == "D" || kind == "T" || kind == "TS") && oneString
            && dateTimeText(kind, tokens_[open + 2].value, &literal))
            return literal;
        if (kind == "ESCAPE" && oneString)
            return "ESCAPE " + tokens_[open + 2].text;
        if (kind == "OJ" && close > open + 2)
            return trimmed(rewrite(open + 2, close));
        if (kind == "FN" && close > open + 2)
            return scalarFunction(open + 2, close);
        fail(open, close);
    }

    // NAME(argument, …) in tokens [first, close).
    std::string scalarFunction(size_t first, size_t close) const
    {
        const Token &name = tokens_[first];
        if (name.type != TokenType::Name || !isSymbol(tokens_[first + 1], "(")
            || closing(first + 1, "(", ")") != close - 1)
            fail(first - 2, close);
        std::vector<std::string> arguments;
        size_t start = first + 2;
        int depth = 0;
        for (size_t i = start; i < close; ++i) {
            const Token &token = tokens_[i];
            depth += isSymbol(token, "(") || isSymbol(token, "{") ? 1 : 0;
            depth -= isSymbol(token, ")") || isSymbol(token, "}") ? 1 : 0;
            if ((depth == 0 && isSymbol(token, ",")) || i == close - 1) {
                if (i == start && i == close - 1 && arguments.empty())
                    break; // no arguments at all
                if (i == start)
                    fail(first - 2, close);
                arguments.push_back(trimmed(rewrite(start, i)));
                start = i + 1;
            }
        }
        const std::string wanted = upperCase(name.value);
        for (const ScalarFunction &function : kScalarFunctions) {
            if (wanted != function.odbcName)
                continue;
            if (arguments.size() < function.minArguments || arguments.size() > function.maxArguments)
                fail(first - 2, close);
            return function.form(function.accessName, arguments);
        }
        const AccessError undefined = AccessError::UndefinedFunction;
        throw EscapeError{accessErrorText(undefined, name.value), accessError(undefined).nativeError};
    }
};

} // namespace

EscapeTranslation translateEscapes(const std::string &statement)
{
    EscapeTranslation result;
    result.sql = statement;
    const TokenizeResult tokens = tokenize(statement);
    const bool anyEscape = std::any_of(tokens.tokens.begin(), tokens.tokens.end(),
                                       [](const Token &token) { return isSymbol(token, "{"); });
    // Text the tokenizer refuses is the translator's to report.
    if (!tokens.error.empty() || !anyEscape)
        return result;
    try {
        EscapeRewriter rewriter(statement, tokens.tokens);
        result.sql = rewriter.run();
    } catch (const EscapeError &error) {
        result.error = error.message;
        result.nativeError = error.nativeError;
    }
    return result;
}

} // namespace sql
} // namespace accessodbc
