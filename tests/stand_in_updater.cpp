// A stand-in for the external updaters. Tests copy it into a program directory under an updater's name.
// Each run appends to <own path>.log: its arguments, its working directory and the Ethernet_Update.xml
// beside it (base64), written before it sleeps so that a test sees a run under way, and "finished" after it. <own
// path>.control, when present, holds "sleep_ms=N" and "exit=N" lines: how long to sleep and the exit code, and "stdout=TEXT" and "stderr=TEXT" lines it writes there;
// "tick_ms=N" prints "tick K" every N ms while it sleeps, and "child=1" (Linux) first starts a child that ignores
// SIGTERM, sleeps a minute and writes its process id to <own path>.child, as an updater's helper process would.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cstdio>

#ifdef Q_OS_UNIX
#include <csignal>
#include <unistd.h>
#endif

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    int sleepMs = 0;
    int exitCode = 0;
    int tickMs = 0;
    bool child = false;
    QByteArray toOut;
    QByteArray toErr;
    QFile control(self + QStringLiteral(".control"));
    if (control.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : control.readAll().split('\n')) {
            if (line.startsWith("sleep_ms="))
                sleepMs = line.mid(9).trimmed().toInt();
            else if (line.startsWith("exit="))
                exitCode = line.mid(5).trimmed().toInt();
            else if (line.startsWith("stdout="))
                toOut += line.mid(7) + '\n';
            else if (line.startsWith("stderr="))
                toErr += line.mid(7) + '\n';
            else if (line.startsWith("tick_ms="))
                tickMs = line.mid(8).trimmed().toInt();
            else if (line.startsWith("child="))
                child = line.mid(6).trimmed() == "1";
        }
    }
    QByteArray record = "run\ncwd=" + QDir::currentPath().toUtf8() + '\n';
#ifdef Q_OS_UNIX
    // Who started it, so that a test of several updates at once can tell whose run it is.
    record += "parent=" + QByteArray::number(::getppid()) + '\n';
#endif
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        record += "arg=" + argument.toUtf8() + '\n';
    QFile xml(QFileInfo(self).dir().filePath(QStringLiteral("Ethernet_Update.xml")));
    record += "xml=" + (xml.open(QIODevice::ReadOnly) ? xml.readAll().toBase64() : QByteArray("none")) + '\n';
    record += "end\n";
    QFile log(self + QStringLiteral(".log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write(record) != record.size() || !log.flush())
        return 120;
    log.close();
    std::fwrite(toOut.constData(), 1, size_t(toOut.size()), stdout);
    std::fflush(stdout);
    std::fwrite(toErr.constData(), 1, size_t(toErr.size()), stderr);
#ifdef Q_OS_UNIX
    if (child) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::signal(SIGTERM, SIG_IGN);
            ::sleep(60);
            ::_exit(0);
        }
        QFile childFile(self + QStringLiteral(".child"));
        if (!childFile.open(QIODevice::WriteOnly) || childFile.write(QByteArray::number(pid)) <= 0)
            return 122;
    }
#else
    Q_UNUSED(child);
#endif
    if (tickMs > 0) {
        for (int slept = 0, tick = 1; slept < sleepMs; slept += tickMs, ++tick) {
            std::printf("tick %d\n", tick);
            std::fflush(stdout);
            QThread::msleep(static_cast<unsigned long>(tickMs));
        }
    } else {
        QThread::msleep(static_cast<unsigned long>(sleepMs));
    }
    // The run's end, so that a test sees whether it ran to its end.
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append) || log.write("finished\n") != 9)
        return 121;
    return exitCode;
}
