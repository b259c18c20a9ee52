// quillon-cli ports and update: the serial ports, and a device updated as the update dialog does it.

#include "UCli_Update.h"

#include "UCli_Command.h"

#include "UAnsi_Paths.h"
#include "UAtomic_File.h"
#include "UGround.h"
#include "UEcho_Client.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "UUpdate_Logic.h"
#include "UUpdate_Pipeline.h"
#include "UUpdater_Lock.h"
#include "UUpdater_Run.h"
#include "UXml_Document.h"

#include <QDateTime>
#include <QEventLoop>
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

// The workspace is the directory that holds PROJECTS: MASTER, the updaters and Ethernet_Update.xml are there.
// Empty workspace and a reason when configDir is no configuration of one.
QString Workspace_Of(const TCli_Update_Request &request, TWorkspace &workspace, TConfiguration &configuration)
{
    const QFileInfo conf(Config_Of_Workspace(request.Workspace, request.Config_Dir));
    if (!conf.isDir())
        return QStringLiteral("%1 is not a directory").arg(Native(request.Config_Dir));
    const QDir projects = QFileInfo(conf.absoluteFilePath()).dir();
    if (projects.dirName() != QStringLiteral("PROJECTS"))
        return QStringLiteral("%1 is not a configuration of a workspace (WORKSPACE/PROJECTS/NAME)")
            .arg(Native(request.Config_Dir));
    QDir dir = projects;
    dir.cdUp();
    if (!request.Workspace.isEmpty() && dir.canonicalPath() != QDir(request.Workspace).canonicalPath())
        return QStringLiteral("%1 is not a configuration of the workspace %2")
            .arg(Native(request.Config_Dir), request.Workspace);
    workspace = Workspace_At(dir.absolutePath());
    configuration = Configuration_Of(workspace, conf.fileName());
    return QString();
}

// What the pipeline does, as lines on the terminal.
void Show_Progress(QTextStream &out, TUpdate_Stage stage, const TUpdate_Result &sofar, const TUpdate_Request &request)
{
    switch (stage) {
    case TUpdate_Stage::Images_Written:
        out << Native(Bank_File_Path(request.Configuration.Dir)) << ": " << sofar.Sent.Param_Block.size()
            << " bytes\n";
        out << Native(BankK_File_Path(request.Configuration.Dir)) << ": " << sofar.Sent.Bank_Image.size()
            << " bytes\n";
        for (const QString &note : std::as_const(sofar.Record.Notes))
            out << "note: " << note << '\n';
        break;
    case TUpdate_Stage::Echo_Check:
        out << "echo check of " << request.Address << " ...\n";
        break;
    case TUpdate_Stage::Echo_Answered:
        out << "echo check: " << sofar.Echo_Replies << " replies from " << request.Address << '\n';
        break;
    case TUpdate_Stage::Parameters_Written:
        out << "written: " << Native(Join_Path(request.Workspace.Program_Dir, Ethernet_Update_File_Name)) << '\n';
        break;
    case TUpdate_Stage::Updater_Starting:
        out << "running: " << Native(sofar.Record.Program);
        for (const QString &argument : std::as_const(sofar.Record.Arguments))
            out << ' ' << argument;
        out << '\n';
        break;
    }
    out.flush();
}

// Awaits the updater: Ctrl-C and its kin cancel it, and what it adds to its output file is shown as it comes.
void Wait_Showing_Output(TUpdater_Run &run, QTextStream &out)
{
    const TStop_Signals stopSignals;
    QEventLoop loop;
    QObject::connect(&run, &TUpdater_Run::Ended, &loop, &QEventLoop::quit);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &watch, [&run] {
        if (Stop_Signal != 0)
            run.Cancel();
    });
    watch.start(50);
    QFile output(run.Output_File);
    QStringDecoder decoder(QStringConverter::Utf8);
    QTimer echo;
    const auto show = [&] {
        if (output.isOpen()) {
            out << decoder.decode(output.readAll());
            out.flush();
        }
    };
    if (!run.Output_File.isEmpty() && output.open(QIODevice::ReadOnly)) {
        QObject::connect(&echo, &QTimer::timeout, &echo, show);
        echo.start(100);
    }
    if (run.Running())
        loop.exec();
    show();
}

int Update_Ending(const TUpdate_Result &result, const TUpdate_Request &request, QTextStream &out, QTextStream &err)
{
    const QString base = QFileInfo(result.Record.Program).completeBaseName();
    const TUpdate_Record &record = result.Record;
    switch (result.Ending) {
    case TUpdate_Ending::Refused:
    case TUpdate_Ending::Busy:
        return Fail(err, result.Message);
    case TUpdate_Ending::Other_Target:
        return Fail(err, QStringLiteral("warning: %1 Nothing was sent; --force-target sends it there.").arg(result.Message));
    case TUpdate_Ending::Wrong_Way:
        return Fail(err, result.Message + (request.Way == TUpdate_Way::Ethernet ? QStringLiteral(": update it with --port")
                                                                                : QStringLiteral(": update it with --ip")));
    case TUpdate_Ending::Echo_Unanswered:
        return Fail(err, QStringLiteral("%1 (%2 unanswered)")
                             .arg(Lang(1036), Counted(result.Echo_Attempts, QStringLiteral("attempt"),
                                                      QStringLiteral("attempts"))));
    case TUpdate_Ending::Echo_Failed:
    case TUpdate_Ending::Aborted:
        return Fail(err, Lang(1037) + (result.Message.isEmpty() ? QString() : QStringLiteral(": ") + result.Message));
    case TUpdate_Ending::Not_Started:
    case TUpdate_Ending::Ran:
        break;
    }
    if (!result.Log_Problem.isEmpty()) {
        Fail(err, QStringLiteral("the run could not be recorded in update.log: %1").arg(result.Log_Problem));
        if (result.Ending == TUpdate_Ending::Ran && record.End == TRun_End::Exited)
            out << base << " ended with exit code " << record.Exit_Code << '\n';
        return Exit_Failed;
    }
    if (result.Ending == TUpdate_Ending::Not_Started)
        return Fail(err, result.Message);
    switch (record.End) {
    case TRun_End::Exited:
        out << base << " ended with exit code " << record.Exit_Code << '\n';
        return record.Exit_Code;
    case TRun_End::Crashed:
        return Fail(err, QStringLiteral("%1 ended abnormally").arg(base));
    case TRun_End::Limit_Reached:
        return Fail(err, QStringLiteral("%1 did not end within %2 s; it goes on running (process %3)")
                             .arg(base)
                             .arg(record.Limit_Ms / 1000)
                             .arg(result.Updater_Pid));
    case TRun_End::Cancelled:
        // The exit code of a program that the signal itself ended (130 for Ctrl-C).
        Fail(err, QStringLiteral("%1 was stopped on request after %2 s, with the processes it started")
                      .arg(base)
                      .arg(record.Elapsed_Ms / 1000));
        return 128 + (Stop_Signal != 0 ? int(Stop_Signal) : SIGINT);
    case TRun_End::Not_Started:
        break;
    }
    return Fail(err, record.Error_Text);
}

} // namespace

int Update_Device(const TCli_Update_Request &request, QTextStream &out, QTextStream &err)
{
    TUpdate_Request update;
    const QString problem = Workspace_Of(request, update.Workspace, update.Configuration);
    if (!problem.isEmpty())
        return Fail(err, problem);
    if (!request.Ip.isEmpty()) {
        QString parts[4];
        if (!Split_IP_Address(request.Ip, parts[0], parts[1], parts[2], parts[3]))
            return Fail(err, QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(request.Ip));
        update.Way = TUpdate_Way::Ethernet;
        update.Address = QStringList{parts[0], parts[1], parts[2], parts[3]}.join(u'.');
    } else {
        update.Port = Chosen_Port(request.Port, List_COM_Ports());
    }
    update.Option = request.Option;
    update.Read_Back = request.Read_Back;
    update.Force_Target = request.Force_Target;
    try {
        Load_Default_Language();
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    TUpdate_Pipeline pipeline;
    pipeline.Texts = Cli_Text;
    // The terminal's user reads the permission problem as the same text.
    pipeline.Port_Check = [](const QString &location) { return Port_Permission_Problem(location); };
    pipeline.Wait = [&out](TUpdater_Run &run, const QString &) { Wait_Showing_Output(run, out); };
    pipeline.On_Progress = [&out, &update](TUpdate_Stage stage, const TUpdate_Result &sofar) {
        Show_Progress(out, stage, sofar, update);
    };
    return Update_Ending(pipeline.Run(update), update, out, err);
}

int Cli_Update(const TCli_Call &call)
{
    if (call.Arguments.size() != 1 || call.Has(Opt_Pending) || call.Has(Opt_Targets) || call.Has(Opt_Json))
        return Update_Fleet(call);
    if (!call.Has(Opt_Port) && !call.Has(Opt_Ip))
        return Usage(call.Err, QStringLiteral("update needs either --port or --ip"));
    return Update_Device(
        TCli_Update_Request{call.Arguments[0], call.Workspace, call.Port, call.Ip, call.Option.toInt(),
                            !call.Has(Opt_No_Read_Back), call.Has(Opt_Force_Target)},
        call.Out, call.Err);
}

int Cli_Ports(const TCli_Call &call)
{
    for (const TSerial_Port &port : List_COM_Ports())
        call.Out << port.Name << '\n';
    return Exit_Ok;
}
