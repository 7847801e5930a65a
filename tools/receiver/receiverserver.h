#pragma once

#include "bodystore.h"

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>

// The HTTP side of the receiver: routes POST /<kind> to the body check and the
// store and turns their outcome into a JSON answer. Listens on a thread of its own.
class ReceiverServer
{
public:
    // A complete client sync of 100,000 records is tens of megabytes.
    static constexpr std::size_t kDefaultMaxBodyBytes = 512u * 1024u * 1024u;

    // Called once per answered request with a short line saying what happened.
    using RequestLog = std::function<void(const std::string &line)>;

    explicit ReceiverServer(BodyStore &store, std::size_t maxBodyBytes = kDefaultMaxBodyBytes);
    ~ReceiverServer();

    ReceiverServer(const ReceiverServer &) = delete;
    ReceiverServer &operator=(const ReceiverServer &) = delete;

    void setRequestLog(RequestLog log);

    // Called on the listener thread when listening ends without stop() having been asked for.
    void setUnexpectedEndHandler(std::function<void()> handler);

    // Binds to host:port (port 0 picks a free one) and starts listening.
    // Returns the port listened on, or -1 when the address cannot be bound.
    int start(const std::string &host, int port);

    // Stops listening and waits for the listener thread; safe to call more than once.
    void stop();

private:
    void addRoutes();
    void answerPost(const std::string &kindName, const httplib::Request &request,
                    httplib::Response &response, const httplib::ContentReader &reader);
    void answerUnknownPath(const httplib::Request &request, httplib::Response &response,
                           const httplib::ContentReader &reader);
    void listenUntilStopped();

    BodyStore &m_store;
    httplib::Server m_server;
    std::thread m_listener;
    std::atomic<bool> m_listenerEnded{false};
    std::atomic<bool> m_stopRequested{false};
    std::function<void()> m_unexpectedEndHandler;
};
