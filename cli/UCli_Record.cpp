// quillon-cli history, status and where: what each configuration's kept runs say it left on which converter.

#include "UCli_Command.h"

#include "UGround.h"
#include "USent_Record.h"
#include "UWorkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

QString Shown_Time(const QDateTime &time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss'Z'")) : QStringLiteral("-");
}

QJsonObject Run_Object(const TSent_Run &run)
{
    QJsonObject object = QJsonDocument::fromJson(Run_Json_Bytes(run)).object();
    object.insert(QStringLiteral("id"), run.Id);
    return object;
}

QJsonValue Success_Object(const std::optional<TSent_Run> &run)
{
    if (!run)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("time"), run->Started.toUTC().toString(Qt::ISODate)},
                       {QStringLiteral("target"), run->Target},
                       {QStringLiteral("option"), run->Option},
                       {QStringLiteral("read_back"), run->Read_Back}};
}

QJsonValue Attempt_Object(const std::optional<TSent_Run> &run)
{
    if (!run)
        return QJsonValue();
    return QJsonObject{{QStringLiteral("time"), run->Started.toUTC().toString(Qt::ISODate)},
                       {QStringLiteral("ending"), Ending_Name(run->Ending)}};
}

// Damaged records, named on stderr so that nothing is passed over unseen.
void Report_Problems(QTextStream &err, const QString &confDir, const QStringList &problems)
{
    for (const QString &problem : problems)
        err << "quillon-cli: " << Native(Join_Path(confDir, Sent_Dir_Name)) << ": " << Escaped_Controls(problem)
            << " (passed over)\n";
}

bool Is_Configuration_Dir(QTextStream &err, const QString &dir)
{
    if (QFileInfo(dir).isDir())
        return true;
    Fail(err, QStringLiteral("%1 is not a directory").arg(Native(dir)));
    return false;
}

} // namespace

QString Call_Workspace(const TCli_Call &call)
{
    return call.Workspace.isEmpty() ? Locate_Workspace(QString(), QCoreApplication::applicationDirPath()).Dir
                                    : call.Workspace;
}

QString Config_Of_Workspace(const QString &workspace, const QString &name)
{
    if (workspace.isEmpty() || name.contains(u'/') || name.contains(QDir::separator()))
        return name;
    return Join_Path(workspace, QStringLiteral("PROJECTS"), name);
}

QString Named_Config_Dir(const TCli_Call &call, const QString &name)
{
    return Config_Of_Workspace(call.Workspace, name);
}

int Cli_History(const TCli_Call &call)
{
    const QString confDir = Named_Config_Dir(call, call.Arguments[0]);
    if (!Is_Configuration_Dir(call.Err, confDir))
        return Exit_Failed;
    QJsonArray array;
    QStringList problems;
    for (const TSent_Run &run : Read_Sent_Runs(confDir)) {
        if (!run.Problem.isEmpty()) {
            problems.append(QStringLiteral("%1: %2").arg(run.Id, run.Problem));
            continue;
        }
        if (call.Has(Opt_Json)) {
            array.append(Run_Object(run));
            continue;
        }
        call.Out << Shown_Time(run.Started) << "  " << run.Kind << "  " << Escaped_Controls(run.Target) << "  option "
                 << run.Option << "  read back " << (run.Read_Back ? "on" : "off") << "  "
                 << Ending_Name(run.Ending);
        if (run.Exit_Code)
            call.Out << " (exit code " << *run.Exit_Code << ')';
        if (run.Ended.isValid())
            call.Out << "  " << QString::number(run.Duration_S, 'f', 1) << " s";
        call.Out << "  " << run.Id << '\n';
    }
    if (call.Has(Opt_Json))
        call.Out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    Report_Problems(call.Err, confDir, problems);
    return Exit_Ok;
}

int Cli_Status(const TCli_Call &call)
{
    QStringList dirs;
    for (const QString &name : call.Arguments)
        dirs.append(Named_Config_Dir(call, name));
    if (dirs.isEmpty()) {
        const TWorkspace workspace = Workspace_At(Call_Workspace(call));
        QStringList names = QDir(workspace.Projects_Dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(), Natural_Less);
        for (const QString &name : names)
            dirs.append(Configuration_Of(workspace, name).Dir);
    }
    bool allInSync = true;
    QJsonArray array;
    for (const QString &dir : std::as_const(dirs)) {
        if (!Is_Configuration_Dir(call.Err, dir)) {
            allInSync = false;
            continue;
        }
        const TConfig_Status status = Config_Status(dir);
        allInSync = allInSync && status.State == TSend_State::In_Sync;
        const QString name = QFileInfo(dir).fileName();
        if (call.Has(Opt_Json)) {
            array.append(QJsonObject{{QStringLiteral("name"), name},
                                     {QStringLiteral("state"), State_Name(status.State)},
                                     {QStringLiteral("last_success"), Success_Object(status.Last_Success)},
                                     {QStringLiteral("last_attempt"), Attempt_Object(status.Last_Attempt)},
                                     {QStringLiteral("changed"), QJsonArray::fromStringList(status.Changed)}});
        } else {
            call.Out << Escaped_Controls(name) << "  " << State_Name(status.State);
            if (status.Last_Success)
                call.Out << "  last success " << Shown_Time(status.Last_Success->Started) << " to "
                         << Escaped_Controls(status.Last_Success->Target);
            if (status.State == TSend_State::Failed && status.Last_Attempt)
                call.Out << "  last attempt " << Shown_Time(status.Last_Attempt->Started) << ' '
                         << Ending_Name(status.Last_Attempt->Ending);
            if (!status.Changed.isEmpty())
                call.Out << "  changed: " << status.Changed.join(QStringLiteral(", "));
            call.Out << '\n';
        }
        Report_Problems(call.Err, dir, status.Problems);
    }
    if (call.Has(Opt_Json))
        call.Out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    return allInSync ? Exit_Ok : Exit_Failed;
}

int Cli_Where(const TCli_Call &call)
{
    const QString &address = call.Arguments[0];
    const TWorkspace workspace = Workspace_At(Call_Workspace(call));
    const std::optional<TAddress_Holder> holder = Last_Sent_To(workspace, address);
    if (!holder) {
        if (call.Has(Opt_Json))
            call.Out << "null\n";
        return Fail(call.Err, QStringLiteral("no configuration of %1 was sent successfully to %2")
                                  .arg(Native(workspace.Program_Dir), Escaped_Controls(address)));
    }
    const TConfig_Status status = Config_Status(holder->Configuration.Dir);
    const TSent_Run &run = holder->Run;
    if (call.Has(Opt_Json)) {
        QJsonObject object{{QStringLiteral("name"), holder->Configuration.Name},
                           {QStringLiteral("run"), Run_Object(run)},
                           {QStringLiteral("state"), State_Name(status.State)},
                           {QStringLiteral("changed"), QJsonArray::fromStringList(status.Changed)}};
        call.Out << QJsonDocument(object).toJson(QJsonDocument::Indented);
        return Exit_Ok;
    }
    call.Out << Escaped_Controls(holder->Configuration.Name) << "  sent " << Shown_Time(run.Started) << " to "
             << Escaped_Controls(run.Target);
    if (!run.Device_Address.isEmpty() && run.Device_Address != run.Target)
        call.Out << " (device address " << run.Device_Address << ')';
    call.Out << "  " << Ending_Name(run.Ending) << "  now " << State_Name(status.State);
    if (!status.Changed.isEmpty())
        call.Out << " (" << status.Changed.join(QStringLiteral(", ")) << ')';
    call.Out << '\n';
    return Exit_Ok;
}
