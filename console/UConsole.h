#pragma once

// Standard output and error as a person reads them. A Windows console shows bytes in its own code page, not in
// UTF-8: text for a console goes there as UTF-16 (WriteConsoleW), so that every character shows as written;
// text for a pipe or a file goes as UTF-8, as it does everywhere else.

#include <QIODevice>
#include <QStringDecoder>

#include <cstdio>

class TStd_Stream : public QIODevice
{
public:
    // stream: stdout or stderr. Opened for writing; a QTextStream on it writes UTF-8, which this device passes on.
    explicit TStd_Stream(std::FILE *stream);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override;

private:
    std::FILE *Stream;
#ifdef Q_OS_WIN
    void *Handle = nullptr; // the standard handle, when the program has one
    bool Console = false;
    // Holds a character cut between two writes until its last byte comes.
    QStringDecoder Decoder{QStringDecoder::Utf8};
#endif
};

// For a window program answering on the command line (--help, --version): on Windows, where such a program
// starts without standard handles, the console it was started from becomes its output, unless its output is
// redirected. Elsewhere nothing to do.
void Attach_Parent_Console();
