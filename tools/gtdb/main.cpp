// fernwick-gtdb: makes guard-tour databases for tests, the demo and the benchmarks.

#include "gtdb.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

namespace {

int report(bool ok, const QString &error)
{
    if (!ok)
        QTextStream(stderr) << "fernwick-gtdb: " << error << '\n';
    return ok ? 0 : 1;
}

int createCommand(const QStringList &args, const QString &password)
{
    QFile script(args.at(2));
    if (!script.open(QIODevice::ReadOnly))
        return report(false, QStringLiteral("cannot read %1").arg(args.at(2)));
    QString error;
    const bool ok = gtdb::createGuardTourDb(args.at(1), QString::fromUtf8(script.readAll()), password, &error);
    return report(ok, error);
}

int generateCommand(const QStringList &args, const QString &password)
{
    bool numeric = false;
    const int rows = args.at(2).toInt(&numeric);
    if (!numeric || rows < 0)
        return report(false, QStringLiteral("not a number of rows: %1").arg(args.at(2)));
    QString error;
    return report(gtdb::generateGuardTourDb(args.at(1), rows, password, &error), error);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("fernwick-gtdb"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Creates a guard-tour database for the project's Access ODBC driver.\n"
        "  create <database> <script.sql>    tables, then the statements of the script\n"
        "  generate <database> <rows>        tables with <rows> generated rows each"));
    parser.addHelpOption();
    const QCommandLineOption passwordOption(QStringList{QStringLiteral("p"), QStringLiteral("password")},
                                            QStringLiteral("Database password."), QStringLiteral("password"));
    parser.addOption(passwordOption);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("create or generate"));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    const QString password = parser.value(passwordOption);
    if (args.size() == 3 && args.at(0) == QLatin1String("create"))
        return createCommand(args, password);
    if (args.size() == 3 && args.at(0) == QLatin1String("generate"))
        return generateCommand(args, password);
    QTextStream(stderr) << parser.helpText();
    return 2;
}
