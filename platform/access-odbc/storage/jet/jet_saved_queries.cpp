#include "storage/jet/jet_saved_queries.h"
#include "storage/jet/jet_table_copier.h"
#include "storage/sqlite_support.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>

namespace accessodbc {
namespace jet {
namespace {

// What each row of MSysQueries holds, by its Attribute. The parameters (2) are not read:
// a view takes no values, and the names they declare, left unknown, make the query's
// translation ask for them (Too few parameters), as Access's driver does.
enum Attribute {
    QueryType = 1,
    Options = 3,
    ExternalDatabase = 4,
    InputTable = 5,
    OutputColumn = 6,
    Join = 7,
    Criteria = 8,
    Grouping = 9,
    GroupCriteria = 10,
    Ordering = 11,
};

// Attribute 1's Flag.
enum QueryKind { Select = 1, Crosstab = 6, Union = 9 };

// Attribute 3's Flag.
const int kAllFields = 1;
const int kDistinct = 2;
const int kDistinctRow = 8;
const int kTop = 16;
const int kPercent = 32;

// Attribute 6's Flag in a crosstab.
const int kValue = 0;
const int kColumnHeading = 1;

struct QueryRow {
    int attribute = 0;
    std::string expression;
    int flag = 0;
    std::string name1;
    std::string name2;
};

struct Unreadable {
    std::string reason;
};

std::string bracketed(const std::string &name) { return "[" + name + "]"; }

std::vector<const QueryRow *> rowsOf(const std::vector<QueryRow> &rows, int attribute)
{
    std::vector<const QueryRow *> found;
    for (const QueryRow &row : rows) {
        if (row.attribute == attribute)
            found.push_back(&row);
    }
    return found;
}

int flagOf(const std::vector<QueryRow> &rows, int attribute)
{
    const std::vector<const QueryRow *> found = rowsOf(rows, attribute);
    return found.empty() ? 0 : found.front()->flag;
}

std::string joined(const std::vector<std::string> &items, const char *separator)
{
    std::string text;
    for (const std::string &item : items)
        text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string withAlias(const QueryRow &row)
{
    return row.name1.empty() ? row.expression : row.expression + " AS " + bracketed(row.name1);
}

// A table, a saved query or a derived table, and the name the query's expressions use for it.
struct FromPart {
    std::vector<std::string> names;
    std::string sql;
};

std::string inputSql(const QueryRow &row)
{
    const std::string alias = row.name2.empty() ? std::string() : " AS " + bracketed(row.name2);
    if (!row.expression.empty())
        return "(" + row.expression + ")" + alias;
    return bracketed(row.name1) + alias;
}

std::vector<FromPart>::iterator partNamed(std::vector<FromPart> &parts, const std::string &name)
{
    return std::find_if(parts.begin(), parts.end(), [&name](const FromPart &part) {
        return std::any_of(part.names.begin(), part.names.end(),
                           [&name](const std::string &other) { return sqlite3_stricmp(other.c_str(), name.c_str()) == 0; });
    });
}

// The tables, joined as the join rows say (1 inner, 2 left, 3 right). A second condition
// between tables already joined is part of the criteria when the join is inner.
std::string fromClause(const std::vector<QueryRow> &rows, std::vector<std::string> *extraCriteria)
{
    std::vector<FromPart> parts;
    for (const QueryRow *row : rowsOf(rows, InputTable))
        parts.push_back(FromPart{{row->name2.empty() ? row->name1 : row->name2}, inputSql(*row)});
    static const char *const joinWords[] = {"", " INNER JOIN ", " LEFT JOIN ", " RIGHT JOIN "};
    for (const QueryRow *join : rowsOf(rows, Join)) {
        auto left = partNamed(parts, join->name1);
        auto right = partNamed(parts, join->name2);
        if (left == parts.end() || right == parts.end() || join->flag < 1 || join->flag > 3)
            throw Unreadable{"a join names a table the query does not have"};
        if (left == right) {
            if (join->flag != 1)
                throw Unreadable{"two outer joins between the same tables"};
            extraCriteria->push_back("(" + join->expression + ")");
            continue;
        }
        left->sql = "(" + left->sql + joinWords[join->flag] + right->sql + " ON " + join->expression + ")";
        left->names.insert(left->names.end(), right->names.begin(), right->names.end());
        parts.erase(right);
    }
    std::vector<std::string> items;
    for (const FromPart &part : parts)
        items.push_back(part.sql);
    return joined(items, ", ");
}

std::string criteria(const std::vector<QueryRow> &rows, int attribute, const std::vector<std::string> &more)
{
    std::vector<std::string> conditions;
    for (const QueryRow *row : rowsOf(rows, attribute))
        conditions.push_back(row->expression);
    conditions.insert(conditions.end(), more.begin(), more.end());
    return joined(conditions, " AND ");
}

std::string orderBy(const std::vector<QueryRow> &rows)
{
    std::vector<std::string> keys;
    for (const QueryRow *row : rowsOf(rows, Ordering))
        keys.push_back(row->expression + (row->name1 == "D" ? " DESC" : ""));
    return keys.empty() ? std::string() : " ORDER BY " + joined(keys, ", ");
}

// FROM to HAVING; a crosstab groups by its row headings alone, the column heading being PIVOT's.
std::string tail(const std::vector<QueryRow> &rows, bool crosstab)
{
    std::vector<std::string> extra;
    std::string sql = " FROM " + fromClause(rows, &extra);
    const std::string where = criteria(rows, Criteria, extra);
    if (!where.empty())
        sql += " WHERE " + where;
    std::vector<std::string> groups;
    for (const QueryRow *row : rowsOf(rows, Grouping)) {
        if (!crosstab || row->flag != kColumnHeading)
            groups.push_back(row->expression);
    }
    if (!groups.empty())
        sql += " GROUP BY " + joined(groups, ", ");
    const std::string having = criteria(rows, GroupCriteria, {});
    if (!having.empty())
        sql += " HAVING " + having;
    return sql;
}

std::string predicate(int options, const std::vector<QueryRow> &rows)
{
    std::string sql;
    if (options & kDistinct)
        sql += " DISTINCT";
    if (options & kDistinctRow)
        sql += " DISTINCTROW";
    if (options & kTop) {
        const std::vector<const QueryRow *> option = rowsOf(rows, Options);
        sql += " TOP " + option.front()->name1 + ((options & kPercent) ? " PERCENT" : "");
    }
    return sql;
}

std::string selectStatement(const std::vector<QueryRow> &rows)
{
    const int options = flagOf(rows, Options);
    std::vector<std::string> columns;
    for (const QueryRow *row : rowsOf(rows, OutputColumn))
        columns.push_back(withAlias(*row));
    if ((options & kAllFields) || columns.empty())
        columns.insert(columns.begin(), "*");
    return "SELECT" + predicate(options, rows) + " " + joined(columns, ", ") + tail(rows, false) + orderBy(rows);
}

// TRANSFORM value SELECT row headings ... GROUP BY row headings PIVOT column heading.
std::string crosstabStatement(const std::vector<QueryRow> &rows)
{
    std::string value, heading;
    std::vector<std::string> rowHeadings;
    for (const QueryRow *row : rowsOf(rows, OutputColumn)) {
        if (row->flag == kValue)
            value = withAlias(*row);
        else if (row->flag == kColumnHeading)
            heading = row->expression;
        else
            rowHeadings.push_back(withAlias(*row));
    }
    if (value.empty() || heading.empty())
        throw Unreadable{"a crosstab without its value or column heading"};
    return "TRANSFORM " + value + " SELECT" + predicate(flagOf(rows, Options), rows) + " "
         + joined(rowHeadings, ", ") + tail(rows, true) + orderBy(rows) + " PIVOT " + heading;
}

// The parts of a union are kept as their own statements, in the input rows.
std::string unionStatement(const std::vector<QueryRow> &rows)
{
    std::vector<std::string> parts;
    for (const QueryRow *row : rowsOf(rows, InputTable))
        parts.push_back(row->expression);
    const bool all = (flagOf(rows, Options) & kDistinct) == 0;
    return joined(parts, all ? " UNION ALL " : " UNION ") + orderBy(rows);
}

SavedQuery statementOf(const std::string &name, const std::vector<QueryRow> &rows)
{
    SavedQuery query;
    query.name = name;
    try {
        if (!rowsOf(rows, ExternalDatabase).empty())
            throw Unreadable{"it reads another database"};
        // Access 2007 and later keep no kind for a select query.
        switch (rowsOf(rows, QueryType).empty() ? int(Select) : flagOf(rows, QueryType)) {
        case Select:
            query.statement = selectStatement(rows);
            break;
        case Crosstab:
            query.statement = crosstabStatement(rows);
            break;
        case Union:
            query.statement = unionStatement(rows);
            break;
        default:
            query.action = true;
        }
    } catch (const Unreadable &unreadable) {
        query.unreadable = unreadable.reason;
    }
    return query;
}

std::string columnText(sqlite3_stmt *statement, int column)
{
    const unsigned char *text = sqlite3_column_text(statement, column);
    return text ? reinterpret_cast<const char *>(text) : std::string();
}

// MSysQueries copied as any table is, into a database of its own, and read in its order.
std::map<int32_t, std::vector<QueryRow>> rowsByQuery(MdbHandle *mdb, const Header &header, unsigned long page)
{
    std::map<int32_t, std::vector<QueryRow>> rows;
    sqlite3 *raw = nullptr;
    sqlite3_open_v2(":memory:", &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    SqlitePointer scratch(raw);
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = page;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", "MSysQueries");
    std::string detail;
    sqlite3_stmt *read = nullptr;
    if (!scratch || !TableCopier(mdb, scratch.get(), header).copy(&entry, &detail)
        || sqlite3_prepare_v2(scratch.get(),
                              "SELECT ObjectId, Attribute, Expression, Flag, Name1, Name2 FROM MSysQueries ORDER BY rowid",
                              -1, &read, nullptr) != SQLITE_OK)
        return rows;
    while (sqlite3_step(read) == SQLITE_ROW) {
        QueryRow row{sqlite3_column_int(read, 1), columnText(read, 2), sqlite3_column_int(read, 3),
                     columnText(read, 4), columnText(read, 5)};
        rows[int32_t(sqlite3_column_int(read, 0))].push_back(row);
    }
    sqlite3_finalize(read);
    return rows;
}

} // namespace

std::vector<SavedQuery> readSavedQueries(MdbHandle *mdb, const Header &header, const SavedQueryObjects &objects)
{
    std::vector<SavedQuery> queries;
    if (objects.rowsPage == 0 || objects.queries.empty())
        return queries;
    const std::map<int32_t, std::vector<QueryRow>> rows = rowsByQuery(mdb, header, objects.rowsPage);
    for (const auto &object : objects.queries) {
        const auto found = rows.find(object.first);
        if (found != rows.end())
            queries.push_back(statementOf(object.second, found->second));
    }
    return queries;
}

} // namespace jet
} // namespace accessodbc
