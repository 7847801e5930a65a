#include "upload/connectionwatch.h"

#include <QAbstractSocket>

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
bool tcpState(int fd, tcp_info &info)
{
    socklen_t infoSize = sizeof info;
    return fd != -1 && ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &infoSize) == 0;
}
}

// A second descriptor of the same connection still tells what the server took, and holds
// what it sent before a reset, after Qt has closed its own.
void ConnectionWatch::watch(QAbstractSocket &socket)
{
    stop();
    descriptor = ::fcntl(int(socket.socketDescriptor()), F_DUPFD_CLOEXEC, 0);
}

void ConnectionWatch::stop()
{
    if (descriptor != -1)
        ::close(descriptor);
    descriptor = -1;
}

// The system's send queue holds both what is not yet sent and what the server has not yet
// acknowledged.
qint64 ConnectionWatch::untakenBytes() const
{
    tcp_info info = {};
    int queued = 0;
    if (!tcpState(descriptor, info) || info.tcpi_state == TCP_CLOSE || ::ioctl(descriptor, SIOCOUTQ, &queued) != 0)
        return -1;
    return queued;
}

bool ConnectionWatch::wasReset() const
{
    tcp_info info = {};
    return tcpState(descriptor, info) && info.tcpi_state == TCP_CLOSE;
}

QByteArray ConnectionWatch::unreadBytes() const
{
    QByteArray bytes;
    if (descriptor == -1)
        return bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(descriptor, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0)
            break;
        bytes.append(buffer, int(n));
    }
    return bytes;
}
