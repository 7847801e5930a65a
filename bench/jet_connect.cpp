// A first connection to a Jet file against a second one to the same unchanged file while
// the first is open, through unixODBC: the first copies the file's tables into memory, the
// second reads that copy. They alternate round by round (every connection is closed at the
// end of a round, so each round's first connect copies the file again); the table gives
// each one's median. Memory is measured in this process, as RSS and as what SQLite holds
// (sqlite3_memory_used: the driver uses this process's SQLite): once the driver is loaded
// (one connection made and closed first), with two connections open, once all are closed,
// and then once the C library has handed its free memory back to the system (malloc_trim).
//
// usage: bench_jet_connect [ROUNDS=9] [JET_FILE]
// Without a file it reads a large Jet 4 file it makes of the sample DateTestDatabase.mdb
// (below), about 35 MB.

#include "fernwick_driver_names.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

const size_t kPage = 4096;

// DateTestDatabase.mdb made large: the one data page of its table DateTest (page 20, six
// rows, its definition on page 18) is repeated at the end of the file, and the table's usage
// map (row 0 of page 19, 69 bytes: a bitmap of pages 0 to 511) is replaced by one that
// points to a bitmap page (type 5, its bits from byte 4) naming page 20 and every copy; the
// definition's row count (at byte 16) counts the copies' rows.
const size_t kDefinitionPage = 18, kMapPage = 19, kMapRowOffset = 4027, kMapRowLength = 69, kDataPage = 20;
const unsigned kRowsPerPage = 6;

void putLittleEndian32(std::vector<unsigned char> *bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        (*bytes)[at + size_t(i)] = static_cast<unsigned char>(value >> (8 * i));
}

// The rows the table then holds.
unsigned makeLargeJet4File(const std::string &sample, size_t copies, const std::string &path)
{
    std::ifstream in(sample, std::ios::binary);
    std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() != 67 * kPage || bytes[kDefinitionPage * kPage] != 2 || bytes[kDataPage * kPage] != 1) {
        std::fprintf(stderr, "bench_jet_connect: %s is not the DateTestDatabase.mdb this bench knows\n", sample.c_str());
        std::exit(1);
    }
    const std::vector<unsigned char> dataPage(bytes.begin() + long(kDataPage * kPage),
                                              bytes.begin() + long((kDataPage + 1) * kPage));
    std::vector<unsigned char> bitmap(kPage, 0);
    bitmap[0] = 5;
    bitmap[1] = 1;
    const auto mark = [&bitmap](size_t page) { bitmap[4 + page / 8] |= static_cast<unsigned char>(1u << (page % 8)); };
    mark(kDataPage);
    for (size_t i = 0; i < copies; ++i) {
        mark(bytes.size() / kPage);
        bytes.insert(bytes.end(), dataPage.begin(), dataPage.end());
    }
    const size_t bitmapPage = bytes.size() / kPage;
    bytes.insert(bytes.end(), bitmap.begin(), bitmap.end());
    const size_t mapRow = kMapPage * kPage + kMapRowOffset;
    std::fill(bytes.begin() + long(mapRow), bytes.begin() + long(mapRow + kMapRowLength), 0);
    bytes[mapRow] = 1; // a map of bitmap pages
    putLittleEndian32(&bytes, mapRow + 1, uint32_t(bitmapPage));
    const unsigned rows = unsigned(copies + 1) * kRowsPerPage;
    putLittleEndian32(&bytes, kDefinitionPage * kPage + 16, rows);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(bytes.data()), long(bytes.size()));
    return rows;
}

long long residentKilobytes()
{
    std::ifstream statm("/proc/self/statm");
    long long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Memory {
    long long rssKilobytes;
    long long sqliteKilobytes;
};

Memory memoryNow() { return {residentKilobytes(), sqlite3_memory_used() / 1024}; }

class Connection {
public:
    explicit Connection(SQLHENV env) { SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc_); }
    ~Connection()
    {
        SQLDisconnect(dbc_);
        SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    }
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    SQLHDBC handle() const { return dbc_; }

    // The connect alone, in milliseconds.
    double timedConnect(const std::string &path)
    {
        std::string text = std::string("DRIVER={") + accessdriver::jetName + "};DBQ=" + path + ";";
        const auto start = std::chrono::steady_clock::now();
        const SQLRETURN rc = SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR *>(&text[0]), SQL_NTS, nullptr,
                                              0, nullptr, SQL_DRIVER_NOPROMPT);
        const auto end = std::chrono::steady_clock::now();
        if (!SQL_SUCCEEDED(rc)) {
            std::fprintf(stderr, "bench_jet_connect: cannot connect to %s\n", path.c_str());
            std::exit(1);
        }
        return std::chrono::duration<double, std::milli>(end - start).count();
    }

private:
    SQLHDBC dbc_ = SQL_NULL_HDBC;
};

long long countRows(SQLHDBC dbc, const char *table)
{
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    std::string sql = std::string("select count(*) from ") + table;
    SQLBIGINT count = -1;
    if (SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR *>(&sql[0]), SQL_NTS)) && SQLFetch(stmt) == SQL_SUCCESS)
        SQLGetData(stmt, 1, SQL_C_SBIGINT, &count, 0, nullptr);
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return count;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void printMemory(const char *when, const Memory &memory)
{
    std::printf("  %-32s RSS %7.1f MB, SQLite %7.1f MB\n", when, double(memory.rssKilobytes) / 1024,
                double(memory.sqliteKilobytes) / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    setenv("ODBCSYSINI", FERNWICK_ODBCSYSINI, 0);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    char folder[] = "/tmp/bench_jet_connect.XXXXXX";
    const bool generated = argc <= 2;
    if (generated && !mkdtemp(folder)) {
        std::perror("bench_jet_connect: mkdtemp");
        return 1;
    }
    const std::string path = generated ? std::string(folder) + "/large.mdb" : argv[2];
    const unsigned rows = generated ? makeLargeJet4File(FERNWICK_MDB_SAMPLES "/DateTestDatabase.mdb", 8500, path) : 0;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "bench_jet_connect: %s is missing\n", path.c_str());
        return 1;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);

    {
        Connection warmUp(env);
        warmUp.timedConnect(path);
        if (generated && countRows(warmUp.handle(), "DateTest") != rows) {
            std::fprintf(stderr, "bench_jet_connect: the generated file does not read as %u rows\n", rows);
            return 1;
        }
    }
    const Memory beforeFirst = memoryNow();
    Memory withTwo = {};
    std::vector<double> firsts, seconds;
    for (int round = 0; round < rounds; ++round) {
        Connection first(env), second(env);
        firsts.push_back(first.timedConnect(path));
        seconds.push_back(second.timedConnect(path));
        withTwo = memoryNow();
    }
    const Memory afterAll = memoryNow();
    malloc_trim(0);
    const Memory trimmed = memoryNow();

    const double firstMedian = median(firsts), secondMedian = median(seconds);
    std::printf("%s (%.1f MB), %d rounds, connect alone, ms median:\n", path.c_str(), double(info.st_size) / 1048576,
                rounds);
    std::printf("  first connection   %8.2f\n  second connection  %8.2f\n  ratio second/first %8.4f\n", firstMedian,
                secondMedian, secondMedian / firstMedian);
    printMemory("driver loaded, none open", beforeFirst);
    printMemory("two connections open", withTwo);
    printMemory("all connections closed", afterAll);
    printMemory("closed, free memory trimmed", trimmed);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (generated) {
        unlink(path.c_str());
        rmdir(folder);
    }
    return 0;
}
