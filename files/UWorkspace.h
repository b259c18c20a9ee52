#pragma once

// Where the workspace lies (MASTER, PROJECTS, LANGUAGE, Quillon.xml, Ethernet_Update.xml and the updaters):
// one rule for the program and quillon-cli.

#include <QString>
#include <QStringList>

// How the workspace was chosen.
enum class TWorkspace_Source
{
    Command_Line, // --workspace DIR
    Environment,  // QUILLON_WORKSPACE
    Program_Dir,  // the executable's own directory, which the user may write (a portable copy, the build tree)
    User_Data     // the per-user data directory
};

struct TWorkspace_Choice
{
    QString Dir; // native separators, no trailing separator
    TWorkspace_Source Source = TWorkspace_Source::Program_Dir;
};

inline const QString Workspace_Option = QStringLiteral("workspace");
inline constexpr char Workspace_Variable[] = "QUILLON_WORKSPACE";
// The one ID of the desktop entry, the metainfo and the icons.
inline const QString Application_Id = QStringLiteral("org.quillon.Quillon");

// The file the Windows installer puts beside quillon.exe; a portable copy (the zip) has none.
inline const QString Installed_Marker = QStringLiteral("installed.txt");

// The first that applies: commandLineDir (--workspace) when given, QUILLON_WORKSPACE when set and not empty,
// programDir when the user may create a file there and it is not an installed copy (an installed copy
// lies in a bin directory beside share/metainfo holding the program's metainfo, or holds Installed_Marker:
// even a user who may write there, root or an administrator, keeps its files out of the program's
// directories), else User_Workspace_Dir().
TWorkspace_Choice Locate_Workspace(const QString &commandLineDir, const QString &programDir);

// The per-user data directory: $XDG_DATA_HOME/Quillon or ~/.local/share/Quillon, %LOCALAPPDATA%\Quillon.
QString User_Workspace_Dir();

// True when a file may be created in dir (tried, not guessed from permission bits); reason tells why not.
bool Is_Writable_Dir(const QString &dir, QString *reason = nullptr);

// Creates dir (one level) unless it is a directory already. Empty on success, else the error naming the
// directory and the system's reason.
QString Create_Directory(const QString &dir);

// Creates the workspace (with its missing parents) and MASTER, PROJECTS and LANGUAGE in it, and checks that
// the workspace may be written. Returns the problems, one line each naming the directory and the reason,
// empty when there is none; the program goes on and each step that needs the workspace says so again.
QString Prepare_Workspace();
