#include "URegular_File.h"

#include "UGround.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

EQuillon_Error Read_Error(const QString &path, const QString &reason)
{
    return EQuillon_Error(QStringLiteral("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), reason));
}

// size -1: not known, only that it passes the limit.
QString Too_Large(qint64 size, qint64 limit)
{
    const QString more = QStringLiteral("more than the %1 bytes such a file may have").arg(limit);
    return size < 0 ? QStringLiteral("it has ") + more : QStringLiteral("it has %1 bytes, ").arg(size) + more;
}

} // namespace

QByteArray Read_Regular_File(const QString &path, qint64 limit)
{
    QFile file;
#ifdef Q_OS_UNIX
    // Opened without blocking and checked on the open descriptor, so that a FIFO put in the file's place
    // between a check and the open cannot stall the program.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        throw Read_Error(path, qt_error_string(errno));
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        throw Read_Error(path, qt_error_string(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        throw Read_Error(path, S_ISDIR(status.st_mode) ? QStringLiteral("it is a directory")
                                                       : QStringLiteral("it is not a regular file"));
    }
    if (status.st_size > limit) {
        ::close(fd);
        throw Read_Error(path, Too_Large(status.st_size, limit));
    }
    const qint64 expected = status.st_size;
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw Read_Error(path, file.errorString());
    }
#else
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        throw Read_Error(path, info.isDir() ? QStringLiteral("it is a directory")
                                            : QStringLiteral("it is not a regular file"));
    if (info.size() > limit)
        throw Read_Error(path, Too_Large(info.size(), limit));
    const qint64 expected = info.size();
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw Read_Error(path, file.errorString());
#endif
    // Read up to the end rather than the measured size, stopping one byte past the limit: a file that grew
    // since it was measured is refused, not cut. The buffer is made once at the measured size (and grows only
    // for a file that grew) and read into directly: no chunk is copied, no page touched twice.
    QByteArray bytes(qMin(expected, limit) + 1, Qt::Uninitialized);
    qint64 size = 0;
    for (;;) {
        if (size == bytes.size()) {
            if (size > limit)
                throw Read_Error(path, Too_Large(-1, limit));
            bytes.resize(qMin(2 * size, limit + 1));
        }
        const qint64 n = file.read(bytes.data() + size, bytes.size() - size);
        if (n < 0)
            throw Read_Error(path, file.errorString());
        if (n == 0)
            break;
        size += n;
    }
    if (size > limit)
        throw Read_Error(path, Too_Large(-1, limit));
    bytes.truncate(size);
    return bytes;
}
