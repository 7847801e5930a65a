#include "store/snapshotinsert.h"

#include "store/localdatabase.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#ifdef FERNWICK_SNAPSHOT_MAY_USE_SQLITE_HANDLE
#include "logging/utf8write.h"

#include <dlfcn.h>
#include <sqlite3.h>

#include <vector>
#endif

// One prepared insert, on whichever way the rows go.
class SnapshotInsert::Statement
{
public:
    virtual ~Statement() = default;
    // False with `error` set when the statement does not compile.
    virtual bool prepare(const QString &text, QString *error) = 0;
    virtual bool insert(const QStringList &values, const QString &stamp, QString *error) = 0;
    virtual bool onSqliteHandle() const = 0;
};

namespace {

// SQLite takes a leading U+FEFF or U+FFFE of UTF-16 text for a byte-order mark: it drops the
// one and reads the rest byte-swapped after the other. A mark of its own in front is what it
// drops then, so the text is stored exactly as it is.
QString utf16ForSqlite(const QString &text)
{
    const ushort first = text.isEmpty() ? 0 : text.at(0).unicode();
    return first == 0xfeff || first == 0xfffe ? QChar(0xfeff) + text : text;
}

// The toolkit's binding stores a null text as NULL, so it is bound as the empty text.
//
// The values are bound by name: bound by position, the toolkit makes up a name for every value
// of every row, two allocations each, which under Wine's heap cost more than the insert's own
// work. The statement's "?" placeholders (the snapshot's statements have no "?" elsewhere)
// become ":1", ":2" and so on, which SQLite numbers the same.
class QueryStatement : public SnapshotInsert::Statement
{
public:
    explicit QueryStatement(const QSqlDatabase &db)
        : query(db)
    {
    }
    bool prepare(const QString &text, QString *error) override
    {
        return query.prepare(withNamedPlaceholders(text)) || fail(error);
    }
    bool insert(const QStringList &values, const QString &stamp, QString *error) override
    {
        int position = 0;
        for (const QString &value : values)
            bind(position++, value.isNull() ? QStringLiteral("") : utf16ForSqlite(value));
        if (!stamp.isNull())
            bind(position, utf16ForSqlite(stamp));
        return query.exec() || fail(error);
    }
    bool onSqliteHandle() const override { return false; }

private:
    // A value past the placeholders is bound by position, which the toolkit refuses at the
    // insert as a parameter count mismatch.
    void bind(int position, const QString &value)
    {
        if (position < names.size())
            query.bindValue(names.at(position), value);
        else
            query.bindValue(position, value);
    }

    QString withNamedPlaceholders(const QString &text)
    {
        QString named;
        for (const QChar c : text) {
            if (c != QLatin1Char('?')) {
                named += c;
                continue;
            }
            names << QLatin1Char(':') + QString::number(names.size() + 1);
            named += names.last();
        }
        return named;
    }

    bool fail(QString *error)
    {
        *error = LocalDatabase::errorText(query.lastError());
        return false;
    }

    QSqlQuery query;
    QStringList names; // of the placeholders, in order
};

#ifdef FERNWICK_SNAPSHOT_MAY_USE_SQLITE_HANDLE
// Whether `driver` runs on the SQLite library this program links. The driver's plugin is
// the file that holds its class's meta-object; asked for sqlite3_libversion, the plugin
// answers with the function of the library it was linked against, or with its own copy, or
// with nothing when its copy is hidden. Only the first is this program's.
bool runsOnLinkedSqlite(const QSqlDriver *driver)
{
    Dl_info plugin;
    if (!dladdr(driver->metaObject(), &plugin) || !plugin.dli_fname)
        return false;
    void *loaded = dlopen(plugin.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (!loaded)
        return false;
    const void *driversOwn = dlsym(loaded, "sqlite3_libversion");
    dlclose(loaded);
    return driversOwn == reinterpret_cast<const void *>(&sqlite3_libversion);
}

// The driver is one plugin for the whole run, so it is asked once.
bool sharesTheLinkedSqlite(const QSqlDriver *driver)
{
    static const bool shared = runsOnLinkedSqlite(driver);
    return shared;
}

sqlite3 *linkedSqliteHandle(const QSqlDatabase &db)
{
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 || !sharesTheLinkedSqlite(db.driver()))
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

// Text without surrogates has exactly one UTF-8 form, written at `out`, which has room for
// three bytes a unit; the end of what was written is returned. Null for text with a
// surrogate, whose stored form is left to SQLite's own reading of UTF-16, as the toolkit
// leaves it.
char *encodeUtf8(const QString &text, char *out)
{
    for (const QChar ch : text) {
        if (ch.isSurrogate())
            return nullptr;
        out = utf8write::codePoint(out, ch.unicode());
    }
    return out;
}

class HandleStatement : public SnapshotInsert::Statement
{
public:
    explicit HandleStatement(sqlite3 *handle)
        : handle(handle)
    {
    }
    ~HandleStatement() override { sqlite3_finalize(statement); }
    bool prepare(const QString &text, QString *error) override
    {
        const int result = sqlite3_prepare16_v2(handle, text.utf16(), int(text.size() * sizeof(ushort)),
                                                &statement, nullptr);
        return result == SQLITE_OK || fail(error);
    }
    bool insert(const QStringList &values, const QString &stamp, QString *error) override
    {
        reserveUtf8(values, stamp);
        char *free = utf8.data();
        int position = 0;
        for (const QString &value : values) {
            if (!bind(++position, value, &free))
                return fail(error);
        }
        if (!stamp.isNull() && !bind(++position, stamp, &free))
            return fail(error);
        const int result = sqlite3_step(statement);
        // Resetting keeps the step's error code and text, and frees the statement for the next row.
        sqlite3_reset(statement);
        return result == SQLITE_DONE || fail(error);
    }
    bool onSqliteHandle() const override { return true; }

private:
    // Room for the whole row's UTF-8 at once, so that no value bound before the step moves.
    // Never empty: an empty value is bound at a real address, which SQLite keeps apart from NULL.
    void reserveUtf8(const QStringList &values, const QString &stamp)
    {
        size_t units = size_t(stamp.size());
        for (const QString &value : values)
            units += size_t(value.size());
        if (utf8.size() < 3 * units + 1)
            utf8.resize(3 * units + 1);
    }

    // Bound as UTF-8 where that is the file's form already: SQLite then neither converts nor
    // copies the value before the step. The text stays where it is until the step.
    bool bind(int position, const QString &value, char **free)
    {
        int result;
        if (char *end = encodeUtf8(value, *free)) {
            result = sqlite3_bind_text(statement, position, *free, int(end - *free), SQLITE_STATIC);
            *free = end;
        } else {
            const QString text = utf16ForSqlite(value);
            const int bytes = int(text.size() * sizeof(ushort));
            result = sqlite3_bind_text16(statement, position, text.utf16(), bytes, SQLITE_TRANSIENT);
        }
        return result == SQLITE_OK;
    }

    bool fail(QString *error)
    {
        *error = QString::fromUtf8(sqlite3_errmsg(handle));
        return false;
    }

    sqlite3 *handle;
    sqlite3_stmt *statement = nullptr;
    // The row's values in UTF-8, one after another; kept from row to row.
    std::vector<char> utf8;
};

// Read once, so that a test can run the whole program on the QSqlQuery way.
bool throughQueryForced()
{
    static const bool forced = qEnvironmentVariableIsSet("FERNWICK_SNAPSHOT_THROUGH_QUERY");
    return forced;
}
#endif

std::unique_ptr<SnapshotInsert::Statement> statementFor(const QSqlDatabase &db, SnapshotInsert::Route route)
{
#ifdef FERNWICK_SNAPSHOT_MAY_USE_SQLITE_HANDLE
    if (route == SnapshotInsert::Route::Fastest && !throughQueryForced()) {
        if (sqlite3 *handle = linkedSqliteHandle(db))
            return std::make_unique<HandleStatement>(handle);
    }
#else
    Q_UNUSED(route)
#endif
    return std::make_unique<QueryStatement>(db);
}

}

SnapshotInsert::SnapshotInsert(Route route)
    : route(route)
{
}

SnapshotInsert::~SnapshotInsert() = default;

bool SnapshotInsert::prepare(const QSqlDatabase &db, const QString &text)
{
    release();
    error.clear();
    if (!db.isOpen()) {
        error = QStringLiteral("the snapshot file is not open");
        return false;
    }
    statement = statementFor(db, route);
    if (!statement->prepare(text, &error)) {
        release();
        return false;
    }
    return true;
}

bool SnapshotInsert::isPrepared() const
{
    return statement != nullptr;
}

bool SnapshotInsert::insert(const QStringList &values, const QString &stamp)
{
    return statement->insert(values, stamp, &error);
}

void SnapshotInsert::release()
{
    statement.reset();
}

bool SnapshotInsert::onSqliteHandle() const
{
    return statement && statement->onSqliteHandle();
}
