#pragma once

// The translator's parser, shared by its two halves: queries and their clauses
// (sql_translate.cpp) and expressions with Access's functions (sql_expressions.cpp).
// Each parse step returns the SQLite text of what it read.

#include "sql/access_errors.h"
#include "sql/access_functions.h"
#include "sql/sql_tokens.h"
#include "sql/sql_translate.h"

#include <string>
#include <vector>

namespace accessodbc {
namespace sql {

struct SyntaxError {
    std::string message;
    const char *state = "42000";
    int nativeError = accessError(AccessError::QueryRefused).nativeError;
};

// One of Access's own refusals, with its SQLSTATE and native number.
SyntaxError accessFailure(AccessError error, const std::string &argument);

struct Expr {
    std::string sql;
    ValueKind kind = ValueKind::Unknown;
    bool condition = false; // SQLite's truth value, 1/0/NULL, where Access has -1/0/NULL
    bool bitColumn = false; // a Yes/No column, stored as 1/0 where Access has -1/0
    bool columnRef = false; // a bare column: keeps its declared type in a result
    bool integer = false;   // a whole number (a literal, a Byte, Integer or Long column)
    bool single = false;    // a Single: its text has a Single's digits
    std::string name;       // the column's name, for a bare column
    std::string table;      // the stored table of a bare column, where it has one
    int parameter = 0;      // the number of a bare ? marker
};

struct OutputColumn {
    std::string name;
    ValueKind kind = ValueKind::Unknown;
    bool bitColumn = false;
    std::string table = std::string(); // a stored table's column: that table
    bool integer = false;
    bool single = false;
    // A union's column whose branches differ in kind: typed by the kind they share, not by
    // the first branch's declared type, which is all SQLite reports.
    bool branchesDiffer = false;
    std::string expression = std::string(); // a select item's SQL without its alias
};

// A table or derived table in a FROM clause.
struct Source {
    std::string alias; // the name the query uses for it
    std::string table; // a stored table; empty for a derived table
    std::vector<OutputColumn> columns; // a derived table's columns
    bool known = true; // every column is known: a stored table, or a derived table without *
    std::string sqlName = std::string(); // the alias or table as written, brackets and all
    bool selected = false; // the select list names one of its columns

    bool view = false; // a saved query
    // A stored table's rows have rowids; a view's and a derived table's do not.
    bool hasRowid() const { return !table.empty() && known && !view; }
};

struct Scope {
    std::vector<Source> sources;
    const Scope *parent = nullptr;
};

struct Query {
    std::string sql;
    std::vector<OutputColumn> columns;
};

class Parser {
public:
    Parser(const std::string &text, std::vector<Token> tokens, const Schema &schema,
           const std::vector<ValueKind> &parameterKinds);

    Query statement();
    const std::vector<ParameterColumn> &parameterColumns() const { return parameterColumns_; }

private:
    const std::string &text_;
    std::vector<Token> tokens_;
    const Schema &schema_;
    std::vector<int> parameterNumbers_;
    std::vector<ValueKind> parameterKinds_;
    size_t pos_ = 0;
    size_t expressionStart_ = 0;
    std::string clauseMessage_; // the message for a syntax error in the clause being read
    const Scope *scope_ = nullptr;
    bool sawAggregate_ = false;
    int nesting_ = 0;
    bool ordering_ = false; // reading ORDER BY, which may name the select list's aliases
    std::vector<std::string> unknownNames_; // names no table in scope has: Access's parameters
    std::vector<ParameterColumn> parameterColumns_;
    // PARAMETERS' names with the kinds declared for them: the values of markers 1, 2, ...
    // in that order, and the ? markers are numbered after them.
    std::vector<std::pair<std::string, ValueKind>> declaredParameters_;
    std::string pivotFilter_; // reading a crosstab's value for one column heading: its rows
    Scope *selectingScope_ = nullptr; // reading this scope's select list: note which sources it names

    // Counts one level of nesting for as long as it lives; too deep a statement fails
    // instead of exhausting the stack.
    class Nested {
    public:
        explicit Nested(Parser *parser);
        ~Nested() { --parser_->nesting_; }
        Nested(const Nested &) = delete;
        Nested &operator=(const Nested &) = delete;

    private:
        Parser *parser_;
    };

    // Tokens
    const Token &peek(size_t ahead = 0) const;
    bool isKeyword(const char *word, size_t ahead = 0) const;
    bool isSymbol(const char *symbol, size_t ahead = 0) const;
    bool acceptKeyword(const char *word);
    bool acceptSymbol(const char *symbol);
    void expectSymbol(const char *symbol);
    bool isReserved(const Token &token) const;
    bool isName(const Token &token) const;
    std::string unwrittenName(const std::string &base) const;
    bool endsItem(size_t index) const;
    [[noreturn]] void fail() const;
    [[noreturn]] void failWith(const std::string &message) const;
    std::string itemText(size_t start) const;

    // Queries (sql_translate.cpp)
    void parametersClause();
    void refuseUnknownNames() const;
    Query crosstab();
    struct Heading;
    std::vector<Heading> pivotHeadings(const Expr &pivot, const std::string &fromWhere);
    std::vector<Heading> headingsFromData(const Expr &pivot, const std::string &fromWhere);
    Query query(const Scope *parent);
    struct Core;
    Core selectCore(Scope *scope, bool caselessText);
    bool unionRemovesDuplicates() const;
    size_t findFrom() const;
    std::string fromClause(Scope *scope);
    std::string joinChain(Scope *scope);
    std::string tablePrimary(Scope *scope);
    std::string joinCondition(Scope *scope);
    bool alias(Token *out);
    std::string selectList(std::vector<OutputColumn> *columns, bool distinct);
    std::string selectItem(std::vector<OutputColumn> *columns, int *unnamed, bool distinct);
    std::string orderKey(ValueKind kind, const std::string &sql) const;
    std::string orderBy(const Scope *scope, std::vector<std::string> *keys,
                        const std::vector<OutputColumn> *selectList = nullptr);
    std::string groupBy();
    std::string limitForTop(const Core &core, const std::vector<std::string> &orderKeys) const;
    std::string distinctRowGrouping(const Scope &scope) const;
    std::vector<std::string> scanOrderRowids() const;

    // Expressions (sql_expressions.cpp)
    Expr topExpression();
    Expr logicalOperator(const char *keyword, Expr (Parser::*operand)());
    Expr implication();
    Expr equivalence();
    Expr exclusion();
    Expr disjunction();
    Expr conjunction();
    Expr negation();
    Expr comparison();
    Expr concatenation();
    Expr additive();
    Expr modulo();
    Expr integerDivision();
    Expr multiplicative();
    Expr unary();
    Expr power();
    Expr primary();
    Expr parenthesised();
    Expr literal();
    Expr dateLiteral();
    Expr reference();
    Expr functionCall();
    Expr marker(int number, ValueKind declared) const;
    std::string aggregateFilter() const;
    std::vector<Expr> arguments();
    Expr subquery();
    Expr inList(const Expr &left, bool negated);
    Expr between(const Expr &left, bool negated);
    Expr like(const Expr &left, bool negated);
    Expr quantified(const Expr &left, const char *op);
    OutputColumn lookUpColumn(const std::string &qualifier, const std::string &column);
    void noteUnknownName(const std::string &name, bool everySourceKnown);
    bool columnOf(const Source &source, const std::string &column, OutputColumn *out) const;
    void noteParameterBeside(const Expr &marker, const Expr &other);
};

// The clause that makes SQLite compare, group and sort text as Access does.
const char *collateText();

// The comparison left op right, as Access compares: dates as dates, text as its sort order has it.
Expr compared(const Expr &left, const char *op, const Expr &right);

// How a value reads where Access wants a value, a condition or text.
std::string asValue(const Expr &e);
std::string asCondition(const Expr &e);
std::string asText(const Expr &e);

} // namespace sql
} // namespace accessodbc
