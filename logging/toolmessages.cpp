#include "logging/toolmessages.h"

#include <QString>

#include <atomic>
#include <cstdio>

Q_LOGGING_CATEGORY(toolMessages, "fernwick")

namespace {
QtMessageHandler toolkitHandler = nullptr;
std::atomic<bool> quiet{false};

void handleMessage(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (context.category && qstrcmp(context.category, toolMessages().categoryName()) == 0) {
        std::fputs(text.toLocal8Bit().append('\n').constData(), stderr);
        std::fflush(stderr);
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
