#include "UAtomic_File.h"

#include "UGround.h"
#include "URegular_File.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QRandomGenerator>
#include <QScopeGuard>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

EQuillon_Error Write_Error(const QString &path, const QString &reason)
{
    return EQuillon_Error(QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

bool Is_Staged_Name(const QString &name, const QString &base)
{
    if (name.size() != base.size() + 7 || !name.startsWith(base) || name.at(base.size()) != u'.')
        return false;
    for (qsizetype i = base.size() + 1; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')))
            return false;
    }
    return true;
}

namespace {

// A temporary name beside path: path + "." + six letters or digits.
QString Staged_Name(const QString &path)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = path + u'.';
    for (int i = 0; i < 6; ++i)
        name += QLatin1Char(Letters[QRandomGenerator::global()->bounded(int(sizeof Letters - 1))]);
    return name;
}

// What placing a staged lock under its name did.
enum class TPlaced
{
    Placed,
    Name_Taken,
    Failed
};

} // namespace

#ifdef Q_OS_WIN

// Not QSaveFile: it follows a symbolic link in the file's place and replaces the link's target.

namespace {

// Writes bytes to a new temporary beside path, named in temporary; the system's reason of a failure (then
// nothing is left), else empty.
QString Stage_File(const QString &path, const QByteArray &bytes, TDurability durability, QString &temporary)
{
    QFile file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        file.setFileName(Staged_Name(path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !file.exists())
            break; // a failure other than a name already taken
    }
    if (!file.isOpen())
        return file.errorString();
    // QFile buffers: a failed write may only show when the buffer is flushed. Flush and sync here, each checked.
    QString reason;
    if (file.write(bytes) != bytes.size() || !file.flush())
        reason = file.errorString();
    else if (durability == TDurability::Synced && (file.handle() < 0 || _commit(file.handle()) != 0))
        reason = qt_error_string(errno);
    file.close();
    if (reason.isEmpty())
        temporary = file.fileName();
    else
        QFile::remove(file.fileName());
    return reason;
}

// Gives the staged temporary the name path unless a file has that name.
TPlaced Place_If_Free(QString &temporary, const QString &path, QString &reason)
{
    const QString from = QDir::toNativeSeparators(temporary);
    const QString to = QDir::toNativeSeparators(path);
    if (::MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()), 0)) {
        temporary.clear();
        return TPlaced::Placed;
    }
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
        return TPlaced::Name_Taken;
    reason = qt_error_string(int(error));
    return TPlaced::Failed;
}

} // namespace

TStaged_File::TStaged_File(const QString &path) : Path(path) {}

TStaged_File::~TStaged_File()
{
    if (!Temporary.isEmpty())
        QFile::remove(Temporary);
}

void TStaged_File::Write(const QByteArray &bytes, TDurability durability)
{
    if (const QString reason = Stage_File(Path, bytes, durability, Temporary); !reason.isEmpty())
        throw Write_Error(Path, reason);
}

void TStaged_File::Replace()
{
    if (Temporary.isEmpty())
        throw Write_Error(Path, QStringLiteral("nothing was written"));
    // A rename replaces the directory entry in the file's place: a symbolic link there gives way to the file.
    const QString from = QDir::toNativeSeparators(Temporary);
    const QString to = QDir::toNativeSeparators(Path);
    if (!::MoveFileExW(reinterpret_cast<LPCWSTR>(from.utf16()), reinterpret_cast<LPCWSTR>(to.utf16()),
                       MOVEFILE_REPLACE_EXISTING))
        throw Write_Error(Path, qt_error_string(int(::GetLastError())));
    Temporary.clear();
}

#else

namespace {

// Writes every byte to the open file and syncs it unless told not to; the system's reason of a failure, else
// empty.
QString Write_And_Sync(int fd, const QByteArray &bytes, TDurability durability = TDurability::Synced)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return qt_error_string(n < 0 ? errno : ENOSPC);
        done += n;
    }
    if (durability == TDurability::Synced && ::fsync(fd) != 0)
        return qt_error_string(errno);
    return QString();
}

// Opens a file that did not exist, with the permissions a new file gets (the umask applies).
int Create_File(const QByteArray &name)
{
    int fd;
    do
        fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

// Closes, reporting what the system reports (a file system may tell a failed write only here).
QString Close_File(int fd)
{
    return ::close(fd) != 0 && errno != EINTR ? qt_error_string(errno) : QString();
}

} // namespace

QString Write_New_File(const QString &path, const QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = Create_File(name);
    if (fd < 0)
        return qt_error_string(errno);
    QString reason = Write_And_Sync(fd, bytes);
    const QString closed = Close_File(fd);
    if (reason.isEmpty())
        reason = closed;
    if (!reason.isEmpty())
        ::unlink(name.constData());
    return reason;
}

TStaged_File::TStaged_File(const QString &path) : Path(path) {}

TStaged_File::~TStaged_File()
{
    if (!Temporary.isEmpty())
        ::unlink(QFile::encodeName(Temporary).constData());
}

namespace {

// Writes bytes to a new temporary beside path, named in temporary; the system's reason of a failure (then
// nothing is left), else empty.
QString Stage_File(const QString &path, const QByteArray &bytes, TDurability durability, QString &temporary)
{
    int fd = -1;
    QByteArray name;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = QFile::encodeName(Staged_Name(path));
        fd = Create_File(name);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        return qt_error_string(errno);
    // The replacement keeps the permissions of the file it replaces, as an edit in place would (not those of a
    // link's target: the link is replaced, not followed).
    struct stat old;
    if (::lstat(QFile::encodeName(path).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    QString reason = Write_And_Sync(fd, bytes, durability);
    const QString closed = Close_File(fd);
    if (reason.isEmpty())
        reason = closed;
    if (reason.isEmpty())
        temporary = QFile::decodeName(name);
    else
        ::unlink(name.constData());
    return reason;
}

// Gives the staged temporary the name path unless a file has that name: a hard link fails when the name is
// taken, where a rename would replace the file.
TPlaced Place_If_Free(QString &temporary, const QString &path, QString &reason)
{
    const QByteArray from = QFile::encodeName(temporary);
    const QByteArray to = QFile::encodeName(path);
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        temporary.clear();
        return TPlaced::Placed;
    }
    int error = errno;
#ifdef Q_OS_LINUX
    // A file system without hard links (FAT): a rename told never to replace does the same.
    if (error == EPERM || error == EOPNOTSUPP || error == ENOSYS) {
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
            temporary.clear();
            return TPlaced::Placed;
        }
        error = errno;
    }
#endif
    if (error == EEXIST)
        return TPlaced::Name_Taken;
    reason = qt_error_string(error);
    return TPlaced::Failed;
}

} // namespace

void TStaged_File::Write(const QByteArray &bytes, TDurability durability)
{
    if (const QString reason = Stage_File(Path, bytes, durability, Temporary); !reason.isEmpty())
        throw Write_Error(Path, reason);
}

void TStaged_File::Replace()
{
    if (Temporary.isEmpty())
        throw Write_Error(Path, QStringLiteral("nothing was written"));
    // A rename never follows a link in the file's place: the link itself gives way.
    if (::rename(QFile::encodeName(Temporary).constData(), QFile::encodeName(Path).constData()) != 0)
        throw Write_Error(Path, qt_error_string(errno));
    Temporary.clear();
}

#endif

QString Append_And_Sync(const QString &path, const QByteArray &bytes)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        return QStringLiteral("it is not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return file.errorString();
    if (file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    if (_commit(file.handle()) != 0)
        return qt_error_string(errno);
    return QString();
#else
    // Made here only when missing, so that a failed first write can take the new file away again.
    const QByteArray name = QFile::encodeName(path);
    const int flags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK;
    bool created = false;
    int fd;
    do
        fd = ::open(name.constData(), flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0 && errno == ENOENT) {
        do
            fd = ::open(name.constData(), flags | O_CREAT | O_EXCL, 0666);
        while (fd < 0 && errno == EINTR);
        created = fd >= 0;
    }
    if (fd < 0)
        return errno == ELOOP ? QStringLiteral("it is a symbolic link") : qt_error_string(errno);
    struct stat status;
    QString reason;
    if (::fstat(fd, &status) != 0)
        reason = qt_error_string(errno);
    else if (!S_ISREG(status.st_mode))
        reason = QStringLiteral("it is not a regular file");
    else if (reason = Write_And_Sync(fd, bytes); !reason.isEmpty()) {
        // A record is appended whole or not at all: what a full disk let through is cut off again.
        if (created)
            ::unlink(name.constData());
        else if (::ftruncate(fd, status.st_size) == 0)
            ::fsync(fd);
    }
    const QString closed = Close_File(fd);
    return reason.isEmpty() ? closed : reason;
#endif
}

QString Redirection_Of(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    const QFileInfo info(clean);
#ifdef Q_OS_WIN
    // GetFileAttributes alone cannot tell a junction from a cloud file's placeholder: the tag can.
    WIN32_FIND_DATAW found;
    const QString native = QDir::toNativeSeparators(clean);
    const HANDLE search = ::FindFirstFileW(reinterpret_cast<LPCWSTR>(native.utf16()), &found);
    if (search == INVALID_HANDLE_VALUE)
        return QString();
    ::FindClose(search);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || !IsReparseTagNameSurrogate(found.dwReserved0))
        return QString();
    if (found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)
        return QStringLiteral("a junction to ") + QDir::toNativeSeparators(info.junctionTarget());
    return QStringLiteral("a symbolic link to ") + QDir::toNativeSeparators(info.symLinkTarget());
#else
    return info.isSymLink() ? QStringLiteral("a symbolic link to ") + info.symLinkTarget() : QString();
#endif
}

void Sync_Directory(const QString &dir)
{
#ifndef Q_OS_WIN
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        throw Write_Error(dir, qt_error_string(errno));
    const int result = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot sync a directory; that is no failure of the write.
    if (result != 0 && error != EINVAL && error != ENOTSUP)
        throw Write_Error(dir, qt_error_string(error));
#else
    Q_UNUSED(dir);
#endif
}

void Save_Bytes_Atomically(const QString &path, const QByteArray &bytes, TDurability durability)
{
    TStaged_File file(path);
    file.Write(bytes, durability);
    file.Replace();
    if (durability == TDurability::Synced)
        Sync_Directory(QFileInfo(path).absolutePath());
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

namespace {

// A lock is a few hundred bytes; anything larger is no lock and names no holder.
constexpr qint64 Lock_File_Limit = 64 * 1024;

// A lock file as one look found it.
struct TLock_Seen
{
    bool Exists = false;
    std::optional<QByteArray> Bytes; // none when it cannot be read
    qint64 Modified = 0;             // milliseconds since the epoch

    bool operator==(const TLock_Seen &) const = default;
};

TLock_Seen Look_At_Lock(const QString &path)
{
    TLock_Seen seen;
    const QFileInfo info(path);
    seen.Exists = info.exists() || info.isSymLink();
    if (!seen.Exists)
        return seen;
    seen.Modified = info.lastModified().toMSecsSinceEpoch();
    try {
        seen.Bytes = Read_Regular_File(path, Lock_File_Limit);
    } catch (const EQuillon_Error &) {
    }
    return seen;
}

bool Older_Than(qint64 modified, std::chrono::milliseconds age)
{
    // Either way: a clock set back must not keep a lock young for ever.
    return std::abs(QDateTime::currentMSecsSinceEpoch() - modified) > age.count();
}

enum class TRemoval
{
    Removed,
    Changed, // the lock is no longer the one seen: left alone
    Busy,    // another process is removing it
    Failed
};

// Removes the lock at path if it is still the one seen. The remover first makes a marker named after that very
// lock, which only one process can make: of several removing the same lock, only one looks again and removes it,
// and none removes a new lock another has put in its place meanwhile.
TRemoval Remove_Seen_Lock(const QString &path, const TLock_Seen &seen, std::chrono::milliseconds settle,
                          QString &reason)
{
    const QByteArray identity =
        seen.Bytes.value_or(QByteArray("\n(unreadable)")) + '\n' + QByteArray::number(seen.Modified);
    const QString marker =
        path + QStringLiteral(".takeover-") +
        QString::fromLatin1(QCryptographicHash::hash(identity, QCryptographicHash::Sha1).toHex().left(16));
    QFile mark(marker);
    for (int attempt = 0; !mark.open(QIODevice::WriteOnly | QIODevice::NewOnly); ++attempt) {
        const QFileInfo other(marker);
        if (attempt == 3) {
            if (other.exists())
                return TRemoval::Busy;
            reason = mark.errorString();
            return TRemoval::Failed;
        }
        // Another remover's, unless left by one that ended in the middle of a removal: that one goes once old.
        // One gone meanwhile is tried again: its remover has finished.
        if (other.exists() && (!Older_Than(other.lastModified().toMSecsSinceEpoch(), settle) || !QFile::remove(marker)))
            return TRemoval::Busy;
    }
    mark.close();
    TRemoval removal = TRemoval::Changed;
    if (Look_At_Lock(path) == seen) {
        QFile lock(path);
        // On Windows a file another process has open for reading cannot be removed that moment (a sharing
        // violation): readers hold it for microseconds, so the removal is tried again for a while.
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (lock.remove()) {
                removal = TRemoval::Removed;
                break;
            }
            if (!QFileInfo::exists(path)) {
                removal = TRemoval::Changed;
                break;
            }
            removal = TRemoval::Failed;
            reason = lock.errorString();
            QThread::msleep(10);
        }
        if (removal == TRemoval::Removed)
            reason.clear();
    }
    QFile::remove(marker);
    return removal;
}

} // namespace

TLock_Take Take_Lock_File(const QString &path, const QByteArray &bytes,
                          const std::function<TLock_Holder(const QByteArray &)> &judge,
                          std::chrono::milliseconds settle)
{
    TLock_Take take;
    QString temporary;
    take.Reason = Stage_File(path, bytes, TDurability::Synced, temporary);
    if (!take.Reason.isEmpty())
        return take;
    const auto drop = qScopeGuard([&temporary] {
        if (!temporary.isEmpty())
            QFile::remove(temporary);
    });
    // Each round takes the lock, finds it held, or sees one in the way go; a few rounds settle any contest.
    for (int round = 0; round < 16; ++round) {
        const TPlaced placed = Place_If_Free(temporary, path, take.Reason);
        if (placed == TPlaced::Placed) {
            take.State = TLock_State::Taken;
            return take;
        }
        if (placed == TPlaced::Failed)
            return take;
        const TLock_Seen seen = Look_At_Lock(path);
        if (!seen.Exists)
            continue; // released meanwhile
        const TLock_Holder holder = seen.Bytes && !seen.Bytes->isEmpty() ? judge(*seen.Bytes) : TLock_Holder::Unknown;
        if (holder == TLock_Holder::Alive) {
            take.State = TLock_State::Held;
            take.Holder = *seen.Bytes;
            return take;
        }
        // A lock that names no holder yet is one being made, never a dead holder's, until it has stayed so.
        if (holder == TLock_Holder::Unknown && !Older_Than(seen.Modified, settle))
            break;
        const TRemoval removal = Remove_Seen_Lock(path, seen, settle, take.Reason);
        if (removal == TRemoval::Busy)
            break;
        if (removal == TRemoval::Failed) {
            take.Reason = QStringLiteral("the lock left there cannot be removed: %1").arg(take.Reason);
            return take;
        }
        if (holder == TLock_Holder::Dead)
            take.Taken_Over = *seen.Bytes;
    }
    take.State = TLock_State::Being_Taken;
    return take;
}

void Release_Lock_File(const QString &path, const QByteArray &bytes)
{
    const TLock_Seen seen = Look_At_Lock(path);
    if (!seen.Bytes || *seen.Bytes != bytes)
        return;
    QString reason;
    Remove_Seen_Lock(path, seen, Lock_Settle_Age, reason);
}
