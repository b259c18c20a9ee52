// quillon-cli provision: many configurations made from a template and a table, and updated in table order.

#include "UCli_Command.h"
#include "UCli_Update.h"
#include "UCsv_Table.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "UProvision_Journal.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>

#include <utility>

namespace {

struct TProvision_Row
{
    int Number;
    QString Name;
    QString Dir;
    TParGen_Fields Fields;
    bool Ethernet = false;
    QString Address; // the port or ip cell
};

// A reason that may quote a whole cell (a flag's text), cut to a few lines' length.
QString Bounded(const QString &reason)
{
    constexpr qsizetype Limit = 300;
    return Escaped_Controls(reason.size() <= Limit ? reason : reason.left(Limit) + QStringLiteral("…"));
}

} // namespace

int Cli_Provision(const TCli_Call &call)
{
    QString templateDir = call.Arguments[0];
    const QString &tableFile = call.Arguments[1];
    const bool update = call.Has(Opt_Update);
    QTextStream &out = call.Out;
    QTextStream &err = call.Err;
    Load_Default_Language();
    // With a workspace the configurations go into its PROJECTS and nowhere else: the template's place resolved
    // once, through links and "..".
    if (!Resolve_In_Workspace(call, templateDir))
        return Exit_Failed;
    if (!QFileInfo(templateDir).isDir())
        return Fail(err, QStringLiteral("%1 is not a directory").arg(Native(templateDir)));
    const QString templateParGen = Join_Path(templateDir, ParGen_File_Name);
    const TSend_Verdict templateVerdict = Send_Verdict_Of_File(templateParGen, Cli_Text);
    if (!templateVerdict.May_Send())
        return Fail(
            err, QStringLiteral("the template %1 cannot be used: %2").arg(Native(templateDir), templateVerdict.Reason));
    // Beside the template, named as the template was given.
    const QString projects = QDir::cleanPath(templateDir + QStringLiteral("/.."));
    Recover_Provisions_Of(projects, err);
    TXml_Document templateXml;
    TCsv_Table table;
    QByteArray tableBytes;
    try {
        // A table past the limit is refused before a byte of it is read; the reason names the file.
        tableBytes = Read_Regular_File(tableFile, Csv_Table_Limit);
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    try {
        templateXml.Load_Bytes(Read_Regular_File(templateParGen, Xml_File_Limit), Native(templateParGen));
        // The file's bytes go with the statement: the rows are checked with the table alone in memory.
        table = Parse_Csv_Table(std::exchange(tableBytes, QByteArray()));
    } catch (const EQuillon_Error &error) {
        return Fail(err, QStringLiteral("%1: %2").arg(Native(tableFile), error.Text()));
    }

    // Only the problems told are kept: a table of a million wrong rows costs no more than one of twenty.
    QStringList problems;
    qsizetype problemCount = 0;
    const auto problem = [&](int row, const QString &column, const QString &reason) {
        if (problems.size() < Shown_Lines)
            problems << QStringLiteral("row %1, column %2: %3").arg(row).arg(column, reason);
        ++problemCount;
    };
    const auto report = [&] {
        Write_Capped(err, Native(tableFile) + QStringLiteral(": "), problems, problemCount);
        return Fail(err, QStringLiteral("nothing was created"));
    };
    // The header: name, then ParGen.xml keys (and the address of each device for --update).
    const QString portColumn = QStringLiteral("port");
    const QString ipColumn = QStringLiteral("ip");
    if (table.Header.value(0) != u"name")
        problem(1, QStringLiteral("1"),
                QStringLiteral("the first column must be \"name\", not %1").arg(Quoted(table.Header.value(0))));
    // Each column's role, found once: the key it sets (empty for name, port and ip).
    QStringList keys(table.Header.size());
    QHash<QString, qsizetype> columns;
    for (qsizetype c = 1; c < table.Header.size(); ++c) {
        const QString &column = table.Header[c];
        if (!ParGen_Keys.contains(column) && column != portColumn && column != ipColumn)
            problem(
                1, QStringLiteral("%1 (%2)").arg(c + 1).arg(Shown_Cut(column)),
                QStringLiteral("%1 is no ParGen.xml key (nor port or ip); %2").arg(Quoted(column), Valid_Keys_Text()));
        else if (columns.contains(column))
            problem(1, column, QStringLiteral("the column is there twice"));
        else if (column != portColumn && column != ipColumn)
            keys[c] = column;
        columns.insert(column, c);
    }
    if (!problems.isEmpty())
        return report();
    if (table.Row_Count() == 0)
        return Fail(err, QStringLiteral("%1: the table has no rows").arg(Native(tableFile)));

    // Every row is checked before the first directory is made; each name against those before it by a hash.
    QList<TProvision_Row> rows;
    // The rows' names by their identity, with the row that has each: two names one platform takes for one
    // directory are one name.
    QHash<QString, QPair<int, QString>> names;
    const TNames_There there = Names_There(projects);
    const QString nameColumn = QStringLiteral("name");
    for (qsizetype r = 0; r < table.Row_Count(); ++r) {
        const QStringList cells = table.Row(r);
        const int number = table.Row_Number(r);
        if (cells.size() != table.Header.size()) {
            problem(number, QStringLiteral("-"),
                    QStringLiteral("%1, the header has %2")
                        .arg(Counted(cells.size(), QStringLiteral("cell"), QStringLiteral("cells")))
                        .arg(table.Header.size()));
            continue;
        }
        TProvision_Row row{number, cells[0], Join_Path(projects, cells[0]), {}, false, {}};
        if (const QString why = New_Name_Problem(there, row.Name); !why.isEmpty()) {
            problem(number, nameColumn, why);
            continue;
        }
        const QString identity = Name_Identity(row.Name);
        const auto earlier = names.constFind(identity);
        if (earlier != names.cend()) {
            problem(number, nameColumn,
                    earlier->second == row.Name
                        ? QStringLiteral("%1 is already the name of row %2").arg(Quoted(row.Name)).arg(earlier->first)
                        : QStringLiteral("%1 is already the name of row %2 (%3), and names that differ only in letter "
                                         "case or Unicode normalisation are one name on Windows or macOS")
                              .arg(Quoted(row.Name))
                              .arg(earlier->first)
                              .arg(Quoted(earlier->second)));
            continue;
        }
        names.insert(identity, {number, row.Name});

        // The template's texts, overridden by the row's cells; an empty cell keeps the template's value.
        TXml_Document xml;
        xml.Copy_Of(templateXml);
        // A list's cell by its item's text or its index, as the settings dialog shows the list.
        bool listed = true;
        for (qsizetype c = 1; c < cells.size() && listed; ++c) {
            if (keys[c].isEmpty() || cells[c].isEmpty())
                continue;
            QString wrong;
            const QString stored = Stored_Value(keys[c], cells[c], wrong);
            if (!wrong.isEmpty()) {
                problem(number, keys[c], wrong);
                listed = false;
            }
            Set_Key_Text(xml, keys[c], stored);
        }
        if (!listed)
            continue;
        const TSend_Verdict verdict = Send_Verdict(&xml, Cli_Text);
        if (!verdict.May_Send()) {
            const qsizetype at = columns.value(verdict.Key, -1);
            const QString column = verdict.Key.isEmpty() ? QStringLiteral("-")
                                   : at > 0 && !cells[at].isEmpty()
                                       ? verdict.Key
                                       : verdict.Key + QStringLiteral(" (the template's value)");
            problem(number, column, Bounded(verdict.Reason));
            continue;
        }
        row.Fields = ParGen_Fields_From(xml);
        row.Ethernet = row.Fields.Device_Type_Type == 1;
        // A text the rules do not look at (an address while its category is off) must still be one the
        // writer accepts.
        try {
            TXml_Document saved;
            Build_ParGen(saved, row.Fields);
            saved.To_Checked_Bytes(Native(Join_Path(row.Dir, ParGen_File_Name)));
        } catch (const EQuillon_Error &error) {
            problem(number, QStringLiteral("-"), Bounded(error.Text()));
            continue;
        }
        if (update) {
            const QString wanted = row.Ethernet ? ipColumn : portColumn;
            row.Address = cells.value(columns.value(wanted, -1));
            QString parts[4];
            if (row.Address.isEmpty()) {
                problem(number, wanted,
                        row.Ethernet ? QStringLiteral("the device is updated over Ethernet: --update needs its address")
                                     : QStringLiteral("the device is updated over a serial port: --update needs it"));
                continue;
            }
            if (row.Ethernet && !Split_IP_Address(row.Address, parts[0], parts[1], parts[2], parts[3])) {
                problem(number, wanted, QStringLiteral("%1 is not a dotted IPv4 address").arg(Quoted(row.Address)));
                continue;
            }
        }
        rows << row;
    }
    if (!problems.isEmpty())
        return report();

    // All or nothing, whenever the run ends: staged, committed by a journal, then moved into place.
    QList<TProvision_Entry> entries;
    entries.reserve(rows.size());
    for (const TProvision_Row &row : std::as_const(rows))
        entries.append({row.Name, QStringLiteral("row %1").arg(row.Number), row.Fields});
    try {
        if (const QString late = Create_Configurations(projects, entries); !late.isEmpty())
            return Fail(err, late);
    } catch (const EQuillon_Error &error) {
        err << "quillon-cli: " << error.Text() << '\n';
        return Fail(err, QStringLiteral("nothing was created"));
    }
    for (const TProvision_Row &row : std::as_const(rows))
        out << Native(row.Dir) << ": ParGen.xml, bin/bank.bin, bin/bankK.bin\n";
    out << Counted(rows.size(), QStringLiteral("configuration"), QStringLiteral("configurations")) << " created\n";
    if (!update)
        return Exit_Ok;

    // Each one as quillon-cli update updates it, in table order.
    QStringList failed;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const TProvision_Row &row = rows[r];
        out << "row " << row.Number << ": update of " << row.Name << '\n';
        out.flush();
        TCli_Update_Request request;
        request.Config_Dir = row.Dir;
        (row.Ethernet ? request.Ip : request.Port) = row.Address;
        request.Option = call.Option.toInt();
        request.Read_Back = !call.Has(Opt_No_Read_Back);
        const int code = Update_Device(request, out, err);
        out.flush();
        err.flush();
        if (code == 0)
            continue;
        failed << QStringLiteral("row %1 (%2): exit code %3").arg(row.Number).arg(row.Name).arg(code);
        if (!call.Has(Opt_Keep_Going)) {
            const qsizetype left = rows.size() - r - 1;
            err << "quillon-cli: the update of row " << row.Number << " (" << row.Name << ") ended with exit code "
                << code << "; " << Counted(left, QStringLiteral("row"), QStringLiteral("rows"))
                << (left == 1 ? " after it was" : " after it were") << " not updated\n";
            return Exit_Failed;
        }
    }
    if (failed.isEmpty())
        return Exit_Ok;
    for (const QString &line : std::as_const(failed))
        err << "quillon-cli: update failed: " << line << '\n';
    return Exit_Failed;
}
