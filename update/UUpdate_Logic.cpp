#include "UUpdate_Logic.h"

#include "USerial_Ports.h"

#include "UGround.h"
#include "UXml_Document.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

TPlatform_Form Native_Form()
{
#ifdef Q_OS_WIN
    return TPlatform_Form::Windows;
#else
    return TPlatform_Form::Posix;
#endif
}

QString Updater_Path(const QString &programDir, const QString &base)
{
#ifdef Q_OS_WIN
    return Join_Path(programDir, base + QStringLiteral(".exe"));
#else
    return Join_Path(programDir, base);
#endif
}

QString Update_Options(const QString &s_opt, int optionIndex, bool readBack)
{
    // Slots: write firmware, read firmware back, write configuration, read configuration back.
    const QString skip = QStringLiteral("NO ");
    const QString firmwareBack = readBack ? QStringLiteral("FR ") : skip;
    const QString configBack = readBack ? QStringLiteral("PR ") : skip;
    switch (optionIndex) {
    case 0:
        return s_opt + QStringLiteral("FW ") + firmwareBack + QStringLiteral("PW ") + configBack;
    case 1:
        return s_opt + QStringLiteral("FW ") + firmwareBack + skip + skip;
    case 2:
        return s_opt + skip + skip + QStringLiteral("PW ") + configBack;
    default:
        return s_opt;
    }
}

QStringList Serial_Update_Arguments(TPlatform_Form form, const QString &port, int optionIndex, bool readBack,
                                    const QString &masterDir, const QString &confDir)
{
    const QString codes = Update_Options(QString(), optionIndex, readBack);
    if (form == TPlatform_Form::Windows) {
        const QString firmware = masterDir + QStringLiteral("\\") + Serial_Firmware_File;
        const QString image = confDir + QStringLiteral("\\bin\\bank.bin");
        const QChar quote = u'"';
        return {QStringLiteral("\\\\.\\") + port + u' ' + codes + quote + firmware + quote + u' ' + quote + image +
                quote};
    }
    QStringList arguments{port};
    arguments += codes.split(u' ', Qt::SkipEmptyParts);
    arguments << masterDir + QStringLiteral("/") + Serial_Firmware_File << confDir + QStringLiteral("/bin/bank.bin");
    return arguments;
}

namespace {

struct TOperation
{
    QString File_Name;
    const char *Start_Address;
    const char *Bank_Type;
    const char *Write_CSS;
};

void Add_Operation(QDomElement &operations, const TOperation &op, bool readBack, bool goToAppAfter)
{
    const QString flag0 = QStringLiteral("0");
    QDomElement e = Add_Child(operations, QStringLiteral("Operation"));
    Add_Child(e, QStringLiteral("Ope_Protection_Enabled"));
    Add_Child(e, QStringLiteral("Ope_GoToBoot_Before"), flag0);
    Add_Child(e, QStringLiteral("Ope_GoToApp_Before"), flag0);
    Add_Child(e, QStringLiteral("Ope_IP_Address"));
    Add_Child(e, QStringLiteral("Ope_Port"), QStringLiteral("2008"));
    Add_Child(e, QStringLiteral("Ope_Port_Sec"), QStringLiteral("2007"));
    Add_Child(e, QStringLiteral("Ope_Erase_Memory"), flag0);
    Add_Child(e, QStringLiteral("Ope_FileName"), op.File_Name);
    Add_Child(e, QStringLiteral("Ope_Start_Address"), QLatin1String(op.Start_Address));
    Add_Child(e, QStringLiteral("Ope_Memory_Type"), flag0);
    Add_Child(e, QStringLiteral("Ope_Bank_Type"), QLatin1String(op.Bank_Type));
    Add_Child(e, QStringLiteral("Ope_Read_Back"), readBack ? QStringLiteral("1") : flag0);
    Add_Child(e, QStringLiteral("Ope_Write_CSS"), QLatin1String(op.Write_CSS));
    Add_Child(e, QStringLiteral("Ope_Address_CSS"), QStringLiteral("0x07A00"));
    Add_Child(e, QStringLiteral("Ope_Command_CSS"), QStringLiteral("0x02"));
    Add_Child(e, QStringLiteral("Ope_Write_Internal_Data"), flag0);
    Add_Child(e, QStringLiteral("Ope_WID_Address"), QStringLiteral("0x07810"));
    Add_Child(e, QStringLiteral("Ope_WID_Command"), QStringLiteral("0x02"));
    Add_Child(e, QStringLiteral("Ope_WID_Data"), QStringLiteral("0x00, 0x00, 0x00, 0x01"));
    Add_Child(e, QStringLiteral("Ope_GoToApp_After"), goToAppAfter ? QStringLiteral("1") : flag0);
}

} // namespace

void Build_Ethernet_Update(TXml_Document &xml, const QString ip[4], int optionIndex, bool readBack,
                           const QString &masterDir, const QString &confDir)
{
    xml.Clear();
    QDomElement root = xml.Add_Root(QStringLiteral("Ethernet_Update"));
    Add_Child(root, QStringLiteral("Version"), QStringLiteral("1000"));
    Add_Child(root, QStringLiteral("Title"), QStringLiteral("Velmora - SW40926 Ethernet Update"));
    Add_Child(root, QStringLiteral("IP_Address_Dev"), QStringList{ip[0], ip[1], ip[2], ip[3]}.join(u'.'));
    Add_Child(root, QStringLiteral("Application_Port"), QStringLiteral("10000"));
    Add_Child(root, QStringLiteral("Boot_Port"), QStringLiteral("2008"));
    Add_Child(root, QStringLiteral("Boot_Port_Sec"), QStringLiteral("2007"));
    Add_Child(root, QStringLiteral("Address_Protection"), QStringLiteral("0x07800"));
    QDomElement protections = Add_Child(root, QStringLiteral("Protections"));
    Add_Child(protections, QStringLiteral("Protection"), QStringLiteral("0x70"));
    QDomElement operations = Add_Child(root, QStringLiteral("Operations"));

    const TOperation firmware{Join_Path(masterDir, Ethernet_Firmware_File), "0x8000", "1", "1"};
    const TOperation configuration{Join_Path(confDir, QStringLiteral("bin"), QStringLiteral("bankK.bin")), "0x07000",
                                   "2", "0"};
    // The last operation of the file sends the device back to its application.
    switch (optionIndex) {
    case 0:
        Add_Operation(operations, firmware, readBack, false);
        Add_Operation(operations, configuration, readBack, true);
        break;
    case 1:
        Add_Operation(operations, firmware, readBack, true);
        break;
    case 2:
        Add_Operation(operations, configuration, readBack, true);
        break;
    default:
        break;
    }
}

void Write_Ethernet_Update(TXml_Document &xml, const QString ip[4], int optionIndex, bool readBack,
                           const QString &programDir, const QString &masterDir, const QString &confDir)
{
    Build_Ethernet_Update(xml, ip, optionIndex, readBack, masterDir, confDir);
    xml.Save_File(Join_Path(programDir, Ethernet_Update_File_Name));
}

QString Find_Updater(const QString &programDir, const QString &base)
{
    const QString inWorkspace = Updater_Path(programDir, base);
    if (QFileInfo::exists(inWorkspace) || !QCoreApplication::instance())
        return inWorkspace;
    const QString besideProgram = Updater_Path(QDir::toNativeSeparators(QCoreApplication::applicationDirPath()), base);
    return QFileInfo::exists(besideProgram) ? besideProgram : inWorkspace;
}

int Preferred_Port_Index(const QList<TSerial_Port> &ports, const QString &remembered)
{
    for (qsizetype i = 0; i < ports.size(); ++i) {
        if (!remembered.isEmpty() && ports[i].Name == remembered)
            return int(i);
    }
    for (qsizetype i = 0; i < ports.size(); ++i) {
        const QString &name = ports[i].Name;
        if (ports[i].Usb || name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM")))
            return int(i);
    }
    return ports.isEmpty() ? -1 : 0;
}
