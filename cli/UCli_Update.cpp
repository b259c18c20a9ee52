// quillon-cli ports and update: the serial ports, and a device updated as the update dialog does it.

#include "UCli_Update.h"

#include "UCli_Command.h"

#include "UAnsi_Paths.h"
#include "UAtomic_File.h"
#include "UComon.h"
#include "UEcho_Client.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "UUpdate_Logic.h"
#include "UUpdater_Lock.h"
#include "UUpdater_Run.h"
#include "UXml_Document.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QTimer>

#include <csignal>
#include <iterator>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// With --workspace, a configuration named by its name alone is the one of the workspace's PROJECTS.
QString Config_Of_Workspace(const QString &workspace, const QString &configDir)
{
    if (workspace.isEmpty() || configDir.contains(u'/') || configDir.contains(QDir::separator()))
        return configDir;
    return Join_Path(workspace, QStringLiteral("PROJECTS"), configDir);
}

struct TUpdate
{
    QTextStream &Out;
    QTextStream &Err;

    int Fail(const QString &message) { return ::Fail(Err, message); }
    int Update(const TUpdate_Request &request);
    int Update_Ethernet(const QString (&parts)[4], int option, bool readBack, TUpdate_Record &record);
    int Run_Updater_Of(const QString &base, TUpdate_Record &record);

    std::unique_ptr<TUpdater_Lock> Lock;
    // The directories as the serial updater is handed them.
    TSerial_Paths Serial_Paths;
};

// The signal that asked quillon-cli to end while an updater ran (0: none). Set by the handler, read by a timer.
volatile std::sig_atomic_t Stop_Signal = 0;

#ifdef Q_OS_WIN
BOOL WINAPI Console_Stop(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    Stop_Signal = event == CTRL_C_EVENT ? SIGINT : SIGTERM;
    return TRUE;
}
#endif

// While it lives, Ctrl-C, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break and closing the console on Windows) end the
// updater and are recorded instead of ending quillon-cli at once and leaving the updater running unrecorded.
class TStop_Signals
{
public:
    TStop_Signals()
    {
        Stop_Signal = 0;
#ifdef Q_OS_WIN
        SetConsoleCtrlHandler(Console_Stop, TRUE);
#else
        struct sigaction action = {};
        action.sa_handler = [](int signal) { Stop_Signal = signal; };
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < std::size(Signals); ++i)
            ::sigaction(Signals[i], &action, &Previous[i]);
#endif
    }
    ~TStop_Signals()
    {
#ifdef Q_OS_WIN
        SetConsoleCtrlHandler(Console_Stop, FALSE);
#else
        for (size_t i = 0; i < std::size(Signals); ++i)
            ::sigaction(Signals[i], &Previous[i], nullptr);
#endif
    }

private:
#ifndef Q_OS_WIN
    static constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};
    struct sigaction Previous[std::size(Signals)];
#endif
};

// A port named as quillon-cli ports lists it, or by its location.
TSerial_Port Chosen_Port(const QString &port, const QList<TSerial_Port> &listed)
{
    TSerial_Port chosen{port, QString(), QString(), QString(), QString()};
    for (const TSerial_Port &one : listed) {
        if (one.Name == port || one.Location == port)
            chosen = one;
    }
    if (chosen.Location.isEmpty()) {
#ifdef Q_OS_WIN
        chosen.Name = port.startsWith(QStringLiteral("\\\\.\\")) ? port.mid(4) : port;
        chosen.Location = QStringLiteral("\\\\.\\") + chosen.Name;
#else
        chosen.Location = port.startsWith(u'/') ? port : QStringLiteral("/dev/") + port;
#endif
    }
    return chosen;
}

int TUpdate::Update(const TUpdate_Request &request)
{
    const QString &configDir = request.Config_Dir;
    const QString &workspaceDir = request.Workspace;
    const QString &port = request.Port;
    const QString &ip = request.Ip;
    const int option = request.Option;
    const bool readBack = request.Read_Back;
    // The workspace is the directory that holds PROJECTS: MASTER, the updaters and Ethernet_Update.xml are there.
    const QFileInfo conf(Config_Of_Workspace(workspaceDir, configDir));
    if (!conf.isDir())
        return Fail(QStringLiteral("%1 is not a directory").arg(Native(configDir)));
    const QDir projects = QFileInfo(conf.absoluteFilePath()).dir();
    if (projects.dirName() != QStringLiteral("PROJECTS"))
        return Fail(QStringLiteral("%1 is not a configuration of a workspace (WORKSPACE/PROJECTS/NAME)")
                        .arg(Native(configDir)));
    QDir workspace = projects;
    workspace.cdUp();
    if (!workspaceDir.isEmpty() && workspace.canonicalPath() != QDir(workspaceDir).canonicalPath())
        return Fail(
            QStringLiteral("%1 is not a configuration of the workspace %2").arg(Native(configDir), workspaceDir));
    Set_Workspace_Paths(workspace.absolutePath());
    Conf_Name = conf.fileName();
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    Set_Files();

    // Everything that can refuse the command is checked before a file is written or an updater started.
    QString parts[4];
    if (!ip.isEmpty() && !Split_IP_Address(ip, parts[0], parts[1], parts[2], parts[3]))
        return Fail(QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(ip));
    TSerial_Port chosen;
    if (!port.isEmpty()) {
        const QList<TSerial_Port> listed = List_COM_Ports();
        chosen = Chosen_Port(port, listed);
        QString problem = Serial_Port_Absence(chosen.Location, listed, Cli_Text);
        if (problem.isEmpty())
            problem = Port_Permission_Problem(chosen.Location);
        if (!problem.isEmpty())
            return Fail(problem);
    }
    int formType = 0;
    TSend_Verdict verdict;
    try {
        Load_Default_Language();
        formType = Make_Config_Data(ParGen_File, &verdict, Cli_Text);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    // The device type decides the way, as it decides the form of the update dialog.
    if (!ip.isEmpty() && formType != 1)
        return Fail(QStringLiteral("the configuration's device has no Ethernet port (Device_Type_Type is not 1): "
                                   "update it with --port"));
    if (!port.isEmpty() && formType == 1)
        return Fail(QStringLiteral("the configuration's device is updated over Ethernet (Device_Type_Type is 1): "
                                   "update it with --ip"));
    const QString refusal = Update_Refusal(verdict, option, formType == 1, Master_Dir, Cli_Text);
    if (!refusal.isEmpty())
        return Fail(refusal);
    if (ip.isEmpty()) {
        Serial_Paths = Serial_Updater_Paths(Master_Dir, Conf_Dir, Native_Ansi_System());
        if (!Serial_Paths.Refusal.isEmpty())
            return Fail(Serial_Paths.Refusal);
    }
    // Before the images and the parameter file are written: a running updater may be reading them.
    Lock = std::make_unique<TUpdater_Lock>(Program_Dir);
    if (!Lock->Acquire(Find_Updater(ip.isEmpty() ? Serial_Updater_Base : Ethernet_Updater_Base),
                       ip.isEmpty() ? chosen.Location : QStringList{parts[0], parts[1], parts[2], parts[3]}.join(u'.'),
                       Conf_Dir))
        return Fail(Lock->Error.isEmpty()
                        ? Busy_Updater_Text(Lock->Holder, QDateTime::currentDateTime())
                        : Write_Error(Join_Path(Program_Dir, Updater_Lock_File_Name), Lock->Error).Text());
    try {
        Write_Config_Files(Conf_Dir);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    Out << Native(Bank_File_Path(Conf_Dir)) << ": " << Param_Buffer_Length << " bytes\n";
    Out << Native(BankK_File_Path(Conf_Dir)) << ": " << Bank_Buffer_Length << " bytes\n";
    Out.flush();
    TUpdate_Record record;
    record.Option = option;
    record.Read_Back = readBack;
    if (ip.isEmpty()) {
        const TPlatform_Form form = Native_Form();
        record.Arguments =
            Serial_Update_Arguments(form, form == TPlatform_Form::Windows ? chosen.Name : chosen.Location, option,
                                    readBack, Serial_Paths.Master_Dir, Serial_Paths.Conf_Dir);
        record.Notes = Serial_Paths.Notes;
        for (const QString &note : std::as_const(record.Notes))
            Out << "note: " << note << '\n';
        return Run_Updater_Of(Serial_Updater_Base, record);
    }
    return Update_Ethernet(parts, option, readBack, record);
}

int TUpdate::Update_Ethernet(const QString (&parts)[4], int option, bool readBack, TUpdate_Record &record)
{
    const QString host = QStringList{parts[0], parts[1], parts[2], parts[3]}.join(u'.');
    Out << "echo check of " << host << " ...\n";
    Out.flush();
    TIcmp_Echo_Client client;
    TEcho_Check check(&client);
    if (!Run_Echo_Check(check, host)) {
        if (check.ping_res == 2)
            return Fail(
                QStringLiteral("%1 (%2 unanswered)")
                    .arg(Lang(1036), Counted(check.Attempts, QStringLiteral("attempt"), QStringLiteral("attempts"))));
        return Fail(Lang(1037) + (check.Failure.isEmpty() ? QString() : QStringLiteral(": ") + check.Failure));
    }
    Out << "echo check: " << check.Replies << " replies from " << host << '\n';
    TXml_Document xml;
    try {
        Write_Ethernet_Update(xml, parts, option, readBack, Program_Dir, Master_Dir, Conf_Dir);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    Out << "written: " << Native(Join_Path(Program_Dir, Ethernet_Update_File_Name)) << '\n';
    record.Ethernet_Address = host;
    return Run_Updater_Of(Ethernet_Updater_Base, record);
}

int TUpdate::Run_Updater_Of(const QString &base, TUpdate_Record &record)
{
    const QString program = Find_Updater(base);
    record.Program = program;
    Out << "running: " << Native(program);
    for (const QString &argument : std::as_const(record.Arguments))
        Out << ' ' << argument;
    Out << '\n';
    Out.flush();
    TUpdater_Run run;
    run.On_Started = [this](qint64 pid) { Lock->Set_Updater(pid); };
    Begin_Update_Record(run, record, Conf_Dir);
    const TStop_Signals stopSignals;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&run] {
        if (Stop_Signal != 0)
            run.Cancel();
    });
    watch.start(50);
    // The updater's output reaches its file; what it adds there is shown here as it comes.
    QFile output(run.Output_File);
    QStringDecoder decoder(QStringConverter::Utf8);
    QTimer echo;
    const auto show = [&] {
        if (output.isOpen()) {
            Out << decoder.decode(output.readAll());
            Out.flush();
        }
    };
    if (!run.Output_File.isEmpty() && output.open(QIODevice::ReadOnly)) {
        QObject::connect(&echo, &QTimer::timeout, &echo, show);
        echo.start(100);
    }
    const bool started = Run_Updater(run, program, record.Arguments, Native_Form(), Program_Dir);
    watch.stop();
    if (run.End == TRun_End::Limit_Reached)
        Lock->Keep_For_Updater();
    echo.stop();
    show();
    output.close();
    try {
        Finish_Update_Record(run, record, Conf_Dir);
    } catch (const EQuillon_Error &error) {
        Fail(QStringLiteral("the run could not be recorded in update.log: %1").arg(error.Text()));
        if (started && run.End == TRun_End::Exited)
            Out << base << " ended with exit code " << run.Exit_Code << '\n';
        return Exit_Failed;
    }
    if (!started)
        return Fail(run.Error_Text);
    switch (run.End) {
    case TRun_End::Exited:
        Out << base << " ended with exit code " << run.Exit_Code << '\n';
        return run.Exit_Code;
    case TRun_End::Crashed:
        return Fail(QStringLiteral("%1 ended abnormally").arg(base));
    case TRun_End::Limit_Reached:
        return Fail(QStringLiteral("%1 did not end within %2 s; it goes on running (process %3)")
                        .arg(base)
                        .arg(Updater_Wait_Limit_Ms / 1000)
                        .arg(run.Process_Id));
    case TRun_End::Cancelled:
        // The exit code of a program that the signal itself ended (130 for Ctrl-C).
        Fail(QStringLiteral("%1 was stopped on request after %2 s, with the processes it started")
                 .arg(base)
                 .arg(record.Elapsed_Ms / 1000));
        return 128 + (Stop_Signal != 0 ? int(Stop_Signal) : SIGINT);
    case TRun_End::Not_Started:
        break;
    }
    return Fail(run.Error_Text);
}

} // namespace

int Update_Device(const TUpdate_Request &request, QTextStream &out, QTextStream &err)
{
    TUpdate update{out, err, nullptr, {}};
    return update.Update(request);
}

int Cli_Update(const TCli_Call &call)
{
    return Update_Device(
        {call.Arguments[0], call.Workspace, call.Port, call.Ip, call.Option.toInt(), !call.Has(Opt_No_Read_Back)},
        call.Out, call.Err);
}

int Cli_Ports(const TCli_Call &call)
{
    for (const TSerial_Port &port : List_COM_Ports())
        call.Out << port.Name << '\n';
    return Exit_Ok;
}
