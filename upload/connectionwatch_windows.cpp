#include "upload/connectionwatch.h"

#include <QAbstractSocket>

#include <winsock2.h>

namespace {
// Windows keeps no count of what the server has taken of what it was handed, and by default
// takes megabytes into its send queue at once. Held to this, the queue drains within a second
// even at 256 KB/s, so what the post counts as taken runs at most this far ahead of the server,
// while a connection with 100 ms to the server still carries 2.5 MB/s. Qt's option for it does
// nothing on Windows, so the system is asked directly.
constexpr int sendQueueBytes = 256 * 1024;
}

void ConnectionWatch::watch(QAbstractSocket &socket)
{
    watched = &socket;
    const int bytes = sendQueueBytes;
    ::setsockopt(SOCKET(socket.socketDescriptor()), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char *>(&bytes),
                 sizeof bytes);
}

void ConnectionWatch::stop()
{
    watched = nullptr;
}

// What the system holds is taken for taken: at most its queue's size.
qint64 ConnectionWatch::untakenBytes() const
{
    return 0;
}

// A reset is told apart from an orderly end only where the system says so.
bool ConnectionWatch::wasReset() const
{
    return false;
}

// Read on Qt's own socket while Qt still has it open (it ends a connection the moment it reads
// the end): a write that a reset failed leaves what the server sent before the reset there.
// Qt's sockets do not block.
QByteArray ConnectionWatch::unreadBytes() const
{
    QByteArray bytes;
    if (!watched || watched->socketDescriptor() == -1)
        return bytes;
    const SOCKET live = SOCKET(watched->socketDescriptor());
    char buffer[16384];
    for (;;) {
        const int n = ::recv(live, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        bytes.append(buffer, n);
    }
    return bytes;
}
