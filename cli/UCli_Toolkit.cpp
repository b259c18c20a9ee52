#include "UCli_Toolkit.h"

#include "UAtomic_File.h"
#include "UCli.h"
#include "UComon.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "URegular_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cstring>
#include <iterator>
#include <optional>

namespace {

enum TExit
{
    Exit_Ok = 0,
    Exit_Failed = 1,
    Exit_Usage = 2
};

// Far above any table of converters a plant keeps.
constexpr qint64 Table_File_Limit = 64 * 1024 * 1024;

QString Native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

int Fail(QTextStream &err, const QString &message, int code = Exit_Failed)
{
    err << "quillon-cli: " << message << '\n';
    return code;
}

TConfig_Bank Bank_Of(const QByteArray &bytes)
{
    TConfig_Bank bank;
    std::memcpy(&bank, bytes.constData(), sizeof bank);
    return bank;
}

QString Checksum_Problem(const QByteArray &bankK)
{
    const TConfig_Bank bank = Bank_Of(bankK);
    const uint32_t computed = Bank_Checksum(reinterpret_cast<const uint8_t *>(&bank));
    return computed == bank.Checksum
               ? QString()
               : QStringLiteral("bad checksum: stored %1, computed %2").arg(bank.Checksum).arg(computed);
}

bool Has_Gateway(const TConfig_Bank &b)
{
    return !(b.Eth_Gateway[0] == 255 && b.Eth_Gateway[1] == 255 && b.Eth_Gateway[2] == 255 &&
             b.Eth_Gateway[3] == 255);
}

QString Baud_Value(uint32_t rate)
{
    for (int i = 0; i < int(std::size(Baud_Rates)); ++i) {
        if (Baud_Rates[i] == rate)
            return QString::number(i);
    }
    return QStringLiteral("rate %1").arg(rate);
}

QString Bit(bool on)
{
    return on ? QStringLiteral("1") : QStringLiteral("0");
}

// Bytes of bankK.bin that a ParGen.xml key sets in a and b (and the checksum, which follows from the rest).
// Port 1's serial channel counts where either image uses it: when the interface differs, the Port_1_Port
// field tells why both channels changed.
QList<bool> Key_Covered_Bytes(const TConfig_Bank &a, const TConfig_Bank &b)
{
    QList<bool> covered(Config_Bank_Size, false);
    const auto cover = [&covered](size_t offset, size_t size) {
        for (size_t i = 0; i < size; ++i)
            covered[qsizetype(offset + i)] = true;
    };
    const auto channel1 = [](const TConfig_Bank &bank) {
        return (bank.Port_Flags & Flag_Port_1_RS485) ? Channel_Port_1_RS485 : Channel_Port_1_RS232;
    };
    cover(offsetof(TConfig_Bank, Eth_IP), 12);
    for (const int channel : {Channel_Port_0, channel1(a), channel1(b)}) {
        cover(offsetof(TConfig_Bank, Ser_Baud) + 4 * channel, 4);
        cover(offsetof(TConfig_Bank, Ser_Parity) + channel, 1);
    }
    cover(offsetof(TConfig_Bank, Port_Flags), 1);
    cover(offsetof(TConfig_Bank, Dev_ID_Port_0), 2);
    cover(offsetof(TConfig_Bank, Offset_Registers), 4);
    cover(offsetof(TConfig_Bank, Checksum), 4);
    return covered;
}

// The byte differences of two images that no key accounts for, each as a field.
QList<TKey_Value> Uncovered_Differences(const QByteArray &a, const QByteArray &b, QList<TKey_Value> *bValues)
{
    const QList<bool> covered = Key_Covered_Bytes(Bank_Of(a), Bank_Of(b));
    QList<TKey_Value> aValues;
    for (int i = 0; i < Config_Bank_Size; ++i) {
        if (!covered[i] && a[i] != b[i]) {
            const QString name = QStringLiteral("bankK.bin byte 0x%1").arg(i, 3, 16, QLatin1Char('0'));
            aValues.append({name, QString::number(uint8_t(a[i]))});
            bValues->append({name, QString::number(uint8_t(b[i]))});
        }
    }
    return aValues;
}

QString Value_Of(const QList<TKey_Value> &values, const QString &key)
{
    for (const TKey_Value &value : values) {
        if (value.Key == key)
            return value.Value;
    }
    return QString();
}

bool Holds(const QList<TKey_Value> &values, const QString &key)
{
    for (const TKey_Value &value : values) {
        if (value.Key == key)
            return true;
    }
    return false;
}

// The value as a person reads it: a baud-rate index with its rate.
QString Shown(const QString &key, const QString &value)
{
    if (value.isNull())
        return QStringLiteral("(none)");
    if (key.endsWith(QLatin1String("_Baud"))) {
        int index = -1;
        if (Try_Str_To_Int(value, index) && index >= 0 && index < int(std::size(Baud_Rates)))
            return QStringLiteral("%1 (%2 bit/s)").arg(value).arg(Baud_Rates[index]);
        if (value.startsWith(QLatin1String("rate ")))
            return value.mid(5) + QStringLiteral(" bit/s (no entry of the list)");
    }
    return value;
}

struct TDifference
{
    QString Field;
    QString A;
    QString B;
};

// Field by field, in the order of a then of the fields only b holds. With common only, a field one side does
// not hold is passed over.
QList<TDifference> Differences(const QList<TKey_Value> &a, const QList<TKey_Value> &b, bool common)
{
    QList<TDifference> found;
    QStringList fields;
    for (const TKey_Value &value : a)
        fields << value.Key;
    for (const TKey_Value &value : b) {
        if (!fields.contains(value.Key))
            fields << value.Key;
    }
    for (const QString &field : std::as_const(fields)) {
        if (common && !(Holds(a, field) && Holds(b, field)))
            continue;
        const QString va = Value_Of(a, field);
        const QString vb = Value_Of(b, field);
        if (va != vb || va.isNull() != vb.isNull())
            found.append({field, Shown(field, va), Shown(field, vb)});
    }
    return found;
}

} // namespace

QList<TKey_Value> Image_Key_Values(const QByteArray &bank, const QByteArray &bankK)
{
    QList<TKey_Value> values;
    QHash<QString, QString> fromBank;
    if (bank.size() == Param_Block_Size) {
        const auto byte = [&bank](int offset) { return QString::number(uint8_t(bank[offset])); };
        const auto word = [&bank](int offset) {
            return QString::number(uint8_t(bank[offset]) | uint8_t(bank[offset + 1]) << 8);
        };
        fromBank = {{QStringLiteral("Port_0_Baud"), byte(4)},       {QStringLiteral("Port_0_Par"), byte(5)},
                    {QStringLiteral("Port_0_DevID"), byte(6)},      {QStringLiteral("Port_1_Port"), byte(7)},
                    {QStringLiteral("Port_1_Baud"), byte(8)},       {QStringLiteral("Port_1_Par"), byte(9)},
                    {QStringLiteral("Port_1_DevID"), byte(10)},     {QStringLiteral("Opt_Off_Reg"), word(11)},
                    {QStringLiteral("Opt_Off_Status"), word(13)},   {QStringLiteral("Port_0_BroadCast"), byte(15)},
                    {QStringLiteral("Port_1_BroadCast"), byte(16)}};
    }
    QHash<QString, QString> fromImage;
    if (bankK.size() == Config_Bank_Size) {
        const TConfig_Bank b = Bank_Of(bankK);
        const bool rs485 = b.Port_Flags & Flag_Port_1_RS485;
        const int channel1 = rs485 ? Channel_Port_1_RS485 : Channel_Port_1_RS232;
        fromImage = {
            {QStringLiteral("Port_0_Baud"), Baud_Value(b.Ser_Baud[Channel_Port_0])},
            {QStringLiteral("Port_0_Par"), QString::number(b.Ser_Parity[Channel_Port_0])},
            {QStringLiteral("Port_0_DevID"), QString::number(b.Dev_ID_Port_0)},
            {QStringLiteral("Port_0_BroadCast"), Bit(b.Port_Flags & Flag_Broadcast_Port_0)},
            {QStringLiteral("Port_1_Port"), Bit(rs485)},
            {QStringLiteral("Port_1_Baud"), Baud_Value(b.Ser_Baud[channel1])},
            {QStringLiteral("Port_1_Par"), QString::number(b.Ser_Parity[channel1])},
            {QStringLiteral("Port_1_DevID"), QString::number(b.Dev_ID_Port_1)},
            {QStringLiteral("Port_1_BroadCast"), Bit(b.Port_Flags & Flag_Broadcast_Port_1)},
            {QStringLiteral("Opt_Off_Reg"), QString::number(b.Offset_Registers)},
            {QStringLiteral("Opt_Off_Status"), QString::number(b.Offset_Status)},
            {QStringLiteral("Ethernet_EN_GAT"), Bit(Has_Gateway(b))},
        };
        for (int i = 0; i < 4; ++i) {
            fromImage.insert(Octet_Key("IP", i), QString::number(b.Eth_IP[i]));
            fromImage.insert(Octet_Key("SM", i), QString::number(b.Eth_Mask[i]));
            if (Has_Gateway(b))
                fromImage.insert(Octet_Key("GAT", i), QString::number(b.Eth_Gateway[i]));
        }
    }
    for (const QString &key : ParGen_Keys) {
        const bool inBank = fromBank.contains(key);
        const bool inImage = fromImage.contains(key);
        if (inBank && inImage && fromBank[key] != fromImage[key])
            // The pair disagrees on the key: both halves are shown.
            values.append({key, QStringLiteral("%1 (bank.bin: %2)").arg(fromImage[key], fromBank[key])});
        else if (inImage)
            values.append({key, fromImage[key]});
        else if (inBank)
            values.append({key, fromBank[key]});
    }
    return values;
}

// ---- CSV ----

TCsv_Table Parse_Csv_Table(const QByteArray &input)
{
    QByteArray bytes = input;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError()) {
        // Name the line: a table saved in another encoding shows itself at its first accented letter.
        const QList<QByteArray> lines = bytes.split('\n');
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QStringDecoder line(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = line.decode(lines[i]);
            if (line.hasError())
                throw EQuillon_Error(
                    QStringLiteral("line %1 is not UTF-8 text: save the table as CSV in UTF-8").arg(i + 1));
        }
        throw EQuillon_Error(QStringLiteral("the table is not UTF-8 text: save it as CSV in UTF-8"));
    }

    TCsv_Table table;
    // The separator is the first comma or semicolon of the header outside quotes.
    table.Separator = u',';
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        else if (!quoted && (c == u',' || c == u';')) {
            table.Separator = c;
            break;
        } else if (!quoted && (c == u'\n' || c == u'\r'))
            break;
    }

    QList<QStringList> records;
    QList<int> numbers;
    QStringList record;
    QString cell;
    int row = 1;
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool cellQuoted = false;
    bool afterQuote = false;
    const auto endRecord = [&] {
        record << cell;
        cell.clear();
        records << record;
        numbers << row;
        record.clear();
        cellQuoted = false;
        afterQuote = false;
        ++row;
    };
    while (i < n) {
        const QChar c = text[i];
        if (cellQuoted) {
            if (c == u'"') {
                if (i + 1 < n && text[i + 1] == u'"') {
                    cell += u'"';
                    i += 2;
                    continue;
                }
                cellQuoted = false;
                afterQuote = true;
            } else {
                cell += c;
            }
            ++i;
            continue;
        }
        if (c == table.Separator) {
            record << cell;
            cell.clear();
            afterQuote = false;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            endRecord();
        } else if (afterQuote) {
            throw EQuillon_Error(QStringLiteral("row %1: text after the closing quote of a cell").arg(row));
        } else if (c == u'"') {
            if (!cell.isEmpty())
                throw EQuillon_Error(
                    QStringLiteral("row %1: a quote inside a cell that does not begin with one").arg(row));
            cellQuoted = true;
        } else {
            cell += c;
        }
        ++i;
    }
    if (cellQuoted)
        throw EQuillon_Error(QStringLiteral("row %1: a quoted cell is not closed").arg(row));
    if (!cell.isEmpty() || !record.isEmpty() || afterQuote)
        endRecord();

    for (qsizetype r = 0; r < records.size(); ++r) {
        bool empty = true;
        for (const QString &value : std::as_const(records[r]))
            empty = empty && value.isEmpty();
        if (empty)
            continue;
        if (table.Header.isEmpty() && table.Rows.isEmpty() && numbers[r] == 1) {
            table.Header = records[r];
            continue;
        }
        table.Rows << records[r];
        table.Row_Numbers << numbers[r];
    }
    if (table.Header.isEmpty())
        throw EQuillon_Error(QStringLiteral("row 1: the header is missing (name, then ParGen.xml keys)"));
    return table;
}

// ---- import ----

int Cli_Import(const QString &bankKFile, const QString &bankFile, const QString &configDir, bool force,
               QTextStream &out, QTextStream &err)
{
    Load_Default_Language();
    QByteArray bankK;
    QByteArray bank;
    try {
        bankK = Read_Regular_File(bankKFile, Config_Bank_Size);
        if (!bankFile.isEmpty())
            bank = Read_Regular_File(bankFile, Param_Block_Size);
    } catch (const EQuillon_Error &error) {
        return Fail(err, error.Text());
    }
    if (bankK.size() != Config_Bank_Size)
        return Fail(err, QStringLiteral("%1 is no bankK.bin: %2 bytes, a bankK.bin has %3")
                             .arg(Native(bankKFile))
                             .arg(bankK.size())
                             .arg(Config_Bank_Size));
    if (const QString problem = Checksum_Problem(bankK); !problem.isEmpty())
        return Fail(err, QStringLiteral("%1 is damaged (%2): nothing was imported").arg(Native(bankKFile), problem));
    if (!bankFile.isEmpty()) {
        if (bank.size() == Param_Header_Size)
            return Fail(err, QStringLiteral("%1 holds no parameters: it was built from a configuration without "
                                            "ParGen.xml, which no ParGen.xml can build again")
                                 .arg(Native(bankFile)));
        if (bank.size() != Param_Block_Size || uint8_t(bank[0]) != Param_Header_Size || bank[1] || bank[2] || bank[3])
            return Fail(err, QStringLiteral("%1 is no bank.bin: a bank.bin has 17 bytes and the header 4")
                                 .arg(Native(bankFile)));
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
                     .arg(QStringList{f.Ethernet_GAT[0], f.Ethernet_GAT[1], f.Ethernet_GAT[2], f.Ethernet_GAT[3]}
                              .join(u'.'));

    // What build would write from that file, against what was given.
    TXml_Document xml;
    Build_ParGen(xml, f);
    QByteArray rebuiltBankK;
    QByteArray rebuiltBank;
    try {
        Make_Config_Data_Bytes(xml.To_Bytes());
        rebuiltBankK = Bank_Image_Bytes();
        rebuiltBank = Param_Block_Bytes();
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
        for (const TDifference &difference :
             Differences(block, Image_Key_Values(rebuiltBank, QByteArray()), false))
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
        if (QFileInfo(parGenPath).exists() && !force)
            return Fail(err, QStringLiteral("%1 exists: --force replaces it").arg(Native(parGenPath)));
    } else {
        const QString name = dirInfo.fileName();
        if (!Is_Plain_Directory_Name(name))
            return Fail(err, QStringLiteral("\"%1\": %2").arg(name, Lang(105)));
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
    const TSend_Verdict verdict = Send_Verdict(&xml);
    if (!verdict.May_Send())
        err << "quillon-cli: warning: this configuration must not be sent to a device: " << verdict.Reason << '\n';
    if (identical) {
        out << "build gives " << (bank.isEmpty() ? "bankK.bin" : "bank.bin and bankK.bin")
            << " back byte for byte\n";
        return Exit_Ok;
    }
    for (const TDifference &difference : std::as_const(differences))
        err << "quillon-cli: " << difference.Field << ": the image holds " << difference.A << ", build writes "
            << difference.B << '\n';
    return Fail(err, QStringLiteral("build will not give the same bytes back"));
}

// ---- diff ----

namespace {

// One side of a comparison: a configuration (both images built, its device type, its texts) or one image.
struct TSide
{
    QString Name;
    bool Config = false;
    QByteArray Bank;  // 17 or 4 bytes, or empty
    QByteArray BankK; // 2048 bytes, or empty
    QString Device_Type;
    QList<TKey_Value> Texts; // as written, for --raw
};

std::optional<TSide> Read_Side(const QString &path, bool raw, QTextStream &err)
{
    TSide side;
    side.Name = path;
    const QFileInfo info(path);
    try {
        if (info.isDir()) {
            side.Config = true;
            const QString parGen = Join_Path(path, ParGen_File_Name);
            TXml_Document xml;
            const bool exists = Load_ParGen_File(xml, parGen);
            if (!exists)
                err << "quillon-cli: no " << ParGen_File_Name << " in " << Native(path)
                    << ": the defaults were used\n";
            if (raw) {
                const TParGen_Reader reader(xml.Root());
                for (const QString &key : ParGen_Keys) {
                    const QString text = reader.Text(key);
                    side.Texts.append({key, !(exists && reader.Has(key)) ? QStringLiteral("(missing)")
                                            : text.isNull()              ? QStringLiteral("")
                                                                         : text});
                }
                return side;
            }
            Make_Config_Data(parGen);
            side.Bank = Param_Block_Bytes();
            side.BankK = Bank_Image_Bytes();
            side.Device_Type =
                Bit(exists && TParGen_Reader(xml.Root()).Flag(QStringLiteral("Device_Type_Type")));
            return side;
        }
        if (!info.exists())
            throw EQuillon_Error(QStringLiteral("%1 does not exist").arg(Native(path)));
        const QByteArray bytes = Read_Regular_File(path, Config_Bank_Size);
        if (bytes.size() == Config_Bank_Size) {
            if (const QString problem = Checksum_Problem(bytes); !problem.isEmpty())
                throw EQuillon_Error(QStringLiteral("%1 is damaged: %2").arg(Native(path), problem));
            side.BankK = bytes;
        } else if ((bytes.size() == Param_Block_Size || bytes.size() == Param_Header_Size) &&
                   uint8_t(bytes[0]) == Param_Header_Size && !bytes[1] && !bytes[2] && !bytes[3]) {
            side.Bank = bytes;
        } else {
            throw EQuillon_Error(
                QStringLiteral("%1 is neither a configuration directory nor a bank.bin or bankK.bin").arg(Native(path)));
        }
    } catch (const EQuillon_Error &error) {
        err << "quillon-cli: " << error.Text() << '\n';
        return std::nullopt;
    }
    return side;
}

// A side's fields for the images named; a configuration adds its device type.
QList<TKey_Value> Side_Fields(const TSide &side, bool bank, bool bankK)
{
    QList<TKey_Value> fields;
    if (side.Config)
        fields.append({QStringLiteral("Device_Type_Type"), side.Device_Type});
    fields += Image_Key_Values(bank ? side.Bank : QByteArray(), bankK ? side.BankK : QByteArray());
    if (bank && !side.Bank.isEmpty())
        fields.append({QStringLiteral("bank.bin parameters"), side.Bank.size() == Param_Block_Size
                                                                  ? QStringLiteral("present")
                                                                  : QStringLiteral("none (header only)")});
    return fields;
}

} // namespace

int Cli_Diff(const QString &a, const QString &b, bool raw, bool json, QTextStream &out, QTextStream &err)
{
    const std::optional<TSide> left = Read_Side(a, raw, err);
    const std::optional<TSide> right = Read_Side(b, raw, err);
    if (!left || !right)
        return Exit_Usage;
    QList<TDifference> differences;
    if (raw) {
        if (!left->Config || !right->Config)
            return Fail(err, QStringLiteral("--raw compares two configuration directories (see quillon-cli --help)"),
                        Exit_Usage);
        differences = Differences(left->Texts, right->Texts, false);
    } else {
        // Like is compared with like: a configuration meets an image through the image of that kind it builds.
        const bool bank = !left->Bank.isEmpty() && !right->Bank.isEmpty();
        const bool bankK = !left->BankK.isEmpty() && !right->BankK.isEmpty();
        QList<TKey_Value> fa;
        QList<TKey_Value> fb;
        bool common = false;
        if (bank || bankK) {
            fa = Side_Fields(*left, bank, bankK);
            fb = Side_Fields(*right, bank, bankK);
            if (left->Config != right->Config) {
                fa.removeIf([](const TKey_Value &v) { return v.Key == u"Device_Type_Type"; });
                fb.removeIf([](const TKey_Value &v) { return v.Key == u"Device_Type_Type"; });
            }
        } else {
            // A bank.bin against a bankK.bin: the keys both hold.
            fa = Side_Fields(*left, true, true);
            fb = Side_Fields(*right, true, true);
            common = true;
        }
        if (bankK) {
            QList<TKey_Value> rightBytes;
            fa += Uncovered_Differences(left->BankK, right->BankK, &rightBytes);
            fb += rightBytes;
        }
        differences = Differences(fa, fb, common);
    }
    if (json) {
        QJsonArray array;
        for (const TDifference &difference : std::as_const(differences))
            array.append(QJsonObject{{QStringLiteral("field"), difference.Field},
                                     {QStringLiteral("a"), difference.A},
                                     {QStringLiteral("b"), difference.B}});
        out << QJsonDocument(array).toJson(QJsonDocument::Indented);
    } else {
        for (const TDifference &difference : std::as_const(differences))
            out << difference.Field << ": " << difference.A << " -> " << difference.B << '\n';
    }
    return differences.isEmpty() ? Exit_Ok : Exit_Failed;
}

// ---- provision ----

namespace {

void Set_Key_Text(TXml_Document &xml, const QString &key, const QString &text)
{
    QDomElement root = xml.Root();
    QDomElement element = Find_Child(root, key);
    if (element.isNull()) {
        Add_Child(root, key, text);
        return;
    }
    while (element.hasChildNodes())
        element.removeChild(element.firstChild());
    if (!text.isEmpty())
        element.appendChild(root.ownerDocument().createTextNode(text));
}

struct TProvision_Row
{
    int Number;
    QString Name;
    QString Dir;
    TParGen_Fields Fields;
    bool Ethernet = false;
    QString Address; // the port or ip cell
};

bool Same_Name(const QString &a, const QString &b)
{
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

} // namespace

int Cli_Provision(const QString &templateDir, const QString &tableFile, const TProvision_Options &options,
                  QTextStream &out, QTextStream &err)
{
    Load_Default_Language();
    if (!QFileInfo(templateDir).isDir())
        return Fail(err, QStringLiteral("%1 is not a directory").arg(Native(templateDir)));
    const QString templateParGen = Join_Path(templateDir, ParGen_File_Name);
    const TSend_Verdict templateVerdict = Send_Verdict_Of_File(templateParGen);
    if (!templateVerdict.May_Send())
        return Fail(err, QStringLiteral("the template %1 cannot be used: %2")
                             .arg(Native(templateDir), templateVerdict.Reason));
    // Beside the template, named as the template was given.
    const QString projects = QDir::cleanPath(templateDir + QStringLiteral("/.."));
    QByteArray templateBytes;
    TCsv_Table table;
    try {
        templateBytes = Read_Regular_File(templateParGen, Xml_File_Limit);
        table = Parse_Csv_Table(Read_Regular_File(tableFile, Table_File_Limit));
    } catch (const EQuillon_Error &error) {
        return Fail(err, QStringLiteral("%1: %2").arg(Native(tableFile), error.Text()));
    }

    QStringList problems;
    const auto problem = [&](int row, const QString &column, const QString &reason) {
        problems << QStringLiteral("row %1, column %2: %3").arg(row).arg(column, reason);
    };
    // The header: name, then ParGen.xml keys (and the address of each device for --update).
    const QString portColumn = QStringLiteral("port");
    const QString ipColumn = QStringLiteral("ip");
    if (table.Header.value(0) != u"name")
        problem(1, QStringLiteral("1"), QStringLiteral("the first column must be \"name\", not \"%1\"").arg(table.Header.value(0)));
    for (qsizetype c = 1; c < table.Header.size(); ++c) {
        const QString &column = table.Header[c];
        if (!ParGen_Keys.contains(column) && column != portColumn && column != ipColumn)
            problem(1, QStringLiteral("%1 (%2)").arg(c + 1).arg(column),
                    QStringLiteral("\"%1\" is no ParGen.xml key (nor port or ip)").arg(column));
        else if (table.Header.indexOf(column) != c)
            problem(1, column, QStringLiteral("the column is there twice"));
    }
    if (!problems.isEmpty()) {
        for (const QString &line : std::as_const(problems))
            err << "quillon-cli: " << Native(tableFile) << ": " << line << '\n';
        return Fail(err, QStringLiteral("nothing was created"));
    }
    if (table.Rows.isEmpty())
        return Fail(err, QStringLiteral("%1: the table has no rows").arg(Native(tableFile)));

    // Every row is checked before the first directory is made.
    QList<TProvision_Row> rows;
    QList<QPair<QString, int>> names;
    for (qsizetype r = 0; r < table.Rows.size(); ++r) {
        const QStringList &cells = table.Rows[r];
        const int number = table.Row_Numbers[r];
        if (cells.size() != table.Header.size()) {
            problem(number, QStringLiteral("-"),
                    QStringLiteral("%1 cells, the header has %2").arg(cells.size()).arg(table.Header.size()));
            continue;
        }
        TProvision_Row row{number, cells[0], Join_Path(projects, cells[0]), {}, false, {}};
        const QString nameColumn = QStringLiteral("name");
        if (row.Name.isEmpty()) {
            problem(number, nameColumn, Lang(107));
            continue;
        }
        if (!Is_Plain_Directory_Name(row.Name)) {
            problem(number, nameColumn, QStringLiteral("\"%1\": %2").arg(row.Name, Lang(105)));
            continue;
        }
        if (QFileInfo(row.Dir).exists() || QFileInfo(row.Dir).isSymLink()) {
            problem(number, nameColumn, QStringLiteral("\"%1\": %2").arg(row.Name, Lang(106)));
            continue;
        }
        bool duplicate = false;
        for (const auto &[earlierName, earlierNumber] : std::as_const(names)) {
            if (Same_Name(earlierName, row.Name)) {
                problem(number, nameColumn,
                        QStringLiteral("\"%1\" is already the name of row %2").arg(row.Name).arg(earlierNumber));
                duplicate = true;
                break;
            }
        }
        names.append({row.Name, number});
        if (duplicate)
            continue;

        // The template's texts, overridden by the row's cells; an empty cell keeps the template's value.
        TXml_Document xml;
        xml.Load_Bytes(templateBytes, Native(templateParGen));
        for (qsizetype c = 1; c < cells.size(); ++c) {
            if (ParGen_Keys.contains(table.Header[c]) && !cells[c].isEmpty())
                Set_Key_Text(xml, table.Header[c], cells[c]);
            if (table.Header[c] == portColumn || table.Header[c] == ipColumn)
                row.Address = row.Address.isEmpty() ? cells[c] : row.Address;
        }
        const TSend_Verdict verdict = Send_Verdict(&xml);
        if (!verdict.May_Send()) {
            const qsizetype at = table.Header.indexOf(verdict.Key);
            const QString column = verdict.Key.isEmpty()            ? QStringLiteral("-")
                                   : at > 0 && !cells[at].isEmpty() ? verdict.Key
                                                                   : verdict.Key + QStringLiteral(" (the template's value)");
            problem(number, column, verdict.Reason);
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
            problem(number, QStringLiteral("-"), error.Text());
            continue;
        }
        if (options.Update) {
            const QString wanted = row.Ethernet ? ipColumn : portColumn;
            const int at = table.Header.indexOf(wanted);
            row.Address = at < 0 ? QString() : cells[at];
            QString parts[4];
            if (row.Address.isEmpty()) {
                problem(number, wanted,
                        row.Ethernet ? QStringLiteral("the device is updated over Ethernet: --update needs its address")
                                     : QStringLiteral("the device is updated over a serial port: --update needs it"));
                continue;
            }
            if (row.Ethernet && !Split_IP_Address(row.Address, parts[0], parts[1], parts[2], parts[3])) {
                problem(number, wanted, QStringLiteral("\"%1\" is not a dotted IPv4 address").arg(row.Address));
                continue;
            }
        }
        rows << row;
    }
    if (!problems.isEmpty()) {
        for (const QString &line : std::as_const(problems))
            err << "quillon-cli: " << Native(tableFile) << ": " << line << '\n';
        return Fail(err, QStringLiteral("nothing was created"));
    }

    // All or nothing: a failure while writing takes away every configuration this run made.
    QStringList made;
    try {
        for (const TProvision_Row &row : std::as_const(rows)) {
            if (!QDir().mkdir(row.Dir))
                throw EQuillon_Error(QStringLiteral("row %1: %2 cannot be created").arg(row.Number).arg(Native(row.Dir)));
            made << row.Dir;
            if (!QDir().mkdir(Join_Path(row.Dir, QStringLiteral("bin"))))
                throw EQuillon_Error(QStringLiteral("row %1: %2 cannot be created")
                                         .arg(row.Number)
                                         .arg(Native(Join_Path(row.Dir, QStringLiteral("bin")))));
            TXml_Document xml;
            const QString parGen = Join_Path(row.Dir, ParGen_File_Name);
            Save_ParGen(xml, row.Fields, parGen);
            // Built from what was written, read back.
            TSend_Verdict verdict;
            Make_Config_Data(parGen, &verdict);
            if (!verdict.May_Send())
                throw EQuillon_Error(QStringLiteral("row %1: %2 reads back as a configuration that must not be "
                                                    "sent: %3")
                                         .arg(row.Number)
                                         .arg(Native(parGen), verdict.Reason));
            Write_Config_Files(row.Dir);
        }
        Sync_Directory(projects);
    } catch (const EQuillon_Error &error) {
        for (const QString &dir : std::as_const(made))
            QDir(dir).removeRecursively();
        err << "quillon-cli: " << error.Text() << '\n';
        return Fail(err, QStringLiteral("nothing was created"));
    }
    for (const TProvision_Row &row : std::as_const(rows))
        out << Native(row.Dir) << ": ParGen.xml, bin/bank.bin, bin/bankK.bin\n";
    out << rows.size() << " configurations created\n";
    if (!options.Update)
        return Exit_Ok;

    // Each one through quillon-cli update itself, in table order.
    QStringList failed;
    for (qsizetype r = 0; r < rows.size(); ++r) {
        const TProvision_Row &row = rows[r];
        out << "row " << row.Number << ": update of " << row.Name << '\n';
        out.flush();
        QStringList arguments{QStringLiteral("quillon-cli"), QStringLiteral("update"), row.Dir,
                              row.Ethernet ? QStringLiteral("--ip") : QStringLiteral("--port"), row.Address,
                              QStringLiteral("--option"), options.Option};
        if (!options.Read_Back)
            arguments << QStringLiteral("--no-read-back");
        const int code = Run_Cli(arguments, out, err);
        out.flush();
        err.flush();
        if (code == 0)
            continue;
        failed << QStringLiteral("row %1 (%2): exit code %3").arg(row.Number).arg(row.Name).arg(code);
        if (!options.Keep_Going) {
            err << "quillon-cli: the update of row " << row.Number << " (" << row.Name << ") ended with exit code "
                << code << "; " << rows.size() - r - 1 << " rows after it were not updated\n";
            return Exit_Failed;
        }
    }
    if (failed.isEmpty())
        return Exit_Ok;
    for (const QString &line : std::as_const(failed))
        err << "quillon-cli: update failed: " << line << '\n';
    return Exit_Failed;
}
