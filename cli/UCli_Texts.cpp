// quillon-cli texts: the language table, and what the loader makes of a translator's file.

#include "UCli_Command.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "ULanguage_Check.h"

#include <QFileInfo>

namespace {

// What a translator should look at: the warnings, then how many shown entries the file leaves in English.
void Report_Language_Check(const QString &path, QTextStream &out, QTextStream &err)
{
    try {
        const TLanguage_Check check = Check_Language_File(path);
        for (const QString &warning : check.Warnings)
            out << "warning: " << Escaped_Controls(warning) << '\n';
        out << check.Left_In_English << " of " << check.Shown_Entries
            << " shown entries with letters are left in English";
        if (!check.English_Left.isEmpty()) {
            QStringList indexes;
            for (int index : check.English_Left)
                indexes << QString::number(index);
            out << ": " << indexes.join(u' ');
        }
        out << '\n';
    } catch (const EQuillon_Error &error) {
        Fail(err, error.Text());
    }
}

} // namespace

int Cli_Texts(const TCli_Call &call)
{
    const QString path = call.Arguments.value(0);
    const bool report = call.Has(Opt_Report);
    QTextStream &out = call.Out;
    Load_Default_Language();
    // Texts from a file may hold control characters: shown escaped, never sent raw to the terminal.
    const auto shown = [](const QString &text) { return Escaped_Controls(text); };
    if (!path.isEmpty()) {
        if (!QFileInfo(path).isFile())
            return Fail(call.Err, QStringLiteral("%1 is not a file").arg(Native(path)));
        try {
            // The report goes out line by line as the loader reads them.
            TLanguage_Line_Sink print;
            if (report)
                print = [&out, &shown](const TLanguage_Line_Report &line) {
                    out << "line " << line.Line_Number << ": ";
                    if (line.Index >= 0)
                        out << "entry " << line.Index << " := \"" << shown(line.Value) << "\"\n";
                    else
                        out << "ignored, " << shown(line.Reason) << ": " << shown(line.Line) << '\n';
                };
            Read_Language_File_Lines(path, print);
        } catch (const EQuillon_Error &error) {
            return Fail(call.Err, error.Text());
        }
    }
    if (report) {
        Report_Language_Check(path, out, call.Err);
        return Exit_Ok;
    }
    const QStringList &texts = Language_Texts();
    for (int i = 0; i < texts.size(); ++i)
        out << i << '\t' << shown(texts[i]) << '\n';
    return Exit_Ok;
}
