#pragma once

#include <QByteArray>
#include <QString>

// While an object lives, every SQLite write in this process that would make a file longer
// fails as it does when the disk is full (SQLITE_FULL); writes inside a file's present
// length still succeed, as on a full disk. It works on connections opened after it was
// made, through SQLite's default file layer.
class FullDisk
{
public:
    FullDisk();
    ~FullDisk();
    FullDisk(const FullDisk &) = delete;
    FullDisk &operator=(const FullDisk &) = delete;

    // False when the toolkit's SQLite driver carries a SQLite of its own that this process
    // cannot reach; then nothing is simulated.
    static bool reachesTheToolkitDriver();
};

// While an object lives, the file is read-only for the calling thread, even for root:
// its write permissions are removed and, where the thread may override file permissions,
// that override is set aside.
class ReadOnlyFile
{
public:
    explicit ReadOnlyFile(const QString &path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile &) = delete;
    ReadOnlyFile &operator=(const ReadOnlyFile &) = delete;

    // False when the file could still be opened for writing.
    bool holds() const;

private:
    QString path;
    int permissions;
    bool overrideSetAside = false;
};

// While it lives, the file (made empty when it is not there) can be neither written nor
// removed, not even by root: it is marked immutable. `held` is false where the file system or
// the user cannot mark it.
class UndeletableFile
{
public:
    explicit UndeletableFile(const QString &path);
    ~UndeletableFile();
    UndeletableFile(const UndeletableFile &) = delete;
    UndeletableFile &operator=(const UndeletableFile &) = delete;
    bool held = false;

private:
    bool markImmutable(bool immutable);
    QByteArray path;
};
