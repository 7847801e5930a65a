#include "logging/toolmessages.h"

#include "app/printline.h"

#include <QString>

#include <atomic>

Q_LOGGING_CATEGORY(toolMessages, "fernwick")

namespace {
QtMessageHandler toolkitHandler = nullptr;
std::atomic<bool> quiet{false};

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, toolMessages().categoryName()) == 0) {
        printLine(stderr, text);
        return;
    }
    if (!quiet || type == QtFatalMsg)
        toolkitHandler(type, context, text);
}
}

void routeMessages(bool toolkitQuiet)
{
    quiet = toolkitQuiet;
    if (!toolkitHandler)
        toolkitHandler = qInstallMessageHandler(handleMessage);
}
