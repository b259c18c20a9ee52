#pragma once

// The one atomic writer: every file the program replaces goes through it, XML documents and device images
// alike. A write that fails leaves the previous file whole.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

class EQuillon_Error;

// The error of a file that cannot be written: its path and the system's reason.
EQuillon_Error Write_Error(const QString &path, const QString &reason);

// Writes bytes to path through TStaged_File: the old file stays whole unless the new one is complete on disk.
// Throws EQuillon_Error naming the path and the system's reason.
// Unsynced is for files that speak only of the running processes (a lock): a power loss ends those too, so the
// file need not survive it, and the write costs no wait on a slow disk.
enum class TDurability
{
    Synced,
    Unsynced
};
void Save_Bytes_Atomically(const QString &path, const QByteArray &bytes, TDurability durability = TDurability::Synced);

// One file's new contents, staged beside it. Write puts every byte on disk in a temporary file in the same
// directory, named after the file with six letters or digits appended (written and synced, each step checked);
// Replace renames it over the old file. Dropped before Replace, it removes the temporary file and leaves the old
// file as it was. A symbolic link in the file's place is replaced by the file like any old file: its target is
// never written, so a link can never steer a write outside the directory the program means.
class TStaged_File
{
public:
    explicit TStaged_File(const QString &path);
    ~TStaged_File();
    TStaged_File(const TStaged_File &) = delete;
    TStaged_File &operator=(const TStaged_File &) = delete;
    // Throws EQuillon_Error naming the path and the system's reason.
    void Write(const QByteArray &bytes, TDurability durability = TDurability::Synced);
    // Throws EQuillon_Error naming the path and the system's reason; the old file is then unchanged.
    void Replace();

private:
    QString Path;
    QString Temporary; // the staged file's name while it waits for Replace
};

// True when name is one of the writer's temporaries of a file named base (base + "." + six letters or digits).
bool Is_Staged_Name(const QString &name, const QString &base);

#ifndef Q_OS_WIN
// Creates path anew (never over an existing file) with bytes, written and synced, each step checked. Returns
// the system's reason of a failure, empty on success; nothing is left at path after a failure.
QString Write_New_File(const QString &path, const QByteArray &bytes);
#endif

// What the entry at path is when it leads to another place: "a symbolic link to TARGET", on Windows also "a
// junction to TARGET" (any reparse point standing for another name; a cloud file's placeholder is none); empty
// when it is none or is missing. A trailing separator is no part of the entry: path is taken cleaned.
QString Redirection_Of(const QString &path);

// Appends bytes to the log file at path (made when missing) and syncs it: the one way a log grows. A link or
// anything but a regular file in its place is refused, never written through. Returns the system's reason of
// a failure, empty on success.
QString Append_And_Sync(const QString &path, const QByteArray &bytes);

// Syncs the directory's entries (the renames made in it) to disk where the platform can; throws
// EQuillon_Error when the system reports a failure.
void Sync_Directory(const QString &dir);

// Lock files: one holder at a time of something several processes share. A lock is written whole beside its
// name and given the name in one step, never over another lock, so that no reader ever finds it half-written.

// The system's start time of a process, to tell it from a later process with the same id; 0 when the process
// does not exist (or the time cannot be read).
qint64 Process_Start_Time(qint64 pid);
// Whether the process with this id and start time still runs (start 0: any process with this id).
bool Process_Alive(qint64 pid, qint64 start);

// What a lock's contents say of its holder, as the lock's own format reads them: Unknown when they name none
// (empty, cut short, or no lock of ours).
enum class TLock_Holder
{
    Alive,
    Dead,
    Unknown
};

// How long a lock that names no holder is taken for one still being made (an older program fills its lock only
// after making it) before it counts as left behind.
inline constexpr std::chrono::milliseconds Lock_Settle_Age{5000};

enum class TLock_State
{
    Taken,
    Held,        // by a live holder: Holder has its contents
    Being_Taken, // by another process at this moment
    Failed       // Reason tells why
};

struct TLock_Take
{
    TLock_State State = TLock_State::Failed;
    QByteArray Holder;
    QString Reason; // the system's reason
    // Taken: the record of a dead holder whose lock was taken over (empty when the name was free).
    QByteArray Taken_Over;
};

// Takes the lock at path, with bytes as its contents (written and synced first). A lock in the way is taken over
// when judge finds its holder dead, or when it names none and was last modified more than settle ago; of several
// processes taking over the same lock at once, one succeeds.
TLock_Take Take_Lock_File(const QString &path, const QByteArray &bytes,
                          const std::function<TLock_Holder(const QByteArray &)> &judge,
                          std::chrono::milliseconds settle = Lock_Settle_Age);
// Removes the lock at path if it still holds bytes: one taken over in the meantime stays with its new holder.
void Release_Lock_File(const QString &path, const QByteArray &bytes);
