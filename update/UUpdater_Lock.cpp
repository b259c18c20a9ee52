#include "UUpdater_Lock.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "URegular_File.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

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

bool TUpdater_Lock::Acquire(const QString &program, const QString &target, const QString &confDir,
                            std::chrono::milliseconds settle)
{
    Error.clear();
    Being_Taken = false;
    Taken_Over.reset();
    Holder = TUpdater_Lock_Record();
    Own = TUpdater_Lock_Record();
    Own.Owner_Pid = QCoreApplication::applicationPid();
    Own.Owner_Start = Process_Start_Time(Own.Owner_Pid);
    Own.Started = QDateTime::currentDateTime();
    Own.Program = program;
    Own.Target = target;
    Own.Conf_Dir = QDir::cleanPath(confDir);
    const QByteArray bytes = Lock_Record_Bytes(Own);
    const TLock_Take take = Take_Lock_File(
        Path, bytes,
        [](const QByteArray &lock) {
            const TUpdater_Lock_Record record = Parse_Lock_Record(lock);
            if (record.Owner_Pid <= 0)
                return TLock_Holder::Unknown;
            return Lock_Holder_Alive(record) ? TLock_Holder::Alive : TLock_Holder::Dead;
        },
        settle);
    switch (take.State) {
    case TLock_State::Taken:
        Own_Bytes = bytes;
        Is_Held = true;
        if (!take.Taken_Over.isEmpty())
            Taken_Over = Parse_Lock_Record(take.Taken_Over);
        return true;
    case TLock_State::Held:
        Holder = Parse_Lock_Record(take.Holder);
        return false;
    case TLock_State::Being_Taken:
        Being_Taken = true;
        Error = QStringLiteral("another program is taking the lock at this moment; try again");
        return false;
    case TLock_State::Failed:
        Error = take.Reason;
        return false;
    }
    return false;
}

void TUpdater_Lock::Set_Updater(qint64 pid)
{
    if (!Is_Held)
        return;
    Own.Updater_Pid = pid;
    Own.Updater_Start = Process_Start_Time(pid);
    const QByteArray bytes = Lock_Record_Bytes(Own);
    try {
        // Renamed over the old record, never rewritten in place: a reader sees one record or the other, whole.
        // Not synced: the lock only speaks of running processes, which a power loss ends as well.
        Save_Bytes_Atomically(Path, bytes, TDurability::Unsynced);
        Own_Bytes = bytes;
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
    Release_Lock_File(Path, Own_Bytes);
}
