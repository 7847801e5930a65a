#include "app/processsetup.h"

#include "app/printline.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>

#include <io.h>
#include <windows.h>

#include <atomic>

namespace {
QCoreApplication *application = nullptr;
HANDLE toldToEnd = nullptr; // an event, set once the program is told to end
std::atomic<bool> endedBySystem{false};

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
    const bool bySystem = event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT;
    if (bySystem)
        endedBySystem = true;
    // The event loop hears of it first: once the event is set, the program may be ending.
    quitSoon();
    SetEvent(toldToEnd);
    if (bySystem)
        waitForTheEnd();
    return TRUE;
}

LRESULT CALLBACK endWithSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENDSESSION && wParam) {
        endedBySystem = true;
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

void printText(FILE *stream, const QString &text)
{
    std::fflush(stream);
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        // The console takes UTF-16 as it is, whatever its code page could show.
        const QString lines = QString(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        DWORD written = 0;
        WriteConsoleW(handle, lines.utf16(), DWORD(lines.size()), &written, nullptr);
        return;
    }
    // The stream is in text mode: each LF reaches the pipe or the file as CR LF.
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

bool systemIsEndingTheProgram()
{
    return endedBySystem;
}

void releaseConsoleOfItsOwn()
{
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) == 1)
        FreeConsole();
}

namespace {
QString lastErrorText()
{
    return qt_error_string(int(GetLastError()));
}

// Text mode as the C library and the toolkit have it: every LF written becomes CR LF.
QByteArray withWindowsLineEnds(const QByteArray &text)
{
    // Written in place: appended a byte at a time, a large batch costs a call into the
    // toolkit per byte.
    QByteArray bytes(text.size() + text.count('\n'), Qt::Uninitialized);
    char *out = bytes.data();
    for (const char c : text) {
        if (c == '\n')
            *out++ = '\r';
        *out++ = c;
    }
    return bytes;
}

const wchar_t *wide(const QString &text)
{
    return reinterpret_cast<const wchar_t *>(text.utf16());
}

// The bytes from `size` on cut off again, through a handle that may write anywhere.
void cutBackTo(const QString &fileName, LARGE_INTEGER size)
{
    const HANDLE writer = CreateFileW(wide(fileName), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (writer == INVALID_HANDLE_VALUE)
        return;
    if (SetFilePointerEx(writer, size, nullptr, FILE_BEGIN))
        SetEndOfFile(writer);
    CloseHandle(writer);
}
}

QString accountName()
{
    wchar_t name[257];
    DWORD size = 257;
    return GetUserNameW(name, &size) ? QString::fromWCharArray(name) : QString();
}

// The system checks the access asked for against the folder's or the file's rights for this
// account's token, as a write would be checked; the handle is closed unused.
QString whyNotWritable(const QString &path, bool isFolder)
{
    const DWORD access = isFolder ? FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY : FILE_WRITE_DATA | FILE_APPEND_DATA;
    const HANDLE opened = CreateFileW(wide(QDir::toNativeSeparators(path)), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      isFolder ? FILE_FLAG_BACKUP_SEMANTICS : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE)
        return lastErrorText();
    CloseHandle(opened);
    return QString();
}

AppendFile::~AppendFile()
{
    if (handle)
        CloseHandle(handle);
}

bool AppendFile::open(const QString &name, QString *reason)
{
    fileName = QDir::toNativeSeparators(name);
    // FILE_APPEND_DATA without FILE_WRITE_DATA: the system puts every write at the end of the
    // file, as O_APPEND does. Readers and other writers may have it open meanwhile. Reading is
    // asked for only because a byte-range lock needs a handle that may read or write data.
    const HANDLE opened = CreateFileW(wide(fileName),
                                      FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                      nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        *reason = lastErrorText();
        return false;
    }
    handle = opened;
    return true;
}

namespace {
// Another program appending to the same file at that moment (the window beside the task)
// waits for this write to end: the system puts every write at the end of the file, but Wine
// looks the end up and writes there in two steps, between which another program's write can
// land. The lock is on a byte far past the end of any daily file, so readers never meet it.
class AppendersLock
{
public:
    explicit AppendersLock(HANDLE file)
        : file(file)
    {
        region.OffsetHigh = 0x7fffffff;
        held = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region);
    }
    ~AppendersLock()
    {
        if (held)
            UnlockFileEx(file, 0, 1, 0, &region);
    }
    AppendersLock(const AppendersLock &) = delete;
    AppendersLock &operator=(const AppendersLock &) = delete;

private:
    HANDLE file;
    OVERLAPPED region = {};
    BOOL held = FALSE;
};
}

bool AppendFile::appendWhole(const QByteArray &text, QString *reason)
{
    const QByteArray bytes = withWindowsLineEnds(text);
    const AppendersLock lock(handle);
    DWORD written = 0;
    // One write for the whole batch, so that another program's lines never come between
    // a line and its line end.
    const bool wrote = WriteFile(handle, bytes.constData(), DWORD(bytes.size()), &written, nullptr);
    if (wrote && written == DWORD(bytes.size()))
        return true;
    *reason = wrote ? qt_error_string(ERROR_DISK_FULL) : lastErrorText();
    // The part that was written ends the file, unless another program has appended since.
    LARGE_INTEGER size = {};
    if (written > 0 && GetFileSizeEx(handle, &size)) {
        size.QuadPart -= written;
        cutBackTo(fileName, size);
    }
    return false;
}
