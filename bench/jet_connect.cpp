// A first connection to a Jet file against a second one to the same unchanged file while
// the first is open, through unixODBC: the first copies the file's tables into memory, the
// second reads that copy. They alternate round by round (every connection is closed at the
// end of a round, so each round's first connect copies the file again); the table gives
// each one's median. Memory is measured in this process, as RSS and as what SQLite holds
// (sqlite3_memory_used: the driver uses this process's SQLite): once the driver is loaded
// (one connection made and closed first), with two connections open, once all are closed,
// and then once the C library has handed its free memory back to the system (malloc_trim).
//
// usage: bench_jet_connect [JET_FILE=<samples>/nwind.mdb] [ROUNDS=9]

#include "fernwick_driver_names.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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
    const std::string path = argc > 1 ? argv[1] : FERNWICK_MDB_SAMPLES "/nwind.mdb";
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        std::fprintf(stderr, "bench_jet_connect: %s is missing; name a Jet file: bench_jet_connect FILE.mdb [ROUNDS]\n",
                     path.c_str());
        return 1;
    }
    SQLHENV env = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);

    Connection(env).timedConnect(path);
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
    return 0;
}
