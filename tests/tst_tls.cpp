// Posts over HTTPS to a local server whose certificates the test makes: a certificate that
// does not check out fails the post with every reason, and CA_CERTIFICATES makes a site's
// own certificate authority trusted.
#include "support/certificates.h"
#include "support/testserver.h"
#include "support/testsupport.h"
#include "upload/pointthread.h"

#include <QSettings>
#include <QSslError>
#include <QtTest>

namespace {
const QString pointFile = QStringLiteral("log/responsePointData-20210606.txt");
const QString siteIssuer = QStringLiteral("CN=Site CA, O=Patrol Site");

QString certificateError(QSslError::SslError error, const QString &subject, const QString &issuer)
{
    return QStringLiteral("%1 (subject %2; issuer %3)").arg(QSslError(error).errorString(), subject, issuer);
}
}

class TlsTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void certificateDecidesThePost_data();
    void certificateDecidesThePost();

private:
    QTemporaryDir certificateDir;
    TestCertificates certificates;
};

void TlsTest::initTestCase()
{
    QVERIFY2(certificates.make(certificateDir.path()), qPrintable(certificates.error()));
}

void TlsTest::certificateDecidesThePost_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("caSetting");
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("requests");
    const QString handshake = QStringLiteral("Failed: SSL handshake failed: ");
    QTest::newRow("self-signed") << "self" << ""
                                 << handshake
            + certificateError(QSslError::SelfSignedCertificate, "CN=127.0.0.1", "CN=127.0.0.1")
                                 << 0;
    QTest::newRow("site CA not named") << "local" << ""
                                       << handshake
            + certificateError(QSslError::UnableToGetLocalIssuerCertificate, "CN=127.0.0.1", siteIssuer) + "; "
            + certificateError(QSslError::UnableToVerifyFirstCertificate, "CN=127.0.0.1", siteIssuer)
                                       << 0;
    QTest::newRow("site CA named") << "local" << "ca" << "ok" << 1;
    // The INI format would take "\\b" for a backspace and read the bytes as Latin-1.
    QTest::newRow("site CA named as written, a backslash and CJK in its folder") << "local" << "as written" << "ok" << 1;
    QTest::newRow("site CA named, other host's certificate")
        << "other" << "ca"
        << handshake + certificateError(QSslError::HostNameMismatch, "CN=other-host.invalid", siteIssuer) << 0;
    QTest::newRow("CA file missing") << "local" << "missing.pem"
                                     << "Failed: CA_CERTIFICATES in sys.ini names \"missing.pem\", which cannot be read "
                                        "(No such file or directory); nothing was posted"
                                     << 0;
    QTest::newRow("CA file without a certificate") << "local" << "sys.ini"
                                                   << "Failed: CA_CERTIFICATES in sys.ini names \"sys.ini\", which "
                                                      "holds no PEM certificate; nothing was posted"
                                                   << 0;
}

void TlsTest::certificateDecidesThePost()
{
    QFETCH(QString, server);
    QFETCH(QString, caSetting);
    QFETCH(QString, line);
    QFETCH(int, requests);
    const TestCertificates::Pair &pair = server == QLatin1String("self")    ? certificates.selfSigned
                                         : server == QLatin1String("other") ? certificates.forOtherHost
                                                                            : certificates.forLocalAddress;
    WorkingDir wd;
    ClockAt clock(QDateTime(QDate(2021, 6, 6), QTime(12, 0, 0)));
    QDir().mkdir(QStringLiteral("log"));
    TestServer https(pair.certificate, pair.key);
    {
        QSettings settings(QStringLiteral("sys.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("POINT_HTTPURL"), https.url(QStringLiteral("/point")));
        if (!caSetting.isEmpty())
            settings.setValue(QStringLiteral("CA_CERTIFICATES"),
                              caSetting == QLatin1String("ca") ? certificates.authority : caSetting);
    }
    if (caSetting == QLatin1String("as written")) {
        const QString folder = wd.file(QStringLiteral("a\\b 证书"));
        QVERIFY(QDir().mkpath(folder) && QFile::copy(certificates.authority, folder + QStringLiteral("/ca.pem")));
        QSettings(QStringLiteral("sys.ini"), QSettings::IniFormat).remove(QStringLiteral("CA_CERTIFICATES"));
        QFile ini(QStringLiteral("sys.ini"));
        QVERIFY(ini.open(QIODevice::Append));
        ini.write("CA_CERTIFICATES=" + folder.toUtf8() + "/ca.pem ; the site's own CA\n");
    }
    PointThread channel(nullptr);
    channel.sendData("key=[]");
    QVERIFY(QTest::qWaitFor([] { return readAll(pointFile).endsWith('\n'); }, 10000));
    QCOMPARE(QString::fromUtf8(readAll(pointFile)), line + QLatin1Char('\n'));
    QCOMPARE(https.requestCount(), requests);
}

QTEST_GUILESS_MAIN(TlsTest)
#include "tst_tls.moc"
