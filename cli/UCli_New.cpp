// quillon-cli new: a configuration made as steps 1 and 2 of the window make it with OK, without a window.

#include "UCli_Command.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "UProvision_Journal.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

int Cli_New(const TCli_Call &call)
{
    QString configDir = call.Arguments[0];
    QTextStream &out = call.Out;
    QTextStream &err = call.Err;
    Load_Default_Language();
    if (!Resolve_In_Workspace(call, configDir))
        return Exit_Failed;
    // Step 1: the name, by the rules of the new-configuration dialog.
    const QString dir = QDir::cleanPath(configDir);
    const QFileInfo dirInfo(dir);
    const QString parent = dirInfo.absolutePath();
    if (!QFileInfo(parent).isDir())
        return Fail(err, QStringLiteral("%1 cannot be made: %2 is not a directory").arg(Native(dir), Native(parent)));
    if (const QString problem = New_Name_Problem(parent, dirInfo.fileName()); !problem.isEmpty())
        return Fail(err, problem);

    // Step 2: the values the settings dialog shows for a new configuration, with the ones given in their place.
    TXml_Document xml;
    Build_ParGen(xml, No_File_Fields());
    QSet<QString> given;
    QStringList problems;
    for (const QString &argument : call.Arguments.mid(1)) {
        const qsizetype equals = argument.indexOf(u'=');
        const QString key = argument.left(equals);
        if (equals < 0)
            return Usage(err, QStringLiteral("%1 is not KEY=VALUE").arg(Quoted(argument)));
        if (!ParGen_Keys.contains(key))
            return Usage(err, QStringLiteral("%1 is no ParGen.xml key; %2").arg(Quoted(key), Valid_Keys_Text()));
        if (given.contains(key))
            return Usage(err, QStringLiteral("%1 is given twice").arg(key));
        given.insert(key);
        QString wrong;
        const QString stored = Stored_Value(key, argument.mid(equals + 1), wrong);
        if (!wrong.isEmpty())
            problems << key + QStringLiteral(": ") + wrong;
        else
            Set_Key_Text(xml, key, stored);
    }
    if (!problems.isEmpty()) {
        Write_Capped(err, QString(), problems);
        return Fail(err, QStringLiteral("nothing was created"));
    }
    // OK's checks, and the writer's: a text XML cannot hold is refused before anything is made.
    const TSend_Verdict verdict = Send_Verdict(&xml, Cli_Text);
    if (!verdict.May_Send())
        return Fail(err, (verdict.Key.isEmpty() ? QString() : verdict.Key + QStringLiteral(": ")) + verdict.Reason);
    const TParGen_Fields fields = ParGen_Fields_From(xml);
    try {
        TXml_Document saved;
        Build_ParGen(saved, fields);
        saved.To_Checked_Bytes(Native(Join_Path(dir, ParGen_File_Name)));
        // The directory, ParGen.xml and the two images appear together or not at all.
        if (const QString late = Create_Configurations(parent, {{dirInfo.fileName(), Native(dir), fields}});
            !late.isEmpty())
            return Fail(err, late);
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    out << Native(dir) << ": ParGen.xml, bin/bank.bin, bin/bankK.bin\n";
    return Exit_Ok;
}
