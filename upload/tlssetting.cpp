#include "upload/tlssetting.h"

#include "upload/endpointsetting.h"

#include <QFile>
#include <QSettings>
#include <QSslCertificate>
#include <QStringList>

namespace {
const QString caKey = QStringLiteral("CA_CERTIFICATES");

QString distinguishedName(const QSslCertificate &certificate, bool subject)
{
    QStringList parts;
    const QList<QByteArray> attributes =
        subject ? certificate.subjectInfoAttributes() : certificate.issuerInfoAttributes();
    for (const QByteArray &attribute : attributes) {
        const QStringList values = subject ? certificate.subjectInfo(attribute) : certificate.issuerInfo(attribute);
        for (const QString &value : values)
            parts << QString::fromLatin1(attribute) + QLatin1Char('=') + value;
    }
    return parts.join(QStringLiteral(", "));
}

QString errorText(const QSslError &error)
{
    const QSslCertificate certificate = error.certificate();
    if (certificate.isNull())
        return error.errorString();
    return QStringLiteral("%1 (subject %2; issuer %3)")
        .arg(error.errorString(), distinguishedName(certificate, true), distinguishedName(certificate, false));
}
}

TlsSetting readTlsSetting(const QSettings &settings)
{
    TlsSetting setting;
    const QStringList names = readFileSetting(settings, caKey);
    if (names.first().isEmpty())
        return setting;
    QFile file;
    for (const QString &name : names) {
        file.setFileName(name);
        if (file.open(QIODevice::ReadOnly))
            break;
    }
    const QString fileName = file.fileName();
    if (!file.isOpen()) {
        setting.refusal = QStringLiteral("%1 in sys.ini names \"%2\", which cannot be read (%3)")
                              .arg(caKey, fileName, file.errorString());
        return setting;
    }
    QList<QSslCertificate> siteCertificates;
    for (const QSslCertificate &certificate : QSslCertificate::fromData(file.readAll(), QSsl::Pem)) {
        if (!certificate.isNull())
            siteCertificates << certificate;
    }
    if (siteCertificates.isEmpty()) {
        setting.refusal = QStringLiteral("%1 in sys.ini names \"%2\", which holds no PEM certificate")
                              .arg(caKey, fileName);
        return setting;
    }
    setting.siteAuthorities = siteCertificates;
    return setting;
}

QSslConfiguration TlsSetting::configuration() const
{
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Setting a list replaces the system's authorities; they are kept by naming them too.
    if (!siteAuthorities.isEmpty())
        configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + siteAuthorities);
    return configuration;
}

QString certificateErrorsText(const QList<QSslError> &errors)
{
    QStringList texts;
    for (const QSslError &error : errors) {
        const QString text = errorText(error);
        if (!texts.contains(text))
            texts << text;
    }
    return texts.join(QStringLiteral("; "));
}
