#pragma once

// One updater at a time per workspace. The lock is a small file in the workspace naming the process that holds
// it (the program that starts an updater, then the updater itself) with the process's start time, so that a
// lock whose process has died (a crash, a power loss, a process id used again) is taken over, never obeyed for
// ever. Every program of the workspace, windows and quillon-cli alike, goes through it.

#include "UAtomic_File.h"
#include "ULanguage.h"

#include <QDateTime>
#include <QString>

#include <optional>

inline const QString Updater_Lock_File_Name = QStringLiteral("update.lock");

// What the lock file says.
struct TUpdater_Lock_Record
{
    qint64 Owner_Pid = 0;   // the program that started the updater
    qint64 Owner_Start = 0; // its start time as the system counts it (0: not known)
    qint64 Updater_Pid = 0; // the updater, once started
    qint64 Updater_Start = 0;
    QDateTime Started; // when the update began
    QString Program;   // the updater's path
    QString Target;    // the port or address it was given
    QString Conf_Dir;  // the configuration whose files it was given
};

QByteArray Lock_Record_Bytes(const TUpdater_Lock_Record &record);
// Throws nothing: an unreadable record reads as an empty one (no process named), which is never alive.
TUpdater_Lock_Record Parse_Lock_Record(const QByteArray &bytes);

// Whether the lock's updater, or while it has none yet the program that took the lock, still runs.
bool Lock_Holder_Alive(const TUpdater_Lock_Record &record);

// The lock held by a live process in the workspace at dir, if any.
std::optional<TUpdater_Lock_Record> Live_Updater_Lock(const QString &dir);

// Why an update must not start now: the running updater, its port or address, its process id and how long it
// has run. Empty when none runs.
QString Busy_Updater_Text(const TUpdater_Lock_Record &record, const QDateTime &now, TText_Source texts = English_Text);

// The lock of the workspace at dir. Acquire takes it for this process, or fails when a live process holds it
// (then Holder tells which); a lock left by a dead process is taken over, and so is one that has named no
// process for longer than settle (an empty file is one still being made). Set_Updater names the started
// updater in it. The lock is released when the object goes, unless Keep_For_Updater was called: then it stays
// in the file, held by the updater, for as long as the updater lives.
class TUpdater_Lock
{
public:
    explicit TUpdater_Lock(const QString &dir);
    ~TUpdater_Lock();
    TUpdater_Lock(const TUpdater_Lock &) = delete;
    TUpdater_Lock &operator=(const TUpdater_Lock &) = delete;

    // False when a live process holds the lock (Holder names it), when another process is taking it this
    // moment (Being_Taken, and Error says so) or when the lock file cannot be made (Error tells why).
    bool Acquire(const QString &program, const QString &target, const QString &confDir,
                 std::chrono::milliseconds settle = Lock_Settle_Age);
    void Set_Updater(qint64 pid);
    // The updater outlives the wait: the lock stays until it ends.
    void Keep_For_Updater() { Kept = true; }
    // Releases the lock now (the updater has ended).
    void Release();
    bool Held() const { return Is_Held; }

    TUpdater_Lock_Record Holder;
    QString Error;
    bool Being_Taken = false;
    // After Acquire: the lock of a program that died, which this one took over (its updater may have run).
    std::optional<TUpdater_Lock_Record> Taken_Over;

private:
    QString Path;
    TUpdater_Lock_Record Own;
    QByteArray Own_Bytes; // the lock as this process last wrote it
    bool Is_Held = false;
    bool Kept = false;
};
