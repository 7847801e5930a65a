#include "app/processsetup.h"

#include "app/printline.h"

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <cstdio>
#include <cstdlib>

namespace {
struct HeldMessage
{
    QtMsgType type;
    const char *category; // the toolkit's categories are static texts
    QString text;
};

QtMessageHandler handlerBeforeStart = nullptr;
QVector<HeldMessage> heldMessages;

[[noreturn]] void reportNoDisplay(const QString &fatalText)
{
    // The platform's own first word says why ("could not connect to display :1"); what the
    // toolkit adds after it is about plugins.
    const QString reason = heldMessages.isEmpty() ? fatalText : heldMessages.first().text;
    const QString line = QStringLiteral("fernwick: no display, so the window cannot open (%1); "
                                        "'fernwick --once' runs a sync without one.")
                             .arg(reason.section(QLatin1Char('\n'), 0, 0).trimmed());
    printLine(stderr, line);
    std::_Exit(1);
}

void holdWhileStarting(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg)
        reportNoDisplay(text);
    heldMessages.append({type, context.category, text});
}
}

PlatformStartGuard::PlatformStartGuard()
{
    handlerBeforeStart = qInstallMessageHandler(holdWhileStarting);
}

PlatformStartGuard::~PlatformStartGuard()
{
    qInstallMessageHandler(handlerBeforeStart);
    for (const HeldMessage &message : qAsConst(heldMessages))
        qt_message_output(message.type, QMessageLogContext(nullptr, 0, nullptr, message.category), message.text);
    heldMessages.clear();
}
