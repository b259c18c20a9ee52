#include "UUpdater_Run.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>

#include <utility>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Updaters the program stopped waiting for. Their process objects are never destroyed while the process
// runs (destroying one kills the updater, which may be writing a device's memory); each goes away once its
// updater has ended. The list itself is never destroyed, so that an updater still running when the program
// ends is left running.
QList<QProcess *> &Abandoned()
{
    static auto *list = new QList<QProcess *>;
    return *list;
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
    Exit_Code = 0;
    Process_Id = 0;
    const QFileInfo file(program);
    if (!file.exists()) {
        Error_Text = Start_Failure_Text(program, QStringLiteral("the file does not exist"));
        return false;
    }
    if (!file.isFile() || !file.isExecutable()) {
        Error_Text = Start_Failure_Text(program, QStringLiteral("it is not an executable file"));
        return false;
    }

    auto *process = new QProcess;
    process->setProgram(program);
#ifdef Q_OS_WIN
    if (form == TPlatform_Form::Windows)
        process->setNativeArguments(arguments.value(0));
    else
        process->setArguments(arguments);
    // Started from the windows (no console of the program's own), a console updater gets a console of its
    // own and shows its output there, as when the shell starts it.
    if (!GetConsoleWindow()) {
        process->setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *args) {
            args->flags &= ~DWORD(CREATE_NO_WINDOW);
            args->flags |= CREATE_NEW_CONSOLE;
            args->startupInfo->dwFlags &= ~DWORD(STARTF_USESTDHANDLES);
        });
    }
#else
    Q_UNUSED(form);
    process->setArguments(arguments);
#endif
    process->setWorkingDirectory(workingDir);
    // The updater talks to the user through its own window and output, never through this program.
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());

    Starting = true;
    Start_Failed = false;
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart || process != Process)
            return;
        Error_Text = Start_Failure_Text(Process->program(), Process->errorString());
        if (Starting)
            Start_Failed = true;
        else
            Stop_Waiting(TRun_End::Not_Started);
    });
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        if (process != Process)
            return;
        Exit_Code = exitCode;
        Stop_Waiting(status == QProcess::NormalExit ? TRun_End::Exited : TRun_End::Crashed);
    });
    Process = process;
    process->start();
    Starting = false;
    if (Start_Failed || process->state() == QProcess::NotRunning) {
        if (Error_Text.isEmpty())
            Error_Text = Start_Failure_Text(program, process->errorString());
        Process = nullptr;
        delete process;
        return false;
    }
    Process_Id = process->processId();
    Limit.start(limitMs);
    return true;
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
        Abandoned().append(process);
        connect(process, &QProcess::finished, process, [process] {
            Abandoned().removeOne(process);
            process->deleteLater();
        });
    }
    End = end;
    emit Ended(end);
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

QString Start_Failure_Text(const QString &program, const QString &reason)
{
    return QStringLiteral("%1 cannot be started: %2").arg(QDir::toNativeSeparators(program), reason);
}

QString Port_Permission_Text(const QString &location, const QString &group)
{
    return QStringLiteral("The serial port %1 cannot be used: this user may not read and write it.\n"
                          "The port belongs to the group %2. Add the user to that group (for example: "
                          "sudo usermod -aG %2 $USER), then log out and log in again.")
        .arg(location, group);
}

QString Port_Permission_Problem(const QString &location)
{
#ifdef Q_OS_UNIX
    if (location.isEmpty())
        return QString();
    const QByteArray path = QFile::encodeName(location);
    struct stat st
    {
    };
    if (::stat(path.constData(), &st) != 0)
        return QString(); // no such device file: the updater tells what it makes of it
    if (::access(path.constData(), R_OK | W_OK) == 0)
        return QString();
    const group *owner = ::getgrgid(st.st_gid);
    return Port_Permission_Text(location, owner ? QString::fromLocal8Bit(owner->gr_name) : QString::number(st.st_gid));
#else
    Q_UNUSED(location);
    return QString();
#endif
}
