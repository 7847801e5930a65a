#pragma once

#include <QList>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QSettings;

// How the program's HTTPS connections check the server's certificate.
struct TlsSetting
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();  // the system's trust unless changed
    bool siteAuthorities = false; // CA_CERTIFICATES named a file and its certificates were added
    QString refusal;              // why no connection may be made; empty when one may
};

// CA_CERTIFICATES in the general section of sys.ini: a PEM file of certificate authorities
// (a site's own CA, say) trusted beside the system's. Absent or empty, the toolkit's default
// configuration is used as it is. A file that cannot be read or holds no certificate is a
// refusal: the operator asked for a trust that the program cannot give.
TlsSetting readTlsSetting(const QSettings &settings);

// Every certificate problem of a handshake, each with the subject and the issuer of the
// certificate it concerns, for an operator: "The certificate is self-signed, and untrusted
// (subject CN=server; issuer CN=server)", joined by "; ".
QString certificateErrorsText(const QList<QSslError> &errors);
