#include "UCli.h"

#include "UComon.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cstring>

namespace {

const char *const Commands_Help = R"(Commands:
  build CONFIG_DIR     Build CONFIG_DIR/bin/bank.bin and bankK.bin from CONFIG_DIR/ParGen.xml,
                       exactly as the update step does, and print their sizes and the image's checksum.
  inspect FILE         Decode a bank.bin (4 or 17 bytes) or bankK.bin (2048 bytes) into named fields;
                       --json prints the same as one JSON object. Exit 1 when the file is not well formed.
  check CONFIG_DIR     Load CONFIG_DIR/ParGen.xml as the settings dialog does and apply its range rules:
                       prints OK or the message of the first failing rule (exit 0 or 1; 1 as well when
                       the file cannot be read, 2 when it is not well-formed XML).
  verify CONFIG_DIR    Exit 0 when CONFIG_DIR/bin/bank.bin and bankK.bin are exactly what build would
                       write now from ParGen.xml; else exit 1 naming each file that differs and how
                       (missing, wrong size, bad checksum, stale against ParGen.xml).
  texts [FILE.lng]     Print the 1200 texts of the language table (INDEX<TAB>TEXT), built-in English
                       with FILE.lng applied; --report prints what the loader did with each line instead.
  ports                List the serial ports the update dialog offers, one per line.

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

    // Builds both images from configDir/ParGen.xml, telling on err when there is none.
    bool Build_Data(const QString &configDir);

    int Build(const QString &configDir);
    int Inspect(const QString &file, bool json);
    int Check(const QString &configDir);
    int Verify(const QString &configDir);
    int Texts(const QString &file, bool report);
    int Ports();
};

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
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
        Make_Config_Data(ParGen_Path(configDir));
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
    if (!differences.isEmpty())
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
    const QString parGen = ParGen_Path(configDir);
    TParGen_Fields fields = No_File_Fields();
    if (QFileInfo::exists(parGen)) {
        // A file that cannot be read is a failed check; only XML that is not well formed exits 2.
        QByteArray bytes;
        try {
            bytes = Read_Regular_File(parGen, Xml_File_Limit);
        } catch (const EQuillon_Error &error) {
            return Fail(error.Text());
        }
        try {
            TXml_Document xml;
            xml.Load_Bytes(bytes, Native(parGen));
            fields = ParGen_Fields_From(xml);
        } catch (const EQuillon_Error &error) {
            Err << "quillon-cli: " << error.Text() << '\n';
            return Exit_Usage;
        }
    } else {
        Err << "quillon-cli: no " << ParGen_File_Name << " in " << Native(configDir) << ": the defaults were used\n";
    }
    Load_Default_Language();
    const int entry = Controllo_Dati_Failure(fields);
    Out << (entry == 0 ? QStringLiteral("OK") : Lang(entry)) << '\n';
    return entry == 0 ? Exit_Ok : Exit_Failed;
}

int TCli::Texts(const QString &path, bool report)
{
    Load_Default_Language();
    QList<TLanguage_Line_Report> lines;
    if (!path.isEmpty()) {
        if (!QFileInfo(path).isFile())
            return Fail(QStringLiteral("%1 is not a file").arg(Native(path)));
        try {
            Read_Language_File(path, report ? &lines : nullptr);
        } catch (const EQuillon_Error &error) {
            return Fail(error.Text());
        }
    }
    if (report) {
        for (const TLanguage_Line_Report &line : std::as_const(lines)) {
            Out << "line " << line.Line_Number << ": ";
            if (line.Index >= 0)
                Out << "entry " << line.Index << " := \"" << line.Value << "\"\n";
            else
                Out << "ignored, " << line.Reason << ": " << line.Line << '\n';
        }
        return Exit_Ok;
    }
    for (int i = 0; i < Language_Table.size(); ++i)
        Out << i << '\t' << Language_Table[i] << '\n';
    return Exit_Ok;
}

int TCli::Ports()
{
    for (const TSerial_Port &port : List_COM_Ports())
        Out << port.Name << '\n';
    return Exit_Ok;
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
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Print the program's version."));
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("inspect: print one JSON object."));
    const QCommandLineOption report(QStringLiteral("report"),
                                    QStringLiteral("texts: tell what the loader did with each line of FILE.lng."));
    parser.addOptions({help, version, json, report});
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("build, inspect, check, verify, texts or ports."));
    parser.addPositionalArgument(QStringLiteral("argument"), QStringLiteral("The command's file or directory."),
                                 QStringLiteral("[argument]"));

    if (!parser.parse(arguments))
        return cli.Usage(parser.errorText());
    if (parser.isSet(help)) {
        out << parser.helpText();
        return Exit_Ok;
    }
    if (parser.isSet(version)) {
        out << Program_Version << '\n';
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
    if (parser.isSet(json) && command != u"inspect")
        return cli.Usage(QStringLiteral("--json goes with inspect"));
    if (parser.isSet(report) && (command != u"texts" || rest.isEmpty()))
        return cli.Usage(QStringLiteral("--report goes with texts FILE.lng"));

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
