#include "UWorkspace.h"

#include "UGround.h"
#include "UXml_Document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

TWorkspace Workspace_At(const QString &dir)
{
    QString clean = QDir::toNativeSeparators(dir);
    while (clean.size() > 1 && clean.endsWith(QDir::separator()))
        clean.chop(1);
    return {clean, Join_Path(clean, QStringLiteral("MASTER")), Join_Path(clean, QStringLiteral("PROJECTS")),
            Join_Path(clean, QStringLiteral("LANGUAGE"))};
}

TConfiguration Configuration_Of(const TWorkspace &workspace, const QString &name)
{
    const QString dir = Join_Path(workspace.Projects_Dir, name);
    return {name, dir, Join_Path(dir, ParGen_File_Name)};
}

TConfiguration Configuration_At(const QString &dir)
{
    QString clean = QDir::toNativeSeparators(dir);
    while (clean.size() > 1 && clean.endsWith(QDir::separator()))
        clean.chop(1);
    return {QFileInfo(clean).fileName(), clean, Join_Path(clean, ParGen_File_Name)};
}

QString Prepare_Workspace(const TWorkspace &workspace)
{
    QStringList problems;
    if (!QFileInfo(workspace.Program_Dir).isDir()) {
        std::error_code error;
        std::filesystem::create_directories(File_System_Path(workspace.Program_Dir), error);
        if (error || !QFileInfo(workspace.Program_Dir).isDir()) {
            problems.append(
                QStringLiteral("Cannot create the workspace %1: %2")
                    .arg(workspace.Program_Dir, error ? System_Reason(error) : QStringLiteral("it is not a directory")));
        }
    }
    if (problems.isEmpty()) {
        QString reason;
        if (!Is_Writable_Dir(workspace.Program_Dir, &reason))
            problems.append(QStringLiteral("The workspace %1 cannot be written: %2").arg(workspace.Program_Dir, reason));
        for (const QString &dir : {workspace.Master_Dir, workspace.Projects_Dir, workspace.Language_Dir}) {
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

void Create_Workspace_Directories(const TWorkspace &workspace)
{
    for (const QString &dir : {workspace.Master_Dir, workspace.Projects_Dir, workspace.Language_Dir}) {
        if (!QFileInfo(dir).isDir())
            QDir().mkdir(dir);
    }
}

namespace {

// A code point as the reasons name it: "U+202E".
QString Code_Point_Name(char32_t code)
{
    return QStringLiteral("U+") + QString::number(uint(code), 16).toUpper().rightJustified(4, u'0');
}

// The rules every name under PROJECTS keeps, old or new: it stays inside its parent and can be written into
// Quillon.xml and shown as it is.
QString Usable_Name_Problem(const QString &name)
{
    if (name.isEmpty())
        return QStringLiteral("it is empty");
    // A leading "." also covers "." and "..": such a directory is hidden and could never be listed.
    if (name.startsWith(u'.'))
        return QStringLiteral("it begins with a dot");
    for (const char16_t separator : {u'/', u'\\'}) {
        if (name.contains(separator))
            return QStringLiteral("it holds \"%1\", a path separator").arg(QChar(separator));
    }
    // The name is written into Quillon.xml: it must be text XML can hold, and no control character. A format
    // character (a right-to-left override, a zero-width space) would make the name shown differ from the name.
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t code = name.at(i).unicode();
        if (QChar::isHighSurrogate(code) && i + 1 < name.size() && name.at(i + 1).isLowSurrogate()) {
            code = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
            ++i;
        }
        const QString held = QStringLiteral("it holds ") + Code_Point_Name(code);
        if (QChar::isSurrogate(code))
            return held + QStringLiteral(", half of a surrogate pair");
        if (QChar::category(code) == QChar::Other_Control)
            return held + QStringLiteral(", a control character");
        if (QChar::category(code) == QChar::Other_Format)
            return held + QStringLiteral(", a Unicode format character");
        if (!Is_Xml_Text(QString::fromUcs4(&code, 1)))
            return held + QStringLiteral(", a character XML cannot hold");
    }
    // Blanks at either end are easily typed and never seen; Windows drops trailing ones and a trailing dot.
    if (name.front().isSpace())
        return QStringLiteral("it begins with a blank");
    if (name.back().isSpace())
        return QStringLiteral("it ends with a blank");
    if (name.endsWith(u'.'))
        return QStringLiteral("it ends with a dot");
    // Linux takes at most 255 bytes, Windows at most 255 UTF-16 code units; every code unit is at least one
    // byte in UTF-8, so the first limit holds the second.
    if (name.toUtf8().size() > 255)
        return QStringLiteral("it is longer than 255 bytes in UTF-8");
    return QString();
}

} // namespace

QString Directory_Name_Problem(const QString &name)
{
    if (const QString problem = Usable_Name_Problem(name); !problem.isEmpty())
        return problem;
    // What Windows refuses in a name. A device name stays one behind any extension and blanks before it
    // ("con.txt", "AUX .log"); the superscript digits count as digits there.
    static const QRegularExpression forbidden(QStringLiteral(R"([<>:"|?*])"));
    static const QRegularExpression device(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9\u00B9\u00B2\u00B3]|LPT[1-9\u00B9\u00B2\u00B3]|CONIN\\$|CONOUT\\$) *"
                       "(\\..*)?$"),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = forbidden.match(name); match.hasMatch())
        return QStringLiteral("it holds \"%1\", a character Windows refuses in a name").arg(match.captured());
    if (const QRegularExpressionMatch match = device.match(name); match.hasMatch())
        return QStringLiteral("it is the name of a Windows device, %1, which Windows refuses in any letter case and "
                              "with any extension")
            .arg(match.captured(1));
    return QString();
}

bool Is_Plain_Directory_Name(const QString &name)
{
    return Directory_Name_Problem(name).isEmpty();
}

bool Is_Usable_Directory_Name(const QString &name)
{
    return Usable_Name_Problem(name).isEmpty();
}

QString Name_Identity(const QString &name)
{
    // Canonical caseless matching: folding may undo a normalisation, so the name is decomposed on both sides.
    return name.normalized(QString::NormalizationForm_D).toCaseFolded().normalized(QString::NormalizationForm_D);
}

TNames_There Names_There(const QString &dir)
{
    TNames_There there{QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(dir).absoluteFilePath())), {}};
    const QStringList entries =
        QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QString &entry : entries)
        there.By_Identity.insert(Name_Identity(entry), entry);
    return there;
}

int New_Configuration_Refusal(const QString &parentDir, const QString &name, QString *why)
{
    return New_Configuration_Refusal(Names_There(parentDir), name, why);
}

int New_Configuration_Refusal(const TNames_There &there, const QString &name, QString *why)
{
    const auto refuse = [why](int entry, const QString &reason) {
        if (why)
            *why = reason;
        return entry;
    };
    if (name.isEmpty())
        return 107;
    // A name that is not one plain directory name would reach outside the parent: refused as a directory that
    // cannot be created.
    if (const QString problem = Directory_Name_Problem(name); !problem.isEmpty())
        return refuse(105, problem);
    const qsizetype room = Windows_Path_Limit - there.Dir.size() - 2 - Longest_Path_In_Configuration;
    if (room < 1)
        return refuse(105, QStringLiteral("the path of %1 leaves no room for a configuration in it: Windows takes "
                                          "paths of at most %2 characters")
                               .arg(there.Dir)
                               .arg(Windows_Path_Limit));
    if (name.size() > room)
        return refuse(105, QStringLiteral("it is longer than the %1 characters a name may have in %2: the path of the "
                                          "longest file inside a configuration would pass Windows' limit of %3 "
                                          "characters")
                               .arg(room)
                               .arg(there.Dir)
                               .arg(Windows_Path_Limit));
    const QString path = Join_Path(there.Dir, name);
    const auto same = there.By_Identity.constFind(Name_Identity(name));
    if (same != there.By_Identity.cend() && *same != name) {
        const QFileInfo other(Join_Path(there.Dir, *same));
        return refuse(other.isDir() ? 106 : 105,
                      QStringLiteral("\"%1\" is already there, and names that differ only in letter case or Unicode "
                                     "normalisation are one name on Windows or macOS")
                          .arg(*same));
    }
    // Only a directory (or a link to one) counts: a file of that name is for the making of the directory to refuse.
    return QFileInfo(path).isDir() ? 106 : 0;
}
