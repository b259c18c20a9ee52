// quillon-cli build, verify, check and inspect: a configuration's two images, and whether it may be sent.

#include "UCli.h"
#include "UCli_Command.h"

#include "UGround.h"
#include "UWorkspace.h"
#include "UImage_Keys.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UUpdate_Pipeline.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

// A verdict as the command line tells it: one that blames a list's key also says what ParGen.xml may hold there.
QString Verdict_Reason(const TSend_Verdict &verdict)
{
    const TSettings_List *list = Settings_List_Of(verdict.Key);
    if (!list || verdict.Rule_Entry != 0)
        return verdict.Reason;
    return verdict.Reason + (verdict.Reason.endsWith(u'.') ? QStringLiteral(" ") : QStringLiteral("; ")) +
           QStringLiteral("ParGen.xml holds %1 as the index (0 to %2) of %3")
               .arg(verdict.Key)
               .arg(list->Items.size() - 1)
               .arg(list->Items.join(QStringLiteral(", ")));
}

QString Hex_Bytes(uint32_t value)
{
    return QStringLiteral("%1 %2 %3 %4")
        .arg(value & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((value >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((value >> 16) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((value >> 24) & 0xFF, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QString ParGen_Path(const QString &configDir)
{
    return Join_Path(configDir, ParGen_File_Name);
}

// The failure of a CONFIG_DIR that is no directory.
int Not_A_Directory(QTextStream &err, const QString &configDir)
{
    return Fail(err, QStringLiteral("%1 is not a directory").arg(Native(configDir)));
}

// Builds both images from configDir/ParGen.xml, telling on err when there is none; verdict says whether the
// configuration of that same reading may be sent. False, with the reason on err, when configDir is no
// directory or the file cannot be read.
bool Build_Data(const QString &configDir, TConfig_Images &images, QTextStream &err)
{
    if (!QFileInfo(configDir).isDir()) {
        Not_A_Directory(err, configDir);
        return false;
    }
    if (!QFileInfo::exists(ParGen_Path(configDir)))
        err << "quillon-cli: no " << ParGen_File_Name << " in " << Native(configDir) << ": the defaults were used\n";
    try {
        Load_Default_Language();
        images = Make_Config_Data(ParGen_Path(configDir), Cli_Text);
    } catch (const EQuillon_Error &error) {
        Fail(err, error.Text());
        return false;
    }
    return true;
}

} // namespace

int Cli_Build(const TCli_Call &call)
{
    const QString &configDir = call.Arguments[0];
    TConfig_Images images;
    if (!Build_Data(configDir, images, call.Err))
        return Exit_Failed;
    const TSend_Verdict &verdict = images.Verdict;
    // An updater may be reading bin/ now.
    if (const QString busy = Bin_Busy_Refusal(configDir); !busy.isEmpty())
        return Fail(call.Err, busy);
    try {
        Write_Config_Files(configDir, images);
    } catch (const EQuillon_Error &error) {
        return Fail(call.Err, error.Text());
    }
    call.Out << Native(Bank_File_Path(configDir)) << ": " << images.Param_Block.size() << " bytes\n";
    call.Out << Native(BankK_File_Path(configDir)) << ": " << images.Bank_Image.size() << " bytes\n";
    call.Out << "checksum: " << images.Bank.Checksum << " (" << Hex_Bytes(images.Bank.Checksum) << ")\n";
    // The files are what the update step writes; whether they may reach a device is another question.
    if (!verdict.May_Send())
        call.Err << "quillon-cli: warning: this configuration must not be sent to a device: " << Verdict_Reason(verdict)
                 << '\n';
    return Exit_Ok;
}

int Cli_Verify(const TCli_Call &call)
{
    const QString &configDir = call.Arguments[0];
    TConfig_Images images;
    if (!Build_Data(configDir, images, call.Err))
        return Exit_Failed;
    const TSend_Verdict &verdict = images.Verdict;
    const QStringList differences = Config_File_Differences(configDir, images);
    for (const QString &difference : differences)
        call.Err << "quillon-cli: " << difference << '\n';
    if (!verdict.May_Send())
        call.Err << "quillon-cli: the configuration must not be sent to a device: " << Verdict_Reason(verdict) << '\n';
    if (!differences.isEmpty() || !verdict.May_Send())
        return Exit_Failed;
    call.Out << Native(Bank_File_Path(configDir)) << ": OK\n";
    call.Out << Native(BankK_File_Path(configDir)) << ": OK\n";
    return Exit_Ok;
}

int Cli_Check(const TCli_Call &call)
{
    const QString &configDir = call.Arguments[0];
    if (!QFileInfo(configDir).isDir())
        return Not_A_Directory(call.Err, configDir);
    Load_Default_Language();
    const TSend_Verdict verdict = Send_Verdict_Of_File(ParGen_Path(configDir), Cli_Text);
    call.Out << (verdict.May_Send() ? QStringLiteral("OK") : Verdict_Reason(verdict)) << '\n';
    return verdict.May_Send() ? Exit_Ok : Exit_Failed;
}

int Cli_Inspect(const TCli_Call &call)
{
    const QString &path = call.Arguments[0];
    QByteArray bytes;
    try {
        // Nothing larger than a bankK.bin is read.
        bytes = Read_Regular_File(path, Config_Bank_Size);
    } catch (const EQuillon_Error &error) {
        return Fail(call.Err, error.Text());
    }
    return Inspect_Bytes(bytes, path, call.Has(Opt_Json), call.Out, call.Err);
}

int Inspect_Bytes(const QByteArray &bytes, const QString &path, bool json, QTextStream &out, QTextStream &err)
{
    QString kind;
    QString problem;
    QList<TImage_Field> fields;
    if (bytes.size() == Config_Bank_Size) {
        kind = QStringLiteral("bankK.bin");
        fields = Bank_Image_Fields(bytes, problem);
    } else if (bytes.size() == Param_Block_Size || bytes.size() == Param_Header_Size) {
        kind = QStringLiteral("bank.bin");
        fields = Param_Block_Fields(bytes, problem);
    } else {
        problem = QStringLiteral("%1: a bank.bin has 4 or 17 bytes, a bankK.bin 2048")
                      .arg(Counted(bytes.size(), QStringLiteral("byte"), QStringLiteral("bytes")));
    }

    if (json) {
        QJsonObject object{{QStringLiteral("file"), Native(path)},
                           {QStringLiteral("kind"), kind.isEmpty() ? QJsonValue() : QJsonValue(kind)},
                           {QStringLiteral("size"), bytes.size()},
                           {QStringLiteral("well_formed"), problem.isEmpty()}};
        for (const TImage_Field &field : std::as_const(fields))
            object.insert(field.Name, field.Value);
        if (!problem.isEmpty())
            object.insert(QStringLiteral("problem"), problem);
        out << QJsonDocument(object).toJson(QJsonDocument::Indented);
    } else {
        out << "file: " << Native(path) << '\n';
        if (!kind.isEmpty())
            out << "kind: " << kind << ", " << bytes.size() << " bytes\n";
        for (const TImage_Field &field : std::as_const(fields))
            out << QString(field.Name).replace(u'_', u' ') << ": " << field.Shown << '\n';
    }
    if (!problem.isEmpty())
        return Fail(err, QStringLiteral("%1 is not well formed: %2").arg(Native(path), problem));
    return Exit_Ok;
}
