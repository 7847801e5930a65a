// One post of a body to a local receiver, through the tool's own HTTP post and through Qt's
// QNetworkAccessManager, which the tool posted with before: alternating, median of the rounds.
//   ./build/bench/bench_post [KILOBYTES ...] [--rounds N]      (default 1 1024 32768, 9 rounds)
#include "benchsupport.h"
#include "upload/httppost.h"
#include "upload/tlssetting.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <cstring>

namespace {

double ownPostMs(const QUrl &url, const QByteArray &body)
{
    QElapsedTimer clock;
    clock.start();
    HttpPost post(url, body, nullptr);
    QEventLoop loop;
    QObject::connect(&post, &HttpPost::finished, &loop, &QEventLoop::quit);
    post.start(TlsSetting());
    loop.exec();
    if (!post.succeeded())
        std::fprintf(stderr, "own post failed: %s\n", qPrintable(post.failure()));
    return clock.nsecsElapsed() / 1e6;
}

double qtPostMs(QNetworkAccessManager &manager, const QUrl &url, const QByteArray &body)
{
    QElapsedTimer clock;
    clock.start();
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/x-www-form-urlencoded"));
    QNetworkReply *reply = manager.post(request, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    if (reply->error() != QNetworkReply::NoError)
        std::fprintf(stderr, "Qt post failed: %s\n", qPrintable(reply->errorString()));
    reply->readAll();
    delete reply;
    return clock.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    prepareBenchProcess();
    QCoreApplication app(argc, argv);
    QList<int> kilobytes;
    int rounds = 9;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--rounds") == 0 && i + 1 < argc)
            rounds = std::atoi(argv[++i]);
        else
            kilobytes << std::atoi(argv[i]);
    }
    if (kilobytes.isEmpty())
        kilobytes = {1, 1024, 32768};
    OkReceiver receiver;
    const QUrl url(receiver.url() + QStringLiteral("/point"));
    QNetworkAccessManager manager;
    for (int size : kilobytes) {
        const QByteArray body = "key=" + QByteArray(size * 1024, 'x');
        QVector<double> own, qt;
        for (int round = 0; round < rounds; ++round) {
            own << ownPostMs(url, body);
            qt << qtPostMs(manager, url, body);
        }
        std::printf("%d KiB, median of %d: own post %.2f ms, Qt's %.2f ms, ratio %.2f\n", size, rounds, median(own),
                    median(qt), median(own) / median(qt));
    }
    return 0;
}
