// A contender for the updater lock, for test_UUpdater_Lock's race: lock_contender DIR LOG.
// Each line on its input is one try for the lock of the workspace DIR. Holding it, it appends "+PID" to LOG,
// holds it a while, appends "-PID" and releases it: two holders at once show as two "+" in a row. Each try is
// answered with one line: won, held, busy (another is taking it) or "error: " and the reason.

#include "UUpdater_Lock.h"

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include <cstdio>

namespace {

bool Append(const QString &path, const QByteArray &line)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(line) == line.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString log = QString::fromLocal8Bit(argv[2]);
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        QByteArray answer;
        TUpdater_Lock lock(dir);
        if (lock.Acquire(QStringLiteral("lock_contender"), QStringLiteral("127.0.0.1"), dir)) {
            bool logged = Append(log, '+' + pid + '\n');
            // Long enough for any other process that thinks it holds the lock too to write its line meanwhile.
            QThread::msleep(10);
            logged = Append(log, '-' + pid + '\n') && logged;
            answer = logged ? "won" : "error: the log cannot be written";
            lock.Release();
        } else if (lock.Being_Taken) {
            answer = "busy";
        } else if (lock.Error.isEmpty()) {
            answer = "held";
        } else {
            answer = "error: " + lock.Error.toUtf8();
        }
        std::fputs((answer + '\n').constData(), stdout);
        std::fflush(stdout);
    }
    return 0;
}
