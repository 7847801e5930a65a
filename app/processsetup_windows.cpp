#include "app/processsetup.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

namespace {
QCoreApplication *application = nullptr;
HANDLE mainThread = nullptr;
LONG toldToEnd = 0;

void quitSoon()
{
    QMetaObject::invokeMethod(application, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
}

// After a closed console, a logoff or a shutdown, the system ends the process as soon as the
// handler returns. So it never does: the program ends by itself once the answers in flight
// and the queued lines are in, which takes this thread with it.
[[noreturn]] void waitForTheEnd()
{
    for (;;)
        Sleep(INFINITE);
}

// Runs on a thread the system starts for the event. A read of standard input that the main
// thread is blocked in is cancelled, so that a password prompt ends too.
BOOL WINAPI endOnConsoleEvent(DWORD event)
{
    InterlockedExchange(&toldToEnd, 1);
    CancelSynchronousIo(mainThread);
    quitSoon();
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        waitForTheEnd();
    return TRUE;
}

LRESULT CALLBACK endWithSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION && wParam) {
        quitSoon();
        waitForTheEnd();
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A program that has loaded the window system hears of a logoff or a shutdown only through
// its top-level windows, and a sync without a window has none. This hidden one, on a thread
// of its own, hears it in every mode, and can hold the end back while the program finishes.
DWORD WINAPI watchSessionEnd(LPVOID)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = endWithSession;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"fernwick-session-end";
    if (!RegisterClassW(&windowClass)
        || !CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                            windowClass.hInstance, nullptr))
        return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
        DispatchMessageW(&message);
    return 0;
}
}

void quitOnTerminationSignals(QCoreApplication *app)
{
    application = app;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &mainThread, 0, FALSE,
                    DUPLICATE_SAME_ACCESS);
    SetConsoleCtrlHandler(endOnConsoleEvent, TRUE);
    if (HANDLE watcher = CreateThread(nullptr, 0, watchSessionEnd, nullptr, 0, nullptr))
        CloseHandle(watcher);
}

bool waitForStandardInput()
{
    return InterlockedCompareExchange(&toldToEnd, 0, 0) == 0;
}

void cacheLocalTimeZone()
{
}

void releaseConsoleOfItsOwn()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1)
        FreeConsole();
}
