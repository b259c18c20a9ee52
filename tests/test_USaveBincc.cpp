#include "UAtomic_File.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UFull_Disk.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "UXml_Document.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#ifdef Q_OS_LINUX
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// A ParGen.xml as the settings dialog writes it for a new configuration, with some keys replaced.
QByteArray ParGen_Xml(const QHash<QString, QString> &changes = {}, const QStringList &dropped = {})
{
    TXml_Document xml;
    Build_ParGen(xml, No_File_Fields());
    QDomElement root = xml.Root();
    for (auto it = changes.cbegin(); it != changes.cend(); ++it) {
        QDomElement e = Find_Child(root, it.key());
        while (e.hasChildNodes())
            e.removeChild(e.firstChild());
        if (!it.value().isEmpty())
            e.appendChild(e.ownerDocument().createTextNode(it.value()));
    }
    for (const QString &key : dropped)
        root.removeChild(Find_Child(root, key));
    return xml.To_Bytes();
}

// The record the builder's steps work on, the buffer it is appended to, the last images built and the
// writer's seams.
TConfig_Bank Config_Bank;
uint8_t Bank_Buffer[Buffer_Capacity];
TConfig_Images Built;
TConfig_Write_Seams Seams;

void Take(const TConfig_Images &images)
{
    Built = images;
    Config_Bank = images.Bank;
    std::memcpy(Bank_Buffer, images.Bank_Image.constData(), size_t(images.Bank_Image.size()));
}

void Take_Image(const QByteArray &image)
{
    QCOMPARE(image.size(), Config_Bank_Size);
    std::memcpy(&Config_Bank, image.constData(), sizeof Config_Bank);
}

QByteArray Buffer_Image()
{
    return QByteArray(reinterpret_cast<const char *>(Bank_Buffer), Config_Bank_Size);
}

const uint8_t *Bank_Bytes()
{
    return reinterpret_cast<const uint8_t *>(&Config_Bank);
}

QByteArray Read_File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

void Write_File(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

uint32_t U32(const uint8_t *p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

} // namespace

class Test_USaveBincc : public QObject
{
    Q_OBJECT

private slots:
    void Defaults_seal_with_checksum_3458();
    void Checksum_is_a_plain_byte_sum();
    void Append_bank_copies_exactly_2048_bytes_at_the_position();
    void No_parameter_file_gives_the_header_and_the_default_image();
    void New_configuration_gives_the_worked_files();
    void Port_1_uses_channel_2_on_rs485_and_channel_3_on_rs232_data();
    void Port_1_uses_channel_2_on_rs485_and_channel_3_on_rs232();
    void Keys_load_with_their_readers_rules_data();
    void Keys_load_with_their_readers_rules();
    void Baud_index_outside_the_list_takes_the_default_rate();
    void Gateway_only_with_the_gateway_enabled();
    void Every_build_starts_from_the_defaults();
    void Device_type_data();
    void Device_type();
    void Write_creates_bin_and_two_builds_are_identical();
    void A_malformed_file_builds_nothing();
    void A_failed_write_changes_neither_file();
    void A_full_disk_changes_neither_file();
    void Both_images_are_on_disk_before_either_replaces_data();
    void Both_images_are_on_disk_before_either_replaces();
    void A_rollback_that_fails_is_reported();
    void An_old_bank_bin_that_is_no_plain_file_data();
    void An_old_bank_bin_that_is_no_plain_file();
    void The_rest_of_bin_stays_and_stale_temporaries_go_data();
    void The_rest_of_bin_stays_and_stale_temporaries_go();
    void Bin_that_cannot_be_created_gives_the_reason();
    void A_kill_at_any_moment_never_tears_the_pair();
    void A_configuration_that_no_longer_exists_gets_nothing();
    void Nothing_is_written_through_a_linked_bin_or_configuration_data();
    void Nothing_is_written_through_a_linked_bin_or_configuration();
    void The_parameter_file_is_read_once();
    void Differences_from_what_build_writes_data();
    void Differences_from_what_build_writes();

private:
    // A configuration Line2 with a ParGen.xml and an old pair of files.
    QString Make_Configuration(QTemporaryDir &dir);
};

const QByteArray Old_Bank = "old block";
const QByteArray Old_BankK = QByteArray(2048, 'k');

QString Test_USaveBincc::Make_Configuration(QTemporaryDir &dir)
{
    const QString conf = dir.filePath(QStringLiteral("Line2"));
    if (!QDir().mkpath(Join_Path(conf, QStringLiteral("bin"))))
        return QString();
    Write_File(Join_Path(conf, QStringLiteral("ParGen.xml")), ParGen_Xml({{"Port_0_DevID", "7"}}));
    Write_File(Bank_File_Path(conf), Old_Bank);
    Write_File(BankK_File_Path(conf), Old_BankK);
    return conf;
}

void Test_USaveBincc::Defaults_seal_with_checksum_3458()
{
    Init_Bank(Config_Bank);
    const uint8_t *b = Bank_Bytes();
    // Only the fixed defaults are non-zero.
    QList<int> nonZero;
    for (int i = 0; i < Config_Bank_Size; ++i) {
        if (b[i])
            nonZero << i;
    }
    QList<int> expected{0x000, 0x001, 0x002, 0x004, 0x005, 0x006, 0x00C, 0x00D};
    for (int i = 0x028; i <= 0x033; ++i) {
        if (i != 0x02F)
            expected << i;
    }
    for (int i = 0x034; i <= 0x039; ++i)
        expected << i;
    for (int i = 0x1B4; i <= 0x1BB; ++i)
        expected << i;
    QCOMPARE(nonZero, expected);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(b), 8), QByteArray("\x90\xD0\x03\x00\x90\xD0\x03\x00", 8));

    QCOMPARE(Append_Bank(Config_Bank, 0, Bank_Buffer), 2048);
    QCOMPARE(Config_Bank.Checksum, 3458u);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(Bank_Buffer) + 0x7FC, 4), QByteArray("\x82\x0D\x00\x00", 4));
}

void Test_USaveBincc::Checksum_is_a_plain_byte_sum()
{
    Init_Bank(Config_Bank);
    Config_Bank.Checksum = 0xDEADBEEF; // the old value takes no part in the sum
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    const uint32_t base = Config_Bank.Checksum;
    QCOMPARE(base, 3458u);

    Config_Bank.Reserved_6F0[0x7F8 - 0x6F0] = 1; // the reserved word just before the checksum counts
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    QCOMPARE(Config_Bank.Checksum, base + 1);

    std::swap(Config_Bank.Eth_IP[0], Config_Bank.Eth_IP[3]);
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    QCOMPARE(Config_Bank.Checksum, base + 1);

    std::memset(&Config_Bank, 0xFF, sizeof Config_Bank); // the largest sum does not wrap
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    QCOMPARE(Config_Bank.Checksum, 2044u * 255u);
}

void Test_USaveBincc::Append_bank_copies_exactly_2048_bytes_at_the_position()
{
    static uint8_t buffer[3 * Config_Bank_Size];
    std::memset(buffer, 0xAA, sizeof buffer);
    Init_Bank(Config_Bank);
    QCOMPARE(Append_Bank(Config_Bank, 100, buffer), 2148);
    QCOMPARE(buffer[99], uint8_t(0xAA));
    QCOMPARE(std::memcmp(buffer + 100, Bank_Bytes(), Config_Bank_Size), 0);
    QCOMPARE(buffer[2148], uint8_t(0xAA));
}

void Test_USaveBincc::No_parameter_file_gives_the_header_and_the_default_image()
{
    QTemporaryDir dir;
    Take(Make_Config_Data(dir.filePath(QStringLiteral("ParGen.xml"))));
    QCOMPARE(Built.Param_Block, QByteArray("\x04\x00\x00\x00", 4));
    QCOMPARE(Built.Bank_Image.size(), 2048);
    QCOMPARE(Config_Bank.Checksum, 3458u);
    QCOMPARE(Config_Bank.Ser_Baud[0], 0u);
    QCOMPARE(Config_Bank.Dev_ID_Port_0, uint8_t(0));
}

void Test_USaveBincc::New_configuration_gives_the_worked_files()
{
    Built.Param_Block = Make_Param_Block_Bytes(ParGen_Xml());
    QCOMPARE(Built.Param_Block, QByteArray::fromHex("0400000007000101070001000000000000"));

    Init_Bank(Config_Bank);
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    const QByteArray defaults = Buffer_Image();
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, ParGen_Xml());
    Append_Bank(Config_Bank, 0, Bank_Buffer);
    const QByteArray image = Buffer_Image();

    QMap<int, uint8_t> differences;
    for (int i = 0; i < Config_Bank_Size; ++i) {
        if (image[i] != defaults[i])
            differences.insert(i, uint8_t(image[i]));
    }
    const QMap<int, uint8_t> expected{
        {0x02A, 0},    {0x02B, 10},   {0x190, 0x00}, {0x191, 0xC2}, {0x192, 0x01}, {0x198, 0x00}, {0x199, 0xC2},
        {0x19A, 0x01}, {0x53B, 0x01}, {0x6E4, 1},    {0x6E5, 1},    {0x7FC, 0x46}, {0x7FD, 0x0E},
    };
    // Bytes that equal the default on both sides (0x190 and 0x198 low bytes are 0) are no differences.
    QMap<int, uint8_t> expectedChanged;
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        if (uint8_t(defaults[it.key()]) != it.value())
            expectedChanged.insert(it.key(), it.value());
    }
    QCOMPARE(differences, expectedChanged);
    QCOMPARE(Config_Bank.Checksum, 3654u);
}

void Test_USaveBincc::Port_1_uses_channel_2_on_rs485_and_channel_3_on_rs232_data()
{
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("used");
    QTest::addColumn<int>("unused");
    QTest::addColumn<bool>("rs485Flag");
    QTest::newRow("RS485 on channel 2") << "1" << 2 << 3 << true;
    QTest::newRow("RS232 on channel 3") << "0" << 3 << 2 << false;
    QTest::newRow("missing key counts as RS232") << "" << 3 << 2 << false;
}

void Test_USaveBincc::Port_1_uses_channel_2_on_rs485_and_channel_3_on_rs232()
{
    QFETCH(QString, port);
    QFETCH(int, used);
    QFETCH(int, unused);
    QFETCH(bool, rs485Flag);
    const QHash<QString, QString> changes{{"Port_1_Baud", "3"}, {"Port_1_Par", "2"}, {"Port_1_Port", port}};
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, port.isEmpty() ? ParGen_Xml(changes, {"Port_1_Port"}) : ParGen_Xml(changes));
    QCOMPARE(Config_Bank.Ser_Baud[used], 9600u);
    QCOMPARE(Config_Bank.Ser_Parity[used], uint8_t(2));
    QCOMPARE(Config_Bank.Ser_Data_Bits[used], uint8_t(8));
    QCOMPARE(Config_Bank.Ser_Baud[unused], 0u);
    QCOMPARE(Config_Bank.Ser_Parity[unused], uint8_t(0));
    QCOMPARE(Config_Bank.Ser_Data_Bits[unused], uint8_t(8));
    QCOMPARE(bool(Config_Bank.Port_Flags & Flag_Port_1_RS485), rs485Flag);
    // The channels this product does not use keep their defaults.
    for (int channel : {1, 4, 5}) {
        QCOMPARE(Config_Bank.Ser_Baud[channel], 0u);
        QCOMPARE(Config_Bank.Ser_Data_Bits[channel], uint8_t(8));
    }
    QCOMPARE(Config_Bank.Ser_Data_Bits[6], uint8_t(8));
    QCOMPARE(Config_Bank.Ser_Data_Bits[7], uint8_t(8));
}

void Test_USaveBincc::Keys_load_with_their_readers_rules_data()
{
    // key, text in ParGen.xml, byte offset in bankK.bin, expected value there (width from the field),
    // bank.bin offset and its expected bytes (empty: not part of the block).
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("imageOffset");
    QTest::addColumn<QByteArray>("imageBytes");
    QTest::addColumn<int>("blockOffset");
    QTest::addColumn<QByteArray>("blockBytes");
    QTest::newRow("device ID with leading zeros")
        << "Port_0_DevID"
        << "007" << 0x6E4 << QByteArray("\x07", 1) << 6 << QByteArray("\x07", 1);
    QTest::newRow("device ID keeps its low byte")
        << "Port_1_DevID"
        << "300" << 0x6E5 << QByteArray("\x2C", 1) << 10 << QByteArray("\x2C", 1);
    QTest::newRow("device ID not a number takes 10")
        << "Port_0_DevID"
        << "abc" << 0x6E4 << QByteArray("\x0A", 1) << 6 << QByteArray("\x0A", 1);
    QTest::newRow("offset 1000") << "Opt_Off_Reg"
                                 << "1000" << 0x6EC << QByteArray("\xE8\x03", 2) << 11 << QByteArray("\xE8\x03", 2);
    QTest::newRow("offset 61535") << "Opt_Off_Status"
                                  << "61535" << 0x6EE << QByteArray("\x5F\xF0", 2) << 13 << QByteArray("\x5F\xF0", 2);
    QTest::newRow("offset keeps its low 16 bits")
        << "Opt_Off_Reg"
        << "70000" << 0x6EC << QByteArray("\x70\x11", 2) << 11 << QByteArray("\x70\x11", 2);
    QTest::newRow("hexadecimal offset") << "Opt_Off_Reg"
                                        << "$10" << 0x6EC << QByteArray("\x10\x00", 2) << 11
                                        << QByteArray("\x10\x00", 2);
    QTest::newRow("baud index 3 is 9600 in the image, 3 in the block")
        << "Port_0_Baud"
        << "3" << 0x190 << QByteArray("\x80\x25\x00\x00", 4) << 4 << QByteArray("\x03", 1);
    QTest::newRow("parity") << "Port_0_Par"
                            << "1" << 0x1A8 << QByteArray("\x01", 1) << 5 << QByteArray("\x01", 1);
    QTest::newRow("broadcast 1") << "Port_0_BroadCast"
                                 << "1" << 0x53B << QByteArray("\x03", 1) << 15 << QByteArray("\x01", 1);
    QTest::newRow("broadcast true is clear, and no number")
        << "Port_0_BroadCast"
        << "true" << 0x53B << QByteArray("\x01", 1) << 15 << QByteArray("\x00", 1);
    QTest::newRow("broadcast with a blank is clear, but the number 1")
        << "Port_0_BroadCast"
        << " 1" << 0x53B << QByteArray("\x01", 1) << 15 << QByteArray("\x01", 1);
    QTest::newRow("port 1 broadcast sets bit 2")
        << "Port_1_BroadCast"
        << "1" << 0x53B << QByteArray("\x05", 1) << 16 << QByteArray("\x01", 1);
    QTest::newRow("empty address byte takes its default") << "Ethernet_IP1"
                                                          << "" << 0x028 << QByteArray("\xC0", 1) << -1 << QByteArray();
    QTest::newRow("mask byte") << "Ethernet_SM4"
                               << "128" << 0x02F << QByteArray("\x80", 1) << -1 << QByteArray();
}

void Test_USaveBincc::Keys_load_with_their_readers_rules()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(int, imageOffset);
    QFETCH(QByteArray, imageBytes);
    QFETCH(int, blockOffset);
    QFETCH(QByteArray, blockBytes);
    const QByteArray xml = ParGen_Xml({{key, text}});
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, xml);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(Bank_Bytes()) + imageOffset, imageBytes.size()), imageBytes);
    Built.Param_Block = Make_Param_Block_Bytes(xml);
    QCOMPARE(Built.Param_Block.size(), Param_Block_Size);
    if (blockOffset >= 0)
        QCOMPARE(Built.Param_Block.mid(blockOffset, blockBytes.size()), blockBytes);
}

void Test_USaveBincc::Baud_index_outside_the_list_takes_the_default_rate()
{
    // A hand-edited index: the image gets 115200 for either port, the block keeps the raw index.
    const QByteArray xml = ParGen_Xml({{"Port_0_Baud", "9"}, {"Port_1_Baud", "-1"}});
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, xml);
    QCOMPARE(Config_Bank.Ser_Baud[0], 115200u);
    QCOMPARE(Config_Bank.Ser_Baud[2], 115200u);
    Built.Param_Block = Make_Param_Block_Bytes(xml);
    QCOMPARE(Built.Param_Block.mid(4, 1), QByteArray("\x09", 1));
    QCOMPARE(Built.Param_Block.mid(8, 1), QByteArray("\xFF", 1));
}

void Test_USaveBincc::Gateway_only_with_the_gateway_enabled()
{
    const QHash<QString, QString> gateway{
        {"Ethernet_GAT1", "10"}, {"Ethernet_GAT2", "0"}, {"Ethernet_GAT3", "0"}, {"Ethernet_GAT4", "1"}};
    QHash<QString, QString> off = gateway;
    off.insert("Ethernet_EN_GAT", "0");
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, ParGen_Xml(off));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(Config_Bank.Eth_Gateway), 4), QByteArray("\xFF\xFF\xFF\xFF"));

    QHash<QString, QString> on = gateway;
    on.insert("Ethernet_EN_GAT", "1");
    Init_Bank(Config_Bank);
    Load_Bank_Bytes(Config_Bank, ParGen_Xml(on));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(Config_Bank.Eth_Gateway), 4), QByteArray("\x0A\x00\x00\x01", 4));
}

void Test_USaveBincc::Every_build_starts_from_the_defaults()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    Write_File(path, ParGen_Xml({{"Port_1_Port", "1"}, {"Port_0_BroadCast", "1"}}));
    Take_Image(Make_Bank_Image(path));
    QCOMPARE(Config_Bank.Port_Flags, uint8_t(0x03));
    QVERIFY(Config_Bank.Ser_Baud[2] != 0);

    // Switching Port 1 to RS232 moves its rate to channel 3 and clears the flag: nothing is left over.
    Write_File(path, ParGen_Xml({{"Port_1_Port", "0"}}));
    Take(Make_Config_Data(path));
    QCOMPARE(Config_Bank.Port_Flags, uint8_t(0x00));
    QCOMPARE(U32(Bank_Buffer + 0x198), 0u);
    QCOMPARE(U32(Bank_Buffer + 0x19C), 115200u);
    QCOMPARE(Built.Param_Block.mid(7, 1), QByteArray("\x00", 1));
}

void Test_USaveBincc::Device_type_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<int>("type");
    QTest::newRow("1 is Ethernet") << ParGen_Xml({{"Device_Type_Type", "1"}}) << 1;
    QTest::newRow("0 is serial") << ParGen_Xml({{"Device_Type_Type", "0"}}) << 0;
    QTest::newRow("2 is serial") << ParGen_Xml({{"Device_Type_Type", "2"}}) << 0;
    QTest::newRow("blank before 1 is serial") << ParGen_Xml({{"Device_Type_Type", " 1"}}) << 0;
    QTest::newRow("empty is serial") << ParGen_Xml({{"Device_Type_Type", ""}}) << 0;
    QTest::newRow("missing key is serial") << ParGen_Xml({}, {"Device_Type_Type"}) << 0;
    QTest::newRow("a declaration ahead of the root does not hide the key")
        << QByteArray("<?xml version=\"1.0\"?>\n") + ParGen_Xml({{"Device_Type_Type", "1"}}) << 1;
    QTest::newRow("no file is serial") << QByteArray() << 0;
}

void Test_USaveBincc::Device_type()
{
    QFETCH(QByteArray, xml);
    QFETCH(int, type);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    if (!xml.isEmpty())
        Write_File(path, xml);
    QCOMPARE(Get_DevideType(path), type);
    // The update step takes it from the reading that builds the images.
    QCOMPARE(Make_Config_Data(path).Device_Type, type);
}

void Test_USaveBincc::Write_creates_bin_and_two_builds_are_identical()
{
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("Line2"));
    QVERIFY(QDir().mkpath(conf));
    Write_File(Join_Path(conf, QStringLiteral("ParGen.xml")), ParGen_Xml());
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    Write_Config_Files(conf, Built, Seams);
    const QByteArray bank = Read_File(Bank_File_Path(conf));
    const QByteArray bankK = Read_File(BankK_File_Path(conf));
    QCOMPARE(bank.size(), 17);
    QCOMPARE(bankK.size(), 2048);
    QVERIFY(Bank_File_Path(conf).endsWith(QDir::toNativeSeparators(QStringLiteral("/bin/bank.bin"))));

    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    Write_Config_Files(conf, Built, Seams);
    QCOMPARE(Read_File(Bank_File_Path(conf)), bank);
    QCOMPARE(Read_File(BankK_File_Path(conf)), bankK);
}

void Test_USaveBincc::A_malformed_file_builds_nothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    Write_File(path, "<Par_Gen><Port_0_Baud>3</Port_0_Baud>");
    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, Make_Config_Data(path));
    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, Get_DevideType(path));
}

void Test_USaveBincc::A_failed_write_changes_neither_file()
{
    QTemporaryDir dir;
    const QString conf = dir.path();
    QVERIFY(QDir().mkpath(Join_Path(conf, QStringLiteral("bin"))));
    Write_File(Bank_File_Path(conf), "old block");
    // bankK.bin cannot be replaced: a directory stands in its place.
    QVERIFY(QDir().mkdir(BankK_File_Path(conf)));
    Take(Make_Config_Data(dir.filePath(QStringLiteral("ParGen.xml"))));
    try {
        Write_Config_Files(conf, Built, Seams);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QStringLiteral("bankK.bin")), qPrintable(error.Text()));
    }
    QCOMPARE(Read_File(Bank_File_Path(conf)), QByteArray("old block"));
    QVERIFY(QFileInfo(BankK_File_Path(conf)).isDir());
    QCOMPARE(QDir(Join_Path(conf, QStringLiteral("bin"))).entryList(QDir::Files), QStringList{"bank.bin"});
}

void Test_USaveBincc::A_full_disk_changes_neither_file()
{
    TFull_Disk disk;
    if (const QString reason = disk.Mount(); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    const QString conf = disk.Path();
    QVERIFY(QDir().mkdir(Join_Path(conf, QStringLiteral("bin"))));
    Write_File(Bank_File_Path(conf), Old_Bank);
    Write_File(BankK_File_Path(conf), Old_BankK);
    QVERIFY(disk.Fill());
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    try {
        Write_Config_Files(conf, Built, Seams);
        QFAIL("a write to a full disk was reported as done");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QStringLiteral("No space left on device")), qPrintable(error.Text()));
    }
    QCOMPARE(Read_File(Bank_File_Path(conf)), Old_Bank);
    QCOMPARE(Read_File(BankK_File_Path(conf)), Old_BankK);
    QCOMPARE(QDir(Join_Path(conf, QStringLiteral("bin"))).entryList(QDir::Files),
             (QStringList{"bank.bin", "bankK.bin"}));
}

void Test_USaveBincc::Both_images_are_on_disk_before_either_replaces_data()
{
    QTest::addColumn<bool>("oldPair");
    QTest::newRow("an old pair is put back") << true;
    QTest::newRow("without an old pair the new bank.bin goes again") << false;
}

void Test_USaveBincc::Both_images_are_on_disk_before_either_replaces()
{
    QFETCH(bool, oldPair);
    QTemporaryDir dir;
    const QString conf = Make_Configuration(dir);
    QVERIFY(!conf.isEmpty());
    if (!oldPair) {
        QVERIFY(QFile::remove(Bank_File_Path(conf)));
        QVERIFY(QFile::remove(BankK_File_Path(conf)));
    }
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    const QByteArray newBank = Built.Param_Block;
    const QByteArray newBankK = Built.Bank_Image;

    // Where the files are replaced one by one, the moment a process could die between the two renames:
    // bank.bin is new, and bankK.bin's new contents already lie complete beside it. Then the second
    // replacement fails.
    Seams.Exchange_Dir = false;
    int staged = 0;
    QByteArray bankAtSeam;
    Seams.Between_Replacements = [&] {
        bankAtSeam = Read_File(Bank_File_Path(conf));
        const QDir bin(Join_Path(conf, QStringLiteral("bin")));
        for (const QString &name : bin.entryList(QDir::Files | QDir::Hidden)) {
            if (Is_Staged_Name(name, QStringLiteral("bankK.bin")) && Read_File(bin.filePath(name)) == newBankK)
                ++staged;
        }
        throw EQuillon_Error(QStringLiteral("bankK.bin: rename failed"));
    };
    const auto reset = qScopeGuard([] {
        Seams.Between_Replacements = nullptr;
        Seams.Exchange_Dir = true;
    });
    try {
        Write_Config_Files(conf, Built, Seams);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QCOMPARE(error.Text(), QStringLiteral("bankK.bin: rename failed"));
    }
    QCOMPARE(bankAtSeam, newBank);
#ifndef Q_OS_WIN
    QCOMPARE(staged, 1);
#endif
    // Neither file has changed.
    if (oldPair) {
        QCOMPARE(Read_File(Bank_File_Path(conf)), Old_Bank);
        QCOMPARE(Read_File(BankK_File_Path(conf)), Old_BankK);
    }
    QCOMPARE(QDir(Join_Path(conf, QStringLiteral("bin"))).entryList(QDir::Files | QDir::Hidden),
             (oldPair ? QStringList{"bank.bin", "bankK.bin"} : QStringList{}));
}

void Test_USaveBincc::A_rollback_that_fails_is_reported()
{
    QTemporaryDir dir;
    const QString conf = Make_Configuration(dir);
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    // The old bank.bin cannot be written back: a directory has taken its place.
    Seams.Exchange_Dir = false;
    Seams.Between_Replacements = [&] {
        QFile::remove(Bank_File_Path(conf));
        QDir().mkdir(Bank_File_Path(conf));
        throw EQuillon_Error(QStringLiteral("bankK.bin: rename failed"));
    };
    const auto reset = qScopeGuard([] {
        Seams.Between_Replacements = nullptr;
        Seams.Exchange_Dir = true;
    });
    try {
        Write_Config_Files(conf, Built, Seams);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().startsWith(QStringLiteral("bankK.bin: rename failed\n")) &&
                     error.Text().contains(QStringLiteral("could not be put back")),
                 qPrintable(error.Text()));
    }
    QCOMPARE(Read_File(BankK_File_Path(conf)), Old_BankK);
}

void Test_USaveBincc::An_old_bank_bin_that_is_no_plain_file_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("exchange");
    QTest::addColumn<QString>("refusal"); // empty: the new pair is written
    // Exchanged, the old bin/ goes whole: nothing needs to be read back from it.
#ifdef Q_OS_LINUX
    QTest::newRow("far too large, bin exchanged: replaced") << "huge" << true << "";
    QTest::newRow("a FIFO, bin exchanged: replaced") << "fifo" << true << "";
    QTest::newRow("a link, bin exchanged: the link replaced, its target untouched") << "link" << true << "";
    QTest::newRow("a directory, bin exchanged: refused, saying what to do")
        << "dir" << true << "a directory stands in its place; move it out of bin (rename or remove it)";
#endif
    // One by one, the old bank.bin must be readable to be put back should bankK.bin fail: nothing is replaced.
    QTest::newRow("far too large, one by one: refused, saying what to do")
        << "huge" << false << "cannot be kept for a rollback (";
    QTest::newRow("a link, one by one: the link replaced, its target untouched") << "link" << false << "";
}

void Test_USaveBincc::An_old_bank_bin_that_is_no_plain_file()
{
    QFETCH(QString, kind);
    QFETCH(bool, exchange);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString conf = Make_Configuration(dir);
    const QString bank = Bank_File_Path(conf);
    const QString outside = dir.filePath(QStringLiteral("outside.bin"));
    QVERIFY(QFile::remove(bank));
    if (kind == u"huge") {
        Write_File(bank, QByteArray(Buffer_Capacity + 1, 'h'));
    } else if (kind == u"fifo") {
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {bank}), 0);
    } else if (kind == u"link") {
        Write_File(outside, Old_Bank);
        QVERIFY(QFile::link(outside, bank));
    } else {
        QVERIFY(QDir().mkdir(bank));
    }
    Seams.Exchange_Dir = exchange;
    const auto reset = qScopeGuard([] { Seams.Exchange_Dir = true; });
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    try {
        Write_Config_Files(conf, Built, Seams);
        QVERIFY2(refusal.isEmpty(), "written");
        QCOMPARE(Config_File_Differences(conf, Built), QStringList{});
        QVERIFY(!QFileInfo(bank).isSymLink());
    } catch (const EQuillon_Error &error) {
        QVERIFY2(!refusal.isEmpty() && error.Text().contains(refusal) &&
                     error.Text().contains(QStringLiteral("then build again")),
                 qPrintable(error.Text()));
        QCOMPARE(Read_File(BankK_File_Path(conf)), Old_BankK);
        QCOMPARE(QFileInfo(bank).size(), kind == u"huge" ? Buffer_Capacity + 1 : QFileInfo(bank).size());
    }
    if (kind == u"link")
        QCOMPARE(Read_File(outside), Old_Bank);
}

void Test_USaveBincc::The_rest_of_bin_stays_and_stale_temporaries_go_data()
{
    QTest::addColumn<bool>("exchange");
#ifdef Q_OS_LINUX
    QTest::newRow("bin exchanged") << true;
#endif
    QTest::newRow("one by one") << false;
}

void Test_USaveBincc::The_rest_of_bin_stays_and_stale_temporaries_go()
{
    QFETCH(bool, exchange);
    QTemporaryDir dir;
    const QString conf = Make_Configuration(dir);
    const QDir bin(Join_Path(conf, QStringLiteral("bin")));
    // What builds killed part-way left: the writer's temporary files and a staged bin/.
    for (const char *stale : {"bank.bin.a1B2c3", "bankK.bin.Zz9999"})
        Write_File(bin.filePath(QLatin1String(stale)), "stale");
    QVERIFY(QDir().mkpath(Join_Path(conf, QStringLiteral(".bin.q1W2e3"))));
    Write_File(Join_Path(conf, QStringLiteral(".bin.q1W2e3"), QStringLiteral("bank.bin")), "stale");
    // What is not the writer's stays, files and links alike.
    const QStringList kept = {"bank.bin.a1B2c", "bank.bin.orig", "notes.txt", "to-notes"};
    for (const QString &name : kept.first(3))
        Write_File(bin.filePath(name), name.toUtf8());
    QVERIFY(QFile::link(QStringLiteral("notes.txt"), bin.filePath(QStringLiteral("to-notes"))));

    const QFile::Permissions permissions =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup;
    QVERIFY(QFile::setPermissions(bin.path(), permissions));

    Seams.Exchange_Dir = exchange;
    const auto reset = qScopeGuard([] { Seams.Exchange_Dir = true; });
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    Write_Config_Files(conf, Built, Seams);
    QCOMPARE(Config_File_Differences(conf, Built), QStringList{});
#ifdef Q_OS_UNIX
    // The mode of bin/ survives the exchange (Windows keeps no such mode).
    QCOMPARE(QFile::permissions(bin.path()) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ExeUser), permissions);
#endif
    QCOMPARE(bin.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             (QStringList{"bank.bin", "bank.bin.a1B2c", "bank.bin.orig", "bankK.bin", "notes.txt", "to-notes"}));
    for (const QString &name : kept.first(3))
        QCOMPARE(Read_File(bin.filePath(name)), name.toUtf8());
#ifdef Q_OS_UNIX
    // A link stays a link (on Windows it is a shortcut file, kept like any file above).
    QCOMPARE(QFileInfo(bin.filePath(QStringLiteral("to-notes"))).symLinkTarget(), bin.filePath("notes.txt"));
#endif
    QCOMPARE(QDir(conf).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name),
             (QStringList{"ParGen.xml", "bin"}));
}

void Test_USaveBincc::Bin_that_cannot_be_created_gives_the_reason()
{
    QTemporaryDir dir;
    Write_File(dir.filePath(QStringLiteral("bin")), "a file");
    Take(Make_Config_Data(dir.filePath(QStringLiteral("ParGen.xml"))));
    try {
        Write_Config_Files(dir.path(), Built, Seams);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
#ifdef Q_OS_UNIX
        QVERIFY2(error.Text().endsWith(QStringLiteral("bin: the directory cannot be created: File exists")),
                 qPrintable(error.Text()));
#endif
    }
}

void Test_USaveBincc::A_kill_at_any_moment_never_tears_the_pair()
{
#ifndef Q_OS_LINUX
    QSKIP("kills a writer forked from the test, on Linux only");
#else
    // A writer builds two configurations in turn without end and is killed at a random moment, a few hundred
    // times; after each kill the pair on disk must be the one or the other. On ext4, whose syncs widened the
    // moment between two renames to milliseconds, else on a tmpfs.
    TFull_Disk disk;
    if (const QString reason = disk.Mount_Ext4(QStringLiteral("32M")); !reason.isEmpty()) {
        qInfo("%s; on a tmpfs instead", qPrintable(reason));
        if (const QString tmpfs = disk.Mount(QStringLiteral("16m")); !tmpfs.isEmpty())
            QSKIP(qPrintable(reason + QStringLiteral("; ") + tmpfs));
    }
    const QString conf = Join_Path(disk.Path(), QStringLiteral("Line2"));
    QVERIFY(QDir().mkdir(conf));
    const QByteArray versions[2] = {ParGen_Xml({{"Port_0_DevID", "7"}, {"Port_1_Baud", "3"}}),
                                    ParGen_Xml({{"Port_0_DevID", "9"}, {"Port_1_Baud", "5"}})};
    const auto matches = [&conf](const QByteArray &parGen) {
        Take(Make_Config_Data_Bytes(parGen));
        return Config_File_Differences(conf, Built).isEmpty();
    };
    Take(Make_Config_Data_Bytes(versions[0]));
    Write_Config_Files(conf, Built, Seams);
    const int runs = 300;
    int torn = 0;
    for (int run = 0; run < runs; ++run) {
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            try {
                for (unsigned i = 0;; ++i) {
                    Take(Make_Config_Data_Bytes(versions[i % 2]));
                    Write_Config_Files(conf, Built, Seams);
                    if (i == 0 && ::write(ready[1], "r", 1) != 1)
                        break;
                }
            } catch (...) {
            }
            ::_exit(2);
        }
        // The first build done, the kill comes at any moment of the following ones.
        ::close(ready[1]);
        char byte;
        const bool started = ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
        if (started)
            ::usleep(useconds_t(QRandomGenerator::global()->bounded(20000)));
        ::kill(child, SIGKILL);
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY2(started && WIFSIGNALED(status), "the writer stopped by itself");
        if (!matches(versions[0]) && !matches(versions[1]))
            ++torn;
    }
    qInfo("%d torn pairs in %d kills", torn, runs);
    QCOMPARE(torn, 0);
    // The next build clears what the kills left.
    Take(Make_Config_Data_Bytes(versions[1]));
    Write_Config_Files(conf, Built, Seams);
    QCOMPARE(QDir(conf).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"bin"});
    QCOMPARE(
        QDir(Join_Path(conf, QStringLiteral("bin"))).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList{"bank.bin", "bankK.bin"}));
#endif
}

void Test_USaveBincc::A_configuration_that_no_longer_exists_gets_nothing()
{
    QTemporaryDir dir;
    const QString conf = dir.filePath(QStringLiteral("PROJECTS/Line2"));
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    try {
        Write_Config_Files(conf, Built, Seams);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QDir::toNativeSeparators(conf) + QStringLiteral(" no longer exists")),
                 qPrintable(error.Text()));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
}

void Test_USaveBincc::Nothing_is_written_through_a_linked_bin_or_configuration_data()
{
    QTest::addColumn<QString>("linked"); // what is made a link to a directory outside
    QTest::addColumn<bool>("exchange");
    QTest::addColumn<QString>("refusal"); // empty: the pair is written
    const QString binRefused = QStringLiteral("bin is a symbolic link to ");
    const QString confRefused = QStringLiteral("The configuration directory ");
#ifdef Q_OS_LINUX
    QTest::newRow("bin a link, bin exchanged") << "bin" << true << binRefused;
#endif
    QTest::newRow("bin a link, one by one") << "bin" << false << binRefused;
    QTest::newRow("the configuration a link") << "configuration" << false << confRefused;
    // A workspace reached through a link is no link in the configuration's own place.
    QTest::newRow("the workspace above a link") << "workspace" << true << "";
}

void Test_USaveBincc::Nothing_is_written_through_a_linked_bin_or_configuration()
{
#ifndef Q_OS_UNIX
    QSKIP("makes symbolic links, on Unix only");
#else
    QFETCH(QString, linked);
    QFETCH(bool, exchange);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString outside = dir.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(Join_Path(outside, QStringLiteral("Line2"))));
    Write_File(Join_Path(outside, QStringLiteral("notes.txt")), "theirs");
    // What a killed build would leave in a real bin/: never removed from a target outside.
    Write_File(Join_Path(outside, QStringLiteral("bank.bin.a1B2c3")), "theirs");
    const QString workspace = dir.filePath(QStringLiteral("workspace"));
    QVERIFY(QDir().mkpath(Join_Path(workspace, QStringLiteral("PROJECTS"))));
    QString conf = Join_Path(workspace, QStringLiteral("PROJECTS/Line2"));
    if (linked == u"bin") {
        QVERIFY(QDir().mkpath(conf));
        QVERIFY(QFile::link(outside, Join_Path(conf, QStringLiteral("bin"))));
    } else if (linked == u"configuration") {
        QVERIFY(QFile::link(Join_Path(outside, QStringLiteral("Line2")), conf));
    } else {
        QVERIFY(QDir().mkpath(conf));
        QVERIFY(QFile::link(workspace, dir.filePath(QStringLiteral("link"))));
        conf = dir.filePath(QStringLiteral("link/PROJECTS/Line2"));
    }
    const QStringList before = QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    Seams.Exchange_Dir = exchange;
    const auto reset = qScopeGuard([] { Seams.Exchange_Dir = true; });
    Take(Make_Config_Data(Join_Path(conf, QStringLiteral("ParGen.xml"))));
    // Given with a trailing separator too: still the link itself.
    for (const QString &given : {conf, conf + u'/'}) {
        try {
            Write_Config_Files(given, Built, Seams);
            QVERIFY2(refusal.isEmpty(), "written");
            QCOMPARE(Config_File_Differences(conf, Built), QStringList{});
        } catch (const EQuillon_Error &error) {
            // Named, and told what to do.
            QVERIFY2(!refusal.isEmpty() && error.Text().contains(refusal) &&
                         error.Text().contains(QDir::toNativeSeparators(conf)) &&
                         error.Text().contains(QStringLiteral("then build again")),
                     qPrintable(error.Text()));
        }
        QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QCOMPARE(QDir(Join_Path(outside, QStringLiteral("Line2")))
                     .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{});
    }
#endif
}

void Test_USaveBincc::The_parameter_file_is_read_once()
{
#ifndef Q_OS_LINUX
    QSKIP("counts the file's openings with inotify, on Linux only");
#else
    // Both images come from one reading: a file changed in between can never give a mixed pair.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    Write_File(path, ParGen_Xml());
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    QVERIFY(watch >= 0);
    const auto close = qScopeGuard([watch] { ::close(watch); });
    QVERIFY(inotify_add_watch(watch, QFile::encodeName(path).constData(), IN_OPEN) >= 0);
    Take(Make_Config_Data(path));
    int openings = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
        for (char *p = buffer; p < buffer + n; p += sizeof(inotify_event) + reinterpret_cast<inotify_event *>(p)->len)
            openings += (reinterpret_cast<inotify_event *>(p)->mask & IN_OPEN) != 0;
    }
    QCOMPARE(openings, 1);
#endif
}

void Test_USaveBincc::Differences_from_what_build_writes_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QStringList>("differences");
    QTest::newRow("as built") << "" << QStringList{};
    QTest::newRow("bankK.bin missing") << "remove bankK" << QStringList{"bankK.bin: missing"};
    QTest::newRow("bank.bin cut short") << "truncate bank"
                                        << QStringList{"bank.bin: wrong size: 4 bytes, build writes 17"};
    QTest::newRow("a byte of bankK.bin changed")
        << "flip bankK" << QStringList{"bankK.bin: bad checksum: stored 3654, computed 3655"};
    QTest::newRow("ParGen.xml changed since")
        << "edit ParGen"
        << QStringList{"bank.bin: stale against ParGen.xml: differs from what build writes now, first at byte 0x006",
                       "bankK.bin: stale against ParGen.xml: differs from what build writes now, first at byte 0x6e4"};
}

void Test_USaveBincc::Differences_from_what_build_writes()
{
    QFETCH(QString, change);
    QFETCH(QStringList, differences);
    QTemporaryDir dir;
    const QString conf = dir.path();
    const QString parGen = Join_Path(conf, QStringLiteral("ParGen.xml"));
    Write_File(parGen, ParGen_Xml());
    Take(Make_Config_Data(parGen));
    Write_Config_Files(conf, Built, Seams);
    if (change == u"remove bankK") {
        QVERIFY(QFile::remove(BankK_File_Path(conf)));
    } else if (change == u"truncate bank") {
        QVERIFY(QFile::resize(Bank_File_Path(conf), 4));
    } else if (change == u"flip bankK") {
        QByteArray image = Read_File(BankK_File_Path(conf));
        image[0x6E4] = char(image[0x6E4] + 1);
        Write_File(BankK_File_Path(conf), image);
    } else if (change == u"edit ParGen") {
        Write_File(parGen, ParGen_Xml({{"Port_0_DevID", "2"}}));
    }
    Take(Make_Config_Data(parGen));
    QStringList expected;
    for (const QString &difference : std::as_const(differences))
        expected << QDir::toNativeSeparators(conf + QStringLiteral("/bin/")) + difference;
    QCOMPARE(Config_File_Differences(conf, Built), expected);
}

QTEST_GUILESS_MAIN(Test_USaveBincc)
#include "test_USaveBincc.moc"
