#include "fernwick_driver_names.h"
#include "support/testsupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {
const QString jetName = QLatin1String(accessdriver::jetName);
const QString aceName = QLatin1String(accessdriver::aceName);

// The program's standard output; on a failure, `failures` gains the command and its output.
QString run(QString *failures, const QString &program, const QStringList &arguments, const QString &odbcSysIni = QString())
{
    QProcess process;
    if (!odbcSysIni.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("ODBCSYSINI"), odbcSysIni);
        process.setProcessEnvironment(environment);
    }
    process.start(program, arguments);
    if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *failures += program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
            + QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput());
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QStringList registeredDrivers(const QString &odbcSysIni)
{
    QString failures;
    QStringList names;
    for (const QString &line : run(&failures, QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")}, odbcSysIni)
                                   .split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            names << line.mid(1, line.size() - 2);
    }
    return names;
}
}

// The Debian package as `make package` builds it, read back with dpkg-deb.
class PackageTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void holdsAndDependsOn_data();
    void holdsAndDependsOn();
    void maintainerScriptsRegisterAndRemoveBothDriverNames();
    void copyrightHoldsTheLicences_data();
    void copyrightHoldsTheLicences();

private:
    WorkingDir wd;
    QString package;
    QString contents;
    QStringList depends;
};

void PackageTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
        QSKIP("dpkg-deb is not installed");
    QString failures;
    run(&failures, QStringLiteral(FERNWICK_CPACK), {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                                                    QStringLiteral(FERNWICK_CPACK_CONFIG), QStringLiteral("-B"), wd.path()});
    const QStringList debs = QDir(wd.path()).entryList({QStringLiteral("fernwick_*.deb")});
    QVERIFY2(debs.size() == 1, qPrintable(failures));
    package = wd.file(debs.first());
    contents = run(&failures, QStringLiteral("dpkg-deb"), {QStringLiteral("--contents"), package});
    // Each entry's name without a version constraint, "libc6 (>= 2.34)" as "libc6".
    for (const QString &entry : run(&failures, QStringLiteral("dpkg-deb"), {QStringLiteral("--field"), package, QStringLiteral("Depends")})
                                    .trimmed()
                                    .split(QStringLiteral(", ")))
        depends << entry.section(QLatin1Char(' '), 0, 0);
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
}

// The programs, the driver and its registration, the menu entry and icons, the service
// examples; and every library the programs link or load at run time.
void PackageTest::holdsAndDependsOn_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<bool>("isDependency");
    for (const char *path : {"/usr/bin/fernwick", "/usr/bin/fernwick-receiver", "/usr/bin/fernwick-gtdb",
                             "/odbc/libfernwick-access-odbc.so", "/usr/share/fernwick/odbcinst.ini",
                             "/usr/share/applications/fernwick.desktop",
                             "/usr/share/icons/hicolor/48x48/apps/fernwick.png",
                             "/usr/share/icons/hicolor/128x128/apps/fernwick.png",
                             "/usr/share/icons/hicolor/256x256/apps/fernwick.png",
                             "/usr/share/doc/fernwick/examples/fernwick.service",
                             "/usr/share/doc/fernwick/examples/fernwick.timer"})
        QTest::newRow(path) << QString::fromLatin1(path) << false;
    for (const char *name : {"libqt5widgets5", "libqt5sql5", "libqt5network5", "libodbc2", "libsqlite3-0",
                             "libmdb3", "libnettle8", "libqt5sql5-odbc", "libqt5sql5-sqlite", "odbcinst"})
        QTest::newRow(name) << QString::fromLatin1(name) << true;
}

void PackageTest::holdsAndDependsOn()
{
    QFETCH(QString, entry);
    QFETCH(bool, isDependency);
    if (isDependency)
        QVERIFY2(depends.contains(entry), qPrintable(depends.join(QStringLiteral(", "))));
    else
        QVERIFY2(contents.contains(entry + QLatin1Char('\n')), qPrintable(contents));
}

// postinst and prerm run against a driver list of the test's own, with the package's tree
// unpacked under the test directory in place of /.
void PackageTest::maintainerScriptsRegisterAndRemoveBothDriverNames()
{
    const QString root = wd.file(QStringLiteral("root"));
    const QString control = wd.file(QStringLiteral("control"));
    const QString etc = wd.file(QStringLiteral("etc"));
    QVERIFY(QDir().mkpath(etc));
    QString failures;
    run(&failures, QStringLiteral("dpkg-deb"), {QStringLiteral("--extract"), package, root});
    run(&failures, QStringLiteral("dpkg-deb"), {QStringLiteral("--control"), package, control});

    const QString registration = QStringLiteral("/usr/share/fernwick/odbcinst.ini");
    QString postinst = QString::fromUtf8(readAll(control + QStringLiteral("/postinst")));
    QVERIFY2(postinst.contains(registration), qPrintable(postinst));
    QFile rooted(wd.file(QStringLiteral("postinst")));
    QVERIFY(rooted.open(QIODevice::WriteOnly));
    rooted.write(postinst.replace(registration, root + registration).toUtf8());
    rooted.close();

    run(&failures, QStringLiteral("sh"), {rooted.fileName(), QStringLiteral("configure")}, etc);
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    QCOMPARE(registeredDrivers(etc), QStringList({jetName, aceName}));
    const QString driverList = QString::fromUtf8(readAll(etc + QStringLiteral("/odbcinst.ini")));
    const QRegularExpressionMatch driver =
        QRegularExpression(QStringLiteral("^Driver\\s*=\\s*(\\S+)$"), QRegularExpression::MultilineOption).match(driverList);
    QVERIFY2(driver.hasMatch(), qPrintable(driverList));
    QVERIFY2(QFileInfo(root + driver.captured(1)).isFile(), qPrintable(driver.captured(1)));

    run(&failures, QStringLiteral("sh"), {control + QStringLiteral("/prerm"), QStringLiteral("remove")}, etc);
    QVERIFY2(failures.isEmpty(), qPrintable(failures));
    QCOMPARE(registeredDrivers(etc), QStringList());
}

// The copyright file names the components and carries their licences, which Debian's own
// texts must be word for word.
void PackageTest::copyrightHoldsTheLicences_data()
{
    QTest::addColumn<QString>("licence");
    for (const char *name : {"LGPL-3", "GPL-3", "Apache-2.0"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void PackageTest::copyrightHoldsTheLicences()
{
    QFETCH(QString, licence);
    const QString root = wd.file(QStringLiteral("copyright-root"));
    QString failures;
    run(&failures, QStringLiteral("dpkg-deb"), {QStringLiteral("--extract"), package, root});
    const QByteArray copyright = readAll(root + QStringLiteral("/usr/share/doc/fernwick/copyright"));
    QVERIFY2(copyright.contains("Qt 5.15") && copyright.contains("OpenSSL 3"), qPrintable(failures + QString::fromUtf8(copyright.left(500))));
    QVERIFY(copyright.contains(readAll(QStringLiteral("/usr/share/common-licenses/") + licence)));
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"

