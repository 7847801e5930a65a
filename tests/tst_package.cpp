#include "support/testsupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

// The Debian package as `make package` builds it, read back with dpkg-deb.
class PackageTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void holdsTheProgramsDriverAndMenuEntry_data();
    void holdsTheProgramsDriverAndMenuEntry();
    void dependsOnWhatItLinksAndLoads_data();
    void dependsOnWhatItLinksAndLoads();
    void maintainerScriptsRegisterAndRemoveBothDriverNames();

private:
    QString dpkgDeb(const QStringList &arguments, const QProcessEnvironment &environment = {});
    QStringList registeredDrivers(const QProcessEnvironment &environment);

    WorkingDir wd;
    QString package;
    QString contents;
    QStringList depends;
};

namespace {
const QString jetName = QStringLiteral("Microsoft Access Driver (*.mdb)");
const QString aceName = QStringLiteral("Microsoft Access Driver (*.mdb, *.accdb)");

QString run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment,
            QString *errors = nullptr)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(240000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        if (errors)
            *errors = program + QLatin1Char(' ') + arguments.join(QLatin1Char(' ')) + QStringLiteral(" failed: ")
                + QString::fromLocal8Bit(process.readAllStandardError() + process.readAllStandardOutput());
        return QString();
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

QProcessEnvironment withOdbcSysIni(const QString &directory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ODBCSYSINI"), directory);
    return environment;
}
}

void PackageTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("dpkg-deb")).isEmpty())
        QSKIP("dpkg-deb is not installed");
    QString errors;
    run(QStringLiteral(FERNWICK_CPACK),
        {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"), QStringLiteral(FERNWICK_CPACK_CONFIG),
         QStringLiteral("-B"), wd.path()},
        {}, &errors);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
    const QStringList debs = QDir(wd.path()).entryList({QStringLiteral("fernwick_*.deb")});
    QCOMPARE(debs.size(), 1);
    package = wd.file(debs.first());
    contents = dpkgDeb({QStringLiteral("--contents"), package});
    depends = dpkgDeb({QStringLiteral("--field"), package, QStringLiteral("Depends")})
                  .trimmed()
                  .split(QStringLiteral(", "));
}

void PackageTest::holdsTheProgramsDriverAndMenuEntry_data()
{
    QTest::addColumn<QString>("path");
    for (const char *path : {"/usr/bin/fernwick", "/usr/bin/fernwick-receiver", "/usr/bin/fernwick-gtdb",
                             "/odbc/libfernwick-access-odbc.so", "/usr/share/fernwick/odbcinst.ini",
                             "/usr/share/applications/fernwick.desktop",
                             "/usr/share/icons/hicolor/48x48/apps/fernwick.png",
                             "/usr/share/icons/hicolor/128x128/apps/fernwick.png",
                             "/usr/share/icons/hicolor/256x256/apps/fernwick.png",
                             "/usr/share/doc/fernwick/examples/fernwick.service",
                             "/usr/share/doc/fernwick/examples/fernwick.timer"})
        QTest::newRow(path) << QString::fromLatin1(path);
}

void PackageTest::holdsTheProgramsDriverAndMenuEntry()
{
    QFETCH(QString, path);
    QVERIFY2(contents.contains(path + QLatin1Char('\n')), qPrintable(contents));
}

void PackageTest::dependsOnWhatItLinksAndLoads_data()
{
    QTest::addColumn<QString>("dependency");
    for (const char *name : {"libqt5widgets5", "libqt5sql5", "libqt5network5", "libodbc2", "libsqlite3-0",
                             "libmdb3", "libnettle8", "libqt5sql5-odbc", "libqt5sql5-sqlite", "odbcinst"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void PackageTest::dependsOnWhatItLinksAndLoads()
{
    QFETCH(QString, dependency);
    const bool found = std::any_of(depends.begin(), depends.end(), [&](const QString &entry) {
        return entry == dependency || entry.startsWith(dependency + QLatin1Char(' '));
    });
    QVERIFY2(found, qPrintable(depends.join(QStringLiteral(", "))));
}

// postinst and prerm run against a driver list of the test's own, with the package's tree
// unpacked under the test directory in place of /.
void PackageTest::maintainerScriptsRegisterAndRemoveBothDriverNames()
{
    const QString root = wd.file(QStringLiteral("root"));
    const QString control = wd.file(QStringLiteral("control"));
    const QString etc = wd.file(QStringLiteral("etc"));
    QVERIFY(QDir().mkpath(etc));
    dpkgDeb({QStringLiteral("--extract"), package, root});
    dpkgDeb({QStringLiteral("--control"), package, control});
    const QProcessEnvironment environment = withOdbcSysIni(etc);

    const QString registration = QStringLiteral("/usr/share/fernwick/odbcinst.ini");
    QString postinst = QString::fromUtf8(readAll(control + QStringLiteral("/postinst")));
    QVERIFY2(postinst.contains(registration), qPrintable(postinst));
    postinst.replace(registration, root + registration);
    QFile rooted(wd.file(QStringLiteral("postinst")));
    QVERIFY(rooted.open(QIODevice::WriteOnly));
    rooted.write(postinst.toUtf8());
    rooted.close();

    QString errors;
    run(QStringLiteral("sh"), {rooted.fileName(), QStringLiteral("configure")}, environment, &errors);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
    QCOMPARE(registeredDrivers(environment), QStringList({jetName, aceName}));

    const QString driverList = QString::fromUtf8(readAll(etc + QStringLiteral("/odbcinst.ini")));
    const QRegularExpression driverLine(QStringLiteral("^Driver\\s*=\\s*(\\S+)$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch driver = driverLine.match(driverList);
    QVERIFY2(driver.hasMatch(), qPrintable(driverList));
    QVERIFY2(QFileInfo(root + driver.captured(1)).isFile(), qPrintable(driver.captured(1)));

    run(QStringLiteral("sh"), {control + QStringLiteral("/prerm"), QStringLiteral("remove")}, environment, &errors);
    QVERIFY2(errors.isEmpty(), qPrintable(errors));
    QCOMPARE(registeredDrivers(environment), QStringList());
}

QString PackageTest::dpkgDeb(const QStringList &arguments, const QProcessEnvironment &environment)
{
    QString errors;
    const QString output = run(QStringLiteral("dpkg-deb"), arguments, environment, &errors);
    if (!errors.isEmpty())
        qWarning("%s", qPrintable(errors));
    return output;
}

QStringList PackageTest::registeredDrivers(const QProcessEnvironment &environment)
{
    QStringList names;
    const QString listing = run(QStringLiteral("odbcinst"), {QStringLiteral("-q"), QStringLiteral("-d")}, environment);
    for (const QString &line : listing.split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('[')))
            names << line.mid(1, line.size() - 2);
    }
    return names;
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"
