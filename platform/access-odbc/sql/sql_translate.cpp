#include "sql/sql_parser.h"
#include "sql/access_errors.h"
#include "sql/odbc_escapes.h"
#include "values/access_types.h"
#include "values/sql_names.h"

#include <sqlite3.h>

#include <algorithm>
#include <cctype>

namespace accessodbc {
namespace sql {
namespace {

const char kInvalidStatement[] =
    "Invalid SQL statement; expected 'DELETE', 'INSERT', 'PROCEDURE', 'SELECT', or 'UPDATE'.";
const char kSelectSyntax[] =
    "The SELECT statement includes a reserved word or an argument name that is misspelled or missing, "
    "or the punctuation is incorrect.";
const char kFromSyntax[] = "Syntax error in FROM clause.";
const char kJoinSyntax[] = "Syntax error in JOIN operation.";

// Words that end an item or start a clause; a name spelt like one needs brackets.
const char *const kReservedWords[] = {
    "SELECT", "DISTINCT", "DISTINCTROW", "TOP", "PERCENT", "FROM", "WHERE", "GROUP", "BY", "HAVING", "ORDER",
    "ASC", "DESC", "AS", "INNER", "LEFT", "RIGHT", "OUTER", "JOIN", "ON", "UNION", "AND", "OR", "NOT", "XOR",
    "EQV", "IMP", "LIKE", "IS", "NULL", "IN", "BETWEEN", "MOD", "EXISTS", "INTO", "ALL", "TRANSFORM", "PIVOT"};

const char *const kWriteWords[] = {"INSERT", "UPDATE", "DELETE", "CREATE", "DROP", "ALTER", "ATTACH", "DETACH",
                                   "VACUUM", "REPLACE", "REINDEX", "ANALYZE", "GRANT", "REVOKE"};

bool isWord(const Token &token, const char *word)
{
    return token.type == TokenType::Name && sameName(token.text, word);
}

} // namespace

ValueKind kindOfDeclaredType(const char *declaredType)
{
    const AccessType *type = accessTypeForDeclared(declaredType);
    if (!type)
        return ValueKind::Unknown;
    if (type->sqlType == SQL_DECIMAL)
        return ValueKind::Currency;
    switch (type->typeClass) {
    case TypeClass::Text:
        return ValueKind::Text;
    case TypeClass::Number:
        return ValueKind::Number;
    case TypeClass::Date:
        return ValueKind::Date;
    case TypeClass::Boolean:
        return ValueKind::Boolean;
    case TypeClass::Binary:
        break;
    }
    return ValueKind::Unknown;
}

Parser::Parser(const std::string &text, std::vector<Token> tokens, const Schema &schema,
               const std::vector<ValueKind> &parameterKinds)
    : text_(text), tokens_(std::move(tokens)), schema_(schema), parameterKinds_(parameterKinds)
{
    int next = 0;
    for (const Token &token : tokens_)
        parameterNumbers_.push_back(token.type == TokenType::Parameter ? ++next : 0);
    parameterColumns_.resize(size_t(next));
}

// Tokens

const Token &Parser::peek(size_t ahead) const
{
    return tokens_[std::min(pos_ + ahead, tokens_.size() - 1)];
}

bool Parser::isKeyword(const char *word, size_t ahead) const { return isWord(peek(ahead), word); }

bool Parser::isSymbol(const char *symbol, size_t ahead) const
{
    return peek(ahead).type == TokenType::Symbol && peek(ahead).value == symbol;
}

bool Parser::acceptKeyword(const char *word)
{
    if (!isKeyword(word))
        return false;
    ++pos_;
    return true;
}

bool Parser::acceptSymbol(const char *symbol)
{
    if (!isSymbol(symbol))
        return false;
    ++pos_;
    return true;
}

void Parser::expectSymbol(const char *symbol)
{
    if (!acceptSymbol(symbol))
        fail();
}

bool Parser::isReserved(const Token &token) const
{
    if (token.type != TokenType::Name)
        return false;
    return std::any_of(std::begin(kReservedWords), std::end(kReservedWords),
                       [&token](const char *word) { return sameName(token.text, word); });
}

// What can name a table, a column or an alias: a quoted name, or a word that is not reserved.
bool Parser::isName(const Token &token) const
{
    return token.type == TokenType::QuotedName || (token.type == TokenType::Name && !isReserved(token));
}

// A name for what the driver adds to a statement: base, numbered when a token of the
// statement spells it, so that no name the user wrote can mean the driver's.
std::string Parser::unwrittenName(const std::string &base) const
{
    const auto written = [this](const std::string &name) {
        return std::any_of(tokens_.begin(), tokens_.end(),
                           [&name](const Token &token) { return sameName(token.value, name); });
    };
    std::string name = base;
    for (int number = 2; written(name); ++number)
        name = base + std::to_string(number);
    return name;
}

// An item of a list or clause ends at a comma, a clause keyword or the statement's end,
// outside any parentheses.
bool Parser::endsItem(size_t index) const
{
    const Token &token = tokens_[index];
    if (token.type == TokenType::End)
        return true;
    if (token.type == TokenType::Symbol)
        return token.value == "," || token.value == ";";
    static const char *const clauseWords[] = {"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION"};
    return std::any_of(std::begin(clauseWords), std::end(clauseWords),
                       [&token](const char *word) { return isWord(token, word); });
}

std::string Parser::itemText(size_t start) const
{
    int depth = 0;
    size_t end = start;
    for (; end < tokens_.size() - 1; ++end) {
        const Token &token = tokens_[end];
        if (depth == 0 && end > start && endsItem(end))
            break;
        if (token.type == TokenType::Symbol && token.value == "(")
            ++depth;
        if (token.type == TokenType::Symbol && token.value == ")" && --depth < 0)
            break;
    }
    if (end == start)
        return tokens_[start].text;
    const size_t from = tokens_[start].offset;
    const Token &last = tokens_[end - 1];
    return text_.substr(from, last.offset + last.text.size() - from);
}

void Parser::fail() const
{
    if (!clauseMessage_.empty())
        throw SyntaxError{clauseMessage_};
    throw SyntaxError{"Syntax error (missing operator) in query expression '" + itemText(expressionStart_) + "'."};
}

SyntaxError accessFailure(AccessError error, const std::string &argument)
{
    const AccessErrorEntry &entry = accessError(error);
    return SyntaxError{accessErrorText(error, argument), entry.sqlState, entry.nativeError};
}

void Parser::failWith(const std::string &message) const
{
    throw SyntaxError{message};
}


// Statements

Query Parser::statement()
{
    if (peek().type == TokenType::End)
        failWith(kInvalidStatement);
    const auto writes = [this](const char *word) { return isKeyword(word); };
    if (std::any_of(std::begin(kWriteWords), std::end(kWriteWords), writes))
        throw SyntaxError{accessError(AccessError::ReadOnly).text, accessError(AccessError::ReadOnly).sqlState};
    if (acceptKeyword("PARAMETERS"))
        parametersClause();
    const bool crosstabQuery = acceptKeyword("TRANSFORM");
    if (!crosstabQuery && !isKeyword("SELECT"))
        failWith(kInvalidStatement);
    const Query result = crosstabQuery ? crosstab() : query(nullptr);
    while (acceptSymbol(";")) {
    }
    if (peek().type != TokenType::End)
        failWith("Characters found after end of SQL statement.");
    refuseUnknownNames();
    return result;
}

// Access takes a name that no table has for a parameter to be asked for; an ODBC client
// cannot answer, so the statement fails, as it does with Access.
void Parser::refuseUnknownNames() const
{
    if (!unknownNames_.empty())
        throw accessFailure(AccessError::TooFewParameters, std::to_string(unknownNames_.size()));
}

// PARAMETERS name type, ...; as Access's ODBC driver takes it: the names are markers
// bound by position, and a type word gives the value its kind (DateTime a date, Text
// text, Currency, Bit or YesNo; the others numbers).
void Parser::parametersClause()
{
    const std::string message = "Syntax error in PARAMETER clause.";
    do {
        if (!isName(peek()))
            failWith(message);
        std::string name = peek().value;
        ++pos_;
        while ((isSymbol("!") || isSymbol(".")) && isName(peek(1))) {
            name += "!" + peek(1).value;
            pos_ += 2;
        }
        std::string type;
        while (peek().type == TokenType::Name && !isSymbol(",") && !isSymbol(";")) {
            type += peek().value;
            ++pos_;
        }
        if (acceptSymbol("(")) {
            if (peek().type != TokenType::Number)
                failWith(message);
            ++pos_;
            if (!acceptSymbol(")"))
                failWith(message);
        }
        if (type.empty())
            failWith(message);
        declaredParameters_.emplace_back(name, kindOfDeclaredType(type.c_str()));
    } while (acceptSymbol(","));
    if (!acceptSymbol(";"))
        failWith(message);
    parameterColumns_.insert(parameterColumns_.begin(), declaredParameters_.size(), ParameterColumn());
}

struct Parser::Core {
    std::string head; // SELECT and its predicate
    std::string list;
    std::string tail; // FROM to HAVING
    std::string fromWhere; // FROM and WHERE alone
    std::vector<OutputColumn> columns;
    std::string top; // the count of TOP, empty without
    bool percent = false;
    bool distinct = false;
    bool distinctRow = false;
    bool aggregate = false;
    bool grouped = false;
};

namespace {

// The kind a union's column takes from two of its branches: text holds any value, a
// Currency beside another number becomes a Double; a Null branch takes the other's.
ValueKind unionKind(ValueKind a, ValueKind b)
{
    if (a == b || b == ValueKind::Unknown)
        return a;
    if (a == ValueKind::Unknown)
        return b;
    const bool numbers = (a == ValueKind::Number || a == ValueKind::Currency)
                      && (b == ValueKind::Number || b == ValueKind::Currency);
    return numbers ? ValueKind::Number : ValueKind::Text;
}

void typeFromBranch(std::vector<OutputColumn> *columns, const std::vector<OutputColumn> &branch)
{
    for (size_t i = 0; i < columns->size() && i < branch.size(); ++i) {
        OutputColumn &column = (*columns)[i];
        const ValueKind kind = unionKind(column.kind, branch[i].kind);
        if (kind != column.kind) {
            column.kind = kind;
            column.branchesDiffer = true;
        }
    }
}

} // namespace

Query Parser::query(const Scope *parent)
{
    const Scope *outerScope = scope_;
    Scope scope;
    scope.parent = parent;
    const bool caseless = unionRemovesDuplicates();
    const Core first = selectCore(&scope, caseless);
    Query result;
    result.sql = first.head + " " + first.list + first.tail;
    result.columns = first.columns;
    bool compound = false;
    while (acceptKeyword("UNION")) {
        const bool all = acceptKeyword("ALL");
        Scope next;
        next.parent = parent;
        const Core core = selectCore(&next, caseless);
        if (!core.top.empty() || !first.top.empty())
            failWith(kSelectSyntax);
        result.sql += (all ? " UNION ALL " : " UNION ") + core.head + " " + core.list + core.tail;
        typeFromBranch(&result.columns, core.columns);
        compound = true;
    }
    std::vector<std::string> keys;
    if (isKeyword("ORDER")) {
        // A union is ordered by its output columns, named and typed as its first select's.
        Scope outputs;
        Source firstSelect{std::string(), std::string(), first.columns};
        firstSelect.known = false;
        outputs.sources.push_back(firstSelect);
        result.sql += orderBy(compound ? &outputs : &scope, &keys, compound ? nullptr : &first.columns);
    }
    if (!first.top.empty())
        result.sql += limitForTop(first, keys);
    scope_ = outerScope;
    return result;
}

Parser::Core Parser::selectCore(Scope *scope, bool caselessText)
{
    const Scope *outerScope = scope_;
    const bool outerAggregate = sawAggregate_;
    Core core;
    if (!acceptKeyword("SELECT"))
        fail();
    core.head = "SELECT";
    if (acceptKeyword("DISTINCT")) {
        core.head += " DISTINCT";
        core.distinct = true;
    } else if (acceptKeyword("DISTINCTROW")) {
        core.distinctRow = true;
    } else {
        acceptKeyword("ALL");
    }
    if (acceptKeyword("TOP")) {
        const Token &count = peek();
        if (count.type != TokenType::Number || count.value.find_first_not_of("0123456789") != std::string::npos)
            failWith(kSelectSyntax);
        core.top = count.value;
        ++pos_;
        core.percent = acceptKeyword("PERCENT");
    }

    // The FROM clause is read first: the select list's names are resolved against it.
    const size_t listStart = pos_;
    const size_t fromIndex = findFrom();
    scope_ = scope;
    size_t afterFrom = pos_;
    if (fromIndex != std::string::npos) {
        pos_ = fromIndex + 1;
        core.tail = " FROM " + fromClause(scope);
        afterFrom = pos_;
        pos_ = listStart;
    }
    clauseMessage_.clear();
    sawAggregate_ = false;
    if (pos_ == fromIndex || endsItem(pos_))
        failWith(kSelectSyntax);
    Scope *outerSelecting = selectingScope_;
    selectingScope_ = scope;
    core.list = selectList(&core.columns, core.distinct || caselessText);
    selectingScope_ = outerSelecting;
    if (fromIndex != std::string::npos) {
        if (pos_ != fromIndex)
            fail();
        pos_ = afterFrom;
        clauseMessage_ = kFromSyntax;
    }

    if (acceptKeyword("WHERE")) {
        clauseMessage_.clear();
        core.tail += " WHERE " + asCondition(topExpression());
    }
    core.fromWhere = core.tail;
    if (acceptKeyword("GROUP")) {
        core.tail += " GROUP BY " + groupBy();
        core.grouped = true;
    } else if (core.distinctRow && !sawAggregate_) {
        const std::string grouping = distinctRowGrouping(*scope);
        core.tail += grouping;
        core.grouped = !grouping.empty();
    }
    if (acceptKeyword("HAVING")) {
        clauseMessage_.clear();
        core.tail += " HAVING " + asCondition(topExpression());
    }
    if (!(isKeyword("UNION") || isKeyword("ORDER") || isKeyword("PIVOT") || isSymbol(")") || isSymbol(";")
          || peek().type == TokenType::End))
        fail();
    core.aggregate = sawAggregate_;
    sawAggregate_ = outerAggregate;
    scope_ = outerScope;
    return core;
}

// A column heading of a crosstab: its name, and the condition that picks its rows.
struct Parser::Heading {
    std::string name;
    std::string rows;
};

// TRANSFORM value SELECT row headings FROM ... GROUP BY row headings PIVOT heading [IN
// (...)]: the row headings, then one column per value of the heading, in the order of IN
// or else ascending as the data has them, each holding the value over that heading's
// rows alone, Null where there are none. The value is read once per column, its
// aggregates filtered to those rows.
Query Parser::crosstab()
{
    const size_t valueStart = pos_;
    const size_t selectIndex = [this] {
        int depth = 0;
        for (size_t i = pos_; tokens_[i].type != TokenType::End; ++i) {
            if (isSymbol("(", i - pos_))
                ++depth;
            if (isSymbol(")", i - pos_))
                --depth;
            if (depth == 0 && isWord(tokens_[i], "SELECT"))
                return i;
        }
        failWith("Syntax error in TRANSFORM statement.");
    }();
    pos_ = selectIndex;
    Scope scope;
    const Core core = selectCore(&scope, false);
    if (!core.grouped || !core.top.empty())
        failWith("Syntax error in TRANSFORM statement.");
    std::vector<std::string> keys;
    const std::string ordering = isKeyword("ORDER") ? orderBy(&scope, &keys) : std::string();
    if (!acceptKeyword("PIVOT"))
        failWith("Syntax error in TRANSFORM statement.");
    scope_ = &scope;
    clauseMessage_.clear();
    expressionStart_ = pos_;
    const Expr pivot = concatenation();
    const std::vector<Heading> headings = pivotHeadings(pivot, core.fromWhere);
    const size_t end = pos_;

    Query result;
    result.columns = core.columns;
    std::string columns;
    for (const Heading &heading : headings) {
        pos_ = valueStart;
        pivotFilter_ = heading.rows;
        const Expr value = topExpression();
        pivotFilter_.clear();
        // The value's own name names nothing: the columns are the headings.
        Token name;
        alias(&name);
        if (pos_ != selectIndex)
            fail();
        // A heading without rows in a row's group is Null there, whatever the value.
        columns += ", CASE WHEN count(*) FILTER (WHERE " + heading.rows + ") > 0 THEN " + asValue(value) + " END AS "
                   + quotedIdentifier(heading.name);
        result.columns.push_back(OutputColumn{heading.name, value.kind});
    }
    pos_ = end;
    result.sql = core.head + " " + core.list + columns + core.tail + ordering;
    scope_ = nullptr;
    return result;
}

std::vector<Parser::Heading> Parser::pivotHeadings(const Expr &pivot, const std::string &fromWhere)
{
    if (!acceptKeyword("IN"))
        return headingsFromData(pivot, fromWhere);
    std::vector<Heading> headings;
    expectSymbol("(");
    do {
        const size_t itemStart = pos_;
        const Expr item = concatenation();
        const Token &only = tokens_[itemStart];
        const bool literal = pos_ == itemStart + 1 && (only.type == TokenType::String || only.type == TokenType::Number);
        const std::string name = literal ? only.value : itemText(itemStart);
        headings.push_back(Heading{name, compared(pivot, "=", item).sql});
    } while (acceptSymbol(","));
    expectSymbol(")");
    return headings;
}

// Without IN, the headings are the values the rows have, asked of the database now; each
// column picks its rows by the value's place among them, so no value of the data goes
// into the statement's text.
std::vector<Parser::Heading> Parser::headingsFromData(const Expr &pivot, const std::string &fromWhere)
{
    if (std::any_of(tokens_.begin(), tokens_.end(), [](const Token &t) { return t.type == TokenType::Parameter; })
        || !declaredParameters_.empty())
        failWith("A crosstab with parameters needs its column headings listed with IN.");
    refuseUnknownNames();
    const bool text = pivot.kind == ValueKind::Text;
    const std::string key = asValue(pivot) + (text ? collateText() : "");
    const std::string values = "SELECT DISTINCT " + key + " AS fw_heading" + fromWhere + " ORDER BY 1";
    const std::string named = pivot.kind == ValueKind::Date      ? "fw_cstr_date(fw_heading)"
                              : pivot.kind == ValueKind::Boolean ? "fw_cstr_bool(fw_heading)"
                              : pivot.single                     ? "fw_cstr_single(fw_heading)"
                                                                 : "CStr(fw_heading)";
    std::vector<std::string> names;
    if (!schema_.firstColumnTexts("SELECT " + named + " FROM (" + values + ")", &names))
        failWith("Syntax error in TRANSFORM statement.");
    std::vector<Heading> headings;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string place = "(SELECT fw_heading FROM (" + values + ") LIMIT 1 OFFSET " + std::to_string(i) + ")";
        headings.push_back(Heading{names[i], "(" + key + " IS " + place + ")"});
    }
    return headings;
}

// UNION without ALL removes duplicates as DISTINCT does, texts compared without regard
// to case; this query is one when UNION follows outside parentheses.
bool Parser::unionRemovesDuplicates() const
{
    int depth = 0;
    for (size_t i = pos_; i < tokens_.size() && tokens_[i].type != TokenType::End; ++i) {
        const Token &token = tokens_[i];
        if (token.type == TokenType::Symbol && token.value == "(")
            ++depth;
        if (token.type == TokenType::Symbol && token.value == ")" && --depth < 0)
            return false;
        if (depth == 0 && isWord(token, "UNION") && !isWord(tokens_[i + 1], "ALL"))
            return true;
    }
    return false;
}

// Where this query's FROM is, outside parentheses; a make-table query (SELECT ... INTO)
// would write.
size_t Parser::findFrom() const
{
    int depth = 0;
    for (size_t i = pos_; i < tokens_.size(); ++i) {
        const Token &token = tokens_[i];
        if (token.type == TokenType::End)
            break;
        if (token.type == TokenType::Symbol && token.value == "(")
            ++depth;
        if (token.type == TokenType::Symbol && token.value == ")" && --depth < 0)
            break;
        if (depth > 0)
            continue;
        if (isWord(token, "FROM"))
            return i;
        if (isWord(token, "INTO"))
            throw SyntaxError{accessError(AccessError::ReadOnly).text, accessError(AccessError::ReadOnly).sqlState};
        if ((token.type == TokenType::Symbol && token.value == ";") || isWord(token, "WHERE")
            || isWord(token, "GROUP") || isWord(token, "HAVING") || isWord(token, "ORDER") || isWord(token, "UNION"))
            break;
    }
    return std::string::npos;
}

// FROM

std::string Parser::fromClause(Scope *scope)
{
    clauseMessage_ = kFromSyntax;
    std::string sql = joinChain(scope);
    while (acceptSymbol(","))
        sql += ", " + joinChain(scope);
    return sql;
}

std::string Parser::joinChain(Scope *scope)
{
    std::string sql = tablePrimary(scope);
    for (;;) {
        std::string join;
        if (acceptKeyword("INNER")) {
            join = " INNER JOIN ";
        } else if (acceptKeyword("LEFT")) {
            acceptKeyword("OUTER");
            join = " LEFT JOIN ";
        } else if (acceptKeyword("RIGHT")) {
            acceptKeyword("OUTER");
            join = " RIGHT JOIN ";
        } else {
            return sql;
        }
        if (!acceptKeyword("JOIN"))
            failWith(kJoinSyntax);
        const std::string right = tablePrimary(scope);
        if (!acceptKeyword("ON"))
            failWith(kJoinSyntax);
        sql += join + right + " ON " + joinCondition(scope);
    }
}

std::string Parser::tablePrimary(Scope *scope)
{
    const Nested level(this);
    if (acceptSymbol("(")) {
        if (!isKeyword("SELECT")) {
            const std::string inner = joinChain(scope);
            expectSymbol(")");
            return "(" + inner + ")";
        }
        clauseMessage_.clear();
        const Query derived = query(scope->parent);
        clauseMessage_ = kFromSyntax;
        expectSymbol(")");
        Token name;
        const bool named = alias(&name);
        Source source{named ? name.value : std::string(), std::string(), derived.columns};
        source.known = std::none_of(derived.columns.begin(), derived.columns.end(),
                                    [](const OutputColumn &column) { return column.name == "*"; });
        // One without an alias has a name all the same, which the query cannot write but
        // the driver's own clauses (DISTINCTROW's grouping) can.
        source.sqlName = named ? name.text : unwrittenName("fw_derived" + std::to_string(scope->sources.size() + 1));
        scope->sources.push_back(source);
        return "(" + derived.sql + ") AS " + source.sqlName;
    }
    const Token table = peek();
    if (!isName(table))
        failWith(kFromSyntax);
    ++pos_;
    Token name;
    const bool named = alias(&name);
    if (!schema_.canRead(table.value))
        throw accessFailure(AccessError::MissingTable, table.value);
    if (const Refusal *refused = schema_.refusal(table.value))
        throw SyntaxError{refused->message, refused->state.c_str(), refused->nativeError};
    Source source{named ? name.value : table.value, table.value, {}};
    source.known = schema_.hasTable(table.value);
    source.view = schema_.isView(table.value);
    source.sqlName = named ? name.text : table.text;
    scope->sources.push_back(source);
    return table.text + (named ? " AS " + name.text : std::string());
}

std::string Parser::joinCondition(Scope *scope)
{
    scope_ = scope;
    clauseMessage_ = kJoinSyntax;
    const std::string condition = asCondition(topExpression());
    clauseMessage_ = kFromSyntax;
    return condition;
}

bool Parser::alias(Token *out)
{
    const bool explicitAs = acceptKeyword("AS");
    const Token &token = peek();
    if (isName(token)) {
        *out = token;
        ++pos_;
        return true;
    }
    if (explicitAs)
        fail();
    return false;
}

// The select list

std::string Parser::selectList(std::vector<OutputColumn> *columns, bool distinct)
{
    int unnamed = 1000;
    std::string sql = selectItem(columns, &unnamed, distinct);
    while (acceptSymbol(","))
        sql += ", " + selectItem(columns, &unnamed, distinct);
    return sql;
}

// DISTINCT tells texts apart without regard to case, as Access compares them.
std::string Parser::selectItem(std::vector<OutputColumn> *columns, int *unnamed, bool distinct)
{
    if (acceptSymbol("*")) {
        for (Source &source : selectingScope_->sources)
            source.selected = true;
        columns->push_back(OutputColumn{"*"});
        return "*";
    }
    const bool qualifiedStar = (peek().type == TokenType::Name || peek().type == TokenType::QuotedName)
                            && isSymbol(".", 1) && isSymbol("*", 2);
    if (qualifiedStar) {
        for (Source &source : selectingScope_->sources)
            source.selected = source.selected || sameName(source.alias, peek().value);
        const std::string sql = peek().text + ".*";
        pos_ += 3;
        columns->push_back(OutputColumn{"*"});
        return sql;
    }
    const Expr e = topExpression();
    OutputColumn column{e.name, e.kind, e.columnRef && e.bitColumn, std::string(), e.integer};
    std::string sql = e.columnRef ? e.sql : asValue(e);
    column.expression = sql;
    const bool caseless = distinct && e.kind == ValueKind::Text;
    if (caseless)
        sql += collateText();
    if (acceptKeyword("AS")) {
        const Token &name = peek();
        if (name.type != TokenType::Name && name.type != TokenType::QuotedName)
            fail();
        ++pos_;
        column.name = name.value;
        sql += " AS " + name.text;
    } else if (!e.columnRef) {
        // Access names an expression it was not given a name for Expr1000, Expr1001, ...
        column.name = "Expr" + std::to_string((*unnamed)++);
        sql += " AS " + column.name;
    } else if (caseless) {
        sql += " AS [" + column.name + "]";
    }
    columns->push_back(column);
    return sql;
}

// ORDER BY, GROUP BY and TOP

namespace {

// The select item a key of one name means, when it is an alias of the list.
const OutputColumn *aliasedItem(const std::vector<OutputColumn> *selectList, const Token &name)
{
    if (!selectList)
        return nullptr;
    for (const OutputColumn &column : *selectList) {
        if (!column.expression.empty() && sameName(column.name, name.value) && column.expression != name.text)
            return &column;
    }
    return nullptr;
}

} // namespace

// keys: each key as TOP's count ranks the rows by it, outside the select list, so an
// alias there stands for its expression.
std::string Parser::orderKey(ValueKind kind, const std::string &sql) const
{
    if (kind == ValueKind::Date)
        return "fw_serial(" + sql + ")";
    return kind == ValueKind::Text ? sql + collateText() : sql;
}

std::string Parser::orderBy(const Scope *scope, std::vector<std::string> *keys,
                            const std::vector<OutputColumn> *selectList)
{
    acceptKeyword("ORDER");
    if (!acceptKeyword("BY"))
        failWith("Syntax error in ORDER BY clause.");
    scope_ = scope;
    clauseMessage_.clear();
    std::string sql;
    do {
        ordering_ = true;
        const size_t start = pos_;
        const Expr e = topExpression();
        ordering_ = false;
        const OutputColumn *item = pos_ == start + 1 && isName(tokens_[start]) ? aliasedItem(selectList, tokens_[start])
                                                                               : nullptr;
        const bool asWritten = e.columnRef || e.kind == ValueKind::Date || e.kind == ValueKind::Text;
        const std::string key = orderKey(e.kind, asWritten ? e.sql : asValue(e));
        const std::string rankKey = item ? orderKey(item->kind, item->expression) : key;
        const char *direction = acceptKeyword("DESC") ? " DESC" : "";
        if (!*direction)
            acceptKeyword("ASC");
        sql += (keys->empty() ? " ORDER BY " : ", ") + key + direction;
        keys->push_back(rankKey + direction);
    } while (acceptSymbol(","));
    return sql;
}

std::string Parser::groupBy()
{
    if (!acceptKeyword("BY"))
        failWith("Syntax error in GROUP BY clause.");
    clauseMessage_.clear();
    std::string sql;
    do {
        const Expr e = topExpression();
        sql += (sql.empty() ? "" : ", ") + (e.columnRef ? e.sql : asValue(e));
        if (e.kind == ValueKind::Text)
            sql += collateText();
    } while (acceptSymbol(","));
    return sql;
}

// TOP n keeps the rows that rank n or better in the ORDER BY, ties at the boundary
// included; TOP n PERCENT takes n percent of the rows, rounded up. The LIMIT counts
// those rows over the same FROM, WHERE, GROUP BY and HAVING; ? markers are numbered, so
// repeating them binds the same values.
std::string Parser::limitForTop(const Core &core, const std::vector<std::string> &orderKeys) const
{
    if (core.aggregate && !core.grouped)
        return std::string();
    std::string rank = "row_number() OVER ()";
    if (!orderKeys.empty()) {
        rank = "rank() OVER (ORDER BY ";
        for (size_t i = 0; i < orderKeys.size(); ++i)
            rank += (i ? ", " : "") + orderKeys[i];
        rank += ")";
    }
    const std::string rows = core.distinct ? " FROM (" + core.head + " " + core.list + core.tail + ")" : core.tail;
    const std::string bound = core.percent ? "(fw_total * " + core.top + " + 99) / 100" : core.top;
    return " LIMIT (SELECT count(*) FROM (SELECT " + rank + " AS fw_rank, count(*) OVER () AS fw_total" + rows
         + ") WHERE fw_rank <= " + bound + ")";
}

// DISTINCTROW keeps one row per row of the tables the select list draws from, however
// many rows of the other tables it joined: the rows are grouped by those tables' rowids
// (by every column of a derived table or view, which has none). It changes nothing when
// every table of the FROM clause is selected from, as with a single table.
std::string Parser::distinctRowGrouping(const Scope &scope) const
{
    const bool everySource = std::all_of(scope.sources.begin(), scope.sources.end(),
                                         [](const Source &source) { return source.selected; });
    if (everySource)
        return std::string();
    // A source whose columns are not known may be selected from without its name.
    const bool unknownSource = std::any_of(scope.sources.begin(), scope.sources.end(),
                                           [](const Source &source) { return !source.known || source.view; });
    if (unknownSource)
        failWith("DISTINCTROW over a saved query or derived table of SELECT * cannot tell its rows apart.");
    std::string keys;
    for (const Source &source : scope.sources) {
        if (!source.selected)
            continue;
        if (source.hasRowid()) {
            keys += (keys.empty() ? "" : ", ") + source.sqlName + ".rowid";
            continue;
        }
        for (const OutputColumn &column : source.columns)
            keys += (keys.empty() ? "" : ", ") + source.sqlName + ".[" + column.name + "]";
    }
    return keys.empty() ? std::string() : " GROUP BY " + keys;
}

// The rowids First and Last order their rows by: the stored tables of the FROM clause.
std::vector<std::string> Parser::scanOrderRowids() const
{
    std::vector<std::string> rowids;
    if (!scope_)
        return rowids;
    for (const Source &source : scope_->sources) {
        if (source.hasRowid())
            rowids.push_back(source.sqlName + ".rowid");
    }
    return rowids;
}

namespace {

std::vector<ValueKind> kindsOf(const std::vector<OutputColumn> &columns)
{
    std::vector<ValueKind> kinds;
    for (const OutputColumn &column : columns) {
        if (column.name == "*")
            return {};
        kinds.push_back(column.kind);
    }
    return kinds;
}

std::vector<bool> kindsOverridingDeclared(const std::vector<OutputColumn> &columns)
{
    std::vector<bool> overriding;
    for (const OutputColumn &column : columns)
        overriding.push_back(column.branchesDiffer);
    return overriding;
}

std::vector<std::string> namesOf(const std::vector<OutputColumn> &columns)
{
    std::vector<std::string> names;
    for (const OutputColumn &column : columns) {
        if (column.name == "*")
            return {};
        const auto same = [&column](const OutputColumn &other) { return sameName(other.name, column.name); };
        const bool shared = std::count_if(columns.begin(), columns.end(), same) > 1;
        names.push_back(shared && !column.table.empty() ? column.table + "." + column.name : column.name);
    }
    return names;
}

} // namespace

Translation translate(const std::string &statement, const Schema &schema, const std::vector<ValueKind> &parameterKinds)
{
    Translation result;
    const EscapeTranslation escaped = translateEscapes(statement);
    if (!escaped.error.empty()) {
        result.error = escaped.error;
        result.state = "42000";
        result.nativeError = escaped.nativeError;
        return result;
    }
    const std::string &accessSql = escaped.sql;
    TokenizeResult tokens = tokenize(accessSql);
    if (!tokens.error.empty()) {
        result.error = tokens.error;
        result.state = "42000";
        return result;
    }
    try {
        Parser parser(accessSql, std::move(tokens.tokens), schema, parameterKinds);
        const Query query = parser.statement();
        result.sql = query.sql;
        result.parameterColumns = parser.parameterColumns();
        result.columnKinds = kindsOf(query.columns);
        result.columnNames = namesOf(query.columns);
        result.kindOverridesDeclared = kindsOverridingDeclared(query.columns);
    } catch (const SyntaxError &error) {
        result.error = error.message;
        result.state = error.state;
        result.nativeError = error.nativeError;
        result.write = result.state == accessError(AccessError::ReadOnly).sqlState;
    }
    return result;
}

namespace {

class DatabaseSchema : public Schema {
public:
    DatabaseSchema(sqlite3 *db, const Refusals &refused) : db_(db), refused_(refused) {}

    bool hasTable(const std::string &table) const override
    {
        return sqlite3_table_column_metadata(db_, "main", table.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                             nullptr) == SQLITE_OK
               || isView(table);
    }

    bool canRead(const std::string &name) const override { return !typeOfObject(name).empty(); }

    bool isView(const std::string &name) const override { return typeOfObject(name) == "view"; }

    bool firstColumnTexts(const std::string &sql, std::vector<std::string> *out) const override
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            const unsigned char *text = sqlite3_column_text(statement, 0);
            out->push_back(text ? reinterpret_cast<const char *>(text) : "<>");
        }
        sqlite3_finalize(statement);
        return rc == SQLITE_DONE;
    }

    const Refusal *refusal(const std::string &name) const override
    {
        for (const auto &entry : refused_) {
            if (sameName(entry.first, name))
                return &entry.second;
        }
        return nullptr;
    }

    bool column(const std::string &table, const std::string &column, ValueKind *kind) const override
    {
        std::string declaredType;
        if (!declaredTypeOf(table, column, &declaredType))
            return false;
        *kind = kindOfDeclaredType(declaredType.c_str());
        return true;
    }

    bool integerColumn(const std::string &table, const std::string &column) const override
    {
        const SQLSMALLINT type = sqlTypeOf(table, column);
        return type == SQL_INTEGER || type == SQL_SMALLINT || type == SQL_TINYINT || type == SQL_BIGINT;
    }

    bool singleColumn(const std::string &table, const std::string &column) const override
    {
        return sqlTypeOf(table, column) == SQL_REAL;
    }

private:
    sqlite3 *db_;
    const Refusals &refused_;

    // "table", "view", or empty when the database has no object of that name.
    std::string typeOfObject(const std::string &name) const
    {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db_, "SELECT type FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?1 "
                                    "COLLATE NOCASE", -1, &statement, nullptr) != SQLITE_OK)
            return std::string();
        sqlite3_bind_text(statement, 1, name.c_str(), int(name.size()), SQLITE_TRANSIENT);
        std::string type;
        if (sqlite3_step(statement) == SQLITE_ROW)
            type = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return type;
    }

    // A view's column has the declared type of the table column it shows, when it shows one.
    bool declaredTypeOf(const std::string &table, const std::string &column, std::string *out) const
    {
        const char *declaredType = nullptr;
        if (sqlite3_table_column_metadata(db_, "main", table.c_str(), column.c_str(), &declaredType, nullptr, nullptr,
                                          nullptr, nullptr) == SQLITE_OK) {
            *out = declaredType ? declaredType : "";
            return true;
        }
        if (!isView(table))
            return false;
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db_, ("SELECT * FROM " + quotedIdentifier(table)).c_str(), -1, &statement, nullptr)
            != SQLITE_OK)
            return false;
        bool found = false;
        for (int i = 0; i < sqlite3_column_count(statement) && !found; ++i) {
            if (sameName(sqlite3_column_name(statement, i), column)) {
                const char *type = sqlite3_column_decltype(statement, i);
                *out = type ? type : "";
                found = true;
            }
        }
        sqlite3_finalize(statement);
        return found;
    }

    // The ODBC type of the column's declared type; 0 for none.
    SQLSMALLINT sqlTypeOf(const std::string &table, const std::string &column) const
    {
        std::string declaredType;
        if (!declaredTypeOf(table, column, &declaredType))
            return 0;
        const AccessType *type = accessTypeForDeclared(declaredType.c_str());
        return type ? type->sqlType : 0;
    }
};

} // namespace

Translation translate(const std::string &accessSql, sqlite3 *db, const std::vector<ValueKind> &parameterKinds,
                      const Refusals &refused)
{
    return translate(accessSql, DatabaseSchema(db, refused), parameterKinds);
}

} // namespace sql
} // namespace accessodbc
