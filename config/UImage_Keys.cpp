#include "UImage_Keys.h"

#include "UParGen_File.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include <cstring>
#include <iterator>

namespace {

// ---- the fields of each image, read once for the keys and for inspect ----

// One port of a parameter block: its bytes as the builder writes them.
struct TParam_Port
{
    int Baud;
    int Parity;
    int Dev_ID;
    int Broadcast;
};

// A bank.bin: the header, then (in 17 bytes) the ParGen.xml numbers in file order.
struct TParam_Block
{
    uint32_t Header;
    TParam_Port Port_0;   // bytes 4, 5, 6 and 15
    int Port_1_Interface; // byte 7
    TParam_Port Port_1;   // bytes 8, 9, 10 and 16
    int Offset_Registers; // bytes 11 and 12
    int Offset_Status;    // bytes 13 and 14
};

// The header of 4 or 17 bytes; the rest only from 17.
TParam_Block Read_Param_Block(const QByteArray &bytes)
{
    const auto byte = [&bytes](int offset) { return int(uint8_t(bytes[offset])); };
    const auto word = [&byte](int offset) { return byte(offset) | byte(offset + 1) << 8; };
    TParam_Block block{};
    block.Header = uint32_t(byte(0)) | uint32_t(byte(1)) << 8 | uint32_t(byte(2)) << 16 | uint32_t(byte(3)) << 24;
    if (bytes.size() < Param_Block_Size)
        return block;
    block.Port_0 = {byte(4), byte(5), byte(6), byte(15)};
    block.Port_1_Interface = byte(7);
    block.Port_1 = {byte(8), byte(9), byte(10), byte(16)};
    block.Offset_Registers = word(11);
    block.Offset_Status = word(13);
    return block;
}

// What a bankK.bin's flags say: Port 1's interface and serial channel, the broadcast flags, the gateway.
struct TImage_Ports
{
    bool Port_1_RS485;
    int Port_1_Channel;
    bool Broadcast_Port_0;
    bool Broadcast_Port_1;
    bool Gateway;
};

TImage_Ports Ports_Of(const TConfig_Bank &b)
{
    const bool rs485 = b.Port_Flags & Flag_Port_1_RS485;
    return {rs485, rs485 ? Channel_Port_1_RS485 : Channel_Port_1_RS232, bool(b.Port_Flags & Flag_Broadcast_Port_0),
            bool(b.Port_Flags & Flag_Broadcast_Port_1), Has_Gateway(b)};
}

uint32_t Computed_Checksum(const TConfig_Bank &b)
{
    return Bank_Checksum(reinterpret_cast<const uint8_t *>(&b));
}

// ---- as ParGen.xml keys ----

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

QHash<QString, QString> Param_Block_Keys(const QByteArray &bank)
{
    const TParam_Block p = Read_Param_Block(bank);
    const auto text = [](int value) { return QString::number(value); };
    return {{QStringLiteral("Port_0_Baud"), text(p.Port_0.Baud)},
            {QStringLiteral("Port_0_Par"), text(p.Port_0.Parity)},
            {QStringLiteral("Port_0_DevID"), text(p.Port_0.Dev_ID)},
            {QStringLiteral("Port_1_Port"), text(p.Port_1_Interface)},
            {QStringLiteral("Port_1_Baud"), text(p.Port_1.Baud)},
            {QStringLiteral("Port_1_Par"), text(p.Port_1.Parity)},
            {QStringLiteral("Port_1_DevID"), text(p.Port_1.Dev_ID)},
            {QStringLiteral("Opt_Off_Reg"), text(p.Offset_Registers)},
            {QStringLiteral("Opt_Off_Status"), text(p.Offset_Status)},
            {QStringLiteral("Port_0_BroadCast"), text(p.Port_0.Broadcast)},
            {QStringLiteral("Port_1_BroadCast"), text(p.Port_1.Broadcast)}};
}

QHash<QString, QString> Bank_Image_Keys(const QByteArray &bankK)
{
    const TConfig_Bank b = Config_Bank_Of(bankK);
    const TImage_Ports ports = Ports_Of(b);
    QHash<QString, QString> keys{
        {QStringLiteral("Port_0_Baud"), Baud_Value(b.Ser_Baud[Channel_Port_0])},
        {QStringLiteral("Port_0_Par"), QString::number(b.Ser_Parity[Channel_Port_0])},
        {QStringLiteral("Port_0_DevID"), QString::number(b.Dev_ID_Port_0)},
        {QStringLiteral("Port_0_BroadCast"), Bit(ports.Broadcast_Port_0)},
        {QStringLiteral("Port_1_Port"), Bit(ports.Port_1_RS485)},
        {QStringLiteral("Port_1_Baud"), Baud_Value(b.Ser_Baud[ports.Port_1_Channel])},
        {QStringLiteral("Port_1_Par"), QString::number(b.Ser_Parity[ports.Port_1_Channel])},
        {QStringLiteral("Port_1_DevID"), QString::number(b.Dev_ID_Port_1)},
        {QStringLiteral("Port_1_BroadCast"), Bit(ports.Broadcast_Port_1)},
        {QStringLiteral("Opt_Off_Reg"), QString::number(b.Offset_Registers)},
        {QStringLiteral("Opt_Off_Status"), QString::number(b.Offset_Status)},
        {QStringLiteral("Ethernet_EN_GAT"), Bit(ports.Gateway)},
    };
    for (int i = 0; i < 4; ++i) {
        keys.insert(Octet_Key("IP", i), QString::number(b.Eth_IP[i]));
        keys.insert(Octet_Key("SM", i), QString::number(b.Eth_Mask[i]));
        if (ports.Gateway)
            keys.insert(Octet_Key("GAT", i), QString::number(b.Eth_Gateway[i]));
    }
    return keys;
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
    cover(offsetof(TConfig_Bank, Eth_IP), 12);
    for (const int channel : {Channel_Port_0, Ports_Of(a).Port_1_Channel, Ports_Of(b).Port_1_Channel}) {
        cover(offsetof(TConfig_Bank, Ser_Baud) + 4 * channel, 4);
        cover(offsetof(TConfig_Bank, Ser_Parity) + channel, 1);
    }
    cover(offsetof(TConfig_Bank, Port_Flags), 1);
    cover(offsetof(TConfig_Bank, Dev_ID_Port_0), 2);
    cover(offsetof(TConfig_Bank, Offset_Registers), 4);
    cover(offsetof(TConfig_Bank, Checksum), 4);
    return covered;
}

// ---- as inspect's fields ----

QString Parity_Name(int code)
{
    return code >= 0 && code < Parity_Items.size() ? Parity_Items[code] : QStringLiteral("unknown (%1)").arg(code);
}

QString Baud_Name(int index)
{
    return index >= 0 && index < Baud_Rate_Items.size() ? Baud_Rate_Items[index] + QStringLiteral(" bit/s")
                                                        : QStringLiteral("not in the list");
}

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

QJsonObject Param_Port_Json(const TParam_Port &p)
{
    return QJsonObject{{QStringLiteral("baud_index"), p.Baud},
                       {QStringLiteral("baud_rate"),
                        p.Baud < int(std::size(Baud_Rates)) ? QJsonValue(qint64(Baud_Rates[p.Baud])) : QJsonValue()},
                       {QStringLiteral("parity"), Parity_Name(p.Parity)},
                       {QStringLiteral("device_id"), p.Dev_ID},
                       {QStringLiteral("broadcast"), p.Broadcast}};
}

QString Param_Port_Text(const TParam_Port &p)
{
    return QStringLiteral("baud index %1 (%2), parity %3 (%4), device ID %5, broadcast %6")
        .arg(p.Baud)
        .arg(Baud_Name(p.Baud))
        .arg(p.Parity)
        .arg(Parity_Name(p.Parity))
        .arg(p.Dev_ID)
        .arg(p.Broadcast);
}

} // namespace

TConfig_Bank Config_Bank_Of(const QByteArray &bankK)
{
    TConfig_Bank bank;
    std::memcpy(&bank, bankK.constData(), sizeof bank);
    return bank;
}

bool Has_Gateway(const TConfig_Bank &b)
{
    return !(b.Eth_Gateway[0] == 255 && b.Eth_Gateway[1] == 255 && b.Eth_Gateway[2] == 255 && b.Eth_Gateway[3] == 255);
}

QString Checksum_Problem(const QByteArray &bankK)
{
    const TConfig_Bank bank = Config_Bank_Of(bankK);
    const uint32_t computed = Computed_Checksum(bank);
    return computed == bank.Checksum
               ? QString()
               : QStringLiteral("bad checksum: stored %1, computed %2").arg(bank.Checksum).arg(computed);
}

QList<TKey_Value> Image_Key_Values(const QByteArray &bank, const QByteArray &bankK)
{
    const QHash<QString, QString> fromBank =
        bank.size() == Param_Block_Size ? Param_Block_Keys(bank) : QHash<QString, QString>();
    const QHash<QString, QString> fromImage =
        bankK.size() == Config_Bank_Size ? Bank_Image_Keys(bankK) : QHash<QString, QString>();
    QList<TKey_Value> values;
    for (const QString &key : ParGen_Keys) {
        const bool inBank = fromBank.contains(key);
        const bool inImage = fromImage.contains(key);
        if (inBank && inImage && fromBank[key] != fromImage[key])
            // The pair disagrees on the key: both halves are kept.
            values.append({key, fromImage[key], fromBank[key]});
        else if (inImage)
            values.append({key, fromImage[key]});
        else if (inBank)
            values.append({key, fromBank[key]});
    }
    return values;
}

QList<TKey_Value> Uncovered_Differences(const QByteArray &a, const QByteArray &b, QList<TKey_Value> *bValues)
{
    const QList<bool> covered = Key_Covered_Bytes(Config_Bank_Of(a), Config_Bank_Of(b));
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

QList<TImage_Field> Bank_Image_Fields(const QByteArray &bankK, QString &problem)
{
    const TConfig_Bank b = Config_Bank_Of(bankK);
    const TImage_Ports ports = Ports_Of(b);
    const int channel1 = ports.Port_1_Channel;
    const uint32_t computed = Computed_Checksum(b);
    if (computed != b.Checksum)
        problem = QStringLiteral("checksum mismatch: stored %1, computed %2").arg(b.Checksum).arg(computed);
    const auto onOff = [](bool on) { return on ? QStringLiteral("on") : QStringLiteral("off"); };
    const QString interface1 = ports.Port_1_RS485 ? QStringLiteral("RS485") : QStringLiteral("RS232");
    QStringList flagNames;
    if (ports.Port_1_RS485)
        flagNames << QStringLiteral("Port 1 on RS485");
    if (ports.Broadcast_Port_0)
        flagNames << QStringLiteral("broadcast on Port 0");
    if (ports.Broadcast_Port_1)
        flagNames << QStringLiteral("broadcast on Port 1");

    QJsonObject port0 = Channel_Json(b, Channel_Port_0);
    port0.insert(QStringLiteral("device_id"), b.Dev_ID_Port_0);
    port0.insert(QStringLiteral("broadcast"), ports.Broadcast_Port_0);
    QJsonObject port1 = Channel_Json(b, channel1);
    port1.insert(QStringLiteral("interface"), interface1);
    port1.insert(QStringLiteral("device_id"), b.Dev_ID_Port_1);
    port1.insert(QStringLiteral("broadcast"), ports.Broadcast_Port_1);

    return {
        {QStringLiteral("ethernet_address"), Dotted(b.Eth_IP), Dotted(b.Eth_IP)},
        {QStringLiteral("subnet_mask"), Dotted(b.Eth_Mask), Dotted(b.Eth_Mask)},
        {QStringLiteral("gateway"), ports.Gateway ? QJsonValue(Dotted(b.Eth_Gateway)) : QJsonValue(),
         ports.Gateway ? Dotted(b.Eth_Gateway) : QStringLiteral("none (255.255.255.255)")},
        {QStringLiteral("network_ports"), QJsonArray{b.Net_Port_0, b.Net_Port_1, b.Net_Port_2},
         QStringLiteral("%1, %2, %3").arg(b.Net_Port_0).arg(b.Net_Port_1).arg(b.Net_Port_2)},
        {QStringLiteral("port_0"), port0,
         QStringLiteral("RS485, %1, device ID %2, broadcast %3")
             .arg(Channel_Text(b, Channel_Port_0))
             .arg(b.Dev_ID_Port_0)
             .arg(onOff(ports.Broadcast_Port_0))},
        {QStringLiteral("port_1"), port1,
         QStringLiteral("%1, %2, device ID %3, broadcast %4")
             .arg(interface1, Channel_Text(b, channel1))
             .arg(b.Dev_ID_Port_1)
             .arg(onOff(ports.Broadcast_Port_1))},
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

QList<TImage_Field> Param_Block_Fields(const QByteArray &bank, QString &problem)
{
    const TParam_Block p = Read_Param_Block(bank);
    QList<TImage_Field> fields{{QStringLiteral("header"), qint64(p.Header), QString::number(p.Header)}};
    if (p.Header != uint32_t(Param_Header_Size))
        problem = QStringLiteral("header is %1, not 4").arg(p.Header);
    if (bank.size() == Param_Header_Size) {
        fields.append(
            {QStringLiteral("parameters"), QJsonValue(), QStringLiteral("none (the configuration had no ParGen.xml)")});
        return fields;
    }
    QJsonObject port1 = Param_Port_Json(p.Port_1);
    const QString interface1 = p.Port_1_Interface == 0   ? QStringLiteral("RS232")
                               : p.Port_1_Interface == 1 ? QStringLiteral("RS485")
                                                         : QStringLiteral("unknown (%1)").arg(p.Port_1_Interface);
    port1.insert(QStringLiteral("interface"), interface1);
    fields.append({QStringLiteral("port_0"), Param_Port_Json(p.Port_0), Param_Port_Text(p.Port_0)});
    fields.append({QStringLiteral("port_1"), port1, interface1 + QStringLiteral(", ") + Param_Port_Text(p.Port_1)});
    fields.append({QStringLiteral("offset_registers"), p.Offset_Registers, QString::number(p.Offset_Registers)});
    fields.append({QStringLiteral("offset_status"), p.Offset_Status, QString::number(p.Offset_Status)});
    return fields;
}

QString Dotted(const uint8_t *octets)
{
    return QStringLiteral("%1.%2.%3.%4").arg(octets[0]).arg(octets[1]).arg(octets[2]).arg(octets[3]);
}

QString Device_Ethernet_Address(const TConfig_Images &images)
{
    return images.Device_Type == 1 ? Dotted(images.Bank.Eth_IP) : QString();
}
