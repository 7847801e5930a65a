#pragma once

#include "bodystore.h"
#include "receiverserver.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

#include <httplib.h>

// A receiver listening on 127.0.0.1 at a free port, storing into a temporary directory.
class RunningReceiver
{
public:
    explicit RunningReceiver(std::size_t maxBodyBytes = ReceiverServer::kDefaultMaxBodyBytes)
        : m_store(QDir(m_dir.path()).filePath(QStringLiteral("received")))
        , m_server(m_store, maxBodyBytes)
    {
        QString error;
        if (m_dir.isValid() && m_store.prepare(&error))
            m_port = m_server.start("127.0.0.1", 0);
    }

    bool isRunning() const { return m_port > 0; }
    int port() const { return m_port; }
    QString storeDirectory() const { return m_store.directory(); }

    QStringList storedFiles() const
    {
        return QDir(m_store.directory()).entryList(QDir::Files, QDir::Name);
    }

    QByteArray storedBody(const QString &fileName) const
    {
        QFile file(QDir(m_store.directory()).filePath(fileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    httplib::Client client() const
    {
        httplib::Client client("127.0.0.1", m_port);
        client.set_read_timeout(60);
        client.set_write_timeout(60);
        return client;
    }

private:
    QTemporaryDir m_dir;
    BodyStore m_store;
    ReceiverServer m_server;
    int m_port = -1;
};

inline QJsonObject answerOf(const std::string &body)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).object();
}
