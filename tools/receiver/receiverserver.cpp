#include "receiverserver.h"

#include "bodycheck.h"
#include "recordkinds.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <utility>

namespace {

const char kJsonType[] = "application/json; charset=utf-8";

std::string compactJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

void answerAccepted(httplib::Response &response, const QString &kindName, int recordCount)
{
    response.status = 200;
    response.set_content(compactJson({{"ok", true}, {"kind", kindName}, {"count", recordCount}}),
                         kJsonType);
}

void answerRefused(httplib::Response &response, int status, const QString &reason)
{
    response.status = status;
    response.set_content(compactJson({{"ok", false}, {"error", reason}}), kJsonType);
}

QString knownPaths()
{
    QStringList paths;
    for (const RecordKind &kind : recordKinds())
        paths << QLatin1Char('/') + kind.name;
    return paths.join(QStringLiteral(", "));
}

// Reads the raw body bytes. The content reader is used instead of the
// library's own body handling because that would parse (and, past 8 KB, refuse)
// bodies labelled as form data, which is what the client's toolkit labels them.
bool readRawBody(const httplib::ContentReader &reader, std::string &body)
{
    return reader([&body](const char *data, std::size_t length) {
        body.append(data, length);
        return true;
    });
}

// A multipart body is read to its end and thrown away, so the connection stays usable.
bool discardMultipartBody(const httplib::ContentReader &reader)
{
    return reader([](const httplib::MultipartFormData &) { return true; },
                  [](const char *, std::size_t) { return true; });
}

bool readBody(const httplib::Request &request, const httplib::ContentReader &reader,
              std::string &body)
{
    if (request.is_multipart_form_data())
        return discardMultipartBody(reader);
    return readRawBody(reader, body);
}

QString reasonForStatus(int status, std::size_t maxBodyBytes)
{
    switch (status) {
    case 404: return QStringLiteral("unknown path; bodies are posted to %1").arg(knownPaths());
    case 405: return QStringLiteral("only POST is accepted");
    case 413: return QStringLiteral("body larger than %1 bytes").arg(maxBodyBytes);
    default: return QStringLiteral("HTTP status %1").arg(status);
    }
}

} // namespace

ReceiverServer::ReceiverServer(BodyStore &store, std::size_t maxBodyBytes)
    : m_store(store)
{
    m_server.set_payload_max_length(maxBodyBytes);
    m_server.set_error_handler([maxBodyBytes](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            answerRefused(response, response.status, reasonForStatus(response.status, maxBodyBytes));
    });
    addRoutes();
}

ReceiverServer::~ReceiverServer()
{
    stop();
}

void ReceiverServer::setRequestLog(RequestLog log)
{
    m_server.set_logger([log = std::move(log)](const httplib::Request &request,
                                               const httplib::Response &response) {
        log(request.method + ' ' + request.path + " -> " + std::to_string(response.status) + ' '
            + response.body);
    });
}

void ReceiverServer::setUnexpectedEndHandler(std::function<void()> handler)
{
    m_unexpectedEndHandler = std::move(handler);
}

void ReceiverServer::addRoutes()
{
    const auto refuseMethod = [](const httplib::Request &, httplib::Response &response) {
        response.status = 405;
        response.set_header("Allow", "POST");
    };
    for (const RecordKind &kind : recordKinds()) {
        const std::string name = kind.name.toStdString();
        const std::string path = '/' + name;
        m_server.Post(path, [this, name](const httplib::Request &request, httplib::Response &response,
                                         const httplib::ContentReader &reader) {
            answerPost(name, request, response, reader);
        });
        m_server.Get(path, refuseMethod);
        m_server.Put(path, refuseMethod);
        m_server.Patch(path, refuseMethod);
        m_server.Delete(path, refuseMethod);
        m_server.Options(path, refuseMethod);
    }
    m_server.Post(".*", [this](const httplib::Request &request, httplib::Response &response,
                               const httplib::ContentReader &reader) {
        answerUnknownPath(request, response, reader);
    });
}

void ReceiverServer::answerPost(const std::string &kindName, const httplib::Request &request,
                                httplib::Response &response, const httplib::ContentReader &reader)
{
    std::string body;
    if (!readBody(request, reader, body))
        return; // the library has already set the status (e.g. 413) and the error handler the answer
    if (request.is_multipart_form_data()) {
        answerRefused(response, 400,
                      QStringLiteral("multipart/form-data is not accepted; post the raw body key=<JSON array>"));
        return;
    }

    const RecordKind &kind = *recordKindNamed(QString::fromStdString(kindName));
    const QByteArray rawBody = QByteArray::fromRawData(body.data(), int(body.size()));
    const BodyVerdict verdict = checkBody(kind, rawBody);
    if (!verdict.accepted) {
        answerRefused(response, 400, verdict.reason);
        return;
    }
    QString storeError;
    if (m_store.store(kind.name, rawBody, &storeError).isEmpty()) {
        answerRefused(response, 500, QStringLiteral("body not stored: %1").arg(storeError));
        return;
    }
    answerAccepted(response, kind.name, verdict.recordCount);
}

void ReceiverServer::answerUnknownPath(const httplib::Request &request, httplib::Response &response,
                                       const httplib::ContentReader &reader)
{
    std::string ignored;
    if (readBody(request, reader, ignored))
        response.status = 404;
}

int ReceiverServer::start(const std::string &host, int port)
{
    const int boundPort = port == 0 ? m_server.bind_to_any_port(host)
                                    : (m_server.bind_to_port(host, port) ? port : -1);
    if (boundPort < 0)
        return -1;
    m_listener = std::thread([this] { listenUntilStopped(); });
    // stop() only takes effect once the server runs, so do not return before it does.
    while (!m_server.is_running() && !m_listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return boundPort;
}

void ReceiverServer::listenUntilStopped()
{
    m_server.listen_after_bind();
    m_listenerEnded = true;
    if (!m_stopRequested && m_unexpectedEndHandler)
        m_unexpectedEndHandler();
}

void ReceiverServer::stop()
{
    m_stopRequested = true;
    m_server.stop();
    if (m_listener.joinable())
        m_listener.join();
}
