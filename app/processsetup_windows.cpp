#include "app/processsetup.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

namespace {
QCoreApplication *application = nullptr;
HANDLE toldToEnd = nullptr; // an event, set once the program is told to end

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

// Runs on a thread the system starts for the event.
BOOL WINAPI endOnConsoleEvent(DWORD event)
{
    // The event loop hears of it first: once the event is set, the program may be ending.
    quitSoon();
    SetEvent(toldToEnd);
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        waitForTheEnd();
    return TRUE;
}

LRESULT CALLBACK endWithSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION && wParam) {
        quitSoon();
        SetEvent(toldToEnd);
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
    toldToEnd = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(endOnConsoleEvent, TRUE);
    if (HANDLE watcher = CreateThread(nullptr, 0, watchSessionEnd, nullptr, 0, nullptr))
        CloseHandle(watcher);
}

// A read of a pipe or a console cannot be waited for beside an event, so a thread of its own
// reads, a byte when asked; the program waits for that byte or for its end, whichever is first.
namespace {
HANDLE byteWanted = nullptr;
HANDLE byteRead = nullptr;
char inputByte = 0;
bool inputEnded = false;

DWORD WINAPI readStandardInput(LPVOID)
{
    while (!inputEnded) {
        WaitForSingleObject(byteWanted, INFINITE);
        DWORD count = 0;
        inputEnded = !ReadFile(GetStdHandle(STD_INPUT_HANDLE), &inputByte, 1, &count, nullptr) || count == 0;
        SetEvent(byteRead);
    }
    return 0;
}
}

InputByte readStandardInputByte(char *byte)
{
    if (!byteWanted) {
        byteWanted = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        byteRead = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (HANDLE reader = CreateThread(nullptr, 0, readStandardInput, nullptr, 0, nullptr))
            CloseHandle(reader);
    }
    if (inputEnded)
        return InputByte::Ended;
    SetEvent(byteWanted);
    const HANDLE either[] = {toldToEnd, byteRead};
    if (WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0)
        return InputByte::Interrupted;
    if (inputEnded)
        return InputByte::Ended;
    *byte = inputByte;
    return InputByte::Read;
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
