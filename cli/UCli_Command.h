#pragma once

// What quillon-cli's command groups share: a row of the command table, the call a command's handler gets,
// and the small helpers every group writes its messages with.

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTextStream>

class TXml_Document;
struct TNames_There;

// Exit codes: 0 success, 1 the work failed (reason on err), 2 the command line was wrong.
enum TExit
{
    Exit_Ok = 0,
    Exit_Failed = 1,
    Exit_Usage = 2
};

// The options of the command line, as bits.
enum TOption : unsigned
{
    Opt_Help = 1u << 0,
    Opt_Version = 1u << 1,
    Opt_Json = 1u << 2,
    Opt_Report = 1u << 3,
    Opt_Port = 1u << 4,
    Opt_Ip = 1u << 5,
    Opt_Option = 1u << 6,
    Opt_No_Read_Back = 1u << 7,
    Opt_Workspace = 1u << 8,
    Opt_Force = 1u << 9,
    Opt_Raw = 1u << 10,
    Opt_Update = 1u << 11,
    Opt_Keep_Going = 1u << 12,
    Opt_Sent = 1u << 13,
    Opt_Force_Target = 1u << 14,
    Opt_Pending = 1u << 15,
    Opt_Targets = 1u << 16,
};
using TOptions = unsigned;

// One command as the command line gave it, after every check of the command line has passed.
struct TCli_Call
{
    // The command's arguments, the command's name not among them.
    QStringList Arguments;
    TOptions Given;
    QString Port;
    QString Ip;
    // "0", "1" or "2".
    QString Option;
    // The located workspace of --workspace DIR; empty when not given.
    QString Workspace;
    QTextStream &Out;
    QTextStream &Err;
    // --targets FILE.csv: where each of several configurations goes.
    QString Targets = QString();

    bool Has(TOption option) const { return Given & option; }
};

using TCli_Handler = int (*)(const TCli_Call &call);

// A row of the command table.
struct TCli_Command
{
    const char *Name;
    int Min_Arguments;
    int Max_Arguments;
    // What the arguments are, as "NAME needs ..." tells.
    const char *Arguments;
    // The options the command takes.
    TOptions Options;
    // Those it takes only beside --update.
    TOptions Only_With_Update;
    // What else the command asks of its options: the message of a wrong command line, or nullptr.
    const char *(*Check)(TOptions given);
    TCli_Handler Run;
    // Its lines of the help: the usage line, then what it does.
    const char *Help;
};

// The handlers of the command table, one group of commands to a file.
int Cli_Build(const TCli_Call &call);
int Cli_Verify(const TCli_Call &call);
int Cli_Check(const TCli_Call &call);
int Cli_Inspect(const TCli_Call &call);
int Cli_Texts(const TCli_Call &call);
int Cli_Ports(const TCli_Call &call);
int Cli_Update(const TCli_Call &call);
int Cli_Import(const TCli_Call &call);
int Cli_Diff(const TCli_Call &call);
int Cli_Provision(const TCli_Call &call);
int Cli_New(const TCli_Call &call);
int Cli_History(const TCli_Call &call);
int Cli_Status(const TCli_Call &call);
int Cli_Where(const TCli_Call &call);
// update of several configurations (or --pending, or --targets), one after the other.
int Update_Fleet(const TCli_Call &call);

// The words of quillon-cli's messages: the built-in English, except that where a window would be told to press
// a button or refresh its list the script user is told what to run.
QString Cli_Text(int index);

// "the keys are Device_Type_Type, Port_0_Baud, ..., Ethernet_EN_GAT": what a message offers after an unknown key.
QString Valid_Keys_Text();

// value as ParGen.xml keeps it for key: a list's value given by its item's text or its index becomes the index,
// any other key's text is kept as given. Null, with problem set ("9601 is not one of 1200, ..."), for a list
// value that is neither.
QString Stored_Value(const QString &key, const QString &value, QString &problem);

// Sets key's text in a ParGen.xml document, adding the key when missing.
void Set_Key_Text(TXml_Document &xml, const QString &key, const QString &text);

// Why name may not become a new configuration in parentDir, as the new-configuration dialog says it (with the
// name quoted and the reason of the name rule); empty when it may.
QString New_Name_Problem(const QString &parentDir, const QString &name);
// The same against a listing of the directory made once (many names checked in turn).
QString New_Name_Problem(const TNames_There &there, const QString &name);

// text as a message shows it: cut to about 80 characters with "…", control and format characters shown escaped
// (\x1B, \u202E), so that no cell or name floods or steers the terminal. Quoted puts it in quotes.
QString Shown_Cut(const QString &text);
QString Quoted(const QString &text);

// The first Shown_Lines of lines on err, each after "quillon-cli: " and prefix, then "and N more" (N of count
// lines in all, when the caller kept only those it shows).
inline constexpr qsizetype Shown_Lines = 20;
void Write_Capped(QTextStream &err, const QString &prefix, const QStringList &lines, qsizetype count = -1);

// With --workspace, where import or provision may write: dir (a plain name is one of the workspace's PROJECTS)
// resolved once, through every symbolic link and "..". Empty, and problem set, unless it lies directly in the
// workspace's PROJECTS.
QString Workspace_Config_Dir(const QString &workspace, const QString &dir, QString &problem);
// dir resolved by Workspace_Config_Dir when the call names a workspace; false, the reason said on err, when it
// lies outside the workspace's PROJECTS.
bool Resolve_In_Workspace(const TCli_Call &call, QString &dir);

// Finishes or undoes what a killed provision left in projectsDir, saying so on err.
void Recover_Provisions_Of(const QString &projectsDir, QTextStream &err);

inline QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// "quillon-cli: message" on err; returns code.
inline int Fail(QTextStream &err, const QString &message, int code = Exit_Failed)
{
    err << "quillon-cli: " << message << '\n';
    return code;
}

// A wrong command line: the message, and where help is; returns Exit_Usage.
inline int Usage(QTextStream &err, const QString &message)
{
    err << "quillon-cli: " << message << " (see quillon-cli --help)\n";
    return Exit_Usage;
}

// A configuration named on the command line: with a workspace (--workspace) a bare name is one of its
// PROJECTS; anything with a separator is a path.
QString Config_Of_Workspace(const QString &workspace, const QString &name);
QString Named_Config_Dir(const TCli_Call &call, const QString &name);
// The workspace a command works in: --workspace, else QUILLON_WORKSPACE, else the program's own.
QString Call_Workspace(const TCli_Call &call);
