#pragma once

#include <QString>

// Certificates made for one test with the openssl command line, in a folder of the test's:
// a site's certificate authority, server certificates it signed, and one that signed itself.
class TestCertificates
{
public:
    struct Pair
    {
        QString certificate; // PEM files
        QString key;
    };

    // False, with why in error(), when openssl could not make them.
    bool make(const QString &directory);
    QString error() const { return failure; }

    QString authority;    // the site CA's certificate
    Pair forLocalAddress; // signed by the site CA, for 127.0.0.1
    Pair forOtherHost;    // signed by the site CA, for the name other-host.invalid only
    Pair selfSigned;      // for 127.0.0.1, signed by its own key

private:
    bool openssl(const QStringList &arguments);
    bool makeSigned(const QString &name, const QString &subjectAltName, Pair *pair);

    QString directory;
    QString failure;
};
