#include "storage/jet/jet_storage.h"
#include "storage/jet/jet_handles.h"
#include "storage/jet/jet_header.h"
#include "storage/jet/jet_saved_queries.h"
#include "storage/jet/jet_table_copier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace accessodbc {
namespace {

using jet::MdbPointer;

// A Jet database cannot grow past 2 GB; anything larger is not one.
const off_t kLargestJetFile = off_t(2) << 30;

// The first pages libmdb reads before it finds any table: the header, and the
// definition of the system catalog on page 2.
const size_t kLeastPages = 3;

JetOpenResult failed(OpenFailure kind, const std::string &detail = std::string())
{
    JetOpenResult result;
    result.failure = kind;
    result.detail = detail;
    return result;
}

bool readWholeFile(const std::string &path, std::vector<unsigned char> *bytes, std::string *detail)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *detail = std::strerror(errno);
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestJetFile;
    if (ok) {
        bytes->resize(size_t(info.st_size));
        size_t done = 0;
        while (ok && done < bytes->size()) {
            const ssize_t got = ::read(fd, bytes->data() + done, bytes->size() - done);
            if (got < 0 && errno == EINTR)
                continue;
            ok = got > 0;
            done += ok ? size_t(got) : 0;
        }
    }
    if (!ok)
        *detail = "the file could not be read whole";
    ::close(fd);
    return ok;
}

std::string fileProblem(const std::vector<unsigned char> &bytes, jet::Kind kind)
{
    const size_t page = jet::pageSize(kind);
    if (bytes.size() < kLeastPages * page)
        return "the file is too short to be a Jet database";
    if (bytes.size() % page != 0)
        return "the file is truncated: its length is not a whole number of pages";
    return std::string();
}

bool refusedByEngine(jet::Kind kind, AccessEngine engine) { return kind == jet::Kind::Ace && engine == AccessEngine::Jet; }

JetOpenResult engineRefusal()
{
    return failed(OpenFailure::UnsupportedDatabase, "An Access 2007 or later database (.accdb) cannot be read; "
                                                    "save it in the Access 2002-2003 format (.mdb)");
}

// Everything that can be told from the first page and the file's length, before libmdb
// sees any of it.
JetOpenResult checkHeader(const std::vector<unsigned char> &bytes, const std::string &password,
                          AccessEngine engine, jet::Header *header)
{
    const jet::Kind kind = jet::recognise(bytes.data(), bytes.size());
    if (refusedByEngine(kind, engine))
        return engineRefusal();
    if (kind == jet::Kind::UnknownJetVersion)
        return failed(OpenFailure::UnsupportedDatabase, "The Jet version of the database is unknown (version byte "
                                                            + std::to_string(bytes[jet::kVersionOffset]) + ")");
    if (kind == jet::Kind::NotJet)
        return failed(OpenFailure::UnrecognisedFormat);
    const std::string problem = fileProblem(bytes, kind);
    if (!problem.empty())
        return failed(OpenFailure::UnsupportedDatabase, "The database is damaged: " + problem);
    if (!jet::readHeader(bytes.data(), bytes.size(), kind, header))
        return failed(OpenFailure::UnsupportedDatabase, "The database header is damaged");
    if (kind == jet::Kind::Ace && jet::pagesEncrypted(bytes.data(), bytes.size(), *header))
        return failed(OpenFailure::UnsupportedDatabase, "The database is encrypted with a password, which "
                                                        "cannot be read here; remove its password in Access");
    return admitted(*header, password, engine);
}

JetOpenResult copyTables(std::vector<unsigned char> &bytes, const jet::Header &header, const std::string &databaseUri)
{
    MdbPointer mdb(mdb_open_buffer(bytes.data(), bytes.size(), MDB_NOFLAGS));
    if (!mdb)
        return failed(OpenFailure::UnsupportedDatabase, "The database cannot be read");

    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(databaseUri.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                                   nullptr);
    SqlitePointer db(raw);
    if (rc != SQLITE_OK)
        return failed(OpenFailure::OutOfMemory);
    // Large sorts stay in memory too: nothing of the database is written anywhere.
    if (!executeSql(db.get(), "PRAGMA temp_store = MEMORY", nullptr) || !executeSql(db.get(), "BEGIN", nullptr))
        return failed(OpenFailure::OutOfMemory);
    std::string detail;
    jet::SavedQueryObjects queries;
    if (!jet::copyUserTables(mdb.get(), db.get(), header, &queries, &detail))
        return failed(OpenFailure::UnsupportedDatabase, detail);
    if (!executeSql(db.get(), "COMMIT", nullptr))
        return failed(OpenFailure::OutOfMemory);

    JetOpenResult result;
    result.savedQueries = jet::readSavedQueries(mdb.get(), header, queries);
    result.header = header;
    result.db = db.release();
    return result;
}

JetOpenResult openImageInto(std::vector<unsigned char> &bytes, const std::string &password, AccessEngine engine,
                            const std::string &databaseUri)
{
    jet::Header header;
    JetOpenResult refused = checkHeader(bytes, password, engine, &header);
    if (refused.failure != OpenFailure::None)
        return refused;
    return copyTables(bytes, header, databaseUri);
}

} // namespace

JetOpenResult admitted(const jet::Header &header, const std::string &password, AccessEngine engine)
{
    if (refusedByEngine(header.kind, engine))
        return engineRefusal();
    if (!jet::passwordMatches(header, password))
        return failed(OpenFailure::WrongPassword);
    return JetOpenResult();
}

JetOpenResult openJetFile(const std::string &path, const std::string &password, AccessEngine engine,
                          const std::string &databaseUri)
{
    std::vector<unsigned char> bytes;
    std::string detail;
    if (!readWholeFile(path, &bytes, &detail))
        return failed(OpenFailure::Unreadable, detail);
    return openImageInto(bytes, password, engine, databaseUri);
}

JetOpenResult openJetImage(std::vector<unsigned char> &bytes, const std::string &password, AccessEngine engine)
{
    return openImageInto(bytes, password, engine, kPrivateDatabase);
}

} // namespace accessodbc
