#include "upload/proxysetting.h"

#include <QNetworkProxyFactory>
#include <QSettings>
#include <QUrl>

namespace {
const QString proxyKey = QStringLiteral("PROXY_HTTPURL");

QNetworkProxy systemProxy(const QUrl &target)
{
    const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery(target));
    for (const QNetworkProxy &proxy : proxies) {
        if (proxy.type() == QNetworkProxy::HttpProxy || proxy.type() == QNetworkProxy::Socks5Proxy)
            return proxy;
        if (proxy.type() == QNetworkProxy::NoProxy)
            break;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}
}

ProxySetting readProxySetting(const QSettings &settings, const QUrl &target)
{
    const QString written = settings.value(proxyKey).toString().trimmed();
    if (written.isEmpty())
        return {systemProxy(target), QString()};
    if (written.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return {QNetworkProxy(QNetworkProxy::NoProxy), QString()};
    const QUrl url(written, QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    const bool http = scheme == QLatin1String("http");
    if (!url.isValid() || url.host().isEmpty() || (!http && scheme != QLatin1String("socks5")))
        return {QNetworkProxy(QNetworkProxy::NoProxy),
                QStringLiteral("%1 in sys.ini is \"%2\", which is neither the http:// or socks5:// URL of a proxy nor "
                               "none; nothing was posted")
                    .arg(proxyKey, written)};
    return {QNetworkProxy(http ? QNetworkProxy::HttpProxy : QNetworkProxy::Socks5Proxy, url.host(),
                          quint16(url.port(http ? 80 : 1080)), url.userName(), url.password()),
            QString()};
}
