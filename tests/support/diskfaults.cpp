#include "support/diskfaults.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <atomic>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

std::atomic<bool> diskFull{false};
sqlite3_vfs *osVfs = nullptr;
sqlite3_vfs fullDiskVfs;
sqlite3_io_methods fullDiskMethods;

// Each file opened through fullDiskVfs: the operating system's file follows this header.
struct ShimFile
{
    sqlite3_file base;
    sqlite3_file *os;
};

sqlite3_file *os(sqlite3_file *file)
{
    return reinterpret_cast<ShimFile *>(file)->os;
}

int shimWrite(sqlite3_file *file, const void *data, int amount, sqlite3_int64 offset)
{
    if (diskFull) {
        sqlite3_int64 size = 0;
        if (os(file)->pMethods->xFileSize(os(file), &size) != SQLITE_OK || offset + amount > size)
            return SQLITE_FULL;
    }
    return os(file)->pMethods->xWrite(os(file), data, amount, offset);
}

int shimClose(sqlite3_file *f) { return os(f)->pMethods->xClose(os(f)); }
int shimRead(sqlite3_file *f, void *d, int n, sqlite3_int64 o) { return os(f)->pMethods->xRead(os(f), d, n, o); }
int shimTruncate(sqlite3_file *f, sqlite3_int64 s) { return os(f)->pMethods->xTruncate(os(f), s); }
int shimSync(sqlite3_file *f, int flags) { return os(f)->pMethods->xSync(os(f), flags); }
int shimFileSize(sqlite3_file *f, sqlite3_int64 *s) { return os(f)->pMethods->xFileSize(os(f), s); }
int shimLock(sqlite3_file *f, int l) { return os(f)->pMethods->xLock(os(f), l); }
int shimUnlock(sqlite3_file *f, int l) { return os(f)->pMethods->xUnlock(os(f), l); }
int shimCheckReservedLock(sqlite3_file *f, int *r) { return os(f)->pMethods->xCheckReservedLock(os(f), r); }
int shimFileControl(sqlite3_file *f, int op, void *a) { return os(f)->pMethods->xFileControl(os(f), op, a); }
int shimSectorSize(sqlite3_file *f) { return os(f)->pMethods->xSectorSize(os(f)); }
int shimDeviceCharacteristics(sqlite3_file *f) { return os(f)->pMethods->xDeviceCharacteristics(os(f)); }
int shimShmMap(sqlite3_file *f, int i, int s, int e, void volatile **p)
{
    return os(f)->pMethods->xShmMap(os(f), i, s, e, p);
}
int shimShmLock(sqlite3_file *f, int o, int n, int fl) { return os(f)->pMethods->xShmLock(os(f), o, n, fl); }
void shimShmBarrier(sqlite3_file *f) { os(f)->pMethods->xShmBarrier(os(f)); }
int shimShmUnmap(sqlite3_file *f, int d) { return os(f)->pMethods->xShmUnmap(os(f), d); }

// Memory-mapped reads and writes would bypass xWrite, so the files offer none.
int shimFetch(sqlite3_file *, sqlite3_int64, int, void **p)
{
    *p = nullptr;
    return SQLITE_OK;
}
int shimUnfetch(sqlite3_file *, sqlite3_int64, void *) { return SQLITE_OK; }

int shimOpen(sqlite3_vfs *, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    ShimFile *shim = reinterpret_cast<ShimFile *>(file);
    shim->os = reinterpret_cast<sqlite3_file *>(shim + 1);
    const int rc = osVfs->xOpen(osVfs, name, shim->os, flags, outFlags);
    shim->base.pMethods = shim->os->pMethods ? &fullDiskMethods : nullptr;
    return rc;
}

void registerFullDiskVfs()
{
    if (osVfs)
        return;
    osVfs = sqlite3_vfs_find(nullptr);
    fullDiskVfs = *osVfs;
    fullDiskVfs.zName = "fernwick-test-full-disk";
    fullDiskVfs.szOsFile = int(sizeof(ShimFile)) + osVfs->szOsFile;
    fullDiskVfs.xOpen = shimOpen;
    fullDiskMethods = {3, shimClose, shimRead, shimWrite, shimTruncate, shimSync, shimFileSize, shimLock,
                       shimUnlock, shimCheckReservedLock, shimFileControl, shimSectorSize,
                       shimDeviceCharacteristics, shimShmMap, shimShmLock, shimShmBarrier, shimShmUnmap,
                       shimFetch, shimUnfetch};
    sqlite3_vfs_register(&fullDiskVfs, 1);
}

#ifdef Q_OS_LINUX
// Capabilities are held per thread, so this touches only the thread that opens the files.
bool setFileOverride(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, data) != 0)
        return false;
    const __u32 bit = 1u << CAP_DAC_OVERRIDE;
    if (on && !(data[0].permitted & bit))
        return false;
    data[0].effective = on ? (data[0].effective | bit) : (data[0].effective & ~bit);
    return syscall(SYS_capset, &header, data) == 0;
}
#endif

}

FullDisk::FullDisk()
{
    registerFullDiskVfs();
    diskFull = true;
}

FullDisk::~FullDisk()
{
    diskFull = false;
}

bool FullDisk::reachesTheToolkitDriver()
{
    QTemporaryDir dir;
    bool refused = false;
    {
        QSqlDatabase probe = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("full_disk_probe"));
        probe.setDatabaseName(dir.filePath(QStringLiteral("probe.db")));
        FullDisk full;
        refused = probe.open() && !QSqlQuery(probe).exec(QStringLiteral("create table t (x)"));
        probe.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("full_disk_probe"));
    return refused;
}

ReadOnlyFile::ReadOnlyFile(const QString &path)
    : path(path)
    , permissions(int(QFile::permissions(path)))
{
    QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
#ifdef Q_OS_LINUX
    if (geteuid() == 0)
        overrideSetAside = setFileOverride(false);
#endif
}

ReadOnlyFile::~ReadOnlyFile()
{
#ifdef Q_OS_LINUX
    if (overrideSetAside)
        setFileOverride(true);
#endif
    QFile::setPermissions(path, QFile::Permissions(permissions));
}

bool ReadOnlyFile::holds() const
{
    QFile file(path);
    return !file.open(QIODevice::ReadWrite);
}

UndeletableFile::UndeletableFile(const QString &path)
    : path(QFile::encodeName(path))
{
    held = QFile(path).open(QIODevice::Append) && markImmutable(true);
}

UndeletableFile::~UndeletableFile()
{
    if (held)
        markImmutable(false);
}

bool UndeletableFile::markImmutable(bool immutable)
{
#ifndef Q_OS_LINUX
    Q_UNUSED(immutable);
    return false;
#else
    const int fd = ::open(path.constData(), O_RDONLY);
    int flags = 0;
    bool marked = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    marked = marked && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0)
        ::close(fd);
    return marked;
#endif
}
