#pragma once

#include <QNetworkProxy>
#include <QString>

class QSettings;
class QUrl;

// The proxy a post to a URL goes through.
struct ProxySetting
{
    QNetworkProxy proxy = QNetworkProxy(QNetworkProxy::NoProxy);
    QString refusal;  // why nothing may be posted; empty when a post may go
};

// PROXY_HTTPURL in the general section of sys.ini names the proxy for every post: an
// http:// URL of an HTTP proxy (user and password may come before the host) or a socks5://
// one, or "none" for a direct connection. Absent or empty, the system's proxy for `target`
// counts (on Linux the http_proxy, https_proxy and no_proxy variables). A program run as a
// service has none of a user's proxy settings, hence the key. A value that is neither
// refuses the post: the site asked for a way out the program cannot take.
ProxySetting readProxySetting(const QSettings &settings, const QUrl &target);
