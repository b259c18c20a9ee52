#include "UAtomic_File.h"

#include "UGround.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
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

} // namespace

#ifdef Q_OS_WIN

// Not QSaveFile: it follows a symbolic link in the file's place and replaces the link's target.

TStaged_File::TStaged_File(const QString &path) : Path(path) {}

TStaged_File::~TStaged_File()
{
    if (!Temporary.isEmpty())
        QFile::remove(Temporary);
}

void TStaged_File::Write(const QByteArray &bytes, TDurability durability)
{
    QFile file;
    for (int attempt = 0; attempt < 100 && !file.isOpen(); ++attempt) {
        file.setFileName(Staged_Name(Path));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) && !file.exists())
            break; // a failure other than a name already taken
    }
    if (!file.isOpen())
        throw Write_Error(Path, file.errorString());
    Temporary = file.fileName();
    // QFile buffers: a failed write may only show when the buffer is flushed. Flush and sync here, each checked.
    QString reason;
    if (file.write(bytes) != bytes.size() || !file.flush())
        reason = file.errorString();
    else if (durability == TDurability::Synced && (file.handle() < 0 || _commit(file.handle()) != 0))
        reason = qt_error_string(errno);
    file.close();
    if (!reason.isEmpty()) {
        QFile::remove(Temporary);
        Temporary.clear();
        throw Write_Error(Path, reason);
    }
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

void TStaged_File::Write(const QByteArray &bytes, TDurability durability)
{
    int fd = -1;
    QByteArray name;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        name = QFile::encodeName(Staged_Name(Path));
        fd = Create_File(name);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throw Write_Error(Path, qt_error_string(errno));
    Temporary = QFile::decodeName(name);
    // The replacement keeps the permissions of the file it replaces, as an edit in place would (not those of a
    // link's target: the link is replaced, not followed).
    struct stat old;
    if (::lstat(QFile::encodeName(Path).constData(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd, old.st_mode & 07777);
    QString reason = Write_And_Sync(fd, bytes, durability);
    const QString closed = Close_File(fd);
    if (reason.isEmpty())
        reason = closed;
    if (!reason.isEmpty()) {
        ::unlink(name.constData());
        Temporary.clear();
        throw Write_Error(Path, reason);
    }
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
