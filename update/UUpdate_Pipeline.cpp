#include "UUpdate_Pipeline.h"

#include "UAtomic_File.h"
#include "UFile_Work.h"
#include "UGround.h"
#include "UUpdate_Logic.h"
#include "UXml_Document.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopeGuard>

#include <algorithm>

namespace {

void Wait_In_Loop(TUpdater_Run &run, const QString &)
{
    if (!run.Running())
        return;
    QEventLoop loop;
    QObject::connect(&run, &TUpdater_Run::Ended, &loop, &QEventLoop::quit);
    loop.exec();
}

// The ending of an updater the program stopped waiting for, recorded when it ends at last; then the workspace
// is free again. Off the thread that called: appending to update.log syncs the disk.
void Record_Late_Ending(const std::shared_ptr<TUpdate_Record> &record, const std::shared_ptr<TSent_Run> &sent,
                        const std::shared_ptr<TUpdater_Lock> &lock, const QString &confDir, TRun_End end, int exitCode)
{
    const TUpdate_Record kept = *record;
    const std::shared_ptr<TSent_Run> run = sent;
    File_Work_Pool().start([kept, run, lock, confDir, end, exitCode] {
        // Nobody is left to tell when either cannot be written: the run stays recorded as no longer awaited.
        try {
            Finish_Late_Update_Record(kept, end, exitCode, confDir);
        } catch (const EQuillon_Error &) {
        }
        try {
            if (!run->Dir.isEmpty())
                Finish_Sent_Run(*run, Ending_Of(end, exitCode),
                                end == TRun_End::Exited ? std::optional<int>(exitCode) : std::nullopt);
        } catch (const EQuillon_Error &) {
        }
        lock->Release();
    });
}

} // namespace

QString Other_Target_Text(const QString &address, const TAddress_Holder &holder, const QString &name,
                          TText_Source texts)
{
    return texts(1040).arg(address, holder.Configuration.Name,
                           holder.Run.Started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")), name);
}

TUpdate_Pipeline::TUpdate_Pipeline(QObject *parent) : QObject(parent)
{
    Echo_Client_Source = [] { return std::make_unique<TIcmp_Echo_Client>(); };
    Port_Check = [this](const QString &location) { return Port_Permission_Problem(location, Texts); };
    Wait = Wait_In_Loop;
    File_Work = [](const std::function<void()> &work) { work(); };
}

TUpdate_Pipeline::~TUpdate_Pipeline() = default;

void TUpdate_Pipeline::Progress(TUpdate_Stage stage, const TUpdate_Result &sofar)
{
    if (On_Progress)
        On_Progress(stage, sofar);
}

void TUpdate_Pipeline::Abort_Check()
{
    if (Check)
        Check->Abort();
}

TUpdate_Result TUpdate_Pipeline::Run(const TUpdate_Request &request)
{
    TUpdate_Result result;
    if (Is_Running) {
        result.Message = QStringLiteral("an update is under way");
        return result;
    }
    Is_Running = true;
    const auto done = qScopeGuard([this] { Is_Running = false; });
    try {
        Run_Checked(request, result);
    } catch (const EQuillon_Error &error) {
        // Whatever failed, the lock went with the stack: nothing is left behind.
        result.Ending = TUpdate_Ending::Refused;
        result.Message = error.Text();
    }
    return result;
}

void TUpdate_Pipeline::Run_Checked(const TUpdate_Request &request, TUpdate_Result &result)
{
    const bool ethernet = request.Way == TUpdate_Way::Ethernet;
    const TConfiguration &configuration = request.Configuration;
    const TWorkspace &workspace = request.Workspace;
    if (!QFileInfo(configuration.Dir).isDir())
        throw EQuillon_Error(QStringLiteral("The configuration %1 no longer exists.")
                                 .arg(QDir::toNativeSeparators(configuration.Dir)));

    // Everything that can refuse the update is checked before a file is written or an updater started.
    QByteArray parGenXml;
    result.Sent = Make_Config_Data(configuration.ParGen_File, Texts, &parGenXml);
    // The device type decides the way, as it decides the form of the update dialog.
    if (ethernet != (result.Sent.Device_Type == 1)) {
        result.Ending = TUpdate_Ending::Wrong_Way;
        result.Message = ethernet ? QStringLiteral("the configuration's device has no Ethernet port "
                                                   "(Device_Type_Type is not 1)")
                                  : QStringLiteral("the configuration's device is updated over Ethernet "
                                                   "(Device_Type_Type is 1)");
        return;
    }
    result.Message = Update_Refusal(result.Sent.Verdict, request.Option, ethernet, workspace.Master_Dir, Texts);
    if (!ethernet && result.Message.isEmpty())
        result.Message = Serial_Port_Absence(request.Port.Location, Port_Source(), Texts);
    if (!result.Message.isEmpty())
        return;
    QString parts[4];
    if (ethernet && !Split_IP_Address(request.Address, parts[0], parts[1], parts[2], parts[3])) {
        result.Message = QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(request.Address);
        return;
    }
    // Each configuration to its own converter: an address that last received another one is asked about first.
    if (ethernet && !request.Force_Target) {
        result.Target_Holder = Last_Sent_To(workspace, request.Address);
        if (result.Target_Holder &&
            QDir::cleanPath(result.Target_Holder->Configuration.Dir) != QDir::cleanPath(configuration.Dir)) {
            result.Ending = TUpdate_Ending::Other_Target;
            result.Message = Other_Target_Text(request.Address, *result.Target_Holder, configuration.Name, Texts);
            return;
        }
        result.Target_Holder.reset();
    }
    TSerial_Paths paths;
    if (!ethernet) {
        // A port this user may not open would only make the updater fail: the remedy is told instead.
        result.Message = Port_Check ? Port_Check(request.Port.Location) : QString();
        if (result.Message.isEmpty()) {
            paths = Serial_Updater_Paths(workspace.Master_Dir, configuration.Dir, Ansi, Texts);
            result.Message = paths.Refusal;
        }
        if (!result.Message.isEmpty()) {
            result.Warning = true;
            return;
        }
    }

    TUpdate_Record &record = result.Record;
    record.Program = Find_Updater(workspace.Program_Dir, ethernet ? Ethernet_Updater_Base : Serial_Updater_Base);
    record.Option = request.Option;
    record.Read_Back = request.Read_Back;
    record.Limit_Ms = request.Limit_Ms;
    record.Notes = paths.Notes;
    // Before the images and the parameter file are written: a running updater may be reading them. Held until
    // the updater is known to be gone; released with this stack on every other path.
    const auto lock = std::make_shared<TUpdater_Lock>(workspace.Program_Dir);
    if (!lock->Acquire(record.Program, ethernet ? request.Address : request.Port.Location, configuration.Dir)) {
        result.Ending = TUpdate_Ending::Busy;
        result.Warning = true;
        result.Holder = lock->Holder;
        // The lock file is named too: where to look when the holder is not what it seems.
        result.Message = lock->Error.isEmpty()
                             ? Busy_Updater_Text(lock->Holder, QDateTime::currentDateTime(), Texts) + u'\n' +
                                   QDir::toNativeSeparators(Join_Path(workspace.Program_Dir, Updater_Lock_File_Name))
                             : Write_Error(Join_Path(workspace.Program_Dir, Updater_Lock_File_Name), lock->Error).Text();
        return;
    }
    if (lock->Taken_Over)
        Record_Orphaned_Run(*lock->Taken_Over);
    Write_Config_Files(configuration.Dir, result.Sent);
    Progress(TUpdate_Stage::Images_Written, result);

    if (ethernet) {
        Progress(TUpdate_Stage::Echo_Check, result);
        const std::unique_ptr<TEcho_Client> client = Echo_Client_Source();
        TEcho_Check check(client.get());
        Check = &check;
        const auto forget = qScopeGuard([this] { Check = nullptr; });
        const bool answered = Run_Echo_Check(check, request.Address);
        result.Echo_Attempts = check.Attempts;
        result.Echo_Replies = check.Replies;
        if (check.Aborted()) {
            result.Ending = TUpdate_Ending::Aborted;
            return;
        }
        if (!answered) {
            result.Ending = check.ping_res == 2 ? TUpdate_Ending::Echo_Unanswered : TUpdate_Ending::Echo_Failed;
            result.Message = check.Failure;
            // No updater ran, but the attempt leaves its trace.
            try {
                File_Work([&] {
                    Append_Update_Log(configuration.Dir,
                                      Echo_Failure_Log_Text(QDateTime::currentDateTime(), request.Address,
                                                            check.Attempts, check.Failure));
                });
            } catch (const EQuillon_Error &error) {
                result.Log_Problem = error.Text();
            }
            return;
        }
        Progress(TUpdate_Stage::Echo_Answered, result);
        TXml_Document xml;
        Write_Ethernet_Update(xml, parts, request.Option, request.Read_Back, workspace.Program_Dir,
                              workspace.Master_Dir, configuration.Dir);
        record.Ethernet_Address = request.Address;
        Progress(TUpdate_Stage::Parameters_Written, result);
    } else {
        const TPlatform_Form form = Native_Form();
        record.Arguments =
            Serial_Update_Arguments(form, form == TPlatform_Form::Windows ? request.Port.Name : request.Port.Location,
                                    request.Option, request.Read_Back, paths.Master_Dir, paths.Conf_Dir);
    }
    // Nothing is sent that could not be recorded: a run that cannot be kept refuses the update.
    TSent_Request kept;
    kept.Configuration = configuration.Name;
    kept.Kind = ethernet ? QStringLiteral("ethernet") : QStringLiteral("serial");
    kept.Target = ethernet ? request.Address : request.Port.Name;
    kept.Option = request.Option;
    kept.Read_Back = request.Read_Back;
    if (request.Option == 0 || request.Option == 1)
        kept.Firmware_File =
            Join_Path(workspace.Master_Dir, ethernet ? Ethernet_Firmware_File : Serial_Firmware_File);
    try {
        File_Work([&] { result.Kept = Keep_Sent_Run(configuration.Dir, kept, result.Sent, parGenXml); });
    } catch (const EQuillon_Error &error) {
        result.Ending = TUpdate_Ending::Refused;
        result.Message = QStringLiteral("The run cannot be kept under %1, so nothing was sent: %2")
                             .arg(QDir::toNativeSeparators(Join_Path(configuration.Dir, Sent_Dir_Name)), error.Text());
        return;
    }
    Run_Updater_Of(request, lock, result);
}

void TUpdate_Pipeline::Run_Updater_Of(const TUpdate_Request &request, const std::shared_ptr<TUpdater_Lock> &lock,
                                      TUpdate_Result &result)
{
    TUpdate_Record &record = result.Record;
    const QString confDir = request.Configuration.Dir;
    Progress(TUpdate_Stage::Updater_Starting, result);
    TUpdater_Run run;
    // What the late ending needs is only known once the run is recorded as no longer awaited.
    const auto lateRecord = std::make_shared<TUpdate_Record>();
    const auto lateRun = std::make_shared<TSent_Run>(result.Kept.value_or(TSent_Run()));
    run.On_Started = [lock](qint64 pid) { lock->Set_Updater(pid); };
    run.On_Abandoned_End = [lateRecord, lateRun, lock, confDir](TRun_End end, int exitCode) {
        Record_Late_Ending(lateRecord, lateRun, lock, confDir, end, exitCode);
    };
    Begin_Update_Record(run, record, confDir);
    const bool started = run.Start(record.Program, record.Arguments, Native_Form(), request.Workspace.Program_Dir,
                                   request.Limit_Ms);
    if (started)
        Wait(run, record.Program);
    result.Updater_Pid = run.Process_Id;
    if (run.End == TRun_End::Limit_Reached)
        lock->Keep_For_Updater();
    result.Ending = started && run.End != TRun_End::Not_Started ? TUpdate_Ending::Ran : TUpdate_Ending::Not_Started;
    if (result.Ending == TUpdate_Ending::Not_Started)
        result.Message = Start_Failure_Text(run, Texts);
    // Before the file work: a window processes its events meanwhile, and the updater may end in them.
    *lateRecord = record;
    lateRecord->End = TRun_End::Limit_Reached;
    lateRecord->Output_File = run.Output_Captured ? run.Output_File : QString();
    try {
        File_Work([&run, &record, confDir] { Finish_Update_Record(run, record, confDir); });
    } catch (const EQuillon_Error &error) {
        result.Log_Problem = error.Text();
    }
    if (result.Kept) {
        try {
            File_Work([&] {
                Finish_Sent_Run(*result.Kept, Ending_Of(run.End, run.Exit_Code),
                                run.End == TRun_End::Exited ? std::optional<int>(run.Exit_Code) : std::nullopt);
            });
        } catch (const EQuillon_Error &error) {
            result.Log_Problem += (result.Log_Problem.isEmpty() ? QString() : QStringLiteral("\n")) + error.Text();
        }
    }
}

QString Bin_Busy_Refusal(const QString &confDir, TText_Source texts, TUpdater_Lock_Record *holder)
{
    // A configuration lies in WORKSPACE/PROJECTS/NAME; the lock is the workspace's.
    const QFileInfo conf(confDir);
    QDir projects = QFileInfo(conf.absoluteFilePath()).dir();
    if (projects.dirName() != QStringLiteral("PROJECTS") || !projects.cdUp())
        return QString();
    const std::optional<TUpdater_Lock_Record> busy = Live_Updater_Lock(QDir::toNativeSeparators(projects.path()));
    // Through links and other spellings alike: the same directory is the same configuration.
    if (!busy || conf.canonicalFilePath().isEmpty() ||
        QFileInfo(busy->Conf_Dir).canonicalFilePath() != conf.canonicalFilePath())
        return QString();
    if (holder)
        *holder = *busy;
    return Busy_Updater_Text(*busy, QDateTime::currentDateTime(), texts);
}

void Record_Orphaned_Run(const TUpdater_Lock_Record &orphan)
{
    if (orphan.Conf_Dir.isEmpty() || !QFileInfo(orphan.Conf_Dir).isDir())
        return;
    const QString confDir = QDir::toNativeSeparators(orphan.Conf_Dir);
    QString text = orphan.Started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) +
                   (QFileInfo(orphan.Program).completeBaseName() == Ethernet_Updater_Base
                        ? QStringLiteral(" Ethernet update\n")
                        : QStringLiteral(" serial update\n"));
    text += QStringLiteral("  updater: %1 on %2\n").arg(QDir::toNativeSeparators(orphan.Program), orphan.Target);
    text += orphan.Updater_Pid > 0
                ? QStringLiteral("  ended: not known: the program ended while the updater ran (process %1); the "
                                 "updater has ended\n")
                      .arg(orphan.Updater_Pid)
                : QStringLiteral("  ended: the program ended before the updater started\n");
    // Only one updater runs in a workspace: with its lock taken over, every output file left here is an orphan's.
    const QDir dir(confDir);
    for (const QString &name : dir.entryList({QStringLiteral("update-output-*.txt")}, QDir::Files)) {
        const QStringList lines = Output_Tail(Output_File_Tail(dir.filePath(name)), 1000);
        if (!lines.isEmpty())
            text += QStringLiteral("  output:\n    | ") + lines.join(QStringLiteral("\n    | ")) + u'\n';
        QFile::remove(dir.filePath(name));
    }
    try {
        Append_Update_Log(confDir, text);
    } catch (const EQuillon_Error &) {
        // Nobody is there to tell; the next look at the lock finds nothing left to record.
    }
}

void Recover_Orphaned_Run(const QString &workspaceDir)
{
    // Most starts find no lock at all: then nothing is written or synced.
    const QString path = Join_Path(workspaceDir, Updater_Lock_File_Name);
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return;
    TUpdater_Lock lock(workspaceDir);
    if (lock.Acquire(QStringLiteral("recovery"), QString(), QString()) && lock.Taken_Over)
        Record_Orphaned_Run(*lock.Taken_Over);
}
