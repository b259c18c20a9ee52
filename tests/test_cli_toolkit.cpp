// quillon-cli import, diff and provision, run as a real process on real files.

#include "UCsv_Table.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UCli_Process.h"
#include "UFull_Disk.h"
#include "ULanguage.h"
#include "UParGen_Fixture.h"
#include "USaveBincc.h"
#include "UStand_In.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>


namespace {

// false when the file cannot be written whole: the caller fails the test there (QVERIFY).
[[nodiscard]] bool Write_File(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Read_File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Makes the configuration directory conf with this ParGen.xml and runs build on it: build's run, or a run
// with exit code -1 that names what could not be written.
TRun Build_Config(const QString &conf, const QByteArray &parGen)
{
    if (!QDir().mkpath(conf) || !Write_File(conf + QStringLiteral("/ParGen.xml"), parGen))
        return {-1, {}, "cannot write " + QFile::encodeName(conf) + "/ParGen.xml"};
    return Run({"build", conf});
}

// The configuration dir/PROJECTS/name with this ParGen.xml, built, in a new variable conf; when it cannot be
// made or built, the test fails right here with build's stderr.
#define BUILT_CONFIG(conf, dir, name, parGen)                                                                   \
    const QString conf = (dir).filePath(QStringLiteral("PROJECTS/") + (name));                                   \
    do {                                                                                                         \
        const TRun build_ = Build_Config(conf, parGen);                                                          \
        QVERIFY2(build_.Exit_Code == 0, build_.Err.constData());                                                 \
    } while (false)

// A bankK.bin with a field changed and the checksum sealed again.
QByteArray Resealed(QByteArray image, size_t offset, const QByteArray &bytes)
{
    image.replace(qsizetype(offset), bytes.size(), bytes);
    const uint32_t sum = Bank_Checksum(reinterpret_cast<const uint8_t *>(image.constData()));
    image.replace(offsetof(TConfig_Bank, Checksum), 4, QByteArray(reinterpret_cast<const char *>(&sum), 4));
    return image;
}

QStringList Entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class Test_Cli_Toolkit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void Import_gives_the_same_bytes_back_data();
    void Import_gives_the_same_bytes_back();
    void Import_refuses_and_reports();
    void Diff_compares_by_field_data();
    void Diff_compares_by_field();
    void Csv_tables_data();
    void Csv_tables();
    void Provision_makes_a_hundred_sendable_configurations();
    void Provision_names_each_failure_and_creates_nothing_data();
    void Provision_names_each_failure_and_creates_nothing();
    void Provision_refuses_names_a_copy_on_another_platform_could_not_hold();
    void Provision_reads_a_semicolon_table_from_a_spreadsheet();
    void Provision_on_a_full_disk_leaves_nothing_behind();
    void Provision_messages_are_bounded();
    void A_table_costs_a_few_times_its_size_and_blank_rows_nothing_data();
    void A_table_costs_a_few_times_its_size_and_blank_rows_nothing();
    void A_table_over_the_limit_is_refused_unread();
    void Import_and_provision_write_only_inside_the_workspace();
    void Diff_refuses_a_directory_that_is_no_configuration();
    void Provision_killed_at_any_step_leaves_all_or_none_data();
    void Provision_killed_at_any_step_leaves_all_or_none();
    void Provision_update_runs_update_in_table_order();
    void A_provision_lock_is_taken_over_only_when_left_behind_data();
    void A_provision_lock_is_taken_over_only_when_left_behind();
    void Help_and_command_line_errors();
};

void Test_Cli_Toolkit::initTestCase()
{
    Load_Default_Language();
}

void Test_Cli_Toolkit::Import_gives_the_same_bytes_back_data()
{
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<TKey_Texts>("texts");
    QTest::newRow("new configuration, with Ethernet") << 1 << TKey_Texts{};
    QTest::newRow("without Ethernet") << 0 << TKey_Texts{};
    QTest::newRow("low edges, gateway on")
        << 1
        << TKey_Texts{{"Port_0_Baud", "0"},      {"Port_0_Par", "0"},    {"Port_0_DevID", "1"},  {"Port_1_Port", "1"},
                      {"Port_1_Baud", "0"},      {"Port_1_Par", "0"},    {"Port_1_DevID", "1"},  {"Opt_Off_Reg", "0"},
                      {"Opt_Off_Status", "0"},   {"Ethernet_IP1", "0"},  {"Ethernet_IP2", "0"},  {"Ethernet_IP3", "0"},
                      {"Ethernet_IP4", "0"},     {"Ethernet_SM1", "0"},  {"Ethernet_SM2", "0"},  {"Ethernet_SM3", "0"},
                      {"Ethernet_SM4", "0"},     {"Ethernet_GAT1", "0"}, {"Ethernet_GAT2", "0"}, {"Ethernet_GAT3", "0"},
                      {"Ethernet_GAT4", "0"},    {"Ethernet_EN_GAT", "1"}};
    QTest::newRow("high edges, gateway on")
        << 1
        << TKey_Texts{{"Port_0_Baud", "7"},       {"Port_0_Par", "2"},        {"Port_0_DevID", "250"},
                      {"Port_0_BroadCast", "1"},  {"Port_1_Port", "1"},       {"Port_1_Baud", "7"},
                      {"Port_1_Par", "2"},        {"Port_1_DevID", "250"},    {"Port_1_BroadCast", "1"},
                      {"Opt_Off_Reg", "61535"},   {"Opt_Off_Status", "61535"}, {"Ethernet_IP1", "255"},
                      {"Ethernet_IP2", "255"},    {"Ethernet_IP3", "255"},    {"Ethernet_IP4", "255"},
                      {"Ethernet_SM1", "255"},    {"Ethernet_SM2", "255"},    {"Ethernet_SM3", "255"},
                      {"Ethernet_SM4", "255"},    {"Ethernet_GAT1", "255"},   {"Ethernet_GAT2", "255"},
                      {"Ethernet_GAT3", "255"},   {"Ethernet_GAT4", "254"},   {"Ethernet_EN_GAT", "1"}};
    QTest::newRow("ports swapped: Port 1 on RS232")
        << 0
        << TKey_Texts{{"Port_0_Baud", "3"}, {"Port_0_Par", "1"}, {"Port_1_Port", "0"}, {"Port_1_Baud", "5"},
                      {"Port_1_Par", "2"},  {"Port_0_DevID", "17"}, {"Port_1_DevID", "3"}, {"Port_1_BroadCast", "1"}};
    QTest::newRow("gateway off, its octets set") << 1
                                                 << TKey_Texts{{"Ethernet_GAT1", "10"}, {"Ethernet_GAT4", "9"},
                                                               {"Ethernet_EN_GAT", "0"}};
    QTest::newRow("hexadecimal and blanks as the builder reads them")
        << 1 << TKey_Texts{{"Port_0_DevID", "$10"}, {"Opt_Off_Reg", " 0x100"}};
}

void Test_Cli_Toolkit::Import_gives_the_same_bytes_back()
{
    QFETCH(int, deviceType);
    QFETCH(TKey_Texts, texts);
    QTemporaryDir dir;
    BUILT_CONFIG(original, dir, "Original", Saved_ParGen(deviceType, texts));
    const QByteArray bank = Read_File(original + "/bin/bank.bin");
    const QByteArray bankK = Read_File(original + "/bin/bankK.bin");
    QCOMPARE(bankK.size(), 2048);

    // From both images, and from bankK.bin alone, into new directories.
    for (const bool withBank : {true, false}) {
        const QString target = dir.filePath(withBank ? "PROJECTS/Both" : "PROJECTS/ImageOnly");
        QStringList arguments{"import", original + "/bin/bankK.bin"};
        if (withBank)
            arguments << original + "/bin/bank.bin";
        const TRun import = Run(arguments << target);
        QVERIFY2(import.Exit_Code == 0, import.Err.constData());
        QVERIFY2(import.Err.contains("Device_Type_Type: neither image holds it"), import.Err.constData());
        QVERIFY(QFileInfo(target + "/bin").isDir());
        QCOMPARE(Run({"build", target}).Exit_Code, 0);
        QCOMPARE(Read_File(target + "/bin/bankK.bin"), bankK);
        if (withBank)
            QCOMPARE(Read_File(target + "/bin/bank.bin"), bank);
        QCOMPARE(Run({"diff", original, target + "/bin/bankK.bin"}).Exit_Code, 0);
    }
}

void Test_Cli_Toolkit::Import_refuses_and_reports()
{
    QTemporaryDir dir;
    BUILT_CONFIG(original, dir, "Original", Saved_ParGen(1));
    const QString bankK = original + "/bin/bankK.bin";
    const QByteArray image = Read_File(bankK);

    // A damaged image: nothing is written, not even the directory.
    QByteArray damaged = image;
    damaged[0x6E4] = char(damaged[0x6E4] + 1);
    QVERIFY(Write_File(dir.filePath("damaged.bin"), damaged));
    TRun run = Run({"import", dir.filePath("damaged.bin"), dir.filePath("PROJECTS/New")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("is damaged (bad checksum: stored"), run.Err.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath("PROJECTS/New")));

    // A rate that is no entry of the list: the key and what was used are named, and build cannot give it back.
    const uint32_t rate = 300;
    QVERIFY(Write_File(dir.filePath("slow.bin"),
               Resealed(image, offsetof(TConfig_Bank, Ser_Baud), QByteArray(reinterpret_cast<const char *>(&rate), 4))));
    run = Run({"import", dir.filePath("slow.bin"), dir.filePath("PROJECTS/Slow")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("Port_0_Baud: bankK.bin holds a rate of 300 bit/s, which is no entry of the baud-rate "
                              "list; 7 (115200 bit/s) was used") &&
                 run.Err.contains("build will not give the same bytes back"),
             run.Err.constData());
    QVERIFY(Read_File(dir.filePath("PROJECTS/Slow/ParGen.xml")).contains("<Port_0_Baud>7</Port_0_Baud>"));

    // A byte no key sets is named by its offset.
    QVERIFY(Write_File(dir.filePath("odd.bin"), Resealed(image, 0x100, "\x01")));
    run = Run({"import", dir.filePath("odd.bin"), dir.filePath("PROJECTS/Odd")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("bankK.bin byte 0x100: the image holds 1, build writes 0"), run.Err.constData());

    // The serial channel Port 1 does not use is no field, and still counts.
    QVERIFY(Write_File(dir.filePath("channel.bin"),
               Resealed(image, offsetof(TConfig_Bank, Ser_Parity) + Channel_Port_1_RS232, "\x02")));
    run = Run({"import", dir.filePath("channel.bin"), dir.filePath("PROJECTS/Channel")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("bankK.bin byte 0x1ab: the image holds 2, build writes 0"), run.Err.constData());

    // An existing ParGen.xml is replaced only with --force.
    const QByteArray before = Read_File(dir.filePath("PROJECTS/Slow/ParGen.xml"));
    run = Run({"import", bankK, dir.filePath("PROJECTS/Slow")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("exists: --force replaces it"), run.Err.constData());
    QCOMPARE(Read_File(dir.filePath("PROJECTS/Slow/ParGen.xml")), before);
    QCOMPARE(Run({"import", bankK, dir.filePath("PROJECTS/Slow"), "--force"}).Exit_Code, 0);

    // The two files in the wrong order are told by their sizes; nothing is written.
    const QString bank = original + "/bin/bank.bin";
    run = Run({"import", bank, bankK, dir.filePath("PROJECTS/Swapped")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("the two files are in the wrong order: " + QDir::toNativeSeparators(bank).toUtf8() +
                              " is a bank.bin (17 bytes) and " + QDir::toNativeSeparators(bankK).toUtf8() +
                              " a bankK.bin (2048 bytes)"),
             run.Err.constData());
    run = Run({"import", bank, dir.filePath("PROJECTS/Swapped")});
    QVERIFY2(run.Exit_Code == 1 && run.Err.contains("is a bank.bin (17 bytes): import needs the bankK.bin"),
             run.Err.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath("PROJECTS/Swapped")));

    // The name rules of a new configuration, and a bank.bin of a configuration that had no ParGen.xml.
    run = Run({"import", bankK, dir.filePath("PROJECTS/.hidden")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("Error! Name project is not valid"), run.Err.constData());
    QVERIFY(Write_File(dir.filePath("header.bin"), QByteArray("\x04\x00\x00\x00", 4)));
    run = Run({"import", bankK, dir.filePath("header.bin"), dir.filePath("PROJECTS/Header")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("holds no parameters"), run.Err.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath("PROJECTS/Header")));
}

void Test_Cli_Toolkit::Diff_compares_by_field_data()
{
    QTest::addColumn<QByteArray>("a");
    QTest::addColumn<QByteArray>("b");
    // Each side: a ParGen.xml, and how it is given: "dir", "bank.bin" or "bankK.bin" (built from it).
    QTest::addColumn<QString>("aAs");
    QTest::addColumn<QString>("bAs");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("output");

    const QByteArray seven = Saved_ParGen(1, {{"Port_1_DevID", "7"}});
    const QByteArray nine = Saved_ParGen(1, {{"Port_1_DevID", "9"}});
    const QByteArray ten = Saved_ParGen(1, {{"Port_0_DevID", "10"}});
    const QByteArray missing = Saved_ParGen(1, {}, {"Port_0_DevID"});
    QTest::newRow("configurations") << seven << nine << "dir" << "dir" << QStringList() << 1
                                    << QByteArray("Port_1_DevID: 7 -> 9\n");
    QTest::newRow("equal configurations") << seven << seven << "dir" << "dir" << QStringList() << 0 << QByteArray();
    QTest::newRow("a missing key and its default") << ten << missing << "dir" << "dir" << QStringList() << 0
                                                   << QByteArray();
    QTest::newRow("the same, as written") << ten << missing << "dir" << "dir" << QStringList{"--raw"} << 1
                                          << QByteArray("Port_0_DevID: 10 -> (missing)\n");
    QTest::newRow("device type") << Saved_ParGen(0) << Saved_ParGen(1) << "dir"
                                 << "dir" << QStringList() << 1
                                 << QByteArray(
                                        "Device_Type_Type: 0 (Without Ethernet Port) -> 1 (With Ethernet Port)\n");
    QTest::newRow("images") << seven << nine << "bankK.bin" << "bankK.bin" << QStringList() << 1
                            << QByteArray("Port_1_DevID: 7 -> 9\n");
    QTest::newRow("parameter blocks")
        << Saved_ParGen(1, {{"Port_0_Baud", "3"}}) << seven << "bank.bin" << "bank.bin" << QStringList() << 1
        << QByteArray("Port_0_Baud: 3 (9600 bit/s) -> 7 (115200 bit/s)\nPort_1_DevID: 1 -> 7\n");
    QTest::newRow("bank.bin against bankK.bin") << seven << seven << "bank.bin" << "bankK.bin" << QStringList() << 0
                                                << QByteArray();
    QTest::newRow("configuration against image") << seven << nine << "dir" << "bankK.bin" << QStringList() << 1
                                                 << QByteArray("Port_1_DevID: 7 -> 9\n");
    QTest::newRow("configuration against its own image")
        << seven << seven << "dir" << "bank.bin" << QStringList() << 0 << QByteArray();
    QTest::newRow("gateway") << Saved_ParGen(1, {{"Ethernet_EN_GAT", "1"}}) << seven << "dir" << "dir"
                             << QStringList() << 1
                             << QByteArray("Port_1_DevID: 1 -> 7\nEthernet_GAT1: 192 -> (none)\nEthernet_GAT2: 168 -> "
                                           "(none)\nEthernet_GAT3: 0 -> (none)\nEthernet_GAT4: 1 -> (none)\n"
                                           "Ethernet_EN_GAT: 1 -> 0\n");
    QTest::newRow("json") << seven << nine << "dir"
                          << "dir" << QStringList{"--json"} << 1
                          << QByteArray(R"([{"a":7,"a_text":"7","b":9,"b_text":"9","key":"Port_1_DevID"}])");
    QTest::newRow("json, a list and a flag")
        << Saved_ParGen(1, {{"Port_0_Par", "1"}, {"Port_0_Baud", "3"}, {"Port_0_BroadCast", "1"}}) << seven << "dir"
        << "bank.bin" << QStringList{"--json"} << 1
        << QByteArray(R"([{"a":3,"a_text":"9600","b":7,"b_text":"115200","key":"Port_0_Baud"},)"
                      R"({"a":1,"a_text":"EVEN","b":0,"b_text":"NONE","key":"Port_0_Par"},)"
                      R"({"a":1,"a_text":"on","b":0,"b_text":"off","key":"Port_0_BroadCast"},)"
                      R"({"a":1,"a_text":"1","b":7,"b_text":"7","key":"Port_1_DevID"}])");
    QTest::newRow("json, as written") << ten << missing << "dir"
                                      << "dir" << QStringList{"--json", "--raw"} << 1
                                      << QByteArray(R"([{"a":10,"a_text":"10","b":null,"b_text":null,)"
                                                    R"("key":"Port_0_DevID"}])");
    QTest::newRow("json, equal") << seven << seven << "dir" << "dir" << QStringList{"--json"} << 0
                                 << QByteArray("[]");
    QTest::newRow("--raw with an image") << seven << seven << "dir" << "bankK.bin" << QStringList{"--raw"} << 2
                                         << QByteArray();
}

void Test_Cli_Toolkit::Diff_compares_by_field()
{
    QFETCH(QByteArray, a);
    QFETCH(QByteArray, b);
    QFETCH(QString, aAs);
    QFETCH(QString, bAs);
    QFETCH(QStringList, options);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, output);
    QTemporaryDir dir;
    BUILT_CONFIG(left, dir, "A", a);
    BUILT_CONFIG(right, dir, "B", b);
    const auto given = [](const QString &conf, const QString &as) {
        return as == u"dir" ? conf : conf + QStringLiteral("/bin/") + as;
    };
    const TRun run = Run(QStringList{"diff", given(left, aAs), given(right, bAs)} + options);
    QVERIFY2(run.Exit_Code == exitCode, run.Err.constData());
    if (options.contains("--json"))
        QCOMPARE(QJsonDocument::fromJson(run.Out).toJson(QJsonDocument::Compact), output);
    else
        QCOMPARE(run.Out, output);
}

void Test_Cli_Toolkit::Csv_tables_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("numbers");
    QTest::addColumn<QString>("error");
    QTest::newRow("comma, LF, no final line break")
        << QByteArray("name,Port_0_DevID\nA,1\nB,2") << QStringList{"name", "Port_0_DevID"}
        << QList<QStringList>{{"A", "1"}, {"B", "2"}} << QList<int>{2, 3} << QString();
    QTest::newRow("quotes, separators and line breaks inside, empty rows passed over")
        << QByteArray("\"name\",x\r\n\"a,\"\"b\"\"\",\"1\r\n2\"\r\n,\r\n\r\nc,\"\"\r\n")
        << QStringList{"name", "x"} << QList<QStringList>{{"a,\"b\"", "1\r\n2"}, {"c", ""}} << QList<int>{2, 5}
        << QString();
    QTest::newRow("semicolon, byte-order mark")
        << QByteArray("\xEF\xBB\xBFname;Ethernet_IP4\r\nZ\xC3\xA4hler,1;5\r\n") << QStringList{"name", "Ethernet_IP4"}
        << QList<QStringList>{{QString::fromUtf8("Zähler,1"), "5"}} << QList<int>{2} << QString();
    QTest::newRow("quote not closed") << QByteArray("name\n\"A\n") << QStringList() << QList<QStringList>()
                                      << QList<int>() << "row 2, column 1 (name): a quoted cell is not closed";
    QTest::newRow("text after a closing quote") << QByteArray("name\n\"A\"x\n") << QStringList()
                                                << QList<QStringList>() << QList<int>()
                                                << "row 2, column 1 (name): text after the closing quote";
    QTest::newRow("not UTF-8") << QByteArray("name\nA\nZ\xE4hler\n") << QStringList() << QList<QStringList>()
                               << QList<int>() << "row 3 is not UTF-8 text";
    QTest::newRow("not UTF-8 after a cell with a line break")
        << QByteArray("name,x\n\"A\r\nB\",1\r\nZ\xE4hler,2\n") << QStringList() << QList<QStringList>() << QList<int>()
        << "row 3 is not UTF-8 text";
    QTest::newRow("a quote inside a cell, named by its column")
        << QByteArray("name,Port_0_DevID\nA,1\"\n") << QStringList() << QList<QStringList>() << QList<int>()
        << "row 2, column 2 (Port_0_DevID): a quote inside a cell";
}

void Test_Cli_Toolkit::Csv_tables()
{
    QFETCH(QByteArray, table);
    QFETCH(QStringList, header);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, numbers);
    QFETCH(QString, error);
    try {
        const TCsv_Table parsed = Parse_Csv_Table(table);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(parsed.Header, header);
        QCOMPARE(parsed.Rows(), rows);
        QCOMPARE(parsed.Row_Numbers(), numbers);
    } catch (const EQuillon_Error &e) {
        QVERIFY2(!error.isEmpty() && e.Text().startsWith(error), qPrintable(e.Text()));
    }
}

void Test_Cli_Toolkit::Provision_makes_a_hundred_sendable_configurations()
{
    QTemporaryDir dir;
    const QString projects = dir.filePath("PROJECTS");
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1, {{"Port_0_Baud", "3"}}));
    QByteArray table = "name,Port_0_DevID,Ethernet_IP4,Ethernet_EN_GAT\n";
    for (int i = 1; i <= 100; ++i)
        table += QStringLiteral("Meter %1,%1,%2,%3\n").arg(i).arg(100 + i).arg(i % 2 ? "1" : "").toUtf8();
    QVERIFY(Write_File(dir.filePath("meters.csv"), table));
    const TRun run = Run({"provision", templ, dir.filePath("meters.csv")});
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    QVERIFY2(run.Out.endsWith("100 configurations created\n"), run.Out.constData());
    QCOMPARE(Entries(projects).size(), 101);
    for (int i = 1; i <= 100; ++i) {
        const QString conf = projects + QStringLiteral("/Meter %1").arg(i);
        // Each one sendable, its images what build writes from its ParGen.xml, its values the row's.
        const TConfig_Images images = Make_Config_Data(conf + "/ParGen.xml");
        QVERIFY2(images.Verdict.May_Send(), qPrintable(images.Verdict.Reason));
        QCOMPARE(Config_File_Differences(conf, images), QStringList());
        const TConfig_Bank &bank = images.Bank;
        QCOMPARE(int(bank.Dev_ID_Port_0), i);
        QCOMPARE(int(bank.Eth_IP[3]), 100 + i);
        QCOMPARE(bank.Ser_Baud[0], 9600u);
        QCOMPARE(bank.Eth_Gateway[0], uint8_t(i % 2 ? 192 : 255));
    }
}

void Test_Cli_Toolkit::Provision_names_each_failure_and_creates_nothing_data()
{
    QTest::addColumn<QByteArray>("badRow");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("reason");
    const QByteArray header = "name,Port_0_DevID,Port_0_Baud,Port_1_BroadCast";
    QTest::newRow("rule") << QByteArray("Bad,251,,") << header
                          << QByteArray("row 52, column Port_0_DevID: Port 0 (RS485)!! Device ID must be between 1 and "
                                        "250");
    QTest::newRow("list index") << QByteArray("Bad,,8,") << header
                                << QByteArray("row 52, column Port_0_Baud: 8 is not one of 1200, 2400, 4800, 9600, "
                                              "19200, 38400, 57600, 115200 (or their index, 0 to 7)");
    QTest::newRow("list text") << QByteArray("Bad,,EVEN,") << header
                               << QByteArray("row 52, column Port_0_Baud: EVEN is not one of 1200, 2400");
    QTest::newRow("flag") << QByteArray("Bad,,,yes") << header
                          << QByteArray("row 52, column Port_1_BroadCast: Port 1 broadcast: \"yes\" is neither 0 nor 1");
    QTest::newRow("name not plain") << QByteArray("a/b,,,") << header
                                    << QByteArray("row 52, column name: \"a/b\": Error! Name project is not valid");
    QTest::newRow("300 bytes") << QByteArray(300, 'n') + ",,," << header
                               << QByteArray("row 52, column name: \"" + QByteArray(80, 'n') +
                                             "…\": Error! Name project is not valid: it is longer than 255 bytes");
    QTest::newRow("128 two-byte letters") << QString(128, QChar(0xE4)).toUtf8() + ",,," << header
                                          << QByteArray("it is longer than 255 bytes in UTF-8");
    QTest::newRow("right-to-left override") << QByteArray("Meter\xE2\x80\xAEx,,,") << header
                                            << QByteArray("row 52, column name: \"Meter\\u202Ex\": Error! Name "
                                                          "project is not valid: it holds U+202E");
    QTest::newRow("zero-width space only") << QByteArray("\xE2\x80\x8B,,,") << header
                                           << QByteArray("a Unicode format character");
    QTest::newRow("trailing blank") << QByteArray("Meter 0 ,,,") << header << QByteArray("it ends with a blank");
    QTest::newRow("empty name") << QByteArray(",1,,") << header
                                << QByteArray("row 52, column name: Error! Name Project is not valid");
    QTest::newRow("existing name") << QByteArray("Template,,,") << header
                                   << QByteArray("row 52, column name: \"Template\": Error! Name project is not valid "
                                                 "because directory already exists");
    QTest::newRow("duplicate name") << QByteArray("Meter 7,,,") << header
                                    << QByteArray("row 52, column name: \"Meter 7\" is already the name of row 8");
    QTest::newRow("cells") << QByteArray("Bad,1") << header << QByteArray("row 52, column -: 2 cells, the header has 4");
    QTest::newRow("a template's value the row brings into force")
        << QByteArray("Bad,,,1") << QByteArray("name,Port_0_DevID,Port_0_Baud,Device_Type_Type")
        << QByteArray("row 52, column Ethernet_IP1 (the template's value): ");
    QTest::newRow("a text the writer refuses") << QByteArray("Bad,,,\x01") << QByteArray("name,Port_0_DevID,Port_0_Baud,Ethernet_GAT1")
                                               << QByteArray("row 52, column -: ");
    QTest::newRow("unknown key") << QByteArray("Bad,,,") << QByteArray("name,Port_0_DevID,Port_0_Baud,Port_1_Bcast")
                                 << QByteArray("row 1, column 4 (Port_1_Bcast): \"Port_1_Bcast\" is no ParGen.xml key "
                                               "(nor port or ip); the keys are Device_Type_Type, Port_0_Baud, ");
}

void Test_Cli_Toolkit::Provision_names_each_failure_and_creates_nothing()
{
    QFETCH(QByteArray, badRow);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, reason);
    QTemporaryDir dir;
    // Without Ethernet the address is not checked.
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(0, {{"Ethernet_IP1", "300"}}));
    QByteArray table = header + "\n";
    for (int i = 1; i <= 100; ++i)
        table += i == 51 ? badRow + "\n" : QStringLiteral("Meter %1,%1,,\n").arg(i).toUtf8();
    QVERIFY(Write_File(dir.filePath("meters.csv"), table));
    const TRun run = Run({"provision", templ, dir.filePath("meters.csv")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains(reason) && run.Err.endsWith("nothing was created\n"), run.Err.constData());
    QCOMPARE(Entries(dir.filePath("PROJECTS")), QStringList{"Template"});
}

void Test_Cli_Toolkit::Provision_refuses_names_a_copy_on_another_platform_could_not_hold()
{
    QTemporaryDir dir;
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    // Rows 2 to 5 are fine on their own; each later one collides with one of them or with the template, or is a
    // name Windows refuses.
    QVERIFY(Write_File(dir.filePath("pumps.csv"), "name,Port_0_DevID\n"
                                                  "Pump,1\n"
                                                  "Z\xC3\xBCrich,2\n"
                                                  "Line 4,3\n"
                                                  "Line 5,4\n"
                                                  "CON,5\n"
                                                  "a:b,6\n"
                                                  "pump,7\n"
                                                  "Zu\xCC\x88rich,8\n"
                                                  "TEMPLATE,9\n"
                                                  "lpt1.csv,10\n"));
    const TRun run = Run({"provision", templ, dir.filePath("pumps.csv")});
    QCOMPARE(run.Exit_Code, 1);
    const QByteArray notValid = ": Error! Name project is not valid";
    const QByteArray one = ", and names that differ only in letter case or Unicode normalisation are one name on "
                           "Windows or macOS\n";
    for (const QByteArray &line :
         {"row 6, column name: \"CON\"" + notValid +
              ": it is the name of a Windows device, CON, which Windows refuses in any letter case and with any "
              "extension\n",
          "row 7, column name: \"a:b\"" + notValid + ": it holds \":\", a character Windows refuses in a name\n",
          "row 8, column name: \"pump\" is already the name of row 2 (\"Pump\")" + one,
          "row 9, column name: \"Zu\xCC\x88rich\" is already the name of row 3 (\"Z\xC3\xBCrich\")" + one,
          "row 10, column name: \"TEMPLATE\"" + notValid +
              " because directory already exists: \"Template\" is already there" + one,
          "row 11, column name: \"lpt1.csv\"" + notValid + ": it is the name of a Windows device, lpt1"})
        QVERIFY2(run.Err.contains(line), run.Err.constData());
    QVERIFY2(!run.Err.contains("row 2,") && !run.Err.contains("row 5,") && run.Err.endsWith("nothing was created\n"),
             run.Err.constData());
    QCOMPARE(Entries(dir.filePath("PROJECTS")), QStringList{"Template"});
}

void Test_Cli_Toolkit::Provision_reads_a_semicolon_table_from_a_spreadsheet()
{
    QTemporaryDir dir;
    BUILT_CONFIG(templ, dir, "Vorlage", Saved_ParGen(1));
    // As a spreadsheet in a German locale saves "CSV UTF-8": byte-order mark, semicolons, CRLF, quotes where a
    // cell holds the separator, an empty trailing row.
    QVERIFY(Write_File(dir.filePath("z.csv"), "\xEF\xBB\xBFname;Port_0_DevID;Opt_Off_Reg;Ethernet_IP4\r\n"
                                      "Z\xC3\xA4hler Halle 1;5;1000;21\r\n"
                                      "\"Z\xC3\xA4hler; Halle 2\";6;;22\r\n"
                                      ";;;\r\n"));
    const TRun run = Run({"provision", templ, dir.filePath("z.csv")});
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    const QString second = dir.filePath(QString::fromUtf8("PROJECTS/Zähler; Halle 2"));
    QCOMPARE(Entries(dir.filePath("PROJECTS")),
             (QStringList{"Vorlage", QString::fromUtf8("Zähler Halle 1"), QString::fromUtf8("Zähler; Halle 2")}));
    const TRun diff = Run({"diff", templ, second});
    QCOMPARE(diff.Out, QByteArray("Port_0_DevID: 1 -> 6\nEthernet_IP4: 10 -> 22\n"));
    QCOMPARE(Run({"verify", second}).Exit_Code, 0);
}

void Test_Cli_Toolkit::Provision_on_a_full_disk_leaves_nothing_behind()
{
    TFull_Disk disk;
    if (const QString reason = disk.Mount(); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    const QString templ = disk.File_Path("Template");
    QVERIFY(QDir().mkpath(templ));
    QVERIFY(Write_File(templ + "/ParGen.xml", Saved_ParGen(1)));
    QTemporaryDir dir;
    QByteArray table = "name\n";
    for (int i = 1; i <= 40; ++i)
        table += QStringLiteral("Meter %1\n").arg(i).toUtf8();
    QVERIFY(Write_File(dir.filePath("meters.csv"), table));
    // 64 KiB hold a few configurations, not forty.
    const TRun run = Run({"provision", templ, dir.filePath("meters.csv")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("No space left on device") && run.Err.endsWith("nothing was created\n"),
             run.Err.constData());
    QCOMPARE(Entries(disk.Path()), QStringList{"Template"});
}

void Test_Cli_Toolkit::Provision_messages_are_bounded()
{
    QTemporaryDir dir;
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    // Thirty refused rows, one of them a 60 MB name with a control character: the first 20 are told, each cut.
    QByteArray table = "name,Port_0_DevID\n\x1B[2J" + QByteArray(60 * 1024 * 1024, 'x') + ",1\n";
    for (int i = 2; i <= 30; ++i)
        table += QStringLiteral("Meter %1,0\n").arg(i).toUtf8();
    QVERIFY(Write_File(dir.filePath("meters.csv"), table));
    const TRun run = Run({"provision", templ, dir.filePath("meters.csv")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.size() < 8000, run.Err.left(2000).constData());
    QVERIFY2(run.Err.contains("row 2, column name: \"\\x1B[2Jxxx") && !run.Err.contains('\x1B') &&
                 run.Err.contains("quillon-cli: " + QFile::encodeName(QDir::toNativeSeparators(dir.filePath("meters.csv"))) +
                                  ": and 10 more\n"),
             run.Err.constData());
}

void Test_Cli_Toolkit::A_table_costs_a_few_times_its_size_and_blank_rows_nothing_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("told");
    const QByteArray header = "name,Port_0_DevID\n";
    const QByteArray blank(5'000'000, '\n');
    // Counted, not kept: the row after them is numbered past them all.
    QTest::newRow("5 million blank lines, then a row") << header + blank + "M1,5\n"
                                                       << 0 << QByteArray("1 configuration created\n");
    QTest::newRow("5 million blank lines, then a wrong row") << header + blank + "M1,251\n"
                                                             << 1 << QByteArray("row 5000002, column Port_0_DevID");
    QTest::newRow("5 million rows of blank cells, then a row")
        << header + QByteArray(",\n").repeated(5'000'000) + "M1,5\n"
        << 0 << QByteArray("1 configuration created\n");
    // Each row a cell short: a million rows read, each refused and counted, the first 20 told.
    QTest::newRow("a million short rows")
        << header + QByteArray("x\n").repeated(1'000'000) << 1 << QByteArray(": and 999980 more\n");
}

void Test_Cli_Toolkit::A_table_costs_a_few_times_its_size_and_blank_rows_nothing()
{
#ifdef QUILLON_PEAK_RUNNER
    QFETCH(QByteArray, table);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, told);
    QTemporaryDir dir;
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    QVERIFY(Write_File(dir.filePath("t.csv"), table));
    // The address sanitizer holds freed memory back (256 MB) to catch a late use; here it frees at once, so that
    // the peak is what the command keeps.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString sanitizer = environment.value("ASAN_OPTIONS");
    environment.insert("ASAN_OPTIONS", (sanitizer.isEmpty() ? "" : sanitizer + ":") + "quarantine_size_mb=0");
    long peakKiB = -1;
    const TRun run = Run_With_Peak({"provision", templ, dir.filePath("t.csv")}, peakKiB, environment);
    QVERIFY2(run.Exit_Code == exitCode && (run.Out + run.Err).contains(told), run.Err.right(2000).constData());
    // The command with its libraries takes some 15 MB, 45 MB under the sanitizers; a list entry per line took
    // several hundred.
    QVERIFY2(peakKiB > 0 && peakKiB < 100 * 1024, qPrintable(QStringLiteral("peak %1 KiB").arg(peakKiB)));
#else
    QSKIP("peak_runner tells the peak memory of a process where wait4 does");
#endif
}

void Test_Cli_Toolkit::A_table_over_the_limit_is_refused_unread()
{
    QTemporaryDir dir;
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    // Sparse: nothing of it is on the disk.
    QFile table(dir.filePath("t.csv"));
    QVERIFY(table.open(QIODevice::WriteOnly) && table.resize(Csv_Table_Limit + 1));
    table.close();
    const TRun run = Run({"provision", templ, table.fileName()});
    QCOMPARE(run.Exit_Code, 1);
    const QByteArray expected = "quillon-cli: Cannot read " +
                                QFile::encodeName(QDir::toNativeSeparators(table.fileName())) + ": it has " +
                                QByteArray::number(Csv_Table_Limit + 1) + " bytes, more than the " +
                                QByteArray::number(Csv_Table_Limit) + " bytes such a file may have\n";
    QCOMPARE(run.Err, expected);
    QCOMPARE(Entries(dir.filePath("PROJECTS")), QStringList{"Template"});
}

void Test_Cli_Toolkit::Import_and_provision_write_only_inside_the_workspace()
{
    QTemporaryDir dir;
    BUILT_CONFIG(original, dir, "Original", Saved_ParGen(1));
    const QString bankK = original + "/bin/bankK.bin";
    QVERIFY(QDir().mkpath(dir.filePath("MASTER")) && QDir().mkpath(dir.filePath("outside")));
    QVERIFY(Write_File(dir.filePath("outside/ParGen.xml"), "kept"));
    const QStringList workspace = {"--workspace", dir.path()};
    // Through "..", outside altogether, and where links are links (Windows makes a shortcut file), through a
    // link to a directory and through a linked parent.
    QStringList targets = {dir.filePath("PROJECTS/../MASTER/X"), dir.filePath("outside/X")};
#ifndef Q_OS_WIN
    QVERIFY(QFile::link(dir.filePath("outside"), dir.filePath("PROJECTS/Link")));
    targets << dir.filePath("PROJECTS/Link") << dir.filePath("PROJECTS/Link/X");
#endif
    for (const QString &target : std::as_const(targets)) {
        const TRun run = Run(QStringList{"import", bankK, target, "--force"} + workspace);
        QVERIFY2(run.Exit_Code == 1 && run.Err.contains("is not in the workspace's PROJECTS"), run.Err.constData());
    }
    QVERIFY(!QFileInfo::exists(dir.filePath("MASTER/X")) && !QFileInfo::exists(dir.filePath("outside/X")));
    QCOMPARE(Read_File(dir.filePath("outside/ParGen.xml")), QByteArray("kept"));
    // A plain name is the workspace's configuration, named resolved.
    TRun run = Run(QStringList{"import", bankK, "Plain"} + workspace);
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    QVERIFY2(run.Out.contains(QFile::encodeName(QDir::toNativeSeparators(
                 QFileInfo(dir.path()).canonicalFilePath() + "/PROJECTS/Plain/ParGen.xml"))),
             run.Out.constData());
#ifndef Q_OS_WIN
    // --force replaces a ParGen.xml that is a link, never writing its target.
    QVERIFY(QFile::remove(dir.filePath("PROJECTS/Plain/ParGen.xml")));
    QVERIFY(QFile::link(dir.filePath("outside/ParGen.xml"), dir.filePath("PROJECTS/Plain/ParGen.xml")));
    QCOMPARE(Run(QStringList{"import", bankK, "Plain"} + workspace).Exit_Code, 1);
    run = Run(QStringList{"import", bankK, "Plain", "--force"} + workspace);
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    QVERIFY(!QFileInfo(dir.filePath("PROJECTS/Plain/ParGen.xml")).isSymLink());
    QCOMPARE(Read_File(dir.filePath("outside/ParGen.xml")), QByteArray("kept"));
#endif
    // provision: the template's PROJECTS must be the workspace's.
    QVERIFY(Write_File(dir.filePath("meters.csv"), "name\nM1\n"));
    QVERIFY(QDir().mkpath(dir.filePath("outside/PROJECTS/T")));
    QVERIFY(QFile::copy(original + "/ParGen.xml", dir.filePath("outside/PROJECTS/T/ParGen.xml")));
    run = Run(QStringList{"provision", dir.filePath("outside/PROJECTS/T"), dir.filePath("meters.csv")} + workspace);
    QVERIFY2(run.Exit_Code == 1 && run.Err.contains("is not in the workspace's PROJECTS"), run.Err.constData());
    run = Run(QStringList{"provision", "Original", dir.filePath("meters.csv")} + workspace);
    QVERIFY2(run.Exit_Code == 0 && QFileInfo::exists(dir.filePath("PROJECTS/M1/bin/bankK.bin")), run.Err.constData());
}

void Test_Cli_Toolkit::Diff_refuses_a_directory_that_is_no_configuration()
{
    QTemporaryDir dir;
    BUILT_CONFIG(conf, dir, "A", Saved_ParGen(1));
    QVERIFY(QDir().mkpath(dir.filePath("empty")));
    for (const QString &other : {dir.filePath("empty"), QStringLiteral("/etc")}) {
        const TRun run = Run({"diff", other, conf});
        QVERIFY2(run.Exit_Code == 2 && run.Err.contains("is not a configuration") && run.Out.isEmpty(),
                 run.Err.constData());
    }
    // Images without ParGen.xml are a configuration built from the defaults.
    QVERIFY(QFile::remove(conf + "/ParGen.xml"));
    QCOMPARE(Run({"diff", conf, conf}).Exit_Code, 0);
}

void Test_Cli_Toolkit::Provision_killed_at_any_step_leaves_all_or_none_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("committed");
    QTest::addColumn<bool>("update");
    // Every boundary of the run, in its order: staging, each row's ParGen.xml and whole row, the journal
    // written and then renamed (the commit), each move, the journal removed.
    const struct
    {
        const char *Step;
        bool Committed;
    } steps[] = {{"staging:1", false},   {"pargen:1", false},  {"row:1", false},           {"pargen:2", false},
                 {"row:2", false},       {"row:3", false},     {"staged:1", false},        {"journal-written:1", false},
                 {"committed:1", true},  {"moved:1", true},    {"moved:2", true},          {"moved:3", true},
                 {"placed:1", true},     {"journal-removed:1", true}};
    for (const auto &step : steps)
        QTest::newRow(step.Step) << step.Step << step.Committed << false;
    // --update creates the same way and updates only after the commit.
    QTest::newRow("--update, row:2") << "row:2" << false << true;
    QTest::newRow("--update, moved:2") << "moved:2" << true << true;
}

void Test_Cli_Toolkit::Provision_killed_at_any_step_leaves_all_or_none()
{
    QFETCH(QString, step);
    QFETCH(bool, committed);
    QFETCH(bool, update);
    QTemporaryDir dir;
    const QString projects = dir.filePath("PROJECTS");
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    QVERIFY(Write_File(dir.filePath("meters.csv"), "name,Port_0_DevID,ip\nM1,5,127.0.0.1\nM2,6,127.0.0.1\n"
                                                   "M3,7,127.0.0.1\n"));
    QProcessEnvironment killedAt = QProcessEnvironment::systemEnvironment();
    killedAt.insert("QUILLON_FAULT_STEP", step);
    const QStringList provision = {"provision", templ, dir.filePath("meters.csv")};
    const TRun killed = Run(provision + (update ? QStringList{"--update"} : QStringList()), QUILLON_CLI, killedAt);
    QVERIFY2(killed.Exit_Code == 99, killed.Err.constData());

    // Any command on the workspace recovers first and says so, once.
    const TRun recovery = Run({"check", templ});
    QVERIFY2(recovery.Exit_Code == 0 && recovery.Err.startsWith("quillon-cli: "), recovery.Err.constData());
    QCOMPARE(Run({"check", templ}).Err, QByteArray());
    const QStringList everything =
        QDir(projects).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(everything, committed ? QStringList({"M1", "M2", "M3", "Template"}) : QStringList{"Template"});
    for (const QString &name : everything.mid(0, everything.size() - 1)) {
        const TRun verify = Run({"verify", projects + "/" + name});
        QVERIFY2(verify.Exit_Code == 0, verify.Err.constData());
    }
    // The same table goes through after a run undone.
    if (!committed)
        QCOMPARE(Run(provision).Exit_Code, 0);
}

void Test_Cli_Toolkit::A_provision_lock_is_taken_over_only_when_left_behind_data()
{
    QTest::addColumn<QByteArray>("lock");
    QTest::addColumn<int>("age"); // seconds since it was last written
    QTest::addColumn<bool>("takenOver");
    QProcess ended;
    ended.start(QStringLiteral(QUILLON_CLI), {"--version"});
    QVERIFY(ended.waitForStarted());
    const QByteArray dead = QByteArray::number(ended.processId());
    QVERIFY(ended.waitForFinished());
    const QByteArray alive = QByteArray::number(QCoreApplication::applicationPid());
    // Made and not yet written, or left so by a power loss: being taken, until it has stayed empty a while.
    QTest::newRow("empty, just made") << QByteArray() << 0 << false;
    QTest::newRow("empty for a minute") << QByteArray() << 60 << true;
    QTest::newRow("a dead process's") << "owner=" + dead + "\nowner_start=0\n" << 0 << true;
    QTest::newRow("a live process's, for an hour") << "owner=" + alive + "\nowner_start=0\n" << 3600 << false;
    // An earlier version names the process on the first line alone.
    QTest::newRow("an earlier version's, dead") << dead + "\nquillon-cli\nhost\n" << 0 << true;
    QTest::newRow("an earlier version's, alive") << alive + "\nquillon-cli\nhost\n" << 60 << false;
}

void Test_Cli_Toolkit::A_provision_lock_is_taken_over_only_when_left_behind()
{
    QFETCH(QByteArray, lock);
    QFETCH(int, age);
    QFETCH(bool, takenOver);
    QTemporaryDir dir;
    const QString projects = dir.filePath("PROJECTS");
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(1));
    QVERIFY(Write_File(dir.filePath("m.csv"), "name\nM1\nM2\n"));
    QVERIFY(Write_File(dir.filePath("n.csv"), "name\nN1\n"));
    // A provision killed after its commit leaves the journal for the next run to finish, and the lock in the
    // state of the row; beside it, a temporary of a lock that a killed process never took.
    QProcessEnvironment killedAt = QProcessEnvironment::systemEnvironment();
    killedAt.insert("QUILLON_FAULT_STEP", "committed:1");
    QCOMPARE(Run({"provision", templ, dir.filePath("m.csv")}, QUILLON_CLI, killedAt).Exit_Code, 99);
    const auto aged = [&](const QString &name, const QByteArray &bytes, int seconds) {
        QFile file(projects + "/" + name);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
               file.setFileTime(QDateTime::currentDateTime().addSecs(-seconds), QFileDevice::FileModificationTime);
    };
    QVERIFY(aged(".provision.lock", lock, age));
    QVERIFY(aged(".provision.lock.Zx81Qa", "owner=1\n", 60));

    const TRun run = Run({"provision", templ, dir.filePath("n.csv")});
    const QStringList everything =
        QDir(projects).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    if (takenOver) {
        QVERIFY2(run.Exit_Code == 0 && run.Err.contains("a provision that ended after its commit was finished"),
                 run.Err.constData());
        QCOMPARE(everything, QStringList({"M1", "M2", "N1", "Template"}));
    } else {
        // Neither the recovery nor the new provision touches the work of the provision that holds the lock.
        QVERIFY2(run.Exit_Code == 1 && run.Err.contains("another provision is running"), run.Err.constData());
        QVERIFY2(!everything.contains("M1") && !everything.contains("N1") && everything.contains(".provision.journal"),
                 qPrintable(everything.join(u", ")));
        QCOMPARE(Read_File(projects + "/.provision.lock"), lock);
    }
}

void Test_Cli_Toolkit::Provision_update_runs_update_in_table_order()
{
#ifndef Q_OS_UNIX
    QSKIP("the port is a pseudo terminal");
#else
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath("MASTER"));
    QVERIFY(Write_File(dir.filePath("MASTER/sim40926.sim"), "serial firmware"));
    BUILT_CONFIG(templ, dir, "Template", Saved_ParGen(0));
    const TPseudo_Port port;
    QVERIFY(!port.Path.isEmpty());
    const QByteArray table = QStringLiteral("name,Port_0_DevID,port\nM1,5,%1\nM2,6,%1\n").arg(port.Path).toUtf8();
    QVERIFY(Write_File(dir.filePath("a.csv"), table));
    QVERIFY(Write_File(dir.filePath("b.csv"), QByteArray(table).replace("M1", "N1").replace("M2", "N2")));

    // The first updater fails: the run stops there, unless told to go on.
    QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 0, 4));
    TRun run = Run({"provision", templ, dir.filePath("a.csv"), "--update", "--option", "2"});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("the update of row 2 (M1) ended with exit code 4; 1 row after it was not updated"),
             run.Err.constData());
    QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].Args.last(), dir.filePath("PROJECTS/M1/bin/bank.bin"));
    QVERIFY(Read_File(dir.filePath("PROJECTS/M1/update.log")).contains("ended: exit code 4"));
    QVERIFY(QFileInfo(dir.filePath("PROJECTS/M2/bin/bankK.bin")).isFile());

    run = Run({"provision", templ, dir.filePath("b.csv"), "--update", "--option", "2", "--keep-going"});
    QCOMPARE(run.Exit_Code, 1);
    runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
    QCOMPARE(runs.size(), 3);
    QCOMPARE(runs[2].Args.last(), dir.filePath("PROJECTS/N2/bin/bank.bin"));

    // A row without the address its device is updated by: refused before anything is made.
    QVERIFY(Write_File(dir.filePath("c.csv"), "name,Device_Type_Type,port\nE1,1,ttyS0\n"));
    run = Run({"provision", templ, dir.filePath("c.csv"), "--update"});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("row 2, column ip: the device is updated over Ethernet"), run.Err.constData());
    QVERIFY(!QFileInfo::exists(dir.filePath("PROJECTS/E1")));
#endif
}

void Test_Cli_Toolkit::Help_and_command_line_errors()
{
    const TRun help = Run({"--help"});
    QVERIFY(help.Out.contains("import BANKK_FILE [BANK_FILE] CONFIG_DIR [--force]") &&
            help.Out.contains("diff A B [--raw] [--json]") && help.Out.contains("provision TEMPLATE_DIR TABLE.csv"));
    const QList<QStringList> wrong = {
        {"import", "a"},
        {"import", "a", "b", "c", "d"},
        {"build", "x", "--force"},
        {"diff", "a"},
        {"check", "x", "--raw"},
        {"provision", "t", "x.csv", "--keep-going"},
        {"provision", "t", "x.csv", "--option", "2"},
        {"provision", "t", "x.csv", "--update", "--port", "ttyS0"},
        {"update", "x", "--port", "ttyS0", "--update"},
    };
    for (const QStringList &arguments : wrong) {
        const TRun run = Run(arguments);
        QVERIFY2(run.Exit_Code == 2, qPrintable(arguments.join(u' ') + ": " + QString::fromUtf8(run.Err)));
    }
}

QTEST_GUILESS_MAIN(Test_Cli_Toolkit)
#include "test_cli_toolkit.moc"
