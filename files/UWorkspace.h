#pragma once

// Where the workspace lies (MASTER, PROJECTS, LANGUAGE, Quillon.xml, Ethernet_Update.xml and the updaters):
// one rule for the program and quillon-cli.

#include <QHash>
#include <QString>
#include <QStringList>

// A workspace as a value: its directory (where Quillon.xml, Ethernet_Update.xml, update.lock and the updaters
// lie) and the three directories in it. Native separators, no trailing separator.
struct TWorkspace
{
    QString Program_Dir;
    QString Master_Dir;
    QString Projects_Dir;
    QString Language_Dir;
};

// The workspace whose directory is dir.
TWorkspace Workspace_At(const QString &dir);

// A configuration as a value: its name, its directory and its ParGen.xml. Empty Dir: none.
struct TConfiguration
{
    QString Name;
    QString Dir;
    QString ParGen_File;
};

// The configuration name of the workspace's PROJECTS.
TConfiguration Configuration_Of(const TWorkspace &workspace, const QString &name);
// The configuration whose directory is dir (its name the directory's last part).
TConfiguration Configuration_At(const QString &dir);

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
QString Prepare_Workspace(const TWorkspace &workspace);

// Creates MASTER, PROJECTS and LANGUAGE (one level each) when missing; failures are passed over.
void Create_Workspace_Directories(const TWorkspace &workspace);

// Names of configurations. A workspace is copied between platforms, so a new name must be one that every copy can
// hold: what Windows refuses is refused everywhere, and two names that one platform takes for the same directory
// are never made side by side.

// Why name is not one plain directory name that may be created under PROJECTS on every platform and be listed,
// shown and written back later, in English ("it ends with a blank"); empty when it is one. The rules: not
// empty, not hidden (no leading "."), no separator, no control character, Unicode format character or other
// character XML cannot hold, no blank at either end, no trailing ".", at most 255 bytes in UTF-8 (Linux' limit;
// it holds Windows' 255 UTF-16 code units), none of Windows' characters < > : " | ? * and no Windows device name
// (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$, in any case, with or without an extension).
QString Directory_Name_Problem(const QString &name);
// True when Directory_Name_Problem finds nothing.
bool Is_Plain_Directory_Name(const QString &name);
// True when a directory already there may be listed, opened and named in Quillon.xml: Directory_Name_Problem's
// rules without Windows' characters and device names. Those only keep new names portable; a configuration an
// earlier version or the user made with one stays in reach where the system holds it.
bool Is_Usable_Directory_Name(const QString &name);

// The key under which two names are one directory on some platform: letter case (Windows, macOS) and Unicode
// normalisation (macOS) set aside.
QString Name_Identity(const QString &name);

// Windows' MAX_PATH, 260 characters with the terminating null: 259 to a path. Programs that reach the files
// (Explorer, the updaters, an archiver) are held to it.
inline constexpr qsizetype Windows_Path_Limit = 259;
// The longest path the program writes inside a configuration, after its directory and a separator: an
// updater's output, "update-output-XXXXXX.txt". The staged images ("bin\bankK.bin.XXXXXX",
// ".bin.XXXXXX\bankK.bin") and ParGen.xml's temporary ("ParGen.xml.XXXXXX") are shorter.
inline constexpr qsizetype Longest_Path_In_Configuration = 24;

// A directory's entries (hidden ones too) by Name_Identity, listed once to check many new names against.
struct TNames_There
{
    QString Dir; // absolute, native separators
    QHash<QString, QString> By_Identity;
};
TNames_There Names_There(const QString &dir);

// The verdict on name as a new configuration in parentDir: 0 when it may be made there, else the language-table
// entry of the refusal, with why (when given) receiving the reason in English:
// 107 an empty name;
// 105 not one plain directory name (Directory_Name_Problem's reason), one too long for Windows once parentDir's
//     path is in front (the path to the configuration's longest file, Longest_Path_In_Configuration, must stay
//     within Windows_Path_Limit), or one with a file already there under another case or normalisation;
// 106 a directory of that name already there (why empty), or one of another case or normalisation (why names it).
// A file of exactly that name is left to the making of the directory, which refuses it with the system's reason.
int New_Configuration_Refusal(const QString &parentDir, const QString &name, QString *why = nullptr);
// The same against a listing of parentDir made once.
int New_Configuration_Refusal(const TNames_There &there, const QString &name, QString *why = nullptr);
