// quillon-cli import: a configuration recovered from its images, such that build gives them back.

#include "UCli_Command.h"
#include "UCli_Diff.h"

#include "UAtomic_File.h"
#include "UGround.h"
#include "UWorkspace.h"
#include "UImage_Keys.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFileInfo>

int Cli_Import(const TCli_Call &call)
{
    // BANKK_FILE [BANK_FILE] CONFIG_DIR
    const QStringList &arguments = call.Arguments;
    const QString &bankKFile = arguments.first();
    const QString bankFile = arguments.size() == 3 ? arguments[1] : QString();
    QString configDir = arguments.last();
    const bool force = call.Has(Opt_Force);
    QTextStream &out = call.Out;
    QTextStream &err = call.Err;
    Load_Default_Language();
    // With a workspace the configuration goes into its PROJECTS and nowhere else: resolved once, through links
    // and "..", and named resolved from here on.
    if (!Resolve_In_Workspace(call, configDir))
        return Exit_Failed;
    QByteArray bankK;
    QByteArray bank;
    try {
        // Both read up to a bankK.bin's size, so that two files given in the wrong order are told by their sizes.
        bankK = Read_Regular_File(bankKFile, Config_Bank_Size);
        if (!bankFile.isEmpty())
            bank = Read_Regular_File(bankFile, Config_Bank_Size);
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    const auto isBankSize = [](const QByteArray &bytes) {
        return bytes.size() == Param_Block_Size || bytes.size() == Param_Header_Size;
    };
    if (!bankFile.isEmpty() && isBankSize(bankK) && bank.size() == Config_Bank_Size)
        return Fail(err, QStringLiteral("the two files are in the wrong order: %1 is a bank.bin (%2 bytes) and %3 a "
                                        "bankK.bin (%4 bytes); the bankK.bin comes first: quillon-cli import %3 %1 %5")
                             .arg(Native(bankKFile))
                             .arg(bankK.size())
                             .arg(Native(bankFile))
                             .arg(bank.size())
                             .arg(Native(arguments.last())));
    if (bankFile.isEmpty() && isBankSize(bankK))
        return Fail(err, QStringLiteral("%1 is a bank.bin (%2 bytes): import needs the bankK.bin (%3 bytes) first, "
                                        "then the bank.bin if kept: quillon-cli import BANKK_FILE %1 %4")
                             .arg(Native(bankKFile))
                             .arg(bankK.size())
                             .arg(Config_Bank_Size)
                             .arg(Native(arguments.last())));
    if (bankK.size() != Config_Bank_Size)
        return Fail(err,
                    QStringLiteral("%1 is no bankK.bin: %2, a bankK.bin has %3")
                        .arg(Native(bankKFile), Counted(bankK.size(), QStringLiteral("byte"), QStringLiteral("bytes")))
                        .arg(Config_Bank_Size));
    if (const QString problem = Checksum_Problem(bankK); !problem.isEmpty())
        return Fail(err, QStringLiteral("%1 is damaged (%2): nothing was imported").arg(Native(bankKFile), problem));
    if (!bankFile.isEmpty()) {
        if (bank.size() == Param_Header_Size)
            return Fail(err, QStringLiteral("%1 holds no parameters: it was built from a configuration without "
                                            "ParGen.xml, which no ParGen.xml can build again")
                                 .arg(Native(bankFile)));
        if (bank.size() != Param_Block_Size || uint8_t(bank[0]) != Param_Header_Size || bank[1] || bank[2] || bank[3])
            return Fail(
                err,
                QStringLiteral("%1 is no bank.bin: a bank.bin has 17 bytes and the header 4").arg(Native(bankFile)));
    }

    // The fields as the settings dialog holds them; what neither image holds keeps a new configuration's value.
    QStringList notes;
    const QList<TKey_Value> image = Image_Key_Values(QByteArray(), bankK);
    const QList<TKey_Value> block = Image_Key_Values(bank, QByteArray());
    // bank.bin keeps a list index as it was written; bankK.bin only the rate it stands for.
    const auto listIndex = [&](const QString &key, int fallback) {
        const QString value = Holds(block, key) ? Value_Of(block, key) : Value_Of(image, key);
        int index = 0;
        if (Try_Str_To_Int(value, index))
            return index;
        notes << QStringLiteral("%1: bankK.bin holds a rate of %2 bit/s, which is no entry of the baud-rate list; "
                                "%3 (%4 bit/s) was used")
                     .arg(key, value.mid(5))
                     .arg(fallback)
                     .arg(Baud_Rates[fallback]);
        return fallback;
    };
    const auto number = [&](const QString &key) { return Value_Of(image, key); };
    TParGen_Fields f = No_File_Fields();
    notes << QStringLiteral("Device_Type_Type: neither image holds it; %1 (%2) was used")
                 .arg(f.Device_Type_Type)
                 .arg(Device_Type_Items[f.Device_Type_Type]);
    f.Port_0_Baud = listIndex(QStringLiteral("Port_0_Baud"), Default_Baud_Index);
    f.Port_0_Par = listIndex(QStringLiteral("Port_0_Par"), 0);
    f.Port_0_DevID = number(QStringLiteral("Port_0_DevID"));
    f.Port_0_BroadCast = number(QStringLiteral("Port_0_BroadCast")) == u"1";
    f.Port_1_Port = listIndex(QStringLiteral("Port_1_Port"), 0);
    f.Port_1_Baud = listIndex(QStringLiteral("Port_1_Baud"), Default_Baud_Index);
    f.Port_1_Par = listIndex(QStringLiteral("Port_1_Par"), 0);
    f.Port_1_DevID = number(QStringLiteral("Port_1_DevID"));
    f.Port_1_BroadCast = number(QStringLiteral("Port_1_BroadCast")) == u"1";
    f.Opt_Off_Reg = number(QStringLiteral("Opt_Off_Reg"));
    f.Opt_Off_Status = number(QStringLiteral("Opt_Off_Status"));
    f.Ethernet_EN_GAT = number(QStringLiteral("Ethernet_EN_GAT")) == u"1";
    for (int i = 0; i < 4; ++i) {
        f.Ethernet_IP[i] = number(Octet_Key("IP", i));
        f.Ethernet_SM[i] = number(Octet_Key("SM", i));
        if (f.Ethernet_EN_GAT)
            f.Ethernet_GAT[i] = number(Octet_Key("GAT", i));
    }
    if (!f.Ethernet_EN_GAT)
        notes << QStringLiteral("Ethernet_GAT1 to Ethernet_GAT4: the image has no gateway, so it holds none; "
                                "%1 was used (with Ethernet_EN_GAT 0)")
                     .arg(QStringList{f.Ethernet_GAT[0], f.Ethernet_GAT[1], f.Ethernet_GAT[2], f.Ethernet_GAT[3]}.join(
                         u'.'));

    // What build would write from that file, against what was given.
    TXml_Document xml;
    Build_ParGen(xml, f);
    QByteArray rebuiltBankK;
    QByteArray rebuiltBank;
    try {
        const TConfig_Images images = Make_Config_Data_Bytes(xml.To_Bytes());
        rebuiltBankK = images.Bank_Image;
        rebuiltBank = images.Param_Block;
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    const QList<TKey_Value> rebuilt = Image_Key_Values(QByteArray(), rebuiltBankK);
    QList<TDifference> differences;
    if (rebuiltBankK != bankK) {
        QList<TKey_Value> rebuiltBytes;
        QList<TKey_Value> givenBytes = Uncovered_Differences(bankK, rebuiltBankK, &rebuiltBytes);
        differences = Differences(image + givenBytes, rebuilt + rebuiltBytes, false);
    }
    if (!bank.isEmpty() && rebuiltBank != bank) {
        for (const TDifference &difference : Differences(block, Image_Key_Values(rebuiltBank, QByteArray()), false))
            differences.append({difference.Field + QStringLiteral(" (bank.bin)"), difference.A, difference.B});
    }
    const bool identical = rebuiltBankK == bankK && (bank.isEmpty() || rebuiltBank == bank);
    if (!identical && differences.isEmpty()) {
        // A byte no field shows (the serial channel Port 1 does not use): named by its offset.
        const QByteArray &given = rebuiltBankK != bankK ? bankK : bank;
        const QByteArray &built = rebuiltBankK != bankK ? rebuiltBankK : rebuiltBank;
        qsizetype at = 0;
        while (given[at] == built[at])
            ++at;
        differences.append({QStringLiteral("%1 byte 0x%2")
                                .arg(rebuiltBankK != bankK ? QStringLiteral("bankK.bin") : QStringLiteral("bank.bin"))
                                .arg(at, 3, 16, QLatin1Char('0')),
                            QString::number(uint8_t(given[at])), QString::number(uint8_t(built[at]))});
    }

    // Where the configuration goes: an existing ParGen.xml is replaced only when asked; a new directory gets
    // the name rules of the new-configuration dialog.
    const QString dir = QDir::cleanPath(configDir);
    const QString parGenPath = Join_Path(dir, ParGen_File_Name);
    const QFileInfo dirInfo(dir);
    bool created = false;
    if (dirInfo.exists() || dirInfo.isSymLink()) {
        if (!dirInfo.isDir())
            return Fail(err, QStringLiteral("%1 exists and is not a directory").arg(Native(dir)));
        // A link in ParGen.xml's place counts as a file: --force replaces the link, never writes its target.
        const QFileInfo parGen(parGenPath);
        if ((parGen.exists() || parGen.isSymLink()) && !force)
            return Fail(err, QStringLiteral("%1 exists: --force replaces it").arg(Native(parGenPath)));
    } else {
        if (const QString problem = New_Name_Problem(dirInfo.absolutePath(), dirInfo.fileName()); !problem.isEmpty())
            return Fail(err, problem);
        if (!QDir().mkdir(dir))
            return Fail(err, QStringLiteral("%1 cannot be created (does %2 exist?)")
                                 .arg(Native(dir), Native(dirInfo.absolutePath())));
        created = true;
        QDir().mkdir(Join_Path(dir, QStringLiteral("bin")));
    }
    try {
        Save_ParGen(xml, f, parGenPath);
        if (created)
            Sync_Directory(dirInfo.absolutePath());
    } catch (const EQuillon_Error &error) {
        if (created)
            QDir(dir).removeRecursively();
        return Fail(err, error.Text());
    }
    out << Native(parGenPath) << ": written\n";

    for (const QString &note : std::as_const(notes))
        err << "quillon-cli: " << note << '\n';
    const TSend_Verdict verdict = Send_Verdict(&xml, Cli_Text);
    if (!verdict.May_Send())
        err << "quillon-cli: warning: this configuration must not be sent to a device: " << verdict.Reason << '\n';
    if (identical) {
        out << "build gives " << (bank.isEmpty() ? "bankK.bin" : "bank.bin and bankK.bin") << " back byte for byte\n";
        return Exit_Ok;
    }
    for (const TDifference &difference : std::as_const(differences))
        err << "quillon-cli: " << difference.Field << ": the image holds " << difference.A << ", build writes "
            << difference.B << '\n';
    return Fail(err, QStringLiteral("build will not give the same bytes back"));
}
