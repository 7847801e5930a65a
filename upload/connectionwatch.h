#pragma once

#include <QByteArray>
#include <QtGlobal>

class QAbstractSocket;

// What the system knows of a post's connection that Qt does not tell: how much of what was
// handed to it the server has not yet taken, whether the connection was reset, and what the
// server sent before a reset. Qt lets go of its descriptor as soon as it reads the end of the
// connection, so the watch keeps one of its own where the system allows it.
class ConnectionWatch
{
public:
    ConnectionWatch() = default;
    ConnectionWatch(const ConnectionWatch &) = delete;
    ConnectionWatch &operator=(const ConnectionWatch &) = delete;
    ~ConnectionWatch() { stop(); }

    // From the moment `socket` is connected, before the request goes out.
    void watch(QAbstractSocket &socket);
    void stop();
    // Of the bytes handed to the system, those the server has not taken; -1 when that can no
    // longer be told (the connection was reset, which empties the queue untaken).
    qint64 untakenBytes() const;
    bool wasReset() const;
    // What the server sent that is still in the system unread; only a plain connection's
    // bytes are the answer, a TLS one's would be records.
    QByteArray unreadBytes() const;

private:
    int descriptor = -1;  // the watch's own, where the system gives a second one
    const QAbstractSocket *watched = nullptr;
};
