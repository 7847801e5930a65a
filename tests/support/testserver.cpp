#include "support/testserver.h"

#include <httplib.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <functional>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {
enum class Answer { Whole, InPieces, None, BeforeBody, Raw, RawEarly, RawSlowly };

QByteArray sortedHeaders(const httplib::Headers &headers)
{
    QByteArray text;
    for (const auto &header : headers) {
        // The library adds the connection's addresses and ports as headers of its own.
        if (header.first.rfind("LOCAL_", 0) == 0 || header.first.rfind("REMOTE_", 0) == 0)
            continue;
        text += QByteArray::fromStdString(header.first + ": " + header.second + "\n");
    }
    return text;
}

int portOf(const sockaddr_in &address)
{
    return ntohs(address.sin_port);
}

// The library does not hand its connection to a handler; the connection is the one socket
// of this process whose own port is the server's and whose far end is the client's port.
int connectionSocket(int serverPort, int clientPort)
{
    const QDir openFileDir(QStringLiteral("/proc/self/fd"));
    const QStringList openFiles = openFileDir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &openFile : openFiles) {
        const int fd = openFile.toInt();
        sockaddr_in local = {};
        sockaddr_in peer = {};
        socklen_t localLength = sizeof local;
        socklen_t peerLength = sizeof peer;
        if (::getsockname(fd, reinterpret_cast<sockaddr *>(&local), &localLength) != 0
            || ::getpeername(fd, reinterpret_cast<sockaddr *>(&peer), &peerLength) != 0)
            continue;
        if (local.sin_family == AF_INET && portOf(local) == serverPort && portOf(peer) == clientPort)
            return fd;
    }
    return -1;
}

// Sends `bytes` on the connection past the library, `gap` apart when `bytesPerGap` is not 0;
// false once the connection is gone.
bool sendPast(int fd, const std::string &bytes, size_t bytesPerGap = 0, std::chrono::milliseconds gap = {})
{
    const size_t step = bytesPerGap ? bytesPerGap : bytes.size();
    for (size_t sent = 0; sent < bytes.size();) {
        if (sent > 0 && bytesPerGap)
            std::this_thread::sleep_for(gap);
        const ssize_t n = ::send(fd, bytes.data() + sent, std::min(step, bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return true;
}

// Sends `bytes` on the connection past the library, which then has nothing left to send.
void sendAndClose(int serverPort, int clientPort, const std::string &bytes, size_t bytesPerGap = 0,
                  std::chrono::milliseconds gap = {})
{
    const int fd = connectionSocket(serverPort, clientPort);
    if (fd < 0)
        return;
    sendPast(fd, bytes, bytesPerGap, gap);
    ::shutdown(fd, SHUT_RDWR);
}

// Not labelled as text: the library would compress text, and hold every piece back until the
// last one, since the client accepts gzip.
void answerDots(httplib::Response &response, int pieces, std::chrono::milliseconds gap)
{
    response.set_chunked_content_provider("application/octet-stream", [pieces, gap](size_t, httplib::DataSink &sink) {
        for (int i = 0; i < pieces; ++i) {
            std::this_thread::sleep_for(gap);
            if (!sink.write(".", 1))
                return false;
        }
        sink.done();
        return true;
    });
}
}

struct TestServer::State
{
    std::unique_ptr<httplib::Server> server;
    bool secure = false;
    std::thread thread;
    int port = 0;
    mutable std::mutex mutex;
    std::condition_variable released;
    std::condition_variable answerSent;
    int answersSent = 0;
    bool holding = false;
    int status = 200;
    std::string body = "ok";
    std::string location;
    Answer answer = Answer::Whole;
    int pieces = 0;
    std::chrono::milliseconds gap{0};
    bool earlyThenReads = false;
    int slowBytes = 0;
    int bytesPerPause = 0;
    std::chrono::microseconds bodyPause{0};
    QList<Request> requests;
    std::atomic<bool> listenerEnded{false};

    bool readsBody() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return answer != Answer::BeforeBody && !(answer == Answer::RawEarly && !earlyThenReads);
    }

    bool answersEarly() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return answer == Answer::RawEarly;
    }

    // Appends a piece of the body, pausing each time another `bytesPerPause` of the first
    // `slowBytes` have come.
    std::function<bool(const char *, size_t)> bodyReader(QByteArray *body) const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return [body, slow = slowBytes, bytes = bytesPerPause, pause = bodyPause](const char *data, size_t length) {
            const int before = body->size();
            body->append(data, int(length));
            if (before < slow && before / bytes != body->size() / bytes)
                std::this_thread::sleep_for(pause);
            return true;
        };
    }

    void answerRawAs(Answer kind, const QByteArray &bytes)
    {
        // The library still tries to answer on the closed connection.
        std::signal(SIGPIPE, SIG_IGN);
        std::lock_guard<std::mutex> lock(mutex);
        answer = kind;
        body = bytes.toStdString();
    }

    // The status line and the headers go out at once; once replies are released, the
    // connection is dropped with the body unread.
    void answerThenReset(httplib::Response &response)
    {
        response.status = status;
        response.set_chunked_content_provider("application/octet-stream", [this](size_t, httplib::DataSink &) {
            std::unique_lock<std::mutex> lock(mutex);
            released.wait(lock, [this] { return !holding; });
            return false;
        });
    }
};

TestServer::TestServer()
    : TestServer(QString(), QString())
{
}

TestServer::TestServer(const QString &certificateFile, const QString &keyFile)
    : state(new State)
{
    State *s = state.get();
    s->secure = !certificateFile.isEmpty();
    if (s->secure)
        s->server.reset(new httplib::SSLServer(QFile::encodeName(certificateFile).constData(),
                                               QFile::encodeName(keyFile).constData()));
    else
        s->server.reset(new httplib::Server);
    s->server->set_payload_max_length(1024u * 1024u * 1024u);
    // One request per connection, so stopping never waits for an idle keep-alive client.
    s->server->set_keep_alive_max_count(1);
    // The body is read raw: the client's posts are labelled as forms, which the library's
    // plain handlers refuse above a few kilobytes.
    s->server->Post(R"(/.*)", [s](const httplib::Request &request, httplib::Response &response,
                                 const httplib::ContentReader &reader) {
        QByteArray body;
        if (s->answersEarly()) {
            const int fd = connectionSocket(s->port, request.remote_port);
            if (fd >= 0)
                sendPast(fd, s->body);
        }
        if (s->readsBody()) {
            reader(s->bodyReader(&body));
        }
        std::unique_lock<std::mutex> lock(s->mutex);
        s->requests.append({QString::fromStdString(request.path), QString::fromStdString(request.target), body,
                            QByteArray::fromStdString(request.get_header_value("Content-Type")),
                            sortedHeaders(request.headers)});
        if (s->answer == Answer::BeforeBody || (s->answer == Answer::RawEarly && !s->earlyThenReads)) {
            s->answerThenReset(response);
            return;
        }
        s->released.wait(lock, [s] { return !s->holding; });
        switch (s->answer) {
        case Answer::Whole:
            response.status = s->status;
            response.set_content(s->body, "text/plain");
            if (!s->location.empty())
                response.set_header("Location", s->location);
            break;
        case Answer::InPieces:
            answerDots(response, s->pieces, s->gap);
            break;
        case Answer::None:
            sendAndClose(s->port, request.remote_port, std::string());
            break;
        case Answer::Raw:
        case Answer::RawEarly:
            sendAndClose(s->port, request.remote_port, s->answer == Answer::Raw ? s->body : std::string());
            break;
        case Answer::RawSlowly:
            sendAndClose(s->port, request.remote_port, s->body, 1, s->gap);
            break;
        case Answer::BeforeBody:
            break;
        }
    });
    // The library logs a request once its answer has been written to the connection.
    s->server->set_logger([s](const httplib::Request &, const httplib::Response &) {
        {
            std::lock_guard<std::mutex> lock(s->mutex);
            ++s->answersSent;
        }
        s->answerSent.notify_all();
    });
    s->port = s->server->bind_to_any_port("127.0.0.1");
    s->thread = std::thread([s] {
        s->server->listen_after_bind();
        s->listenerEnded = true;
    });
    // stop() only takes effect once the server runs: a server stopped before that would
    // listen on for ever and its thread would never end.
    while (!s->server->is_running() && !s->listenerEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer()
{
    releaseReplies();
    state->server->stop();
    state->thread.join();
}

QString TestServer::url(const QString &path) const
{
    return QStringLiteral("%1://127.0.0.1:%2%3")
        .arg(state->secure ? QStringLiteral("https") : QStringLiteral("http"))
        .arg(state->port)
        .arg(path);
}

void TestServer::answerWith(int status, const QByteArray &body, const QString &location)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->status = status;
    state->body = body.toStdString();
    state->location = location.toStdString();
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

void TestServer::answerInPieces(int pieces, int gapMs)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->answer = Answer::InPieces;
    state->pieces = pieces;
    state->gap = std::chrono::milliseconds(gapMs);
}

void TestServer::closeAfterBody()
{
    // The library still tries to answer on the closed connection.
    std::signal(SIGPIPE, SIG_IGN);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->answer = Answer::None;
}

void TestServer::answerRaw(const QByteArray &bytes)
{
    state->answerRawAs(Answer::Raw, bytes);
}

void TestServer::readBodySlowly(int slowBytes, int bytes, int pauseUs)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->slowBytes = slowBytes;
    state->bytesPerPause = bytes;
    state->bodyPause = std::chrono::microseconds(pauseUs);
}

void TestServer::answerBeforeBody(int status)
{
    std::lock_guard<std::mutex> lock(state->mutex);
    state->answer = Answer::BeforeBody;
    state->status = status;
}

void TestServer::answerRawEarly(const QByteArray &bytes, bool thenReadsBody)
{
    state->answerRawAs(Answer::RawEarly, bytes);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->earlyThenReads = thenReadsBody;
}

void TestServer::answerRawSlowly(const QByteArray &bytes, int gapMs)
{
    state->answerRawAs(Answer::RawSlowly, bytes);
    std::lock_guard<std::mutex> lock(state->mutex);
    state->gap = std::chrono::milliseconds(gapMs);
}

QList<TestServer::Request> TestServer::requests() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->requests;
}

bool TestServer::waitForAnswersSent(int count)
{
    std::unique_lock<std::mutex> lock(state->mutex);
    return state->answerSent.wait_for(lock, std::chrono::seconds(30),
                                      [this, count] { return state->answersSent >= count; });
}

int TestServer::requestCount() const
{
    std::lock_guard<std::mutex> lock(state->mutex);
    return state->requests.size();
}
