#include "UUpdater_Lock.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "URegular_File.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#endif

namespace {

// A lock file is a few hundred bytes; anything larger is no lock of ours and reads as dead.
constexpr qint64 Lock_File_Limit = 64 * 1024;

const char *const Lock_Keys[] = {"owner",   "owner_start", "updater", "updater_start",
                                 "started", "program",     "target",  "conf"};

} // namespace

QByteArray Lock_Record_Bytes(const TUpdater_Lock_Record &record)
{
    const QString values[] = {QString::number(record.Owner_Pid),
                              QString::number(record.Owner_Start),
                              QString::number(record.Updater_Pid),
                              QString::number(record.Updater_Start),
                              record.Started.toUTC().toString(Qt::ISODate),
                              record.Program,
                              record.Target,
                              record.Conf_Dir};
    QByteArray bytes;
    for (size_t i = 0; i < std::size(Lock_Keys); ++i)
        bytes += QByteArray(Lock_Keys[i]) + '=' + QString(values[i]).replace(u'\n', u' ').toUtf8() + '\n';
    return bytes;
}

TUpdater_Lock_Record Parse_Lock_Record(const QByteArray &bytes)
{
    TUpdater_Lock_Record record;
    for (const QByteArray &line : bytes.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0)
            continue;
        const QByteArray key = line.left(equals);
        const QString value = QString::fromUtf8(line.mid(equals + 1));
        if (key == "owner")
            record.Owner_Pid = value.toLongLong();
        else if (key == "owner_start")
            record.Owner_Start = value.toLongLong();
        else if (key == "updater")
            record.Updater_Pid = value.toLongLong();
        else if (key == "updater_start")
            record.Updater_Start = value.toLongLong();
        else if (key == "started")
            record.Started = QDateTime::fromString(value, Qt::ISODate);
        else if (key == "program")
            record.Program = value;
        else if (key == "target")
            record.Target = value;
        else if (key == "conf")
            record.Conf_Dir = value;
    }
    return record;
}

qint64 Process_Start_Time(qint64 pid)
{
    if (pid <= 0)
        return 0;
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, DWORD(pid));
    if (!process)
        return 0;
    FILETIME created, exited, kernel, user;
    DWORD code = 0;
    qint64 start = 0;
    if (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE &&
        GetProcessTimes(process, &created, &exited, &kernel, &user))
        start = (qint64(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    CloseHandle(process);
    return start;
#elif defined(Q_OS_LINUX)
    // Field 22 of /proc/PID/stat, after the command name in parentheses (which may hold blanks and parentheses).
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return 0;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // fields[0] is field 3 (the state): a zombie has ended.
    if (fields.size() < 20 || fields[0] == "Z")
        return 0;
    return fields[19].toLongLong();
#else
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM ? 1 : 0;
#endif
}

bool Process_Alive(qint64 pid, qint64 start)
{
    const qint64 now = Process_Start_Time(pid);
    return now != 0 && (start == 0 || now == start);
}

bool Lock_Holder_Alive(const TUpdater_Lock_Record &record)
{
    if (record.Updater_Pid > 0)
        return Process_Alive(record.Updater_Pid, record.Updater_Start);
    return Process_Alive(record.Owner_Pid, record.Owner_Start);
}

namespace {

// The record in the lock file at path; none when there is no regular file there or it cannot be read.
std::optional<TUpdater_Lock_Record> Read_Lock_Record(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    try {
        return Parse_Lock_Record(Read_Regular_File(path, Lock_File_Limit));
    } catch (const EQuillon_Error &) {
        return std::nullopt;
    }
}

} // namespace

std::optional<TUpdater_Lock_Record> Live_Updater_Lock(const QString &dir)
{
    const std::optional<TUpdater_Lock_Record> record = Read_Lock_Record(Join_Path(dir, Updater_Lock_File_Name));
    if (!record || !Lock_Holder_Alive(*record))
        return std::nullopt;
    return record;
}

QString Busy_Updater_Text(const TUpdater_Lock_Record &record, const QDateTime &now, TText_Source texts)
{
    const qint64 pid = record.Updater_Pid > 0 ? record.Updater_Pid : record.Owner_Pid;
    const qint64 seconds = record.Started.isValid() ? std::max<qint64>(0, record.Started.secsTo(now)) : 0;
    return texts(1149).arg(QDir::toNativeSeparators(record.Program), record.Target, QString::number(pid),
                           QString::number(seconds));
}

TUpdater_Lock::TUpdater_Lock(const QString &dir) : Path(Join_Path(dir, Updater_Lock_File_Name)) {}

TUpdater_Lock::~TUpdater_Lock()
{
    if (!Kept)
        Release();
}

void TUpdater_Lock::Write(const TUpdater_Lock_Record &record)
{
    // Not synced: the lock only speaks of running processes, which a power loss ends as well.
    Save_Bytes_Atomically(Path, Lock_Record_Bytes(record), TDurability::Unsynced);
}

bool TUpdater_Lock::Acquire(const QString &program, const QString &target, const QString &confDir)
{
    Error.clear();
    Own = TUpdater_Lock_Record();
    Own.Owner_Pid = QCoreApplication::applicationPid();
    Own.Owner_Start = Process_Start_Time(Own.Owner_Pid);
    Own.Started = QDateTime::currentDateTime();
    Own.Program = program;
    Own.Target = target;
    Own.Conf_Dir = QDir::cleanPath(confDir);
    // Two tries: the second after a dead holder's lock has been moved aside.
    for (int attempt = 0; attempt < 2; ++attempt) {
        QFile file(Path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QByteArray bytes = Lock_Record_Bytes(Own);
            const bool written = file.write(bytes) == bytes.size() && file.flush();
            file.close();
            if (!written) {
                Error = file.errorString();
                QFile::remove(Path);
                return false;
            }
            Is_Held = true;
            return true;
        }
        if (!QFileInfo::exists(Path) && !QFileInfo(Path).isSymLink()) {
            Error = file.errorString();
            return false;
        }
        const std::optional<TUpdater_Lock_Record> live = Live_Updater_Lock(QFileInfo(Path).absolutePath());
        if (live) {
            Holder = *live;
            return false;
        }
        // Taken over: moved aside under a name of its own first, so that of two programs taking over the same
        // dead lock only one makes the new one.
        const QString aside =
            Path + QStringLiteral(".dead-%1").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        if (QFile::rename(Path, aside))
            QFile::remove(aside);
    }
    Error = QStringLiteral("%1 is in the way and cannot be taken over").arg(QDir::toNativeSeparators(Path));
    return false;
}

void TUpdater_Lock::Set_Updater(qint64 pid)
{
    if (!Is_Held)
        return;
    Own.Updater_Pid = pid;
    Own.Updater_Start = Process_Start_Time(pid);
    try {
        Write(Own);
    } catch (const EQuillon_Error &) {
        // The lock still names this program, alive while it waits: the updater stays guarded for that long.
    }
}

void TUpdater_Lock::Release()
{
    if (!Is_Held)
        return;
    Is_Held = false;
    // Only our own lock goes: one taken over after we were thought dead is left to its new holder.
    const std::optional<TUpdater_Lock_Record> now = Read_Lock_Record(Path);
    if (now && now->Owner_Pid == Own.Owner_Pid && now->Owner_Start == Own.Owner_Start &&
        now->Started.toSecsSinceEpoch() == Own.Started.toSecsSinceEpoch())
        QFile::remove(Path);
}
