#pragma once

// A small file system filled to its last block, for tests of writes that fail for want of space: a 64 KiB
// tmpfs mounted in a temporary directory (or an ext4 image on a loop device). Mounting needs Linux and the
// right to mount (root); where that is missing, Mount() returns the reason and the test skips with it.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

class TFull_Disk
{
public:
    TFull_Disk() = default;
    TFull_Disk(const TFull_Disk &) = delete;
    TFull_Disk &operator=(const TFull_Disk &) = delete;
    ~TFull_Disk()
    {
        if (Mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), Dir.path()});
    }

    // Empty when the file system (of size bytes, "64k" unless told) is mounted, else why it could not be.
    QString Mount(const QString &size = QStringLiteral("64k"))
    {
#ifndef Q_OS_LINUX
        return QStringLiteral("a tmpfs can be mounted on Linux only");
#else
        if (!Dir.isValid())
            return QStringLiteral("no temporary directory");
        QProcess mount;
        mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                              QStringLiteral("size=") + size, QStringLiteral("tmpfs"), Dir.path()});
        if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit || mount.exitCode() != 0)
            return QStringLiteral("cannot mount a tmpfs here (needs the right to mount): ") +
                   QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() + mount.errorString();
        Mounted = true;
        return QString();
#endif
    }

    // Empty when an ext4 file system of size bytes, in an image file on a loop device, is mounted (its syncs
    // reach a disk, as a real one's do), else why it could not be.
    QString Mount_Ext4(const QString &size)
    {
#ifndef Q_OS_LINUX
        Q_UNUSED(size);
        return QStringLiteral("a loop device can be mounted on Linux only");
#else
        if (!Dir.isValid() || !Image_Dir.isValid())
            return QStringLiteral("no temporary directory");
        const QString image = Image_Dir.filePath(QStringLiteral("disk.img"));
        const struct
        {
            QString Program;
            QStringList Arguments;
        } steps[] = {
            {QStringLiteral("truncate"), {QStringLiteral("-s"), size, image}},
            {QStringLiteral("mkfs.ext4"), {QStringLiteral("-q"), image}},
            {QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, Dir.path()}},
        };
        for (const auto &step : steps) {
            QProcess process;
            process.start(step.Program, step.Arguments);
            if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
                process.exitCode() != 0)
                return QStringLiteral("cannot mount an ext4 image on a loop device here (%1): ").arg(step.Program) +
                       QString::fromLocal8Bit(process.readAllStandardError()).trimmed() + process.errorString();
        }
        Mounted = true;
        return QString();
#endif
    }

    QString Path() const
    {
        return Dir.path();
    }
    QString File_Path(const QString &name) const
    {
        return Dir.filePath(name);
    }

    // Takes every free block: afterwards a write of even one byte fails with "No space left on device".
    bool Fill()
    {
        QFile filler(Dir.filePath(QStringLiteral(".filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return false;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        // The last partial block, byte by byte.
        while (filler.write("f", 1) == 1) {
        }
        return true;
    }

private:
    QTemporaryDir Dir;
    QTemporaryDir Image_Dir;
    bool Mounted = false;
};
