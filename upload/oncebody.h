#pragma once

#include <QByteArray>
#include <QIODevice>

// A request body that can be sent only once. When a server closes the connection after
// taking a body without answering, Qt's HTTP layer rewinds the body and sends the request
// again, so the server would store it twice. This body refuses to rewind once any of it
// has been read; Qt then ends the post with QNetworkReply::ContentReSendError instead.
//
// The bytes on the wire are those of the array, exactly as a post of the array itself
// would send them.
class OnceBody : public QIODevice
{
public:
    OnceBody(const QByteArray &bytes, QObject *parent);

    bool isSequential() const override;
    qint64 size() const override;
    bool reset() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    const QByteArray bytes;
};
