#include "support/testserver.h"

#include <httplib.h>

#include <condition_variable>
#include <mutex>
#include <thread>

struct TestServer::State
{
    httplib::Server server;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable released;
    bool holding = false;
    int status = 200;
    std::string body = "ok";
    QList<Request> requests;
};

TestServer::TestServer()
    : state(new State)
{
    State *s = state.get();
    s->server.set_payload_max_length(1024u * 1024u * 1024u);
    // One request per connection, so stopping never waits for an idle keep-alive client.
    s->server.set_keep_alive_max_count(1);
    // The body is read raw: the client's posts are labelled as forms, which the library's
    // plain handlers refuse above a few kilobytes.
    s->server.Post(R"(/.*)", [s](const httplib::Request &request, httplib::Response &response,
                                 const httplib::ContentReader &reader) {
        QByteArray body;
        reader([&body](const char *data, size_t length) {
            body.append(data, int(length));
            return true;
        });
        std::unique_lock<std::mutex> lock(s->mutex);
        s->requests.append({QString::fromStdString(request.path), body,
                            QByteArray::fromStdString(request.get_header_value("Content-Type"))});
        s->released.wait(lock, [s] { return !s->holding; });
        response.status = s->status;
        response.set_content(s->body, "text/plain");
    });
    s->port = s->server.bind_to_any_port("127.0.0.1");
    s->thread = std::thread([s] { s->server.listen_after_bind(); });
}

TestServer::~TestServer()
{
    releaseReplies();
    state->server.stop();
    state->thread.join();
}

QString TestServer::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(state->port).arg(path);
}

void TestServer::answerWith(int status, const QByteArray &body)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->status = status;
    state->body = body.toStdString();
}

void TestServer::holdReplies()
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->holding = true;
}

void TestServer::releaseReplies()
{
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->holding = false;
    }
    state->released.notify_all();
}

QList<TestServer::Request> TestServer::requests() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->requests;
}

int TestServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->requests.size();
}
