#pragma once

#include <QList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>

class QSettings;

// How the program's HTTPS connections check the server's certificate.
struct TlsSetting
{
    QList<QSslCertificate> siteAuthorities; // CA_CERTIFICATES's certificates; empty when none is named
    QString refusal;                        // why no connection may be made; empty when one may

    // The system's trust, with the site's authorities beside it. Made only for a connection
    // that needs it: the toolkit reads the system's whole store of authorities the first time,
    // which a plain http post never uses (under Wine, hundreds of certificates checked one by one).
    QSslConfiguration configuration() const;
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
