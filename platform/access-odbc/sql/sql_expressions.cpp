#include "values/datetime.h"
#include "sql/sql_parser.h"
#include "values/sql_names.h"

#include <algorithm>
#include <cctype>

namespace accessodbc {
namespace sql {
namespace {

Expr value(std::string sql, ValueKind kind)
{
    Expr e;
    e.sql = std::move(sql);
    e.kind = kind;
    return e;
}

Expr truth(std::string sql)
{
    Expr e = value(std::move(sql), ValueKind::Boolean);
    e.condition = true;
    return e;
}

bool either(const Expr &a, const Expr &b, ValueKind kind) { return a.kind == kind || b.kind == kind; }

bool isNumeric(const Expr &e) { return e.kind == ValueKind::Number || e.kind == ValueKind::Currency; }

// Currency with Currency or a whole number stays Currency, computed exactly; with a
// Single or Double it becomes a Double.
bool staysCurrency(const Expr &a, const Expr &b)
{
    const auto exact = [](const Expr &e) { return e.kind == ValueKind::Currency || (e.kind == ValueKind::Number && e.integer); };
    return either(a, b, ValueKind::Currency) && exact(a) && exact(b);
}

Expr wholeNumber(std::string sql)
{
    Expr e = value(std::move(sql), ValueKind::Number);
    e.integer = true;
    return e;
}

// Arithmetic takes numbers; text must read as one (Access's type mismatch otherwise).
std::string numeric(const Expr &e)
{
    if (isNumeric(e) || e.kind == ValueKind::Boolean)
        return asValue(e);
    return "fw_num(" + asValue(e) + ")";
}

std::string serial(const Expr &e) { return "fw_serial(" + asValue(e) + ")"; }

} // namespace

// Access compares dates as dates and text without regard to case.
Expr compared(const Expr &left, const char *op, const Expr &right)
{
    if (either(left, right, ValueKind::Date))
        return truth("(" + serial(left) + " " + op + " " + serial(right) + ")");
    const char *collation = either(left, right, ValueKind::Text) ? collateText() : "";
    return truth("(" + asValue(left) + " " + op + " " + asValue(right) + collation + ")");
}

namespace {

std::string call(const char *function, const std::vector<std::string> &arguments)
{
    std::string sql = std::string(function) + "(";
    for (size_t i = 0; i < arguments.size(); ++i)
        sql += (i ? ", " : "") + arguments[i];
    return sql + ")";
}

// The driver's own function that stands for the Access function of that name.
std::string ownCall(const char *accessName, const std::vector<std::string> &arguments)
{
    return call((std::string("fw_") + accessName).c_str(), arguments);
}

std::vector<std::string> values(const std::vector<Expr> &arguments)
{
    std::vector<std::string> sql;
    for (const Expr &e : arguments)
        sql.push_back(asValue(e));
    return sql;
}

// Access's functions

struct Function {
    const char *name; // lower case, as looked up
    size_t minArguments;
    size_t maxArguments;
    Expr (*build)(const char *name, const std::vector<Expr> &arguments);
    bool aggregate;
};

Expr aggregateCall(const char *name, const std::vector<Expr> &a)
{
    const bool extreme = std::string(name) == "min" || std::string(name) == "max";
    if (std::string(name) == "sum" && a[0].kind == ValueKind::Currency)
        return value(call("fw_cur_sum", values(a)), ValueKind::Currency);
    if (std::string(name) == "count")
        return wholeNumber(call(name, values(a)));
    if (!extreme)
        return value(call(name, values(a)), ValueKind::Number);
    // Min and Max hand back one of the values, so a Yes/No column stays 1/0; text is
    // ranked as ORDER BY ranks it.
    std::string argument = a[0].columnRef ? a[0].sql : asValue(a[0]);
    if (a[0].kind == ValueKind::Text)
        argument += collateText();
    Expr e = value(call(name, {argument}), a[0].kind);
    e.bitColumn = a[0].bitColumn;
    e.single = a[0].single;
    return e;
}

Expr cstrCall(const char *, const std::vector<Expr> &a)
{
    if (a[0].kind == ValueKind::Date || a[0].kind == ValueKind::Boolean || a[0].single)
        return value(asText(a[0]), ValueKind::Text);
    return value(call("CStr", values(a)), ValueKind::Text);
}

// A date converts as its day serial: CDbl(#12/29/1899 6:00#) is -1.25.
std::string convertedNumber(const Expr &e) { return e.kind == ValueKind::Date ? serial(e) : asValue(e); }

Expr numberCall(const char *name, const std::vector<Expr> &a)
{
    return value(call(name, {convertedNumber(a[0])}), ValueKind::Number);
}

// The driver's own numeric functions; Int and Fix of a whole number stay whole.
Expr ownNumberCall(const char *name, const std::vector<Expr> &a)
{
    std::vector<std::string> sql = values(a);
    sql[0] = convertedNumber(a[0]);
    Expr e = value(ownCall(name, sql), ValueKind::Number);
    e.integer = a[0].integer && (std::string(name) == "int" || std::string(name) == "fix");
    return e;
}

Expr cboolCall(const char *name, const std::vector<Expr> &a)
{
    return value(ownCall(name, {a[0].condition ? asValue(a[0]) : convertedNumber(a[0])}), ValueKind::Boolean);
}

Expr stringMakingCall(const char *name, const std::vector<Expr> &a) { return value(ownCall(name, values(a)), ValueKind::Text); }

Expr csngCall(const char *name, const std::vector<Expr> &a)
{
    Expr e = value(ownCall(name, {convertedNumber(a[0])}), ValueKind::Number);
    e.single = true;
    return e;
}

// The kind two values share; Null takes the other's, and Currency a whole number's.
ValueKind commonKind(const Expr &a, const Expr &b)
{
    if (a.kind == b.kind || a.sql == "NULL")
        return b.kind;
    if (b.sql == "NULL")
        return a.kind;
    return staysCurrency(a, b) ? ValueKind::Currency : ValueKind::Unknown;
}

Expr iifCall(const char *, const std::vector<Expr> &a)
{
    const ValueKind kind = commonKind(a[1], a[2]);
    return value(call("IIf", {asCondition(a[0]), asValue(a[1]), asValue(a[2])}), kind);
}

// String functions take their first argument as text: a date as CStr gives it.
Expr stringCall(const char *name, const std::vector<Expr> &a, ValueKind kind)
{
    std::vector<std::string> sql = values(a);
    sql[0] = asText(a[0]);
    return value(ownCall(name, sql), kind);
}

Expr textCall(const char *name, const std::vector<Expr> &a) { return stringCall(name, a, ValueKind::Text); }

Expr lengthCall(const char *name, const std::vector<Expr> &a) { return stringCall(name, a, ValueKind::Number); }

// InStr([start, ]string1, string2[, compare]): both strings as text.
Expr instrCall(const char *, const std::vector<Expr> &a)
{
    std::vector<std::string> sql = values(a);
    const size_t first = a.size() == 2 ? 0 : 1;
    for (size_t i = first; i < first + 2; ++i)
        sql[i] = asText(a[i]);
    return value(call("fw_instr", sql), ValueKind::Number);
}

Expr datePartCall(const char *name, const std::vector<Expr> &a)
{
    return value(ownCall(name, values(a)), ValueKind::Number);
}

Expr dateCall(const char *name, const std::vector<Expr> &a) { return value(ownCall(name, values(a)), ValueKind::Date); }

// The translator knows a Date/Time value or a Single for one; the function tells a number from text.
Expr formatCall(const char *, const std::vector<Expr> &a)
{
    const std::string format = a.size() > 1 ? asText(a[1]) : "''";
    const FormattedKind kind = a[0].kind == ValueKind::Date ? FormattedKind::Date
                               : a[0].single                ? FormattedKind::Single
                                                            : FormattedKind::Other;
    return value(call("fw_format", {asValue(a[0]), format, std::to_string(int(kind))}), ValueKind::Text);
}

Expr isNullCall(const char *, const std::vector<Expr> &a) { return truth("(" + asValue(a[0]) + " IS NULL)"); }

// IsNumeric and IsDate: the function reads the value; a Date/Time is a date, never a number.
Expr isKindCall(const char *name, const std::vector<Expr> &a)
{
    const std::string isDate = a[0].kind == ValueKind::Date ? "1" : "0";
    return truth(ownCall(name, {asValue(a[0]), isDate}));
}

// Choose(index, choice1, ...): the choice the index, rounded to a whole number, counts to;
// Null when it counts to none.
Expr chooseCall(const char *, const std::vector<Expr> &a)
{
    std::string sql = "(CASE fw_round(" + numeric(a[0]) + ")";
    ValueKind kind = a[1].kind;
    for (size_t i = 1; i < a.size(); ++i) {
        sql += " WHEN " + std::to_string(i) + " THEN " + asValue(a[i]);
        kind = a[i].kind == kind ? kind : ValueKind::Unknown;
    }
    return value(sql + " END)", kind);
}

Expr spreadCall(const char *name, const std::vector<Expr> &a)
{
    return value(ownCall(name, {convertedNumber(a[0])}), ValueKind::Number);
}

// Switch(condition1, value1, ...): the value of the first true condition, else Null.
Expr switchCall(const char *, const std::vector<Expr> &a)
{
    if (a.size() % 2 != 0)
        throw SyntaxError{"Invalid procedure call or argument"};
    std::string sql = "(CASE";
    ValueKind kind = a[1].kind;
    for (size_t i = 0; i < a.size(); i += 2) {
        sql += " WHEN " + asCondition(a[i]) + " THEN " + asValue(a[i + 1]);
        kind = a[i + 1].kind == kind ? kind : ValueKind::Unknown;
    }
    return value(sql + " END)", kind);
}

// The first count arguments are text: a date or a Yes/No as CStr gives it.
Expr textArgumentsCall(const char *name, const std::vector<Expr> &a, size_t count, ValueKind kind)
{
    std::vector<std::string> sql = values(a);
    for (size_t i = 0; i < count && i < a.size(); ++i)
        sql[i] = asText(a[i]);
    return value(ownCall(name, sql), kind);
}

// InStrRev's two strings are text, as InStr's are.
Expr instrRevCall(const char *name, const std::vector<Expr> &a) { return textArgumentsCall(name, a, 2, ValueKind::Number); }

Expr replaceCall(const char *name, const std::vector<Expr> &a)
{
    return textArgumentsCall(name, a, 3, ValueKind::Text);
}

Expr strcompCall(const char *name, const std::vector<Expr> &a)
{
    return textArgumentsCall(name, a, 2, ValueKind::Number);
}

// Str of a date or a Yes/No is the text CStr gives.
Expr strCall(const char *name, const std::vector<Expr> &a)
{
    if (a[0].kind == ValueKind::Date || a[0].kind == ValueKind::Boolean)
        return value(asText(a[0]), ValueKind::Text);
    return value(ownCall(name, values(a)), ValueKind::Text);
}

Expr currencyCall(const char *name, const std::vector<Expr> &a)
{
    return value(ownCall(name, values(a)), ValueKind::Currency);
}

// First and Last hand back one of the values, so a Yes/No column stays 1/0; the rowids
// the parser adds after the value give the scan order.
Expr firstLastCall(const char *name, const std::vector<Expr> &a)
{
    std::vector<std::string> sql = values(a);
    sql[0] = a[0].columnRef ? a[0].sql : asValue(a[0]);
    Expr e = value(ownCall(name, sql), a[0].kind);
    e.bitColumn = a[0].bitColumn;
    e.single = a[0].single;
    return e;
}

const Function kFunctions[] = {
    {"count", 1, 1, aggregateCall, true},   {"sum", 1, 1, aggregateCall, true},
    {"avg", 1, 1, aggregateCall, true},     {"min", 1, 1, aggregateCall, true},
    {"max", 1, 1, aggregateCall, true},     {"cstr", 1, 1, cstrCall, false},
    {"cint", 1, 1, numberCall, false},      {"clng", 1, 1, numberCall, false},
    {"cdbl", 1, 1, numberCall, false},      {"abs", 1, 1, numberCall, false},
    {"csng", 1, 1, csngCall, false},
    {"cbyte", 1, 1, ownNumberCall, false},  {"cbool", 1, 1, cboolCall, false},
    {"int", 1, 1, ownNumberCall, false},    {"fix", 1, 1, ownNumberCall, false},
    {"round", 1, 2, ownNumberCall, false},  {"sgn", 1, 1, ownNumberCall, false},
    {"sqr", 1, 1, ownNumberCall, false},    {"exp", 1, 1, ownNumberCall, false},
    {"log", 1, 1, ownNumberCall, false},    {"atn", 1, 1, ownNumberCall, false},
    {"sin", 1, 1, ownNumberCall, false},    {"cos", 1, 1, ownNumberCall, false},
    {"tan", 1, 1, ownNumberCall, false},    {"hex", 1, 1, stringMakingCall, false},
    {"oct", 1, 1, stringMakingCall, false}, {"instrrev", 2, 4, instrRevCall, false},
    {"space", 1, 1, stringMakingCall, false}, {"string", 2, 2, stringMakingCall, false},
    {"strreverse", 1, 1, textCall, false},  {"chr", 1, 1, stringMakingCall, false},
    {"chrw", 1, 1, stringMakingCall, false}, {"asc", 1, 1, lengthCall, false},
    {"ascw", 1, 1, lengthCall, false},
    {"iif", 3, 3, iifCall, false},
    {"left", 2, 2, textCall, false},        {"right", 2, 2, textCall, false},
    {"mid", 2, 3, textCall, false},         {"ucase", 1, 1, textCall, false},
    {"lcase", 1, 1, textCall, false},       {"trim", 1, 1, textCall, false},
    {"ltrim", 1, 1, textCall, false},       {"rtrim", 1, 1, textCall, false},
    {"len", 1, 1, lengthCall, false},       {"instr", 2, 4, instrCall, false},
    {"year", 1, 1, datePartCall, false},    {"month", 1, 1, datePartCall, false},
    {"day", 1, 1, datePartCall, false},     {"hour", 1, 1, datePartCall, false},
    {"minute", 1, 1, datePartCall, false},  {"second", 1, 1, datePartCall, false},
    {"now", 0, 0, dateCall, false},         {"date", 0, 0, dateCall, false},
    {"time", 0, 0, dateCall, false},        {"dateserial", 3, 3, dateCall, false},
    {"format", 1, 2, formatCall, false},
    {"weekday", 1, 2, datePartCall, false}, {"datepart", 2, 4, datePartCall, false},
    {"datediff", 3, 5, datePartCall, false}, {"dateadd", 3, 3, dateCall, false},
    {"cdate", 1, 1, dateCall, false},       {"isnull", 1, 1, isNullCall, false},
    {"switch", 2, 254, switchCall, false},  {"replace", 3, 6, replaceCall, false},
    {"strcomp", 2, 3, strcompCall, false},  {"val", 1, 1, lengthCall, false},
    {"str", 1, 1, strCall, false},          {"ccur", 1, 1, currencyCall, false},
    {"first", 1, 1, firstLastCall, true},   {"last", 1, 1, firstLastCall, true},
    {"stdev", 1, 1, spreadCall, true},      {"stdevp", 1, 1, spreadCall, true},
    {"var", 1, 1, spreadCall, true},        {"varp", 1, 1, spreadCall, true},
    {"isnumeric", 1, 1, isKindCall, false}, {"isdate", 1, 1, isKindCall, false},
    {"choose", 2, 254, chooseCall, false},  {"strconv", 2, 2, textCall, false},
    {"datevalue", 1, 1, dateCall, false},   {"timevalue", 1, 1, dateCall, false},
    {"timeserial", 3, 3, dateCall, false},  {"monthname", 1, 2, stringMakingCall, false},
    {"weekdayname", 1, 3, stringMakingCall, false},
};

const Function *findFunction(const std::string &lowerName)
{
    for (const Function &function : kFunctions) {
        if (lowerName == function.name)
            return &function;
    }
    return nullptr;
}

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

} // namespace

const char *collateText()
{
    static const std::string clause = std::string(" COLLATE ") + kTextCollation;
    return clause.c_str();
}

std::string asValue(const Expr &e)
{
    if (e.condition)
        return "-(" + e.sql + ")";
    if (e.bitColumn)
        return "(-" + e.sql + ")";
    return e.sql;
}

std::string asCondition(const Expr &e) { return e.sql; }

std::string asText(const Expr &e)
{
    if (e.kind == ValueKind::Date)
        return "fw_cstr_date(" + asValue(e) + ")";
    if (e.kind == ValueKind::Boolean)
        return "fw_cstr_bool(" + asValue(e) + ")";
    if (e.single)
        return "fw_cstr_single(" + asValue(e) + ")";
    return asValue(e);
}

// Operators, loosest first: Imp, Eqv, Xor, Or, And, Not, comparisons, &, + -, Mod, \, * /, unary -, ^.

Expr Parser::topExpression()
{
    expressionStart_ = pos_;
    return implication();
}

Parser::Nested::Nested(Parser *parser) : parser_(parser)
{
    // Access refuses deeply nested statements the same way.
    if (++parser_->nesting_ > 200)
        parser_->failWith("Query is too complex.");
}

// Xor, Eqv and Imp of truth values are logical, with Null as VBA's operators treat it
// (Null Imp True and False Imp Null are True; any other Null makes Null); of numbers they
// work bit by bit, as Not does.
Expr Parser::logicalOperator(const char *keyword, Expr (Parser::*operand)())
{
    Expr left = (this->*operand)();
    while (acceptKeyword(keyword)) {
        const Expr right = (this->*operand)();
        const bool truths = (left.condition || left.bitColumn) && (right.condition || right.bitColumn);
        const std::string a = "(" + (truths ? asCondition(left) : numeric(left)) + ")";
        const std::string b = "(" + (truths ? asCondition(right) : numeric(right)) + ")";
        const std::string word = keyword;
        if (truths) {
            const std::string logical = word == "XOR" ? a + " <> " + b : word == "EQV" ? a + " = " + b
                                                                                       : "NOT " + a + " OR " + b;
            left = truth("(" + logical + ")");
        } else {
            // True on the right or False on the left makes True even beside Null.
            const std::string bits = word == "XOR" ? "(" + a + " | " + b + ") & ~(" + a + " & " + b + ")"
                                   : word == "EQV" ? "~((" + a + " | " + b + ") & ~(" + a + " & " + b + "))"
                                                   : "CASE WHEN " + b + " = -1 OR " + a + " = 0 THEN -1 ELSE ~" + a
                                                         + " | " + b + " END";
            left = value("(" + bits + ")", ValueKind::Number);
        }
    }
    return left;
}

Expr Parser::implication() { return logicalOperator("IMP", &Parser::equivalence); }

Expr Parser::equivalence() { return logicalOperator("EQV", &Parser::exclusion); }

Expr Parser::exclusion() { return logicalOperator("XOR", &Parser::disjunction); }

Expr Parser::disjunction()
{
    const Nested level(this);
    Expr left = conjunction();
    while (acceptKeyword("OR")) {
        const Expr right = conjunction();
        left = truth("(" + asCondition(left) + " OR " + asCondition(right) + ")");
    }
    return left;
}

Expr Parser::conjunction()
{
    Expr left = negation();
    while (acceptKeyword("AND")) {
        const Expr right = negation();
        left = truth("(" + asCondition(left) + " AND " + asCondition(right) + ")");
    }
    return left;
}

// Not of a truth value is logical; of a number, Access inverts its bits (Not 0 is -1).
Expr Parser::negation()
{
    if (!acceptKeyword("NOT"))
        return comparison();
    const Nested level(this);
    const Expr operand = negation();
    if (operand.condition || operand.bitColumn)
        return truth("(NOT " + operand.sql + ")");
    return value("(~" + numeric(operand) + ")", ValueKind::Number);
}

Expr Parser::comparison()
{
    const Expr left = concatenation();
    static const char *const operators[] = {"=", "<>", "<=", ">=", "<", ">"};
    for (const char *op : operators) {
        if (!acceptSymbol(op))
            continue;
        const bool quantifier = isKeyword("ALL") || isKeyword("ANY") || isKeyword("SOME");
        if (quantifier && isSymbol("(", 1) && isKeyword("SELECT", 2))
            return quantified(left, op);
        const Expr right = concatenation();
        noteParameterBeside(left, right);
        noteParameterBeside(right, left);
        return compared(left, op, right);
    }
    if (acceptKeyword("IS")) {
        const bool negated = acceptKeyword("NOT");
        if (!acceptKeyword("NULL"))
            fail();
        return truth("(" + asValue(left) + (negated ? " IS NOT NULL)" : " IS NULL)"));
    }
    const bool negated = acceptKeyword("NOT");
    if (acceptKeyword("LIKE"))
        return like(left, negated);
    if (acceptKeyword("IN"))
        return inList(left, negated);
    if (acceptKeyword("BETWEEN"))
        return between(left, negated);
    if (negated)
        fail();
    return left;
}

// x op ALL (subquery) holds when the comparison holds for every row (and for none);
// ANY and SOME when it holds for one. The left side is read where the subquery's rows
// are in scope, so they and their one column go by a name the statement never spells:
// each name on the left stays the user's.
Expr Parser::quantified(const Expr &left, const char *op)
{
    const bool all = acceptKeyword("ALL");
    if (!all)
        ++pos_;
    const Expr rows = subquery();
    const std::string name = unwrittenName("fw_q");
    const std::string each = "WITH " + name + "(" + name + ") AS " + rows.sql + " SELECT 1 FROM " + name + " WHERE ";
    const std::string test = compared(left, op, value(name + "." + name, rows.kind)).sql;
    return truth(all ? "(NOT EXISTS (" + each + test + " IS NOT 1))" : "(EXISTS (" + each + test + "))");
}

// * ? # [a-c] [!a]: Access's wildcards, matched without regard to case.
Expr Parser::like(const Expr &left, bool negated)
{
    const Expr pattern = concatenation();
    noteParameterBeside(pattern, left);
    std::string match = "fw_like(" + asText(left) + ", " + asText(pattern);
    // An ODBC {escape 'c'} arrives here as ESCAPE 'c' (odbc_escapes.cpp).
    if (acceptKeyword("ESCAPE"))
        match += ", " + asText(concatenation());
    match += ")";
    return truth(negated ? "(NOT " + match + ")" : match);
}

Expr Parser::inList(const Expr &left, bool negated)
{
    const char *op = negated ? " NOT IN " : " IN ";
    if (isSymbol("(") && isKeyword("SELECT", 1)) {
        const char *collation = left.kind == ValueKind::Text ? collateText() : "";
        return truth("(" + asValue(left) + collation + op + subquery().sql + ")");
    }
    expectSymbol("(");
    std::vector<Expr> items{concatenation()};
    while (acceptSymbol(","))
        items.push_back(concatenation());
    expectSymbol(")");
    for (const Expr &item : items)
        noteParameterBeside(item, left);
    bool dates = left.kind == ValueKind::Date;
    bool text = left.kind == ValueKind::Text;
    for (const Expr &item : items) {
        dates = dates || item.kind == ValueKind::Date;
        text = text || item.kind == ValueKind::Text;
    }
    std::vector<std::string> sql;
    for (const Expr &item : items)
        sql.push_back(dates ? serial(item) : asValue(item));
    const std::string subject = dates ? serial(left) : asValue(left) + (text ? collateText() : "");
    return truth("(" + subject + op + call("", sql) + ")");
}

Expr Parser::between(const Expr &left, bool negated)
{
    const Expr low = concatenation();
    if (!acceptKeyword("AND"))
        fail();
    const Expr high = concatenation();
    noteParameterBeside(low, left);
    noteParameterBeside(high, left);
    noteParameterBeside(left, low);
    const char *op = negated ? " NOT BETWEEN " : " BETWEEN ";
    if (either(left, low, ValueKind::Date) || high.kind == ValueKind::Date)
        return truth("(" + serial(left) + op + serial(low) + " AND " + serial(high) + ")");
    const bool text = either(left, low, ValueKind::Text) || high.kind == ValueKind::Text;
    return truth("(" + asValue(left) + (text ? collateText() : "") + op + asValue(low) + " AND " + asValue(high)
                 + ")");
}

// & makes text of both sides; only when both are Null is the result Null.
Expr Parser::concatenation()
{
    const Expr first = additive();
    if (!isSymbol("&"))
        return first;
    std::vector<std::string> parts{asText(first)};
    while (acceptSymbol("&"))
        parts.push_back(asText(additive()));
    return value(call("fw_cat", parts), ValueKind::Text);
}

// A date plus or minus a number of days is a date; a date minus a date is a number of days.
// + joins two texts, as in Access.
Expr Parser::additive()
{
    Expr left = modulo();
    for (;;) {
        const bool plus = acceptSymbol("+");
        if (!plus && !acceptSymbol("-"))
            return left;
        const Expr right = modulo();
        const char *op = plus ? " + " : " - ";
        if (left.kind == ValueKind::Date && (plus || right.kind != ValueKind::Date))
            left = value("fw_from_serial(" + serial(left) + op + serial(right) + ")", ValueKind::Date);
        else if (plus && right.kind == ValueKind::Date)
            left = value("fw_from_serial(" + serial(left) + op + serial(right) + ")", ValueKind::Date);
        else if (either(left, right, ValueKind::Date))
            left = value("(" + serial(left) + op + serial(right) + ")", ValueKind::Number);
        else if (staysCurrency(left, right))
            left = value(call("fw_cur_add", {numeric(left), numeric(right), plus ? "1" : "-1"}), ValueKind::Currency);
        else if (plus && (!isNumeric(left) || !isNumeric(right)))
            left = value(call("fw_plus", {asValue(left), asValue(right)}),
                         left.kind == ValueKind::Text && right.kind == ValueKind::Text ? ValueKind::Text
                                                                                       : ValueKind::Unknown);
        else
            left = value("(" + numeric(left) + op + numeric(right) + ")", ValueKind::Number);
    }
}

Expr Parser::modulo()
{
    Expr left = integerDivision();
    while (acceptKeyword("MOD")) {
        const Expr right = integerDivision();
        left = value(call("fw_mod", {numeric(left), numeric(right)}), ValueKind::Number);
    }
    return left;
}

Expr Parser::integerDivision()
{
    Expr left = multiplicative();
    while (acceptSymbol("\\")) {
        const Expr right = multiplicative();
        left = value(call("fw_intdiv", {numeric(left), numeric(right)}), ValueKind::Number);
    }
    return left;
}

// / always divides as reals, as in Access: 7 / 2 is 3.5.
Expr Parser::multiplicative()
{
    Expr left = unary();
    for (;;) {
        if (acceptSymbol("*")) {
            const Expr right = unary();
            if (staysCurrency(left, right))
                left = value(call("fw_cur_mul", {numeric(left), numeric(right)}), ValueKind::Currency);
            else
                left = value("(" + numeric(left) + " * " + numeric(right) + ")", ValueKind::Number);
        } else if (acceptSymbol("/")) {
            const Expr right = unary();
            left = value(call("fw_div", {numeric(left), numeric(right)}), ValueKind::Number);
        } else {
            return left;
        }
    }
}

// ^ binds tighter than a sign: -2 ^ 2 is -4.
Expr Parser::unary()
{
    const Nested level(this);
    if (acceptSymbol("-")) {
        const Expr operand = unary();
        Expr negated = value("(-" + numeric(operand) + ")",
                             operand.kind == ValueKind::Currency ? ValueKind::Currency : ValueKind::Number);
        negated.integer = operand.integer;
        return negated;
    }
    if (acceptSymbol("+"))
        return unary();
    return power();
}

Expr Parser::power()
{
    Expr left = primary();
    while (acceptSymbol("^")) {
        const Expr right = isSymbol("-") || isSymbol("+") ? unary() : primary();
        left = value(call("fw_pow", {numeric(left), numeric(right)}), ValueKind::Number);
    }
    return left;
}

// Operands

Expr Parser::primary()
{
    const Token &token = peek();
    switch (token.type) {
    case TokenType::Number: {
        ++pos_;
        Expr number = value(token.text, ValueKind::Number);
        number.integer = token.text.find_first_not_of("0123456789") == std::string::npos;
        return number;
    }
    case TokenType::String:
        ++pos_;
        return value(quotedText(token.value), ValueKind::Text);
    case TokenType::Date:
        return dateLiteral();
    case TokenType::Parameter:
        ++pos_;
        return marker(parameterNumbers_[pos_ - 1] + int(declaredParameters_.size()), ValueKind::Unknown);
    case TokenType::Symbol:
        if (token.value == "(")
            return parenthesised();
        fail();
    case TokenType::QuotedName:
        return reference();
    case TokenType::Name:
        return literal();
    case TokenType::End:
        break;
    }
    fail();
}

Expr Parser::parenthesised()
{
    if (isKeyword("SELECT", 1))
        return subquery();
    ++pos_;
    Expr inner = implication();
    expectSymbol(")");
    inner.sql = "(" + inner.sql + ")";
    inner.columnRef = false;
    return inner;
}

// Names that are values: Null, True and False (Yes and No), functions, Exists and columns.
Expr Parser::literal()
{
    if (acceptKeyword("NULL"))
        return value("NULL", ValueKind::Unknown);
    if (acceptKeyword("TRUE") || acceptKeyword("YES"))
        return value("-1", ValueKind::Boolean);
    if (acceptKeyword("FALSE") || acceptKeyword("NO"))
        return value("0", ValueKind::Boolean);
    if (isKeyword("EXISTS") && isSymbol("(", 1)) {
        ++pos_;
        return truth("EXISTS " + subquery().sql);
    }
    if (isSymbol("(", 1))
        return functionCall();
    if (isReserved(peek()))
        fail();
    return reference();
}

Expr Parser::dateLiteral()
{
    const Token &token = peek();
    DateTime when;
    if (!parseDateLiteral(token.value, &when))
        failWith("Syntax error in date in query expression '" + itemText(expressionStart_) + "'.");
    ++pos_;
    return value(quotedText(formatDateTime(when)), ValueKind::Date);
}

// A ? marker, or a name PARAMETERS declared: its kind is what the application bound,
// else what was declared.
Expr Parser::marker(int number, ValueKind declared) const
{
    const bool bound = size_t(number) <= parameterKinds_.size() && parameterKinds_[size_t(number) - 1] != ValueKind::Unknown;
    Expr e = value("?" + std::to_string(number), bound ? parameterKinds_[size_t(number) - 1] : declared);
    e.parameter = number;
    return e;
}

// A column, written as name, table.name or table!name, each part bracketed or not; or a
// parameter PARAMETERS declared, by the same path ([Forms]![Orders]![OrderID]).
Expr Parser::reference()
{
    std::vector<const Token *> parts{&peek()};
    ++pos_;
    std::string path = parts[0]->value;
    while ((isSymbol(".") || isSymbol("!")) && isName(peek(1))) {
        parts.push_back(&peek(1));
        path += "!" + peek(1).value;
        pos_ += 2;
    }
    for (size_t i = 0; i < declaredParameters_.size(); ++i) {
        if (sameName(declaredParameters_[i].first, path))
            return marker(int(i + 1), declaredParameters_[i].second);
    }
    std::string sql;
    for (const Token *part : parts)
        sql += (sql.empty() ? "" : ".") + part->text;
    const std::string qualifier = parts.size() > 1 ? parts[parts.size() - 2]->value : std::string();
    const OutputColumn column = lookUpColumn(qualifier, parts.back()->value);
    Expr e = value(sql, column.kind);
    e.bitColumn = column.bitColumn;
    e.integer = column.integer;
    e.single = column.single;
    e.columnRef = true;
    e.name = parts.back()->value;
    e.table = column.table;
    return e;
}

OutputColumn Parser::lookUpColumn(const std::string &qualifier, const std::string &column)
{
    bool everySourceKnown = true;
    for (const Scope *scope = scope_; scope; scope = scope->parent) {
        for (size_t i = 0; i < scope->sources.size(); ++i) {
            const Source &source = scope->sources[i];
            if (!qualifier.empty() && !sameName(source.alias, qualifier))
                continue;
            OutputColumn found;
            if (!columnOf(source, column, &found)) {
                everySourceKnown = everySourceKnown && source.known;
                continue;
            }
            if (scope == selectingScope_)
                selectingScope_->sources[i].selected = true;
            return found;
        }
    }
    noteUnknownName(qualifier.empty() ? column : qualifier + "." + column, everySourceKnown);
    return OutputColumn{column};
}

// Where a table in scope cannot list its columns, or ORDER BY may mean an alias of the
// select list, SQLite decides what the name is.
void Parser::noteUnknownName(const std::string &name, bool everySourceKnown)
{
    if (!everySourceKnown || ordering_)
        return;
    const bool seen = std::any_of(unknownNames_.begin(), unknownNames_.end(),
                                  [&name](const std::string &other) { return sameName(other, name); });
    if (!seen)
        unknownNames_.push_back(name);
}

bool Parser::columnOf(const Source &source, const std::string &column, OutputColumn *out) const
{
    if (source.table.empty()) {
        for (const OutputColumn &candidate : source.columns) {
            if (sameName(candidate.name, column)) {
                *out = candidate;
                return true;
            }
        }
        return false;
    }
    ValueKind kind = ValueKind::Unknown;
    if (!schema_.column(source.table, column, &kind))
        return false;
    *out = OutputColumn{column, kind, kind == ValueKind::Boolean, source.table,
                        schema_.integerColumn(source.table, column), schema_.singleColumn(source.table, column)};
    return true;
}

void Parser::noteParameterBeside(const Expr &marker, const Expr &other)
{
    if (marker.parameter > 0 && other.columnRef && !other.table.empty())
        parameterColumns_[size_t(marker.parameter - 1)] = ParameterColumn{other.table, other.name};
}

Expr Parser::functionCall()
{
    const Token &name = peek();
    std::string lookup = lowered(name.value);
    if (!lookup.empty() && lookup.back() == '$')
        lookup.pop_back();
    pos_ += 2;
    if (lookup == "count" && acceptSymbol("*")) {
        expectSymbol(")");
        sawAggregate_ = true;
        return wholeNumber("count(*)" + aggregateFilter());
    }
    const Function *function = findFunction(lookup);
    if (!function)
        throw accessFailure(AccessError::UndefinedFunction, name.value);
    std::vector<Expr> args = arguments();
    if (args.size() < function->minArguments || args.size() > function->maxArguments)
        failWith("Wrong number of arguments used with function in query expression '" + itemText(expressionStart_)
                 + "'.");
    sawAggregate_ = sawAggregate_ || function->aggregate;
    if (function->build == firstLastCall) {
        for (const std::string &rowid : scanOrderRowids())
            args.push_back(wholeNumber(rowid));
    }
    Expr e = function->build(function->name, args);
    if (function->aggregate)
        e.sql += aggregateFilter();
    return e;
}

// In a crosstab's value, each aggregate counts the rows of one column heading alone.
std::string Parser::aggregateFilter() const
{
    return pivotFilter_.empty() ? std::string() : " FILTER (WHERE " + pivotFilter_ + ")";
}

std::vector<Expr> Parser::arguments()
{
    std::vector<Expr> args;
    if (acceptSymbol(")"))
        return args;
    do
        args.push_back(implication());
    while (acceptSymbol(","));
    expectSymbol(")");
    return args;
}

Expr Parser::subquery()
{
    const size_t outerStart = expressionStart_;
    const std::string outerMessage = clauseMessage_;
    expectSymbol("(");
    clauseMessage_.clear();
    const Query inner = query(scope_);
    expectSymbol(")");
    expressionStart_ = outerStart;
    clauseMessage_ = outerMessage;
    return value("(" + inner.sql + ")", inner.columns.empty() ? ValueKind::Unknown : inner.columns[0].kind);
}

} // namespace sql
} // namespace accessodbc
