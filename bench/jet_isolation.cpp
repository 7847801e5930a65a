// What loading a Jet file in a child process would cost. The loader runs either in this
// process, or in a forked child that hands the finished database back through a pipe
// (sqlite3_serialize in the child, sqlite3_deserialize here), so that a crash inside
// libmdb would end only the child. The two alternate, round by round; the table gives
// the median and the best of each. Fork copies the page tables of the whole process, so
// the runs are repeated with a ballast of touched memory standing in for an application
// that has been running for a while.
//
// usage: bench_jet_isolation [ROUNDS=21] [BALLAST_MB=256] [JET_FILE...]

#include "storage/jet/jet_storage.h"

#include <sqlite3.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace accessodbc;

namespace {

sqlite3 *loadHere(const std::string &path)
{
    return openJetFile(path, std::string(), AccessEngine::Jet, kPrivateDatabase).db;
}

bool writeAll(int fd, const void *data, size_t size)
{
    const auto *bytes = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t wrote = ::write(fd, bytes, size);
        if (wrote <= 0)
            return false;
        bytes += wrote;
        size -= size_t(wrote);
    }
    return true;
}

std::vector<unsigned char> readAll(int fd)
{
    std::vector<unsigned char> bytes;
    unsigned char buffer[1 << 16];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    return bytes;
}

void serveFromChild(const std::string &path, int fd)
{
    sqlite3 *db = loadHere(path);
    sqlite3_int64 size = 0;
    unsigned char *image = db ? sqlite3_serialize(db, "main", &size, 0) : nullptr;
    const bool sent = image && writeAll(fd, image, size_t(size));
    sqlite3_free(image);
    sqlite3_close_v2(db);
    ::_exit(sent ? 0 : 1);
}

sqlite3 *loadInChild(const std::string &path)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return nullptr;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        serveFromChild(path, channel[1]);
    }
    ::close(channel[1]);
    const std::vector<unsigned char> image = readAll(channel[0]);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || image.empty())
        return nullptr;

    sqlite3 *db = nullptr;
    sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    auto *copy = static_cast<unsigned char *>(sqlite3_malloc64(image.size()));
    std::memcpy(copy, image.data(), image.size());
    const int rc = sqlite3_deserialize(db, "main", copy, sqlite3_int64(image.size()), sqlite3_int64(image.size()),
                                       SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE);
    if (rc != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

// Reading every table once proves the database arrived whole and is usable.
long long rowsIn(sqlite3 *db)
{
    long long rows = 0;
    sqlite3_stmt *tables = nullptr;
    sqlite3_prepare_v2(db, "SELECT name FROM sqlite_master WHERE type = 'table'", -1, &tables, nullptr);
    while (sqlite3_step(tables) == SQLITE_ROW) {
        const std::string sql = std::string("SELECT count(*) FROM \"")
                              + reinterpret_cast<const char *>(sqlite3_column_text(tables, 0)) + "\"";
        sqlite3_stmt *count = nullptr;
        sqlite3_prepare_v2(db, sql.c_str(), -1, &count, nullptr);
        if (sqlite3_step(count) == SQLITE_ROW)
            rows += sqlite3_column_int64(count, 0);
        sqlite3_finalize(count);
    }
    sqlite3_finalize(tables);
    return rows;
}

double millisecondsFor(sqlite3 *(*load)(const std::string &), const std::string &path, long long *rows)
{
    const auto start = std::chrono::steady_clock::now();
    sqlite3 *db = load(path);
    const auto end = std::chrono::steady_clock::now();
    if (!db) {
        std::fprintf(stderr, "%s could not be loaded\n", path.c_str());
        std::exit(1);
    }
    *rows = rowsIn(db);
    sqlite3_close_v2(db);
    return std::chrono::duration<double, std::milli>(end - start).count();
}

struct Summary {
    double median, best;
};

Summary summarise(std::vector<double> times)
{
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times.front()};
}

void compare(const std::string &path, int rounds, size_t ballastMb)
{
    std::vector<double> here, child;
    long long rowsHere = 0, rowsChild = 0;
    for (int round = 0; round < rounds; ++round) {
        here.push_back(millisecondsFor(loadHere, path, &rowsHere));
        child.push_back(millisecondsFor(loadInChild, path, &rowsChild));
    }
    if (rowsHere != rowsChild) {
        std::fprintf(stderr, "the child handed back %lld rows, not %lld\n", rowsChild, rowsHere);
        std::exit(1);
    }
    const Summary a = summarise(here), b = summarise(child);
    std::printf("%-24s ballast %4zu MB  in process %7.2f / %7.2f   in a child %7.2f / %7.2f   (+%.2f ms)\n",
                path.substr(path.find_last_of('/') + 1).c_str(), ballastMb, a.median, a.best, b.median, b.best,
                b.median - a.median);
}

} // namespace

int main(int argc, char **argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const size_t ballastMb = argc > 2 ? size_t(std::atoi(argv[2])) : 256;
    std::vector<std::string> files;
    for (int i = 3; i < argc; ++i)
        files.push_back(argv[i]);
    if (files.empty())
        files = {FERNWICK_MDB_SAMPLES "/nwind.mdb", FERNWICK_MDB_SAMPLES "/DateTestDatabase.mdb"};

    for (const std::string &file : files) {
        if (::access(file.c_str(), R_OK) != 0) {
            std::fprintf(stderr,
                         "bench_jet_isolation: %s is missing. Without files named, it reads the third-party "
                         "samples nwind.mdb and DateTestDatabase.mdb, kept outside the repository in ../shared/data/mdb/ beside the "
                         "clone (%s/); put them there, or name Jet files: "
                         "bench_jet_isolation ROUNDS BALLAST_MB FILE.mdb...\n",
                         file.c_str(), FERNWICK_MDB_SAMPLES);
            return 1;
        }
    }
    std::printf("%d rounds each, alternating; ms median / best\n", rounds);
    for (size_t ballast : {size_t(0), ballastMb}) {
        std::vector<char> memory(ballast << 20);
        for (size_t i = 0; i < memory.size(); i += 4096)
            memory[i] = char(i);
        for (const std::string &file : files)
            compare(file, rounds, ballast);
    }
    return 0;
}
