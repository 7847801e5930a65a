#include "upload/oncebody.h"

#include <cstring>

OnceBody::OnceBody(const QByteArray &bytes, QObject *parent)
    : QIODevice(parent)
    , bytes(bytes)
{
    // Unbuffered, so that pos() is where the next readData reads.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

// Random access, so that Qt knows the length up front and streams the body without
// copying it into a buffer of its own first.
bool OnceBody::isSequential() const
{
    return false;
}

qint64 OnceBody::size() const
{
    return bytes.size();
}

bool OnceBody::reset()
{
    if (pos() != 0)
        return false;
    return QIODevice::reset();
}

qint64 OnceBody::readData(char *data, qint64 maxSize)
{
    const qint64 count = qMin(maxSize, size() - pos());
    if (count <= 0)
        return 0;
    std::memcpy(data, bytes.constData() + pos(), size_t(count));
    return count;
}

qint64 OnceBody::writeData(const char *, qint64)
{
    return -1;
}
