// quillon-cli update of several configurations: one after the other, each to its own converter, and a summary.

#include "UCli_Command.h"
#include "UCli_Update.h"
#include "UCsv_Table.h"

#include "UGround.h"
#include "UImage_Keys.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "USent_Record.h"
#include "UWorkspace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <optional>

namespace {

struct TFleet_Member
{
    QString Name;
    QString Dir;
    QString Port;
    QString Ip;
    // How its update ended: run.json's ending, "not-started" when it was refused before its updater, or
    // "skipped".
    QString Ending = QStringLiteral("skipped");
    std::optional<int> Exit_Code;
    double Duration_S = 0;

    QString Target() const { return Ip.isEmpty() ? Port : Ip; }
};

TFleet_Member Member(const QString &name, const QString &dir)
{
    TFleet_Member member;
    member.Name = name;
    member.Dir = dir;
    return member;
}

// name -> (column, target) from a table of name,port or name,ip.
bool Read_Targets(const QString &path, QHash<QString, std::pair<QString, QString>> &targets, QTextStream &err)
{
    TCsv_Table table;
    try {
        table = Parse_Csv_Table(Read_Regular_File(path, Csv_Table_Limit));
    } catch (const EQuillon_Error &error) {
        Fail(err, error.Text());
        return false;
    }
    const QStringList header = [&] {
        QStringList names;
        for (const QString &cell : table.Header)
            names.append(cell.trimmed().toLower());
        return names;
    }();
    if (header.size() != 2 || header[0] != u"name" || (header[1] != u"port" && header[1] != u"ip")) {
        Fail(err, QStringLiteral("%1: the header must be name,port or name,ip").arg(Native(path)));
        return false;
    }
    for (qsizetype r = 0; r < table.Row_Count(); ++r) {
        const QStringList row = table.Row(r);
        const QString name = row.value(0).trimmed();
        if (name.isEmpty() || row.value(1).trimmed().isEmpty()) {
            Fail(err, QStringLiteral("%1, row %2: a name and a %3 are needed")
                          .arg(Native(path))
                          .arg(table.Row_Number(r))
                          .arg(header[1]));
            return false;
        }
        targets.insert(name, {header[1], row.value(1).trimmed()});
    }
    return true;
}

// Where a configuration goes without a table: its last successful run's target, else its own Ethernet address.
void Known_Target(TFleet_Member &member)
{
    if (const std::optional<TSent_Run> last = Last_Success(member.Dir)) {
        (last->Kind == u"ethernet" ? member.Ip : member.Port) = last->Target;
        return;
    }
    try {
        member.Ip = Device_Ethernet_Address(Make_Config_Data(Join_Path(member.Dir, ParGen_File_Name)));
    } catch (const EQuillon_Error &) {
        // The update itself names what is wrong with ParGen.xml.
    }
}

} // namespace

int Update_Fleet(const TCli_Call &call)
{
    if (call.Has(Opt_Pending) && !call.Arguments.isEmpty())
        return Usage(call.Err, QStringLiteral("--pending takes no configuration: it updates every one not in sync"));
    if (!call.Has(Opt_Pending) && call.Arguments.isEmpty())
        return Usage(call.Err, QStringLiteral("update needs CONFIG_DIR, several, or --pending"));
    if (call.Has(Opt_Port) || call.Has(Opt_Ip))
        return Usage(call.Err, QStringLiteral("--port and --ip name one device: give several configurations their "
                                              "targets with --targets FILE.csv"));
    const QString workspace = Call_Workspace(call);
    QList<TFleet_Member> members;
    if (call.Has(Opt_Pending)) {
        const TWorkspace place = Workspace_At(workspace);
        QStringList names = QDir(place.Projects_Dir).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end(), Natural_Less);
        for (const QString &name : std::as_const(names)) {
            const QString dir = Configuration_Of(place, name).Dir;
            if (Config_Status(dir).State != TSend_State::In_Sync)
                members.append(Member(name, dir));
        }
    } else {
        for (const QString &argument : call.Arguments) {
            const QString dir = Named_Config_Dir(call, argument);
            members.append(Member(QFileInfo(dir).fileName(), dir));
        }
    }
    QHash<QString, std::pair<QString, QString>> targets;
    if (call.Has(Opt_Targets) && !Read_Targets(call.Targets, targets, call.Err))
        return Exit_Failed;
    // Every target known before anything starts.
    QStringList unknown;
    for (TFleet_Member &member : members) {
        if (const auto given = targets.find(member.Name); given != targets.end())
            (given->first == u"ip" ? member.Ip : member.Port) = given->second;
        else
            Known_Target(member);
        if (member.Port.isEmpty() && member.Ip.isEmpty())
            unknown.append(member.Name);
    }
    if (!unknown.isEmpty()) {
        for (const QString &name : std::as_const(unknown))
            call.Err << "quillon-cli: " << Escaped_Controls(name)
                     << ": no known target (never sent, and no Ethernet address of its own): give it in --targets "
                        "FILE.csv (name,port or name,ip)\n";
        return Exit_Failed;
    }
    if (members.isEmpty()) {
        call.Out << "nothing to update: every configuration is in sync\n";
        return Exit_Ok;
    }

    bool failed = false;
    int stopped = 0;
    const bool json = call.Has(Opt_Json);
    // With --json standard output holds the array alone: each update's own lines go to standard error.
    QTextStream &lines = json ? call.Err : call.Out;
    for (qsizetype i = 0; i < members.size(); ++i) {
        TFleet_Member &member = members[i];
        if (stopped || (failed && !call.Has(Opt_Keep_Going)))
            continue;
        call.Err << '[' << i + 1 << '/' << members.size() << "] " << Escaped_Controls(member.Name) << " -> "
                 << Escaped_Controls(member.Target()) << " ...\n";
        call.Err.flush();
        const QStringList before = Sent_Run_Ids(member.Dir);
        QElapsedTimer clock;
        clock.start();
        const int code = Update_Device(TCli_Update_Request{member.Dir, call.Workspace, member.Port, member.Ip,
                                                           call.Option.toInt(), !call.Has(Opt_No_Read_Back),
                                                           call.Has(Opt_Force_Target)},
                                       lines, call.Err);
        member.Duration_S = clock.elapsed() / 1000.0;
        member.Exit_Code = code;
        // The run this update kept, when it got as far as its updater.
        const QStringList after = Sent_Run_Ids(member.Dir);
        const TSent_Run kept = !after.isEmpty() && !before.contains(after.first())
                                   ? Read_Sent_Run(member.Dir, after.first())
                                   : TSent_Run();
        member.Ending = !kept.Id.isEmpty() && kept.Problem.isEmpty() ? Ending_Name(kept.Ending)
                                                                      : QStringLiteral("not-started");
        if (kept.Exit_Code)
            member.Exit_Code = kept.Exit_Code;
        call.Err << '[' << i + 1 << '/' << members.size() << "] " << Escaped_Controls(member.Name) << ": "
                 << member.Ending << " (exit code " << code << "), " << QString::number(member.Duration_S, 'f', 1)
                 << " s\n";
        lines.flush();
        call.Err.flush();
        failed = failed || code != 0;
        // Ctrl-C and its kin stop the running updater and the rest.
        if (code > 128)
            stopped = code;
    }
    int updated = 0, notUpdated = 0, skipped = 0;
    for (const TFleet_Member &member : std::as_const(members))
        (member.Ending == u"skipped" ? skipped : member.Exit_Code == 0 ? updated : notUpdated)++;
    if (json) {
        QJsonArray array;
        for (const TFleet_Member &member : std::as_const(members))
            array.append(QJsonObject{{QStringLiteral("name"), member.Name},
                                     {QStringLiteral("target"), member.Target()},
                                     {QStringLiteral("ending"), member.Ending},
                                     {QStringLiteral("exit_code"),
                                      member.Exit_Code ? QJsonValue(*member.Exit_Code) : QJsonValue()},
                                     {QStringLiteral("duration_s"), member.Duration_S}});
        call.Out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else {
        call.Out << "summary:\n";
        for (const TFleet_Member &member : std::as_const(members)) {
            call.Out << "  " << Escaped_Controls(member.Name) << "  " << Escaped_Controls(member.Target()) << "  "
                     << member.Ending;
            if (member.Ending != u"skipped")
                call.Out << "  " << QString::number(member.Duration_S, 'f', 1) << " s";
            call.Out << '\n';
        }
        call.Out << updated << " updated, " << notUpdated << " failed, " << skipped << " skipped\n";
    }
    return stopped ? stopped : failed ? Exit_Failed : Exit_Ok;
}
