#pragma once

// quillon-cli run as a real process, and a serial port that exists for it: shared by the command-line tests.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

struct TRun
{
    int Exit_Code;
    QByteArray Out;
    QByteArray Err;
};

inline TRun Run(const QStringList &arguments, const QString &program = QStringLiteral(QUILLON_CLI),
                const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(120000))
        return {-1, {}, "did not finish"};
    TRun run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
             process.readAllStandardError()};
#ifdef Q_OS_WIN
    // Standard output and error are text streams on Windows: each line ends in CR LF there.
    run.Out.replace("\r\n", "\n");
    run.Err.replace("\r\n", "\n");
#endif
    return run;
}

#ifdef QUILLON_PEAK_RUNNER
// quillon-cli run through peak_runner: its run, and its peak resident memory in KiB (-1 when not told).
inline TRun Run_With_Peak(const QStringList &arguments, long &peakKiB,
                          const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
{
    TRun run =
        Run(QStringList{QStringLiteral(QUILLON_CLI)} + arguments, QStringLiteral(QUILLON_PEAK_RUNNER), environment);
    peakKiB = -1;
    const QByteArray tag = "peak_runner: peak ";
    const qsizetype at = run.Err.lastIndexOf(tag);
    if (at >= 0 && run.Err.endsWith(" KiB\n")) {
        peakKiB = run.Err.mid(at + tag.size()).split(' ').value(0).toLong();
        run.Err.truncate(at);
    }
    return run;
}
#endif

#ifdef Q_OS_UNIX
// A serial port that exists: the terminal side of a new pseudo terminal, open while the object lives.
struct TPseudo_Port
{
    TPseudo_Port()
    {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (Master >= 0 && ::grantpt(Master) == 0 && ::unlockpt(Master) == 0)
            Path = QString::fromLocal8Bit(::ptsname(Master));
    }
    ~TPseudo_Port()
    {
        if (Master >= 0)
            ::close(Master);
    }
    TPseudo_Port(const TPseudo_Port &) = delete;
    TPseudo_Port &operator=(const TPseudo_Port &) = delete;
    int Master = -1;
    QString Path;
};
#endif
