#include "support/certificates.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>

namespace {
// Elliptic-curve keys: made in milliseconds, where RSA keys take a good part of a second.
const QStringList newKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
const QString days = QStringLiteral("30");
}

bool TestCertificates::openssl(const QStringList &arguments)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(QStringLiteral("openssl"), arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        failure = QStringLiteral("openssl %1: %2 %3")
                      .arg(arguments.join(QLatin1Char(' ')), process.errorString(),
                           QString::fromLocal8Bit(process.readAllStandardError()));
        return false;
    }
    return true;
}

bool TestCertificates::makeSigned(const QString &name, const QString &subjectAltName, Pair *pair)
{
    const QString extensions = QDir(directory).filePath(name + QStringLiteral(".ext"));
    QFile file(extensions);
    if (!file.open(QIODevice::WriteOnly)
        || file.write(QStringLiteral("subjectAltName=%1\n").arg(subjectAltName).toLatin1()) < 0)
        return false;
    file.close();
    *pair = {QDir(directory).filePath(name + QStringLiteral(".pem")), QDir(directory).filePath(name + QStringLiteral(".key"))};
    const QString request = name + QStringLiteral(".csr");
    return openssl(QStringList{"req"} + newKey + QStringList{"-keyout", pair->key, "-out", request, "-subj", "/CN=" + name})
        && openssl({"x509", "-req", "-in", request, "-CA", authority, "-CAkey", "ca.key", "-CAcreateserial", "-out",
                    pair->certificate, "-days", days, "-extfile", extensions});
}

bool TestCertificates::make(const QString &where)
{
    directory = where;
    authority = QDir(directory).filePath(QStringLiteral("ca.pem"));
    selfSigned = {QDir(directory).filePath(QStringLiteral("self.pem")), QDir(directory).filePath(QStringLiteral("self.key"))};
    return openssl(QStringList{"req", "-x509"} + newKey
                   + QStringList{"-keyout", "ca.key", "-out", authority, "-days", days, "-subj", "/O=Patrol Site/CN=Site CA",
                                 "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign"})
        && makeSigned(QStringLiteral("127.0.0.1"), QStringLiteral("IP:127.0.0.1"), &forLocalAddress)
        && makeSigned(QStringLiteral("other-host.invalid"), QStringLiteral("DNS:other-host.invalid"), &forOtherHost)
        && openssl(QStringList{"req", "-x509"} + newKey
                   + QStringList{"-keyout", selfSigned.key, "-out", selfSigned.certificate, "-days", days, "-subj",
                                 "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1"});
}
