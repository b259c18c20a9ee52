#include "UUpdater_Run.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "UWorkspace.h"
#include "UXml_Document.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextStream>

#include <algorithm>
#include <iterator>
#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef Q_OS_UNIX
#include <csignal>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Updaters the program stopped waiting for. Their process objects are never destroyed while the process
// runs (destroying one kills the updater, which may be writing a device's memory); each goes away once its
// updater has ended. The list itself is never destroyed, so that an updater still running when the program
// ends is left running.
struct TAbandoned_Updater
{
    QProcess *Process = nullptr;
    qint64 Pid = 0;
    bool Stop_Asked = false;
#ifdef Q_OS_WIN
    void *Job = nullptr;
#endif
};

QList<TAbandoned_Updater> &Abandoned()
{
    static auto *list = new QList<TAbandoned_Updater>;
    return *list;
}

TAbandoned_Updater *Abandoned_Of(qint64 pid)
{
    for (TAbandoned_Updater &one : Abandoned()) {
        if (one.Pid == pid && pid != 0)
            return &one;
    }
    return nullptr;
}

// Ends an updater and its process tree: asked first, forced Cancel_Grace_Ms later.
void End_Process_Tree(QProcess *process, qint64 pid, void *job)
{
#ifdef Q_OS_WIN
    process->terminate();
    QTimer::singleShot(Cancel_Grace_Ms, QCoreApplication::instance(), [job, pid] {
        if (job) {
            TerminateJobObject(HANDLE(job), 1);
            CloseHandle(HANDLE(job));
        }
        // The updater itself too, should it have escaped the job (a job it could not be put in).
        if (HANDLE handle = OpenProcess(PROCESS_TERMINATE, FALSE, DWORD(pid))) {
            TerminateProcess(handle, 1);
            CloseHandle(handle);
        }
    });
#else
    Q_UNUSED(process);
    Q_UNUSED(job);
    // The whole group; whatever is left of it after the grace is killed, even when the updater itself has
    // already gone and left a child behind.
    const pid_t group = pid_t(pid);
    ::kill(-group, SIGTERM);
    QTimer::singleShot(Cancel_Grace_Ms, QCoreApplication::instance(), [group] { ::kill(-group, SIGKILL); });
#endif
}

} // namespace

TUpdater_Run::TUpdater_Run(QObject *parent) : QObject(parent)
{
    Limit.setSingleShot(true);
    connect(&Limit, &QTimer::timeout, this, [this] { Stop_Waiting(TRun_End::Limit_Reached); });
}

TUpdater_Run::~TUpdater_Run()
{
    if (Process)
        Stop_Waiting(TRun_End::Limit_Reached);
}

bool TUpdater_Run::Start(const QString &program, const QStringList &arguments, TPlatform_Form form,
                         const QString &workingDir, int limitMs)
{
    Error_Text.clear();
    End = TRun_End::Not_Started;
    Exit_Code = 0;
    Process_Id = 0;
    Failed_Program = program;
    Failure_Entry = 0;
    Failure_Reason.clear();
    const QFileInfo file(program);
    if (!file.exists() || !file.isFile() || !file.isExecutable()) {
        Failure_Entry = file.exists() ? 1120 : 1119;
        Error_Text = Start_Failure_Text(*this);
        return false;
    }

    auto *process = new QProcess;
    process->setProgram(program);
#ifdef Q_OS_WIN
    if (form == TPlatform_Form::Windows)
        process->setNativeArguments(arguments.value(0));
    else
        process->setArguments(arguments);
#else
    Q_UNUSED(form);
    process->setArguments(arguments);
    // A process group of its own: a cancel reaches the updater and whatever it started, and a Ctrl-C typed at
    // quillon-cli reaches quillon-cli only, which then ends the updater and records it.
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    process->setWorkingDirectory(workingDir);
    // The updater talks to the user through its own window and output, never through this program. Its output
    // goes to a file rather than a pipe: a pipe left unread would block it, one closed would kill it.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // On Windows too: a console updater gets no console window of its own, its output goes to the file; an updater
    // with windows of its own keeps them.
    Output_Captured = !Output_File.isEmpty();
    if (Output_Captured) {
        // Standard error through the same handle as the output: two handles on one file would, on Windows, each
        // write from where it was opened, and the second write would overwrite the first.
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->setStandardOutputFile(Output_File, QIODevice::Append);
    }

    Starting = true;
    Start_Failed = false;
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || process != Process)
            return;
        Failure_Reason = Process->errorString();
        Error_Text = Start_Failure_Text(*this);
        if (Starting)
            Start_Failed = true;
        else
            Stop_Waiting(TRun_End::Not_Started);
    });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        if (process != Process)
            return;
        Exit_Code = exitCode;
        Stop_Waiting(Cancel_Asked                     ? TRun_End::Cancelled
                     : status == QProcess::NormalExit ? TRun_End::Exited
                                                      : TRun_End::Crashed);
    });
    Process = process;
    process->start();
    Starting = false;
    if (Start_Failed || process->state() == QProcess::NotRunning) {
        if (Error_Text.isEmpty()) {
            Failure_Reason = process->errorString();
            Error_Text = Start_Failure_Text(*this);
        }
        Process = nullptr;
        delete process;
        return false;
    }
    Process_Id = process->processId();
    Cancel_Asked = false;
#ifdef Q_OS_WIN
    // Children the updater starts join its job, so that a cancel ends them too.
    Job = CreateJobObjectW(nullptr, nullptr);
    if (HANDLE handle = OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(Process_Id))) {
        if (Job)
            AssignProcessToJobObject(HANDLE(Job), handle);
        CloseHandle(handle);
    }
#endif
    Limit.start(limitMs);
    if (On_Started)
        On_Started(Process_Id);
    return true;
}

void TUpdater_Run::Cancel()
{
    if (!Process || Cancel_Asked)
        return;
    Cancel_Asked = true;
#ifdef Q_OS_WIN
    End_Process_Tree(Process, Process_Id, std::exchange(Job, nullptr));
#else
    End_Process_Tree(Process, Process_Id, nullptr);
#endif
}

void TUpdater_Run::Stop_Waiting(TRun_End end)
{
    QProcess *process = std::exchange(Process, nullptr);
    if (!process)
        return;
    Limit.stop();
    disconnect(process, nullptr, this, nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
    } else {
        TAbandoned_Updater abandoned{process, Process_Id, false};
#ifdef Q_OS_WIN
        // Kept so that a later stop reaches its children too.
        abandoned.Job = std::exchange(Job, nullptr);
#endif
        Abandoned().append(abandoned);
        connect(process, &QProcess::finished, process,
                [process, ended = On_Abandoned_End](int exitCode, QProcess::ExitStatus status) {
                    bool stopped = false;
                    for (qsizetype i = 0; i < Abandoned().size(); ++i) {
                        if (Abandoned()[i].Process != process)
                            continue;
                        stopped = Abandoned()[i].Stop_Asked;
#ifdef Q_OS_WIN
                        // Closing the job's last handle leaves its processes running (no kill-on-close limit).
                        if (Abandoned()[i].Job && !stopped)
                            CloseHandle(HANDLE(Abandoned()[i].Job));
#endif
                        Abandoned().removeAt(i);
                        break;
                    }
                    process->deleteLater();
                    if (ended)
                        ended(stopped                          ? TRun_End::Cancelled
                              : status == QProcess::NormalExit ? TRun_End::Exited
                                                               : TRun_End::Crashed,
                              exitCode);
                });
    }
#ifdef Q_OS_WIN
    // Closing the job's last handle leaves its processes running (no kill-on-close limit is set).
    if (Job)
        CloseHandle(HANDLE(std::exchange(Job, nullptr)));
#endif
    End = end;
    emit Ended(end);
}

bool Is_Abandoned_Updater(qint64 pid)
{
    return Abandoned_Of(pid) != nullptr;
}

bool Stop_Abandoned_Updater(qint64 pid)
{
    TAbandoned_Updater *abandoned = Abandoned_Of(pid);
    if (!abandoned || abandoned->Stop_Asked)
        return abandoned != nullptr;
    abandoned->Stop_Asked = true;
#ifdef Q_OS_WIN
    End_Process_Tree(abandoned->Process, pid, abandoned->Job);
#else
    End_Process_Tree(abandoned->Process, pid, nullptr);
#endif
    return true;
}

bool Run_Updater(TUpdater_Run &run, const QString &program, const QStringList &arguments, TPlatform_Form form,
                 const QString &workingDir, int limitMs)
{
    QEventLoop loop;
    const QMetaObject::Connection done = QObject::connect(&run, &TUpdater_Run::Ended, &loop, &QEventLoop::quit);
    const bool started = run.Start(program, arguments, form, workingDir, limitMs);
    if (started && run.Running())
        loop.exec();
    QObject::disconnect(done);
    return started;
}

QString Start_Failure_Text(const QString &program, const QString &reason, TText_Source texts)
{
    return texts(1118).arg(QDir::toNativeSeparators(program), reason);
}

QString Start_Failure_Text(const TUpdater_Run &run, TText_Source texts)
{
    return Start_Failure_Text(run.Failed_Program, run.Failure_Entry ? texts(run.Failure_Entry) : run.Failure_Reason,
                              texts);
}

QString Port_Permission_Advice(const QString &location, const TPort_Access &access, TText_Source texts)
{
    const QString head = texts(1121).arg(location) + QLatin1Char('\n');
    // Joining a group helps only when that group may read and write the port; the root group never counts,
    // since joining it would hand the user far more than a port.
    const bool groupMayUse = (access.Mode & 0060) == 0060;
    if (groupMayUse && access.Group_Id != 0 && access.Group != u"root")
        return head + texts(1122).arg(access.Group);
    return head + texts(1123).arg(access.Owner, access.Group, Mode_Text(access.Mode), QFileInfo(location).fileName());
}

QString Mode_Text(unsigned mode)
{
    QString text;
    const char letters[] = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400u >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

QString Port_Permission_Problem(const QString &location, TText_Source texts)
{
#ifdef Q_OS_UNIX
    if (location.isEmpty())
        return QString();
    const QByteArray path = QFile::encodeName(location);
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0)
        return QString(); // no such device file: the port check before a run says so
    if (::access(path.constData(), R_OK | W_OK) == 0)
        return QString();
    const group *ownerGroup = ::getgrgid(st.st_gid);
    const passwd *owner = ::getpwuid(st.st_uid);
    const TPort_Access access{owner ? QString::fromLocal8Bit(owner->pw_name) : QString::number(st.st_uid),
                              ownerGroup ? QString::fromLocal8Bit(ownerGroup->gr_name) : QString::number(st.st_gid),
                              unsigned(st.st_gid), unsigned(st.st_mode & 0777)};
    return Port_Permission_Advice(location, access, texts);
#else
    Q_UNUSED(location);
    Q_UNUSED(texts);
    return QString();
#endif
}

QString Serial_Port_Absence(const QString &location, const QList<TSerial_Port> &listed, TText_Source texts)
{
    if (location.isEmpty())
        return texts(1124);
    for (const TSerial_Port &port : listed) {
        if (port.Location == location)
            return QString();
    }
#ifdef Q_OS_UNIX
    // A port the system's enumeration leaves out (a pseudo terminal, a port of an unusual driver) still counts
    // when its device file is a character device.
    struct stat st
    {
    };
    if (::stat(QFile::encodeName(location).constData(), &st) == 0 && S_ISCHR(st.st_mode))
        return QString();
#endif
    return texts(1125).arg(location);
}

QString Firmware_Absence(const QString &masterDir, const QString &firmwareFile, TText_Source texts)
{
    const QString path = Join_Path(masterDir, firmwareFile);
    if (QFileInfo(path).isFile())
        return QString();
    return texts(1126).arg(QDir::toNativeSeparators(path), firmwareFile, QDir::toNativeSeparators(masterDir));
}

QString Update_Refusal(const TSend_Verdict &verdict, int optionIndex, bool ethernet, const QString &masterDir,
                       TText_Source texts)
{
    if (Option_Writes_Configuration(optionIndex) && !verdict.May_Send())
        return verdict.Reason;
    if (optionIndex == 0 || optionIndex == 1)
        return Firmware_Absence(masterDir, ethernet ? Ethernet_Firmware_File : Serial_Firmware_File, texts);
    return QString();
}

// ---- update.log ----

namespace {

// Beyond this size update.log is moved aside to update.log.1 (replacing an older one) before the next record.
constexpr qint64 Update_Log_Rotate_Size = 4 * 1024 * 1024;

QString Option_Text(int option)
{
    switch (option) {
    case 0:
        return QStringLiteral("0 (firmware and configuration)");
    case 1:
        return QStringLiteral("1 (firmware only)");
    case 2:
        return QStringLiteral("2 (configuration only)");
    }
    return QString::number(option);
}

QString Seconds(qint64 ms)
{
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

} // namespace

// The longest name written in a configuration: it bounds the length of a configuration's name.
constexpr char16_t Output_File_Template[] = u"update-output-XXXXXX.txt";
static_assert(std::size(Output_File_Template) - 1 <= Longest_Path_In_Configuration);

void Begin_Update_Record(TUpdater_Run &run, TUpdate_Record &record, const QString &confDir)
{
    record.Started = QDateTime::currentDateTime();
    // A file of its own for every run: an updater still running from an earlier run may write to its own.
    QTemporaryFile output(Join_Path(confDir, QString::fromUtf16(Output_File_Template)));
    output.setAutoRemove(false);
    run.Output_File = output.open() ? output.fileName() : QString();
}

QByteArray Output_File_Tail(const QString &path, qint64 *leftOut)
{
    QFile output(path);
    if (!output.open(QIODevice::ReadOnly))
        return QByteArray();
    const qint64 skipped = std::max<qint64>(0, output.size() - Update_Output_Kept);
    if (leftOut)
        *leftOut = skipped;
    output.seek(skipped);
    return output.read(Update_Output_Kept);
}

namespace {

// The last Update_Output_Kept bytes of an output file into the record.
void Take_Output(TUpdate_Record &record, const QString &path)
{
    record.Output = Output_File_Tail(path, &record.Output_Left_Out);
}

} // namespace

void Finish_Update_Record(const TUpdater_Run &run, TUpdate_Record &record, const QString &confDir)
{
    record.End = run.End;
    record.Exit_Code = run.Exit_Code;
    record.Error_Text = run.Error_Text;
    record.Elapsed_Ms = record.Started.msecsTo(QDateTime::currentDateTime());
    record.Output_Captured = run.Output_Captured;
    if (!run.Output_File.isEmpty()) {
        Take_Output(record, run.Output_File);
        if (record.End == TRun_End::Limit_Reached && run.Output_Captured)
            record.Output_File = run.Output_File;
        else
            QFile::remove(run.Output_File);
    }

    Append_Update_Log(confDir, Update_Log_Text(record));
}

void Finish_Late_Update_Record(TUpdate_Record record, TRun_End end, int exitCode, const QString &confDir)
{
    record.End = end;
    record.Exit_Code = exitCode;
    record.Elapsed_Ms = record.Started.msecsTo(QDateTime::currentDateTime());
    record.Notes.append(QStringLiteral("ended after the wait limit of %1 s; this is the ending of the run above")
                            .arg(record.Limit_Ms / 1000));
    record.Output.clear();
    record.Output_Left_Out = 0;
    if (!record.Output_File.isEmpty()) {
        Take_Output(record, record.Output_File);
        QFile::remove(record.Output_File);
        record.Output_File.clear();
    }
    Append_Update_Log(confDir, Update_Log_Text(record));
}

void Append_Update_Log(const QString &confDir, const QString &text)
{
    const QString logPath = Join_Path(confDir, Update_Log_File_Name);
    const QFileInfo logInfo(logPath);
    if (logInfo.isFile() && !logInfo.isSymLink() && logInfo.size() > Update_Log_Rotate_Size) {
        const QString older = logPath + QStringLiteral(".1");
        QFile::remove(older);
        if (!QFile::rename(logPath, older))
            throw Write_Error(logPath, QStringLiteral("it cannot be moved aside to %1").arg(older));
    }
    QByteArray bytes = text.toUtf8();
    // A log that does not end its last line (written by hand, cut by a crash) gets the line ended first.
    QFile log(logPath);
    if (log.size() > 0 && log.open(QIODevice::ReadOnly) && log.seek(log.size() - 1) && log.read(1) != "\n")
        bytes.prepend('\n');
    log.close();
    const QString reason = Append_And_Sync(logPath, bytes);
    if (!reason.isEmpty())
        throw Write_Error(logPath, reason);
}

QString Echo_Failure_Log_Text(const QDateTime &started, const QString &address, int attempts, const QString &failure)
{
    QString text = started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" Ethernet update\n");
    if (failure.isEmpty())
        text += QStringLiteral("  echo check of %1: no answer to %2; nothing was started\n")
                    .arg(address, Counted(attempts, QStringLiteral("request"), QStringLiteral("requests")));
    else
        text += QStringLiteral("  echo check of %1 could not be made: %2; nothing was started\n").arg(address, failure);
    return text;
}

QString Update_Log_Text(const TUpdate_Record &record)
{
    QString text;
    QTextStream out(&text);
    out << record.Started.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    out << (record.Ethernet_Address.isEmpty() ? " serial update\n" : " Ethernet update\n");
    out << "  updater: " << QDir::toNativeSeparators(record.Program);
    for (const QString &argument : record.Arguments)
        out << ' ' << argument;
    out << '\n';
    for (const QString &note : record.Notes)
        out << "  note: " << note << '\n';
    if (!record.Ethernet_Address.isEmpty())
        out << "  parameters: " << Ethernet_Update_File_Name << ", device " << record.Ethernet_Address << '\n';
    out << "  option: " << Option_Text(record.Option) << ", read back " << (record.Read_Back ? "on" : "off") << '\n';
    out << "  ended: ";
    switch (record.End) {
    case TRun_End::Exited:
        out << "exit code " << record.Exit_Code << ", after " << Seconds(record.Elapsed_Ms);
        break;
    case TRun_End::Crashed:
        out << "abnormally (crashed or killed), after " << Seconds(record.Elapsed_Ms);
        break;
    case TRun_End::Limit_Reached:
        out << "still running after the wait limit of " << Seconds(record.Limit_Ms) << "; no longer awaited";
        if (!record.Output_File.isEmpty())
            out << "; its further output goes to " << QDir::toNativeSeparators(record.Output_File);
        break;
    case TRun_End::Not_Started:
        out << "could not be started: " << record.Error_Text;
        break;
    case TRun_End::Cancelled:
        out << "cancelled by the user after " << Seconds(record.Elapsed_Ms);
        break;
    }
    out << '\n';
    if (record.End != TRun_End::Not_Started && !record.Output_Captured)
        out << "  output: not captured (the updater shows it in its own window)\n";
    if (!record.Output.isEmpty()) {
        out << "  output:";
        if (record.Output_Left_Out > 0)
            out << " (the first " << record.Output_Left_Out << " bytes left out)";
        out << '\n';
        QStringList lines = QString::fromUtf8(record.Output).split(u'\n');
        if (lines.last().isEmpty())
            lines.removeLast();
        for (QString line : lines) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            // A record stays one readable text: control characters are shown, not written.
            QString shown;
            for (const QChar c : line)
                shown += (c.unicode() < 32 && c != u'\t') || c.unicode() == 127
                             ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                             : QString(c);
            out << "    | " << shown << '\n';
        }
    }
    out.flush();
    return text;
}

QString Run_End_Text(const TUpdate_Record &record, TText_Source texts)
{
    switch (record.End) {
    case TRun_End::Exited:
        return texts(1113).arg(QString::number(record.Exit_Code));
    case TRun_End::Crashed:
        return texts(1114);
    case TRun_End::Limit_Reached:
        return texts(1115).arg(QString::number(record.Limit_Ms / 1000));
    case TRun_End::Cancelled:
        return texts(1148).arg(QString::number(record.Elapsed_Ms / 1000));
    case TRun_End::Not_Started:
        break;
    }
    return QString();
}

bool Run_Succeeded(const TUpdate_Record &record)
{
    return record.End == TRun_End::Exited && record.Exit_Code == 0;
}

QStringList Output_Tail(const QByteArray &output, int lines)
{
    QStringList all = QString::fromUtf8(output).split(u'\n');
    QStringList tail;
    for (qsizetype i = all.size() - 1; i >= 0 && tail.size() < lines; --i) {
        QString line = all[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        // The last line is usually the empty text after the final newline.
        if (line.isEmpty() && tail.isEmpty() && i == all.size() - 1)
            continue;
        tail.prepend(Escaped_Controls(line));
    }
    return tail;
}

QString Run_Verdict_Text(const TUpdate_Record &record, const QString &logPath, TText_Source texts)
{
    QString text = Run_End_Text(record, texts);
    const QStringList tail = Output_Tail(record.Output, Verdict_Output_Lines);
    if (!tail.isEmpty())
        text += QStringLiteral("\n\n") + texts(1150) + u'\n' + tail.join(u'\n');
    text += QStringLiteral("\n\n") + texts(1151).arg(QDir::toNativeSeparators(logPath));
    return text;
}
