#include "UWorkspace.h"

#include "UComon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <filesystem>
#include <system_error>

namespace {

QString Clean_Dir(const QString &dir)
{
    QString clean = QDir::toNativeSeparators(QDir::cleanPath(QDir(dir).absolutePath()));
    while (clean.size() > 1 && clean.endsWith(QDir::separator()) && !clean.endsWith(QStringLiteral(":\\")))
        clean.chop(1);
    return clean;
}

std::filesystem::path File_System_Path(const QString &path)
{
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString System_Reason(const std::error_code &error)
{
    return QString::fromLocal8Bit(error.message());
}

// An installed copy: <prefix>/bin/quillon beside <prefix>/share/metainfo/<id>.metainfo.xml (a package), or
// the Windows installer's marker beside the executable.
bool Is_Installed_Copy(const QString &programDir)
{
    const QDir dir(programDir);
    return QFileInfo(dir.filePath(Installed_Marker)).isFile() ||
           QFileInfo(
               dir.filePath(QStringLiteral("../share/metainfo/") + Application_Id + QStringLiteral(".metainfo.xml")))
               .isFile();
}

} // namespace

QString User_Workspace_Dir()
{
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : Clean_Dir(QDir(data).filePath(QStringLiteral("Quillon")));
}

bool Is_Writable_Dir(const QString &dir, QString *reason)
{
    if (!QFileInfo(dir).isDir()) {
        if (reason)
            *reason = QStringLiteral("it is not a directory");
        return false;
    }
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".quillon-write-test-XXXXXX")));
    if (probe.open())
        return true;
    if (reason)
        *reason = probe.errorString();
    return false;
}

TWorkspace_Choice Locate_Workspace(const QString &commandLineDir, const QString &programDir)
{
    if (!commandLineDir.isEmpty())
        return {Clean_Dir(commandLineDir), TWorkspace_Source::Command_Line};
    const QString variable = qEnvironmentVariable(Workspace_Variable);
    if (!variable.isEmpty())
        return {Clean_Dir(variable), TWorkspace_Source::Environment};
    if (!Is_Installed_Copy(programDir) && Is_Writable_Dir(programDir))
        return {Clean_Dir(programDir), TWorkspace_Source::Program_Dir};
    const QString user = User_Workspace_Dir();
    // No per-user directory at all (no home): the program's directory, whose problems are then reported.
    if (user.isEmpty())
        return {Clean_Dir(programDir), TWorkspace_Source::Program_Dir};
    return {user, TWorkspace_Source::User_Data};
}

QString Create_Directory(const QString &dir)
{
    if (QFileInfo(dir).isDir())
        return QString();
    std::error_code error;
    std::filesystem::create_directory(File_System_Path(dir), error);
    if (!error && QFileInfo(dir).isDir())
        return QString();
    return QStringLiteral("Cannot create the directory %1: %2")
        .arg(QDir::toNativeSeparators(dir), error ? System_Reason(error) : QStringLiteral("it is not a directory"));
}

QString Prepare_Workspace()
{
    QStringList problems;
    if (!QFileInfo(Program_Dir).isDir()) {
        std::error_code error;
        std::filesystem::create_directories(File_System_Path(Program_Dir), error);
        if (error || !QFileInfo(Program_Dir).isDir()) {
            problems.append(
                QStringLiteral("Cannot create the workspace %1: %2")
                    .arg(Program_Dir, error ? System_Reason(error) : QStringLiteral("it is not a directory")));
        }
    }
    if (problems.isEmpty()) {
        QString reason;
        if (!Is_Writable_Dir(Program_Dir, &reason))
            problems.append(QStringLiteral("The workspace %1 cannot be written: %2").arg(Program_Dir, reason));
        for (const QString &dir : {Master_Dir, Projects_Dir, Language_Dir}) {
            const QString problem = Create_Directory(dir);
            if (!problem.isEmpty())
                problems.append(problem);
        }
    }
    if (problems.isEmpty())
        return QString();
    return problems.join(u'\n') +
           QStringLiteral("\n\nConfigurations and settings cannot be kept there. Start Quillon with --workspace "
                          "DIR, or set QUILLON_WORKSPACE, to use a directory you may write.");
}
