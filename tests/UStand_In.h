#pragma once

// The stand-in updater in a test's program directory: installed under an updater's name, told how long to
// run and how to exit, and its log of runs read back.

#include "UUpdate_Logic.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

struct TStand_In_Run
{
    QString Cwd;
    QStringList Args;
    QByteArray Xml; // the Ethernet_Update.xml beside it when it ran
    bool Had_Xml = false;
    bool Finished = false; // it ran to its end
    qint64 Parent = 0;     // the process that started it (Unix)
};

// Copies the stand-in to dir under the updater's name (base: Serial_Updater_Base or Ethernet_Updater_Base).
inline bool Install_Stand_In(const QString &dir, const QString &base, int sleepMs = 0, int exitCode = 0)
{
    const QString path = Updater_Path(dir, base);
    QFile::remove(path);
    if (!QFile::copy(QStringLiteral(QUILLON_STAND_IN), path))
        return false;
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner | QFile::ReadOwner);
    QFile control(path + QStringLiteral(".control"));
    if (!control.open(QIODevice::WriteOnly))
        return false;
    return control.write(QStringLiteral("sleep_ms=%1\nexit=%2\n").arg(sleepMs).arg(exitCode).toUtf8()) > 0;
}

// Makes the stand-in write these lines on its standard output and error when it runs.
inline bool Stand_In_Says(const QString &dir, const QString &base, const QStringList &out, const QStringList &err)
{
    QFile control(Updater_Path(dir, base) + QStringLiteral(".control"));
    if (!control.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    QByteArray lines;
    for (const QString &line : out)
        lines += "stdout=" + line.toUtf8() + '\n';
    for (const QString &line : err)
        lines += "stderr=" + line.toUtf8() + '\n';
    return control.write(lines) == lines.size();
}

// Appends control lines ("tick_ms=200", "child=1") to the stand-in's control file.
inline bool Stand_In_Control(const QString &dir, const QString &base, const QByteArray &lines)
{
    QFile control(Updater_Path(dir, base) + QStringLiteral(".control"));
    return control.open(QIODevice::WriteOnly | QIODevice::Append) && control.write(lines) == lines.size();
}

// The runs the stand-in logged, oldest first.
inline QList<TStand_In_Run> Stand_In_Runs(const QString &dir, const QString &base)
{
    QList<TStand_In_Run> runs;
    QFile log(Updater_Path(dir, base) + QStringLiteral(".log"));
    if (!log.open(QIODevice::ReadOnly))
        return runs;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (line == "run")
            runs.append(TStand_In_Run());
        else if (runs.isEmpty())
            continue;
        else if (line == "finished")
            runs.last().Finished = true;
        else if (line.startsWith("cwd="))
            runs.last().Cwd = QString::fromUtf8(line.mid(4));
        else if (line.startsWith("parent="))
            runs.last().Parent = line.mid(7).toLongLong();
        else if (line.startsWith("arg="))
            runs.last().Args.append(QString::fromUtf8(line.mid(4)));
        else if (line.startsWith("xml=") && line != "xml=none") {
            runs.last().Xml = QByteArray::fromBase64(line.mid(4));
            runs.last().Had_Xml = true;
        }
    }
    return runs;
}
