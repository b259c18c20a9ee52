#include "UCli.h"
#include "UCli_Toolkit.h"

#include "UComon.h"
#include "UEcho_Client.h"
#include "ULanguage.h"
#include "ULanguage_Check.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UUpdate_Logic.h"
#include "UUpdater_Run.h"
#include "UWorkspace.h"
#include "UXml_Document.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>
#include <QTimer>

#include <cstring>

namespace {

const char *const Commands_Help = R"(Commands:
  build CONFIG_DIR     Build CONFIG_DIR/bin/bank.bin and bankK.bin from CONFIG_DIR/ParGen.xml,
                       exactly as the update step does, and print their sizes and the image's checksum.
  inspect FILE         Decode a bank.bin (4 or 17 bytes) or bankK.bin (2048 bytes) into named fields;
                       --json prints the same as one JSON object. Exit 1 when the file is not well formed.
  check CONFIG_DIR     Whether the configuration may be sent to a device, as update decides it: prints OK,
                       or the first reason it may not and exits 1 (no ParGen.xml, a file that cannot be
                       read or is not well formed, a list index outside its list, a flag other than 0
                       or 1, or the first range rule of the settings dialog that fails).
  verify CONFIG_DIR    Exit 0 when CONFIG_DIR/bin/bank.bin and bankK.bin are exactly what build would
                       write now from ParGen.xml and check accepts the configuration; else exit 1 naming
                       each file that differs and how (missing, wrong size, bad checksum, stale against
                       ParGen.xml) and the reason check gives.
  texts [FILE.lng]     Print the 1200 texts of the language table (INDEX<TAB>TEXT), built-in English
                       with FILE.lng applied; --report prints what the loader did with each line instead.
  ports                List the serial ports the update dialog offers, one per line.
  update CONFIG_DIR (--port PORT | --ip ADDRESS) [--option 0|1|2] [--no-read-back]
                       Update a device as the update dialog does: build the two files, then run the
                       serial updater on PORT, or check with ICMP echo that ADDRESS answers, write
                       Ethernet_Update.xml and run the Ethernet updater. CONFIG_DIR lies under a
                       workspace's PROJECTS (--workspace DIR: the one of DIR/PROJECTS); the updaters are
                       looked for in the workspace, then beside quillon-cli. --option: 0 firmware
                       and configuration (default), 1 firmware, 2 configuration. Refused, with nothing
                       written or started, when options 0 and 2 meet a configuration check refuses,
                       when the firmware file the option needs is not in MASTER, or when the port does
                       not exist. Waits for the updater (at most 150 s), records the run in
                       CONFIG_DIR/update.log and exits with the updater's exit code.
  import BANKK_FILE [BANK_FILE] CONFIG_DIR [--force]
                       Recover a configuration from its images: check bankK.bin's checksum, then write
                       CONFIG_DIR/ParGen.xml (created with bin/ when missing, under the naming rules of a
                       new configuration) such that build gives the given files back byte for byte. Says
                       on stderr which keys neither image holds and what was used; exit 1 when build
                       would not give the same bytes back. --force replaces an existing ParGen.xml.
  diff A B [--raw] [--json]
                       Compare two configuration directories, two images (bank.bin or bankK.bin) or a
                       configuration with an image (through the image it builds): one line per differing
                       field, "KEY: A -> B". A configuration counts by the values build uses; --raw
                       compares the texts of ParGen.xml as written; --json prints an array. Exit 0 equal,
                       1 different, 2 wrong command line or an input that cannot be read.
  provision TEMPLATE_DIR TABLE.csv [--update [--keep-going] [--option 0|1|2] [--no-read-back]]
                       Make one configuration per row of TABLE.csv beside TEMPLATE_DIR: the header is
                       "name" then ParGen.xml keys (and "port" or "ip" for --update); each row is the
                       template's ParGen.xml with the row's non-empty cells, checked as update checks it,
                       and built. Every row is checked first: any failure names row, column and reason
                       and creates nothing. --update then updates each one in table order as update
                       does, stopping at the first that does not end with exit code 0 (--keep-going goes
                       on).

Exit codes: 0 success, 1 failure (reason on stderr), 2 wrong command line.)";

enum TExit
{
    Exit_Ok = 0,
    Exit_Failed = 1,
    Exit_Usage = 2
};

struct TCli
{
    QTextStream &Out;
    QTextStream &Err;
    // --workspace DIR; empty when not given.
    QString Workspace = {};

    int Usage(const QString &message)
    {
        Err << "quillon-cli: " << message << " (see quillon-cli --help)\n";
        return Exit_Usage;
    }
    int Fail(const QString &message)
    {
        Err << "quillon-cli: " << message << '\n';
        return Exit_Failed;
    }

    // Builds both images from configDir/ParGen.xml, telling on err when there is none; Verdict says whether
    // the configuration of that same reading may be sent.
    bool Build_Data(const QString &configDir);
    TSend_Verdict Verdict = {};

    int Build(const QString &configDir);
    int Inspect(const QString &file, bool json);
    int Check(const QString &configDir);
    int Verify(const QString &configDir);
    int Texts(const QString &file, bool report);
    void Report_Language_Check(const QString &path);
    int Ports();
    int Update(const QString &configDir, const QString &port, const QString &ip, int option, bool readBack);
    int Update_Ethernet(const QString (&parts)[4], int option, bool readBack, TUpdate_Record &record);
    int Run_Updater_Of(const QString &base, TUpdate_Record &record);
};

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// With --workspace, a configuration named by its name alone is the one of the workspace's PROJECTS.
QString Config_Of_Workspace(const QString &workspace, const QString &configDir)
{
    if (workspace.isEmpty() || configDir.contains(u'/') || configDir.contains(QDir::separator()))
        return configDir;
    return Join_Path(workspace, QStringLiteral("PROJECTS"), configDir);
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

bool TCli::Build_Data(const QString &configDir)
{
    if (!QFileInfo::exists(ParGen_Path(configDir)))
        Err << "quillon-cli: no " << ParGen_File_Name << " in " << Native(configDir) << ": the defaults were used\n";
    try {
        Load_Default_Language();
        Make_Config_Data(ParGen_Path(configDir), &Verdict);
    } catch (const EQuillon_Error &error) {
        Fail(error.Text());
        return false;
    }
    return true;
}

int TCli::Build(const QString &configDir)
{
    if (!QFileInfo(configDir).isDir())
        return Fail(QStringLiteral("%1 is not a directory").arg(Native(configDir)));
    if (!Build_Data(configDir))
        return Exit_Failed;
    try {
        Write_Config_Files(configDir);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    Out << Native(Bank_File_Path(configDir)) << ": " << Param_Buffer_Length << " bytes\n";
    Out << Native(BankK_File_Path(configDir)) << ": " << Bank_Buffer_Length << " bytes\n";
    Out << "checksum: " << Config_Bank.Checksum << " (" << Hex_Bytes(Config_Bank.Checksum) << ")\n";
    // The files are what the update step writes; whether they may reach a device is another question.
    if (!Verdict.May_Send())
        Err << "quillon-cli: warning: this configuration must not be sent to a device: " << Verdict.Reason << '\n';
    return Exit_Ok;
}

int TCli::Verify(const QString &configDir)
{
    if (!QFileInfo(configDir).isDir())
        return Fail(QStringLiteral("%1 is not a directory").arg(Native(configDir)));
    if (!Build_Data(configDir))
        return Exit_Failed;
    const QStringList differences = Config_File_Differences(configDir);
    for (const QString &difference : differences)
        Err << "quillon-cli: " << difference << '\n';
    if (!Verdict.May_Send())
        Err << "quillon-cli: the configuration must not be sent to a device: " << Verdict.Reason << '\n';
    if (!differences.isEmpty() || !Verdict.May_Send())
        return Exit_Failed;
    Out << Native(Bank_File_Path(configDir)) << ": OK\n";
    Out << Native(BankK_File_Path(configDir)) << ": OK\n";
    return Exit_Ok;
}

// ---- inspect ----

QString Parity_Name(int code)
{
    return code >= 0 && code < Parity_Items.size() ? Parity_Items[code] : QStringLiteral("unknown (%1)").arg(code);
}

QString Dotted(const uint8_t *octets)
{
    return QStringLiteral("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
}

QString Baud_Name(int index)
{
    return index >= 0 && index < Baud_Rate_Items.size() ? Baud_Rate_Items[index] + QStringLiteral(" bit/s")
                                                        : QStringLiteral("not in the list");
}

// Named fields of one file, in the order they are printed; the same data makes the JSON object.
struct TField
{
    QString Name;
    QJsonValue Value;
    QString Shown;
};

QJsonObject Channel_Json(const TConfig_Bank &b, int channel)
{
    return QJsonObject{{QStringLiteral("channel"), channel},
                       {QStringLiteral("baud_rate"), qint64(b.Ser_Baud[channel])},
                       {QStringLiteral("parity"), Parity_Name(b.Ser_Parity[channel])},
                       {QStringLiteral("data_bits"), b.Ser_Data_Bits[channel]},
                       {QStringLiteral("stop_code"), b.Ser_Stop[channel]}};
}

QString Channel_Text(const TConfig_Bank &b, int channel)
{
    return QStringLiteral("channel %1, %2 bit/s, parity %3, %4 data bits, stop code %5")
        .arg(channel)
        .arg(b.Ser_Baud[channel])
        .arg(Parity_Name(b.Ser_Parity[channel]))
        .arg(b.Ser_Data_Bits[channel])
        .arg(b.Ser_Stop[channel]);
}

QList<TField> Image_Fields(const TConfig_Bank &b, QString &problem)
{
    const bool rs485 = b.Port_Flags & Flag_Port_1_RS485;
    const int channel1 = rs485 ? Channel_Port_1_RS485 : Channel_Port_1_RS232;
    const bool gatewaySet =
        !(b.Eth_Gateway[0] == 255 && b.Eth_Gateway[1] == 255 && b.Eth_Gateway[2] == 255 && b.Eth_Gateway[3] == 255);
    const uint32_t computed = Bank_Checksum(reinterpret_cast<const uint8_t *>(&b));
    if (computed != b.Checksum)
        problem = QStringLiteral("checksum mismatch: stored %1, computed %2").arg(b.Checksum).arg(computed);
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    QStringList flagNames;
    if (rs485)
        flagNames << QStringLiteral("Port 1 on RS485");
    if (b.Port_Flags & Flag_Broadcast_Port_0)
        flagNames << QStringLiteral("broadcast on Port 0");
    if (b.Port_Flags & Flag_Broadcast_Port_1)
        flagNames << QStringLiteral("broadcast on Port 1");

    QJsonObject port0 = Channel_Json(b, Channel_Port_0);
    port0.insert(QStringLiteral("device_id"), b.Dev_ID_Port_0);
    port0.insert(QStringLiteral("broadcast"), bool(b.Port_Flags & Flag_Broadcast_Port_0));
    QJsonObject port1 = Channel_Json(b, channel1);
    port1.insert(QStringLiteral("interface"), rs485 ? QStringLiteral("RS485") : QStringLiteral("RS232"));
    port1.insert(QStringLiteral("device_id"), b.Dev_ID_Port_1);
    port1.insert(QStringLiteral("broadcast"), bool(b.Port_Flags & Flag_Broadcast_Port_1));

    return {
        {QStringLiteral("ethernet_address"), Dotted(b.Eth_IP), Dotted(b.Eth_IP)},
        {QStringLiteral("subnet_mask"), Dotted(b.Eth_Mask), Dotted(b.Eth_Mask)},
        {QStringLiteral("gateway"), gatewaySet ? QJsonValue(Dotted(b.Eth_Gateway)) : QJsonValue(),
         gatewaySet ? Dotted(b.Eth_Gateway) : QStringLiteral("none (255.255.255.255)")},
        {QStringLiteral("network_ports"), QJsonArray{b.Net_Port_0, b.Net_Port_1, b.Net_Port_2},
         QStringLiteral("%1, %2, %3").arg(b.Net_Port_0).arg(b.Net_Port_1).arg(b.Net_Port_2)},
        {QStringLiteral("port_0"), port0,
         QStringLiteral("RS485, %1, device ID %2, broadcast %3")
             .arg(Channel_Text(b, Channel_Port_0))
             .arg(b.Dev_ID_Port_0)
             .arg(onOff(b.Port_Flags & Flag_Broadcast_Port_0))},
        {QStringLiteral("port_1"), port1,
         QStringLiteral("%1, %2, device ID %3, broadcast %4")
             .arg(rs485 ? QStringLiteral("RS485") : QStringLiteral("RS232"), Channel_Text(b, channel1))
             .arg(b.Dev_ID_Port_1)
             .arg(onOff(b.Port_Flags & Flag_Broadcast_Port_1))},
        {QStringLiteral("port_flags"), b.Port_Flags,
         QStringLiteral("0x%1 (%2)")
             .arg(b.Port_Flags, 2, 16, QLatin1Char('0'))
             .arg(flagNames.isEmpty() ? QStringLiteral("none") : flagNames.join(QStringLiteral(", ")))},
        {QStringLiteral("offset_registers"), b.Offset_Registers, QString::number(b.Offset_Registers)},
        {QStringLiteral("offset_status"), b.Offset_Status, QString::number(b.Offset_Status)},
        {QStringLiteral("checksum_stored"), qint64(b.Checksum), QString::number(b.Checksum)},
        {QStringLiteral("checksum_computed"), qint64(computed), QString::number(computed)},
    };
}

QList<TField> Param_Fields(const QByteArray &bytes, QString &problem)
{
    const auto byte = [&bytes](int offset) { return int(uint8_t(bytes[offset])); };
    const auto word = [&byte](int offset) { return byte(offset) | byte(offset + 1) << 8; };
    const uint32_t header =
        uint32_t(byte(0)) | uint32_t(byte(1)) << 8 | uint32_t(byte(2)) << 16 | uint32_t(byte(3)) << 24;
    QList<TField> fields{{QStringLiteral("header"), qint64(header), QString::number(header)}};
    if (header != uint32_t(Param_Header_Size))
        problem = QStringLiteral("header is %1, not 4").arg(header);
    if (bytes.size() == Param_Header_Size) {
        fields.append(
            {QStringLiteral("parameters"), QJsonValue(), QStringLiteral("none (the configuration had no ParGen.xml)")});
        return fields;
    }
    const auto port = [&](int baud, int parity, int devId, int broadcast) {
        return QJsonObject{{QStringLiteral("baud_index"), byte(baud)},
                           {QStringLiteral("baud_rate"), byte(baud) < int(std::size(Baud_Rates))
                                                             ? QJsonValue(qint64(Baud_Rates[byte(baud)]))
                                                             : QJsonValue()},
                           {QStringLiteral("parity"), Parity_Name(byte(parity))},
                           {QStringLiteral("device_id"), byte(devId)},
                           {QStringLiteral("broadcast"), byte(broadcast)}};
    };
    const auto portText = [&](int baud, int parity, int devId, int broadcast) {
        return QStringLiteral("baud index %1 (%2), parity %3 (%4), device ID %5, broadcast %6")
            .arg(byte(baud))
            .arg(Baud_Name(byte(baud)))
            .arg(byte(parity))
            .arg(Parity_Name(byte(parity)))
            .arg(byte(devId))
            .arg(byte(broadcast));
    };
    QJsonObject port1 = port(8, 9, 10, 16);
    const QString interface1 = byte(7) == 0   ? QStringLiteral("RS232")
                               : byte(7) == 1 ? QStringLiteral("RS485")
                                              : QStringLiteral("unknown (%1)").arg(byte(7));
    port1.insert(QStringLiteral("interface"), interface1);
    fields.append({QStringLiteral("port_0"), port(4, 5, 6, 15), portText(4, 5, 6, 15)});
    fields.append({QStringLiteral("port_1"), port1, interface1 + QStringLiteral(", ") + portText(8, 9, 10, 16)});
    fields.append({QStringLiteral("offset_registers"), word(11), QString::number(word(11))});
    fields.append({QStringLiteral("offset_status"), word(13), QString::number(word(13))});
    return fields;
}

int TCli::Inspect(const QString &path, bool json)
{
    QByteArray bytes;
    try {
        // Nothing larger than a bankK.bin is read.
        bytes = Read_Regular_File(path, Config_Bank_Size);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    return Inspect_Bytes(bytes, path, json, Out, Err);
}

} // namespace

int Inspect_Bytes(const QByteArray &bytes, const QString &path, bool json, QTextStream &out, QTextStream &err)
{
    TCli cli{out, err};
    QString kind;
    QString problem;
    QList<TField> fields;
    if (bytes.size() == Config_Bank_Size) {
        kind = QStringLiteral("bankK.bin");
        TConfig_Bank bank;
        std::memcpy(&bank, bytes.constData(), sizeof bank);
        fields = Image_Fields(bank, problem);
    } else if (bytes.size() == Param_Block_Size || bytes.size() == Param_Header_Size) {
        kind = QStringLiteral("bank.bin");
        fields = Param_Fields(bytes, problem);
    } else {
        problem = QStringLiteral("%1 bytes: a bank.bin has 4 or 17 bytes, a bankK.bin 2048").arg(bytes.size());
    }

    if (json) {
        QJsonObject object{{QStringLiteral("file"), Native(path)},
                           {QStringLiteral("kind"), kind.isEmpty() ? QJsonValue() : QJsonValue(kind)},
                           {QStringLiteral("size"), bytes.size()},
                           {QStringLiteral("well_formed"), problem.isEmpty()}};
        for (const TField &field : std::as_const(fields))
            object.insert(field.Name, field.Value);
        if (!problem.isEmpty())
            object.insert(QStringLiteral("problem"), problem);
        out << QJsonDocument(object).toJson(QJsonDocument::Indented);
    } else {
        out << "file: " << Native(path) << '\n';
        if (!kind.isEmpty())
            out << "kind: " << kind << ", " << bytes.size() << " bytes\n";
        for (const TField &field : std::as_const(fields))
            out << QString(field.Name).replace(u'_', u' ') << ": " << field.Shown << '\n';
    }
    if (!problem.isEmpty())
        return cli.Fail(QStringLiteral("%1 is not well formed: %2").arg(Native(path), problem));
    return Exit_Ok;
}

namespace {

int TCli::Check(const QString &configDir)
{
    if (!QFileInfo(configDir).isDir())
        return Fail(QStringLiteral("%1 is not a directory").arg(Native(configDir)));
    Load_Default_Language();
    const TSend_Verdict verdict = Send_Verdict_Of_File(ParGen_Path(configDir));
    Out << (verdict.May_Send() ? QStringLiteral("OK") : verdict.Reason) << '\n';
    return verdict.May_Send() ? Exit_Ok : Exit_Failed;
}

// What a translator should look at: the warnings, then how many shown entries the file leaves in English.
void TCli::Report_Language_Check(const QString &path)
{
    try {
        const TLanguage_Check check = Check_Language_File(path);
        for (const QString &warning : check.Warnings)
            Out << "warning: " << Escaped_Controls(warning) << '\n';
        Out << check.Left_In_English << " of " << check.Shown_Entries
            << " shown entries with letters are left in English";
        if (!check.English_Left.isEmpty()) {
            QStringList indexes;
            for (int index : check.English_Left)
                indexes << QString::number(index);
            Out << ": " << indexes.join(u' ');
        }
        Out << '\n';
    } catch (const EQuillon_Error &error) {
        Fail(error.Text());
    }
}

int TCli::Texts(const QString &path, bool report)
{
    Load_Default_Language();
    // Texts from a file may hold control characters: shown escaped, never sent raw to the terminal.
    const auto shown = [](const QString &text) { return Escaped_Controls(text); };
    if (!path.isEmpty()) {
        if (!QFileInfo(path).isFile())
            return Fail(QStringLiteral("%1 is not a file").arg(Native(path)));
        try {
            // The report goes out line by line as the loader reads them.
            TLanguage_Line_Sink print;
            if (report)
                print = [this, &shown](const TLanguage_Line_Report &line) {
                    Out << "line " << line.Line_Number << ": ";
                    if (line.Index >= 0)
                        Out << "entry " << line.Index << " := \"" << shown(line.Value) << "\"\n";
                    else
                        Out << "ignored, " << shown(line.Reason) << ": " << shown(line.Line) << '\n';
                };
            Read_Language_File_Lines(path, print);
        } catch (const EQuillon_Error &error) {
            return Fail(error.Text());
        }
    }
    if (report) {
        Report_Language_Check(path);
        return Exit_Ok;
    }
    for (int i = 0; i < Language_Table.size(); ++i)
        Out << i << '\t' << shown(Language_Table[i]) << '\n';
    return Exit_Ok;
}

int TCli::Ports()
{
    for (const TSerial_Port &port : List_COM_Ports())
        Out << port.Name << '\n';
    return Exit_Ok;
}

// ---- update ----

// A port named as quillon-cli ports lists it, or by its location.
TSerial_Port Chosen_Port(const QString &port, const QList<TSerial_Port> &listed)
{
    TSerial_Port chosen{port, QString(), QString(), QString(), QString()};
    for (const TSerial_Port &one : listed) {
        if (one.Name == port || one.Location == port)
            chosen = one;
    }
    if (chosen.Location.isEmpty()) {
#ifdef Q_OS_WIN
        chosen.Name = port.startsWith(QStringLiteral("\\\\.\\")) ? port.mid(4) : port;
        chosen.Location = QStringLiteral("\\\\.\\") + chosen.Name;
#else
        chosen.Location = port.startsWith(u'/') ? port : QStringLiteral("/dev/") + port;
#endif
    }
    return chosen;
}

int TCli::Update(const QString &configDir, const QString &port, const QString &ip, int option, bool readBack)
{
    // The workspace is the directory that holds PROJECTS: MASTER, the updaters and Ethernet_Update.xml are there.
    const QFileInfo conf(Config_Of_Workspace(Workspace, configDir));
    if (!conf.isDir())
        return Fail(QStringLiteral("%1 is not a directory").arg(Native(configDir)));
    const QDir projects = QFileInfo(conf.absoluteFilePath()).dir();
    if (projects.dirName() != QStringLiteral("PROJECTS"))
        return Fail(QStringLiteral("%1 is not a configuration of a workspace (WORKSPACE/PROJECTS/NAME)")
                        .arg(Native(configDir)));
    QDir workspace = projects;
    workspace.cdUp();
    if (!Workspace.isEmpty() && workspace.canonicalPath() != QDir(Workspace).canonicalPath())
        return Fail(QStringLiteral("%1 is not a configuration of the workspace %2").arg(Native(configDir), Workspace));
    Set_Workspace_Paths(workspace.absolutePath());
    Conf_Name = conf.fileName();
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    Set_Files();

    // Everything that can refuse the command is checked before a file is written or an updater started.
    QString parts[4];
    if (!ip.isEmpty() && !Split_IP_Address(ip, parts[0], parts[1], parts[2], parts[3]))
        return Fail(QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(ip));
    TSerial_Port chosen;
    if (!port.isEmpty()) {
        const QList<TSerial_Port> listed = List_COM_Ports();
        chosen = Chosen_Port(port, listed);
        QString problem = Serial_Port_Absence(chosen.Location, listed);
        if (problem.isEmpty())
            problem = Port_Permission_Problem(chosen.Location);
        if (!problem.isEmpty())
            return Fail(problem);
    }
    int formType = 0;
    TSend_Verdict verdict;
    try {
        Load_Default_Language();
        formType = Make_Config_Data(ParGen_File, &verdict);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    // The device type decides the way, as it decides the form of the update dialog.
    if (!ip.isEmpty() && formType != 1)
        return Fail(QStringLiteral("the configuration's device has no Ethernet port (Device_Type_Type is not 1): "
                                   "update it with --port"));
    if (!port.isEmpty() && formType == 1)
        return Fail(QStringLiteral("the configuration's device is updated over Ethernet (Device_Type_Type is 1): "
                                   "update it with --ip"));
    const QString refusal = Update_Refusal(verdict, option, formType == 1, Master_Dir);
    if (!refusal.isEmpty())
        return Fail(refusal);
    try {
        Write_Config_Files(Conf_Dir);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    Out << Native(Bank_File_Path(Conf_Dir)) << ": " << Param_Buffer_Length << " bytes\n";
    Out << Native(BankK_File_Path(Conf_Dir)) << ": " << Bank_Buffer_Length << " bytes\n";
    Out.flush();
    TUpdate_Record record;
    record.Option = option;
    record.Read_Back = readBack;
    if (ip.isEmpty()) {
        const TPlatform_Form form = Native_Form();
        record.Arguments =
            Serial_Update_Arguments(form, form == TPlatform_Form::Windows ? chosen.Name : chosen.Location, option,
                                    readBack, Master_Dir, Conf_Dir);
        return Run_Updater_Of(Serial_Updater_Base, record);
    }
    return Update_Ethernet(parts, option, readBack, record);
}

int TCli::Update_Ethernet(const QString (&parts)[4], int option, bool readBack, TUpdate_Record &record)
{
    const QString host = QStringList{parts[0], parts[1], parts[2], parts[3]}.join(u'.');
    Out << "echo check of " << host << " ...\n";
    Out.flush();
    TIcmp_Echo_Client client;
    TEcho_Check check(&client);
    if (!Run_Echo_Check(check, host)) {
        if (check.ping_res == 2)
            return Fail(QStringLiteral("%1 (%2 attempts unanswered)").arg(Lang(1036)).arg(check.Attempts));
        return Fail(Lang(1037) + (check.Failure.isEmpty() ? QString() : QStringLiteral(": ") + check.Failure));
    }
    Out << "echo check: " << check.Replies << " replies from " << host << '\n';
    TXml_Document xml;
    try {
        Write_Ethernet_Update(xml, parts, option, readBack, Program_Dir, Master_Dir, Conf_Dir);
    } catch (const EQuillon_Error &error) {
        return Fail(error.Text());
    }
    Out << "written: " << Native(Join_Path(Program_Dir, Ethernet_Update_File_Name)) << '\n';
    record.Ethernet_Address = host;
    return Run_Updater_Of(Ethernet_Updater_Base, record);
}

int TCli::Run_Updater_Of(const QString &base, TUpdate_Record &record)
{
    const QString program = Find_Updater(base);
    record.Program = program;
    Out << "running: " << Native(program);
    for (const QString &argument : std::as_const(record.Arguments))
        Out << ' ' << argument;
    Out << '\n';
    Out.flush();
    TUpdater_Run run;
    Begin_Update_Record(run, record, Conf_Dir);
    // The updater's output reaches its file; what it adds there is shown here as it comes.
    QFile output(run.Output_File);
    QStringDecoder decoder(QStringConverter::Utf8);
    QTimer echo;
    const auto show = [&] {
        if (output.isOpen()) {
            Out << decoder.decode(output.readAll());
            Out.flush();
        }
    };
    if (!run.Output_File.isEmpty() && output.open(QIODevice::ReadOnly)) {
        QObject::connect(&echo, &QTimer::timeout, &echo, show);
        echo.start(100);
    }
    const bool started = Run_Updater(run, program, record.Arguments, Native_Form(), Program_Dir);
    echo.stop();
    show();
    output.close();
    try {
        Finish_Update_Record(run, record, Conf_Dir);
    } catch (const EQuillon_Error &error) {
        Fail(QStringLiteral("the run could not be recorded in update.log: %1").arg(error.Text()));
        if (started && run.End == TRun_End::Exited)
            Out << base << " ended with exit code " << run.Exit_Code << '\n';
        return Exit_Failed;
    }
    if (!started)
        return Fail(run.Error_Text);
    switch (run.End) {
    case TRun_End::Exited:
        Out << base << " ended with exit code " << run.Exit_Code << '\n';
        return run.Exit_Code;
    case TRun_End::Crashed:
        return Fail(QStringLiteral("%1 ended abnormally").arg(base));
    case TRun_End::Limit_Reached:
        return Fail(QStringLiteral("%1 did not end within %2 s; it goes on running (process %3)")
                        .arg(base)
                        .arg(Updater_Wait_Limit_Ms / 1000)
                        .arg(run.Process_Id));
    case TRun_End::Not_Started:
        break;
    }
    return Fail(run.Error_Text);
}

} // namespace

int Run_Cli(const QStringList &arguments, QTextStream &out, QTextStream &err)
{
    TCli cli{out, err};
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Quillon %1, the configurator's companion for scripts and translators.\n\n")
            .arg(Program_Version) +
        QLatin1String(Commands_Help));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Print the program's version and the workspace in use."));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("inspect: print one JSON object; diff: print a JSON array."));
    const QCommandLineOption force(QStringLiteral("force"), QStringLiteral("import: replace an existing ParGen.xml."));
    const QCommandLineOption raw(QStringLiteral("raw"), QStringLiteral("diff: compare ParGen.xml texts as written."));
    const QCommandLineOption provisionUpdate(QStringLiteral("update"),
                                             QStringLiteral("provision: update each new configuration."));
    const QCommandLineOption keepGoing(QStringLiteral("keep-going"),
                                       QStringLiteral("provision --update: go on after a failed update."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("texts: tell what the loader did with each line of FILE.lng."));
    const QCommandLineOption port(QStringLiteral("port"), QStringLiteral("update: the serial port."),
                                  QStringLiteral("PORT"));
    const QCommandLineOption ip(QStringLiteral("ip"), QStringLiteral("update: the device's IPv4 address."),
                                QStringLiteral("ADDRESS"));
    const QCommandLineOption option(
        QStringLiteral("option"), QStringLiteral("update: 0 firmware and configuration, 1 firmware, 2 configuration."),
        QStringLiteral("0|1|2"), QStringLiteral("0"));
    const QCommandLineOption noReadBack(QStringLiteral("no-read-back"),
                                        QStringLiteral("update: do not read firmware and configuration back."));
    const QCommandLineOption workspace(
        Workspace_Option,
        QStringLiteral("The workspace (MASTER, PROJECTS, the updaters): update takes CONFIG_DIR from its PROJECTS, "
                       "by path or by name. Without it, update uses the workspace that holds CONFIG_DIR."),
        QStringLiteral("DIR"));
    parser.addOptions(
        {help, version, json, report, port, ip, option, noReadBack, workspace, force, raw, provisionUpdate, keepGoing});
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("build, inspect, check, verify, texts, ports, update, import, diff or provision."));
    parser.addPositionalArgument(QStringLiteral("argument"), QStringLiteral("The command's file or directory."),
                                 QStringLiteral("[argument]"));

    if (!parser.parse(arguments))
        return cli.Usage(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText();
        return Exit_Ok;
    }
    if (parser.isSet(workspace) && parser.value(workspace).isEmpty())
        return cli.Usage(QStringLiteral("--workspace needs a directory"));
    cli.Workspace = parser.isSet(workspace) ? Locate_Workspace(parser.value(workspace), QString()).Dir : QString();
    if (parser.isSet(version)) {
        // The workspace the program would use, as its about box names it; control characters in a name given on
        // the command line are shown escaped, never sent raw to the terminal.
        out << Program_Version << '\n';
        out << "workspace: "
            << Escaped_Controls(
                   Locate_Workspace(parser.value(workspace), QCoreApplication::applicationDirPath()).Dir)
            << '\n';
        return Exit_Ok;
    }
    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        return cli.Usage(QStringLiteral("a command is missing"));
    const QString command = args.first();
    const QStringList rest = args.mid(1);

    struct TCommand
    {
        const char *Name;
        int Min_Args;
        int Max_Args;
        const char *Argument;
    };
    static const TCommand commands[] = {
        {"build", 1, 1, "CONFIG_DIR"},  {"inspect", 1, 1, "FILE"},   {"check", 1, 1, "CONFIG_DIR"},
        {"verify", 1, 1, "CONFIG_DIR"}, {"texts", 0, 1, "FILE.lng"}, {"ports", 0, 0, ""},
        {"update", 1, 1, "CONFIG_DIR"}, {"import", 2, 3, "BANKK_FILE [BANK_FILE] CONFIG_DIR"},
        {"diff", 2, 2, "A B"},          {"provision", 2, 2, "TEMPLATE_DIR TABLE.csv"},
    };
    const TCommand *found = nullptr;
    for (const TCommand &c : commands) {
        if (command == QLatin1String(c.Name))
            found = &c;
    }
    if (!found)
        return cli.Usage(QStringLiteral("unknown command '%1'").arg(command));
    if (rest.size() < found->Min_Args)
        return cli.Usage(QStringLiteral("%1 needs %2").arg(command, QLatin1String(found->Argument)));
    if (rest.size() > found->Max_Args)
        return cli.Usage(QStringLiteral("too many arguments for %1").arg(command));
    if (parser.isSet(json) && command != u"inspect" && command != u"diff")
        return cli.Usage(QStringLiteral("--json goes with inspect and diff"));
    if (parser.isSet(force) && command != u"import")
        return cli.Usage(QStringLiteral("--force goes with import"));
    if (parser.isSet(raw) && command != u"diff")
        return cli.Usage(QStringLiteral("--raw goes with diff"));
    if ((parser.isSet(provisionUpdate) || parser.isSet(keepGoing)) && command != u"provision")
        return cli.Usage(QStringLiteral("--update and --keep-going go with provision"));
    if (parser.isSet(keepGoing) && !parser.isSet(provisionUpdate))
        return cli.Usage(QStringLiteral("--keep-going goes with provision --update"));
    if (parser.isSet(report) && (command != u"texts" || rest.isEmpty()))
        return cli.Usage(QStringLiteral("--report goes with texts FILE.lng"));

    const bool updateOptions =
        parser.isSet(port) || parser.isSet(ip) || parser.isSet(option) || parser.isSet(noReadBack);
    const bool provisioning = command == u"provision" && parser.isSet(provisionUpdate);
    if (provisioning && (parser.isSet(port) || parser.isSet(ip)))
        return cli.Usage(QStringLiteral("provision --update takes each address from the table's port or ip column"));
    if (updateOptions && command != u"update" && !provisioning)
        return cli.Usage(QStringLiteral("--port, --ip, --option and --no-read-back go with update"));
    if (command == u"update" && parser.isSet(port) == parser.isSet(ip))
        return cli.Usage(QStringLiteral("update needs either --port or --ip"));
    const QString optionText = parser.value(option);
    if (optionText != u"0" && optionText != u"1" && optionText != u"2")
        return cli.Usage(QStringLiteral("--option is 0, 1 or 2"));

    const QString argument = rest.value(0);
    if (command == u"build")
        return cli.Build(argument);
    if (command == u"inspect")
        return cli.Inspect(argument, parser.isSet(json));
    if (command == u"check")
        return cli.Check(argument);
    if (command == u"verify")
        return cli.Verify(argument);
    if (command == u"texts")
        return cli.Texts(argument, parser.isSet(report));
    if (command == u"update")
        return cli.Update(argument, parser.value(port), parser.value(ip), optionText.toInt(),
                          !parser.isSet(noReadBack));
    if (command == u"import")
        return Cli_Import(rest.first(), rest.size() == 3 ? rest[1] : QString(), rest.last(), parser.isSet(force), out,
                          err);
    if (command == u"diff")
        return Cli_Diff(rest[0], rest[1], parser.isSet(raw), parser.isSet(json), out, err);
    if (command == u"provision")
        return Cli_Provision(rest[0], rest[1],
                             {parser.isSet(provisionUpdate), parser.isSet(keepGoing), optionText,
                              !parser.isSet(noReadBack)},
                             out, err);
    return cli.Ports();
}

int First_Non_Utf8_Argument(int argc, const char *const argv[])
{
    for (int i = 1; i < argc; ++i) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        // The decoder works when its result is taken.
        const QString decoded = utf8.decode(QByteArrayView(argv[i]));
        if (utf8.hasError())
            return i;
    }
    return -1;
}
