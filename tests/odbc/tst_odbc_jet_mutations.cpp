// Damaged copies of the two sample Jet databases through the loader: bytes changed in
// table definitions and in the catalog, files cut short, pages swapped. Each copy is
// opened in a child process, so that a crash or an endless loop fails the case it
// belongs to instead of ending the run; each must be refused with a message or open.

#include "storage/storage.h"
#include "support/testsupport.h"

#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <functional>
#include <iterator>
#include <random>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace accessodbc;

namespace {

const QString kSamples = QStringLiteral(FERNWICK_MDB_SAMPLES);

// Jet marks a page's kind in its first byte.
const char kDataPage = 0x01;
const char kDefinitionPage = 0x02;
// The catalog's definition is always page 2; its data pages name page 2 as their owner.
const int kCatalogPage = 2;

struct Sample {
    QString file;
    int pageSize;
    AccessEngine engine; // the driver name it is opened under
    unsigned seed;
};

const Sample kJet3{QStringLiteral("nwind.mdb"), 2048, AccessEngine::Jet, 1003u};
const Sample kJet4{QStringLiteral("DateTestDatabase.mdb"), 4096, AccessEngine::Jet, 1004u};
// An .accdb is read only under the ACE driver's name.
const Sample kAce{QStringLiteral("ASampleDatabase.accdb"), 4096, AccessEngine::Ace, 1012u};

const Sample kSamplesDamaged[] = {kJet3, kJet4, kAce};

// One change to a sample, applied to a fresh copy when the case runs.
struct Mutation {
    enum Kind { SetByte, Cut, SwapPages };
    Kind kind;
    qint64 first; // the offset, the new length, or the first page
    int second;   // the new byte, or the second page

    QByteArray applyTo(QByteArray bytes, int pageSize) const
    {
        switch (kind) {
        case SetByte:
            bytes[int(first)] = char(second);
            break;
        case Cut:
            bytes.truncate(int(first));
            break;
        case SwapPages: {
            const QByteArray a = bytes.mid(int(first) * pageSize, pageSize);
            const QByteArray b = bytes.mid(second * pageSize, pageSize);
            bytes.replace(int(first) * pageSize, pageSize, b);
            bytes.replace(second * pageSize, pageSize, a);
            break;
        }
        }
        return bytes;
    }

    QString describe() const
    {
        switch (kind) {
        case SetByte:
            return QStringLiteral("byte %1 set to 0x%2").arg(first).arg(second, 2, 16, QLatin1Char('0'));
        case Cut:
            return QStringLiteral("cut to %1 bytes").arg(first);
        case SwapPages:
            return QStringLiteral("pages %1 and %2 swapped").arg(first).arg(second);
        }
        return QString();
    }
};

QList<int> pagesWhere(const QByteArray &bytes, int pageSize, const std::function<bool(const char *page)> &test)
{
    QList<int> pages;
    for (int page = 1; page < bytes.size() / pageSize; ++page)
        if (test(bytes.constData() + qint64(page) * pageSize))
            pages << page;
    return pages;
}

qint32 ownerOf(const char *page)
{
    qint32 owner;
    std::memcpy(&owner, page + 4, sizeof owner);
    return qFromLittleEndian(owner);
}

// Seeded, so that every run tries the same files and a failure names one that can be made again.
class MutationSource {
public:
    MutationSource(const QByteArray &sample, int pageSize, unsigned seed)
        : size_(sample.size()), pageSize_(pageSize), random_(seed)
    {
        definitions_ = pagesWhere(sample, pageSize, [](const char *page) { return page[0] == kDefinitionPage; });
        catalog_ = pagesWhere(sample, pageSize, [](const char *page) {
            return page[0] == kDataPage && ownerOf(page) == kCatalogPage;
        });
        catalog_ << kCatalogPage;
    }

    // Mostly in the head of a definition page, where the row count, the column count
    // and the pointers to the usage maps are, sometimes anywhere in it.
    Mutation definitionByte() { return byteIn(pick(definitions_), pick(4) ? 64 : pageSize_); }
    Mutation catalogByte() { return byteIn(pick(catalog_), pageSize_); }
    Mutation cut() { return {Mutation::Cut, qint64(3 + pick(size_ / pageSize_ - 3)) * pageSize_, 0}; }
    Mutation swap() { return {Mutation::SwapPages, 1 + pick(size_ / pageSize_ - 1), 1 + pick(size_ / pageSize_ - 1)}; }

private:
    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    int pick(const QList<int> &pages) { return pages.at(pick(pages.size())); }

    Mutation byteIn(int page, int span)
    {
        return {Mutation::SetByte, qint64(page) * pageSize_ + pick(span), pick(256)};
    }

    int size_;
    int pageSize_;
    QList<int> definitions_;
    QList<int> catalog_;
    std::mt19937 random_;
};

struct Outcome {
    bool crashed = false;
    QString signal;
    bool opened = false;
    int failure = 0;
    QString detail;
};

void writeAllTo(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0)
            return;
        done += size_t(wrote);
    }
}

// QtTest's crash handler, inherited through fork, would report the child's crash as the
// runner's own; the child dies of it as any program does.
void restoreDefaultCrashHandling()
{
    for (int signal : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT})
        ::signal(signal, SIG_DFL);
}

// A loader caught in a loop would keep the test waiting for ever; the limit on the
// child's processor time, far above what a load takes, ends it as a failure instead.
void limitProcessorTime()
{
    const rlim_t seconds = 60;
    const struct rlimit limit = {seconds, seconds};
    ::setrlimit(RLIMIT_CPU, &limit);
}

// Opens the file in a forked child, which reports the outcome through a pipe. What
// libmdb prints goes to a file beside the database, shown only on a crash.
Outcome openInChild(const QString &path, AccessEngine engine, const QString &stderrPath)
{
    int channel[2];
    if (::pipe(channel) != 0)
        qFatal("no pipe");
    fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        restoreDefaultCrashHandling();
        limitProcessorTime();
        ::close(channel[0]);
        const int log = ::open(QFile::encodeName(stderrPath).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(log, STDOUT_FILENO);
        ::dup2(log, STDERR_FILENO);
        const OpenResult result = openDatabaseFile(QFile::encodeName(path).toStdString(), std::string(), engine);
        writeAllTo(channel[1], std::to_string(int(result.failure)) + "\n" + result.detail);
        ::_exit(0);
    }
    ::close(channel[1]);
    QByteArray report;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(channel[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        report.append(buffer, int(qMax<ssize_t>(got, 0)));
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }

    Outcome outcome;
    if (WIFSIGNALED(status) || !WIFEXITED(status) || WEXITSTATUS(status) != 0 || report.isEmpty()) {
        outcome.crashed = true;
        outcome.signal = WIFSIGNALED(status) ? QString::fromLatin1(strsignal(WTERMSIG(status)))
                                             : QStringLiteral("exit status %1").arg(WEXITSTATUS(status));
        outcome.detail = QString::fromLocal8Bit(readAll(stderrPath).right(2000));
        return outcome;
    }
    const int newline = report.indexOf('\n');
    outcome.failure = report.left(newline).toInt();
    outcome.opened = outcome.failure == int(OpenFailure::None);
    outcome.detail = QString::fromUtf8(report.mid(newline + 1));
    return outcome;
}

bool refusedCleanly(const Outcome &outcome)
{
    const auto failure = OpenFailure(outcome.failure);
    return (failure == OpenFailure::UnsupportedDatabase || failure == OpenFailure::UnrecognisedFormat)
        && !outcome.detail.isEmpty();
}

} // namespace

class TestJetMutations : public QObject {
    Q_OBJECT

    WorkingDir *dir = nullptr;

    QString sample(const QString &name) { return QDir(kSamples).filePath(name); }

    Outcome openMutated(const Sample &original, const Mutation &mutation)
    {
        const QString path = dir->file(QStringLiteral("GuardTour_DB.mdb"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write %s", qPrintable(path));
        file.write(mutation.applyTo(readAll(sample(original.file)), original.pageSize));
        file.close();
        return openInChild(path, original.engine, dir->file(QStringLiteral("libmdb.stderr")));
    }

    static QString crashReport(const Outcome &outcome)
    {
        return QStringLiteral("crashed (%1):\n%2").arg(outcome.signal, outcome.detail);
    }

private slots:
    void init()
    {
        if (!QFile::exists(sample(kJet3.file)) || !QFile::exists(sample(kJet4.file)))
            QSKIP(qPrintable(QStringLiteral("The sample Jet databases are not in %1").arg(kSamples)));
        dir = new WorkingDir;
    }

    void cleanup()
    {
        delete dir;
        dir = nullptr;
    }

    // Damage once found to crash the loader, kept as it was found.
    void recordedDamageIsRefused_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<int>("byte");
        QTest::addColumn<QString>("detail");
        // The row of a usage-map pointer names a row its page does not hold: libmdb
        // gives the table no usage map, and fetching its rows read address 0.
        QTest::newRow("Jet 3 catalog usage map") << kJet3.file << qint64(2 * 2048 + 35) << 0x20
                                                 << "The definition of table MSysObjects is damaged";
        QTest::newRow("Jet 4 catalog usage map") << kJet4.file << qint64(2 * 4096 + 55) << 0x20
                                                 << "The definition of table MSysObjects is damaged";
        QTest::newRow("Jet 3 table usage map") << kJet3.file << qint64(449 * 2048 + 35) << 0x20
                                               << "The definition of table Orders is damaged";
        QTest::newRow("Jet 4 table usage map") << kJet4.file << qint64(18 * 4096 + 55) << 0x20
                                               << "The definition of table DateTest is damaged";
        // The first record of a table's property block claims a length of 0: libmdb's
        // parser of the block never moved past it.
        QTest::newRow("Jet 3 property record of length 0")
            << kJet3.file << qint64(1484878) << 0x00
            << "The database is damaged: the properties of table Categories cannot be read";
    }

    void recordedDamageIsRefused()
    {
        QFETCH(QString, file);
        QFETCH(qint64, offset);
        QFETCH(int, byte);
        QFETCH(QString, detail);
        const Sample original = file == kJet3.file ? kJet3 : kJet4;
        const Outcome outcome = openMutated(original, {Mutation::SetByte, offset, byte});
        QVERIFY2(!outcome.crashed, qPrintable(crashReport(outcome)));
        QCOMPARE(OpenFailure(outcome.failure), OpenFailure::UnsupportedDatabase);
        QCOMPARE(outcome.detail, detail);
    }

    void seededDamageIsRefusedOrOpens_data()
    {
        QTest::addColumn<int>("sampleIndex");
        QTest::addColumn<int>("kind");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<int>("second");
        for (int index = 0; index < int(std::size(kSamplesDamaged)); ++index) {
            const Sample &original = kSamplesDamaged[index];
            if (!QFile::exists(sample(original.file)))
                continue;
            MutationSource source(readAll(sample(original.file)), original.pageSize, original.seed);
            QList<Mutation> mutations;
            for (int i = 0; i < 70; ++i)
                mutations << source.definitionByte();
            for (int i = 0; i < 30; ++i)
                mutations << source.catalogByte();
            for (int i = 0; i < 10; ++i)
                mutations << source.cut();
            for (int i = 0; i < 20; ++i)
                mutations << source.swap();
            for (const Mutation &mutation : mutations)
                QTest::addRow("%s, %s", qPrintable(original.file), qPrintable(mutation.describe()))
                    << index << int(mutation.kind) << mutation.first << mutation.second;
        }
    }

    void seededDamageIsRefusedOrOpens()
    {
        QFETCH(int, sampleIndex);
        QFETCH(int, kind);
        QFETCH(qint64, first);
        QFETCH(int, second);
        const Outcome outcome = openMutated(kSamplesDamaged[sampleIndex], {Mutation::Kind(kind), first, second});
        QVERIFY2(!outcome.crashed, qPrintable(crashReport(outcome)));
        QVERIFY2(outcome.opened || refusedCleanly(outcome), qPrintable(outcome.detail));
    }
};

QTEST_GUILESS_MAIN(TestJetMutations)
#include "tst_odbc_jet_mutations.moc"
