#include "UConsole.h"

#include <algorithm>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

TStd_Stream::TStd_Stream(std::FILE *stream) : Stream(stream)
{
#ifdef Q_OS_WIN
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        Handle = handle;
        DWORD mode = 0;
        Console = GetConsoleMode(handle, &mode) != 0;
    }
#endif
    open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

qint64 TStd_Stream::writeData(const char *data, qint64 size)
{
#ifdef Q_OS_WIN
    // The C library's stream is not used: a window program that attached a console has none behind it.
    if (Handle == nullptr)
        return size; // nowhere to write, as the C library would do
    std::fflush(Stream);
    if (Console) {
        const QString text = Decoder(QByteArrayView(data, size));
        for (qsizetype done = 0; done < text.size();) {
            DWORD written = 0;
            const DWORD chunk = DWORD(std::min<qsizetype>(text.size() - done, 8192));
            if (!WriteConsoleW(Handle, text.utf16() + done, chunk, &written, nullptr) || written == 0)
                return -1;
            done += written;
        }
        return size;
    }
    for (qint64 done = 0; done < size;) {
        DWORD written = 0;
        const DWORD chunk = DWORD(std::min<qint64>(size - done, 1 << 20));
        if (!WriteFile(Handle, data + done, chunk, &written, nullptr) || written == 0)
            return -1;
        done += written;
    }
    return size;
#else
    const size_t written = std::fwrite(data, 1, size_t(size), Stream);
    std::fflush(Stream);
    return written == size_t(size) ? size : -1;
#endif
}

void Attach_Parent_Console()
{
#ifdef Q_OS_WIN
    const auto missing = [](DWORD which) {
        HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    if (!missing(STD_OUTPUT_HANDLE) && !missing(STD_ERROR_HANDLE))
        return;
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // The console's output for each standard handle the program was not given (a redirected one stays).
    for (const DWORD which : {STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        if (!missing(which))
            continue;
        HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
        if (console != INVALID_HANDLE_VALUE)
            SetStdHandle(which, console);
    }
#endif
}
