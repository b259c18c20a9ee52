// quillon-cli run as a real process on real files.

#include "UCli_Process.h"
#include "UFull_Disk.h"
#include "UParGen_Fixture.h"
#include "USent_Record.h"
#include "UStand_In.h"
#include "UUpdater_Lock.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>
#include <vector>


namespace {

void Write_File(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Read_File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// ParGen.xml as the settings dialog saves it for a new configuration.
const QByteArray New_Configuration =
    "<Par_Gen><Device_Type_Type>1</Device_Type_Type><Port_0_Baud>7</Port_0_Baud><Port_0_Par>0</Port_0_Par>"
    "<Port_0_DevID>1</Port_0_DevID><Port_0_BroadCast>0</Port_0_BroadCast><Port_1_Port>1</Port_1_Port>"
    "<Port_1_Baud>7</Port_1_Baud><Port_1_Par>0</Port_1_Par><Port_1_DevID>1</Port_1_DevID>"
    "<Port_1_BroadCast>0</Port_1_BroadCast><Opt_Off_Reg>0</Opt_Off_Reg><Opt_Off_Status>0</Opt_Off_Status>"
    "<Ethernet_IP1>192</Ethernet_IP1><Ethernet_IP2>168</Ethernet_IP2><Ethernet_IP3>0</Ethernet_IP3>"
    "<Ethernet_IP4>10</Ethernet_IP4><Ethernet_SM1>255</Ethernet_SM1><Ethernet_SM2>255</Ethernet_SM2>"
    "<Ethernet_SM3>255</Ethernet_SM3><Ethernet_SM4>0</Ethernet_SM4><Ethernet_GAT1>192</Ethernet_GAT1>"
    "<Ethernet_GAT2>168</Ethernet_GAT2><Ethernet_GAT3>0</Ethernet_GAT3><Ethernet_GAT4>1</Ethernet_GAT4>"
    "<Ethernet_EN_GAT>0</Ethernet_EN_GAT></Par_Gen><!--SW_VERSION = 2.002-->";

} // namespace

class Test_Cli : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void Build_writes_the_worked_files();
    void Build_without_parameter_file_writes_the_defaults();
    void Build_of_a_malformed_file_changes_nothing();
    void Build_writes_nothing_through_a_linked_bin();
    void Inspect_decodes_both_files();
    void Inspect_refuses_damaged_files_data();
    void Inspect_refuses_damaged_files();
    void Check_reports_the_first_failing_rule();
    void Texts_prints_the_table_with_a_language_file_applied();
    void Texts_report_tells_what_each_line_did();
    void Command_line_errors_data();
    void Command_line_errors();
    void Version_and_help();
    void The_manual_pages_name_every_command_and_option_of_the_help();
    void The_window_program_starts_without_the_network_libraries();
    void Update_runs_the_serial_updater_and_exits_with_its_code();
    void A_second_update_is_refused_and_a_signal_stops_the_first();
    void Update_over_ethernet_checks_writes_and_runs();
    void Each_run_is_kept_and_tells_the_state_of_its_configuration();
    void An_address_that_received_another_configuration_is_asked_about();
    void An_update_killed_at_any_moment_leaves_whole_runs();
    void Several_configurations_are_updated_one_after_the_other();
    void Ctrl_C_during_several_stops_the_running_one_and_skips_the_rest();
    void Updates_started_at_once_run_one_at_a_time_each_with_its_own_parameters();
    void Workspace_option_names_the_workspace_of_update_and_version();
    void Update_failures_data();
    void Update_failures();
    void Verify_names_each_file_that_differs_data();
    void Verify_names_each_file_that_differs();
    void The_defaults_are_announced();
    void Check_fails_on_a_file_it_cannot_read();
    void Inspect_reads_nothing_larger_than_an_image_data();
    void Inspect_reads_nothing_larger_than_an_image();
    void A_name_that_is_not_utf8_is_reported_as_it_is();
    void Build_on_a_full_disk_fails_and_keeps_the_pair();
    void New_makes_a_template_that_provisions_by_values();

private:
    QScopedPointer<QTemporaryDir> Dir;
    QString Conf;
};

void Test_Cli::init()
{
    Dir.reset(new QTemporaryDir);
    Conf = Dir->filePath(QStringLiteral("Line2"));
    QVERIFY(QDir().mkpath(Conf));
}

void Test_Cli::Build_writes_the_worked_files()
{
    Write_File(Conf + "/ParGen.xml", New_Configuration);
    const TRun run = Run({"build", Conf});
    QCOMPARE(run.Exit_Code, 0);
    const QString bank = QDir::toNativeSeparators(Conf + "/bin/bank.bin");
    const QString bankK = QDir::toNativeSeparators(Conf + "/bin/bankK.bin");
    QCOMPARE(QString::fromUtf8(run.Out),
             bank + ": 17 bytes\n" + bankK + ": 2048 bytes\nchecksum: 3654 (46 0E 00 00)\n");
    QCOMPARE(Read_File(bank), QByteArray::fromHex("0400000007000101070001000000000000"));
    const QByteArray image = Read_File(bankK);
    QCOMPARE(image.size(), 2048);
    QCOMPARE(image.mid(0x7FC), QByteArray::fromHex("460E0000"));
}

void Test_Cli::Build_without_parameter_file_writes_the_defaults()
{
    const TRun run = Run({"build", Conf});
    QCOMPARE(run.Exit_Code, 0);
    QVERIFY(run.Out.endsWith("checksum: 3458 (82 0D 00 00)\n"));
    QCOMPARE(Read_File(Conf + "/bin/bank.bin"), QByteArray::fromHex("04000000"));
}

void Test_Cli::Build_of_a_malformed_file_changes_nothing()
{
    QVERIFY(QDir().mkpath(Conf + "/bin"));
    Write_File(Conf + "/bin/bank.bin", "old");
    Write_File(Conf + "/bin/bankK.bin", "older");
    Write_File(Conf + "/ParGen.xml", "<Par_Gen><Port_0_Baud>3</Port_0_Baud>");
    const TRun run = Run({"build", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("ParGen.xml") && run.Err.contains("line 1"), run.Err.constData());
    QCOMPARE(Read_File(Conf + "/bin/bank.bin"), QByteArray("old"));
    QCOMPARE(Read_File(Conf + "/bin/bankK.bin"), QByteArray("older"));

    QCOMPARE(Run({"build", Dir->filePath("missing")}).Exit_Code, 1);
}

void Test_Cli::Build_writes_nothing_through_a_linked_bin()
{
#ifndef Q_OS_UNIX
    QSKIP("makes a symbolic link, on Unix only");
#else
    const QString outside = Dir->filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(outside));
    Write_File(outside + "/bank.bin", "theirs");
    QVERIFY(QFile::link(outside, Conf + "/bin"));
    Write_File(Conf + "/ParGen.xml", New_Configuration);
    const TRun run = Run({"build", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains(QFile::encodeName(QDir::toNativeSeparators(Conf + "/bin")) + " is a symbolic link"),
             run.Err.constData());
    QCOMPARE(QDir(outside).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"bank.bin"});
    QCOMPARE(Read_File(outside + "/bank.bin"), QByteArray("theirs"));
    QVERIFY(QFileInfo(Conf + "/bin").isSymLink());
#endif
}

void Test_Cli::Inspect_decodes_both_files()
{
    Write_File(Conf + "/ParGen.xml", New_Configuration);
    QCOMPARE(Run({"build", Conf}).Exit_Code, 0);

    const TRun image = Run({"inspect", Conf + "/bin/bankK.bin"});
    QCOMPARE(image.Exit_Code, 0);
    for (const char *line :
         {"ethernet address: 192.168.0.10\n", "subnet mask: 255.255.255.0\n", "gateway: none (255.255.255.255)\n",
          "port 0: RS485, channel 0, 115200 bit/s, parity NONE, 8 data bits, stop code 0, device ID 1, broadcast off\n",
          "port 1: RS485, channel 2, 115200 bit/s, parity NONE, 8 data bits, stop code 0, device ID 1, broadcast off\n",
          "port flags: 0x01 (Port 1 on RS485)\n", "checksum stored: 3654\n", "checksum computed: 3654\n"})
        QVERIFY2(image.Out.contains(line), line);

    const TRun block = Run({"inspect", "--json", Conf + "/bin/bank.bin"});
    QCOMPARE(block.Exit_Code, 0);
    const QJsonObject json = QJsonDocument::fromJson(block.Out).object();
    QCOMPARE(json.value("kind").toString(), QStringLiteral("bank.bin"));
    QCOMPARE(json.value("size").toInt(), 17);
    QVERIFY(json.value("well_formed").toBool());
    QCOMPARE(json.value("port_1").toObject().value("interface").toString(), QStringLiteral("RS485"));
    QCOMPARE(json.value("port_0").toObject().value("baud_rate").toInt(), 115200);
}

void Test_Cli::Inspect_refuses_damaged_files_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("reason");
    QByteArray image(2048, '\0');
    image[0x7FC] = 1;
    QTest::newRow("checksum mismatch") << image << QByteArray("checksum mismatch: stored 1, computed 0");
    QTest::newRow("wrong size") << QByteArray(100, '\0') << QByteArray("100 bytes");
    QTest::newRow("wrong header") << QByteArray::fromHex("05000000") << QByteArray("header is 5");
}

void Test_Cli::Inspect_refuses_damaged_files()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, reason);
    const QString path = Dir->filePath("file.bin");
    Write_File(path, bytes);
    const TRun run = Run({"inspect", path});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains(reason), run.Err.constData());
    const TRun json = Run({"inspect", "--json", path});
    QCOMPARE(json.Exit_Code, 1);
    QVERIFY(!QJsonDocument::fromJson(json.Out).object().value("well_formed").toBool());
}

void Test_Cli::Check_reports_the_first_failing_rule()
{
    // Never saved: nothing a device may take.
    TRun run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QCOMPARE(run.Out, QByteArray("This configuration was never saved: it has no ParGen.xml. quillon-cli new makes a "
                                 "configuration with one, quillon-cli import one from a device's images.\n"));

    Write_File(Conf + "/ParGen.xml", New_Configuration);
    run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 0);
    QCOMPARE(run.Out, QByteArray("OK\n"));

    Write_File(Conf + "/ParGen.xml", Saved_ParGen(1, {{"Port_1_DevID", "251"}, {"Ethernet_IP1", "300"}}));
    run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QCOMPARE(run.Out, QByteArray("Port 1 (RS232 / RS485)!! Device ID must be between 1 and 250\n"));

    // Without Ethernet the address bytes are not checked.
    Write_File(Conf + "/ParGen.xml", Saved_ParGen(0, {{"Ethernet_IP1", "300"}}));
    QCOMPARE(Run({"check", Conf}).Out, QByteArray("OK\n"));
    Write_File(Conf + "/ParGen.xml", Saved_ParGen(1, {{"Ethernet_IP1", "300"}}));
    QCOMPARE(Run({"check", Conf}).Out, QByteArray("Error Ethernet!! IP Address 1 must be between 0 and 255\n"));

    Write_File(Conf + "/ParGen.xml", Saved_ParGen(0, {{"Port_0_Baud", "99"}}));
    run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 1);
    // What the file may hold there is said with it.
    QCOMPARE(run.Out, QByteArray("Port 0 baud rate: index 99 is not in the list; ParGen.xml holds Port_0_Baud as the "
                                 "index (0 to 7) of 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200\n"));

    Write_File(Conf + "/ParGen.xml", "<Par_Gen>");
    run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Out.contains("not well-formed"), run.Out.constData());
}

void Test_Cli::Texts_prints_the_table_with_a_language_file_applied()
{
    TRun run = Run({"texts"});
    QCOMPARE(run.Exit_Code, 0);
    QList<QByteArray> lines = run.Out.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());
    QCOMPARE(lines.size(), 1200);
    QCOMPARE(lines[9], QByteArray("9\tNone Configuration Opened "));
    QCOMPARE(lines[60], QByteArray("60\t "));

    const QString file = Dir->filePath("Deutsch.lng");
    Write_File(file, "\xEF\xBB\xBFSTR19 = Neue Version verf\xC3\xBCgbar\r\nSTR1000=Update\r\n");
    run = Run({"texts", file});
    lines = run.Out.split('\n');
    QCOMPARE(lines[19], QByteArray("19\tNeue Version verf\xC3\xBCgbar"));
    QCOMPARE(lines[100], QByteArray("100\tUpdate"));
    QCOMPARE(lines[1000], QByteArray("1000\tUpdate Device by Serial"));

    QCOMPARE(Run({"texts", Dir->filePath("missing.lng")}).Exit_Code, 1);
}

void Test_Cli::Texts_report_tells_what_each_line_did()
{
    const QString file = Dir->filePath("Deutsch.lng");
    static const char text[] =
        "; header\nSTR19 = Neue Version\nSTR1200 = x\nSTR1000=Update\nSTR20 = a\x1B[2Jb\x7F\nSTR\0 = c\n";
    Write_File(file, QByteArray(text, sizeof text - 1));
    TRun run = Run({"texts", "--report", file});
    QCOMPARE(run.Exit_Code, 0);
    const QList<QByteArray> lines = run.Out.trimmed().split('\n');
    QCOMPARE(lines.size(), 10);
    QVERIFY2(lines[0].startsWith("line 1: ignored, ") && lines[0].endsWith("; header"), lines[0].constData());
    QCOMPARE(lines[1], QByteArray("line 2: entry 19 := \"Neue Version\""));
    QVERIFY2(lines[2].startsWith("line 3: ignored, ") && lines[2].contains("1200"), lines[2].constData());
    QCOMPARE(lines[3], QByteArray("line 4: entry 100 := \"Update\""));
    // Control characters from the file never reach the terminal raw.
    QCOMPARE(lines[4], QByteArray("line 5: entry 20 := \"a\\x1B[2Jb\\x7F\""));
    QVERIFY2(lines[5].startsWith("line 6: ignored, ") && lines[5].endsWith(": STR\\x00 = c"), lines[5].constData());
    // Then what a translator should look at, and how much is left in English.
    QCOMPARE(lines[6], QByteArray("warning: line 3: nothing set: index 1200 out of range 0 to 1199"));
    QVERIFY2(lines[7].startsWith("warning: line 4: the character just before \"=\" is not read as part of the index "
                                 "(\"1000\" was meant, 100 was read)"),
             lines[7].constData());
    QVERIFY2(lines[8].startsWith("warning: line 6: nothing set: ") && !lines[8].contains('\0'), lines[8].constData());
    QVERIFY2(lines[9].startsWith("292 of 295 shown entries with letters are left in English: 0 1 2 "),
             lines[9].constData());
    run = Run({"texts", file});
    QCOMPARE(run.Out.split('\n')[20], QByteArray("20\ta\\x1B[2Jb\\x7F"));
}

void Test_Cli::Command_line_errors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"flash"};
    QTest::newRow("build without directory") << QStringList{"build"};
    QTest::newRow("inspect without file") << QStringList{"inspect"};
    QTest::newRow("check with two directories") << QStringList{"check", "a", "b"};
    QTest::newRow("ports with an argument") << QStringList{"ports", "x"};
    QTest::newRow("unknown option") << QStringList{"--fast", "ports"};
    QTest::newRow("json on another command") << QStringList{"build", "--json", "x"};
    QTest::newRow("report without a file") << QStringList{"texts", "--report"};
    QTest::newRow("update without a way") << QStringList{"update", "x"};
    QTest::newRow("update with both ways") << QStringList{"update", "x", "--port", "ttyS0", "--ip", "10.0.0.1"};
    QTest::newRow("update with option 3") << QStringList{"update", "x", "--port", "ttyS0", "--option", "3"};
    QTest::newRow("port on another command") << QStringList{"build", "x", "--port", "ttyS0"};
    QTest::newRow("new without a name") << QStringList{"new"};
    QTest::newRow("new with an unknown key") << QStringList{"new", "x", "Port_0_Bd=9600"};
    QTest::newRow("new with no value") << QStringList{"new", "x", "Port_0_Baud"};
    QTest::newRow("new with a key twice") << QStringList{"new", "x", "Port_0_Baud=3", "Port_0_Baud=4"};
}

void Test_Cli::Command_line_errors()
{
    QFETCH(QStringList, arguments);
    const TRun run = Run(arguments);
    QCOMPARE(run.Exit_Code, 2);
    QCOMPARE(run.Err.count('\n'), 1);
    QVERIFY(run.Out.isEmpty());
}

void Test_Cli::Version_and_help()
{
    // The version, then the workspace in use: quillon-cli's build directory, which this user may write.
    QCOMPARE(Run({"--version"}).Out,
             "2.002\nworkspace: " +
                 QDir::toNativeSeparators(QFileInfo(QStringLiteral(QUILLON_CLI)).absolutePath()).toUtf8() + '\n');
    const TRun help = Run({"--help"});
    QCOMPARE(help.Exit_Code, 0);
    for (const char *command : {"build CONFIG_DIR", "inspect FILE", "check CONFIG_DIR", "texts [FILE.lng]", "ports"})
        QVERIFY2(help.Out.contains(command), command);
    QCOMPARE(Run({"ports"}).Exit_Code, 0);

    // The program's own answer needs no display: one it tried to open would fail here.
    QProcessEnvironment noDisplay = QProcessEnvironment::systemEnvironment();
    noDisplay.remove(QStringLiteral("DISPLAY"));
    noDisplay.remove(QStringLiteral("WAYLAND_DISPLAY"));
    noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const TRun version = Run({"--version"}, QStringLiteral(QUILLON_EXE), noDisplay);
    QCOMPARE(version.Exit_Code, 0);
    QCOMPARE(version.Out, QByteArray("quillon 2.002\n"));
    const TRun programHelp = Run({"--help"}, QStringLiteral(QUILLON_EXE), noDisplay);
    QCOMPARE(programHelp.Exit_Code, 0);
    QVERIFY2(programHelp.Out.contains("Usage: quillon") && programHelp.Out.contains("--version"),
             programHelp.Out.constData());
    QVERIFY2(programHelp.Out.contains("--look LOOK"), programHelp.Out.constData());
    // A look the program does not have is a wrong command line, told before any window opens.
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    const TRun wrongLook = Run({"--look", "sepia"}, QStringLiteral(QUILLON_EXE), offscreen);
    QCOMPARE(wrongLook.Exit_Code, 2);
    QVERIFY2(wrongLook.Err.contains("--look takes light, dark or system"), wrongLook.Err.constData());
}

// Every command and option the programs' --help names, as their manual pages must name them too.
static QStringList Help_Words(const QByteArray &help)
{
    QStringList words;
    bool commands = false;
    for (const QString &line : QString::fromUtf8(help).split(u'\n')) {
        if (line.startsWith(QStringLiteral("Commands:")))
            commands = true;
        else if (!line.startsWith(u' '))
            commands = false;
        // A command stands at the start of its entry, two blanks in: "  build CONFIG_DIR".
        const QRegularExpressionMatch command = QRegularExpression(QStringLiteral("^  ([a-z]+)\\b")).match(line);
        if (commands && command.hasMatch())
            words << command.captured(1);
        for (const QRegularExpressionMatch &option :
             QRegularExpression(QStringLiteral("(?:^|\\s|\\[|\\()(--[a-z][a-z-]*)")).globalMatch(line))
            words << option.captured(1);
    }
    words.removeDuplicates();
    return words;
}

void Test_Cli::The_manual_pages_name_every_command_and_option_of_the_help()
{
#ifdef Q_OS_WIN
    QSKIP("the manual pages are installed on Linux only");
#endif
    const struct
    {
        const char *Program;
        const char *Page;
    } pages[] = {{QUILLON_CLI, "quillon-cli.1"}, {QUILLON_EXE, "quillon.1"}};
    QProcessEnvironment offscreen = QProcessEnvironment::systemEnvironment();
    offscreen.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const auto &page : pages) {
        const TRun help = Run({"--help"}, QString::fromUtf8(page.Program), offscreen);
        QCOMPARE(help.Exit_Code, 0);
        const QStringList words = Help_Words(help.Out);
        QVERIFY2(words.contains(QStringLiteral("--help")), help.Out.constData());
        // The page as man reads it: "\-" is a hyphen, font changes are markup.
        QString text = QString::fromUtf8(Read_File(QStringLiteral(QUILLON_MAN_DIR "/") + QLatin1String(page.Page)));
        text.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")))
            .replace(QStringLiteral("\\-"), QStringLiteral("-"));
        for (const QString &word : words) {
            const QRegularExpression named(
                QStringLiteral("(?:^|[^a-z-])%1(?:$|[^a-z-])").arg(QRegularExpression::escape(word)));
            QVERIFY2(named.match(text).hasMatch(),
                     qPrintable(QStringLiteral("%1 does not name %2").arg(QLatin1String(page.Page), word)));
        }
    }
}

void Test_Cli::The_window_program_starts_without_the_network_libraries()
{
#ifndef Q_OS_LINUX
    QSKIP("reads the libraries an ELF program needs");
#else
    // Qt Network and what it loads (the proxy, Kerberos and resolver libraries) cost every start several
    // milliseconds: the window program loads them with its network module, when it first needs the network.
    QProcess readelf;
    readelf.start(QStringLiteral("readelf"), {QStringLiteral("--dynamic"), QStringLiteral(QUILLON_EXE)});
    QVERIFY2(readelf.waitForFinished(30000) && readelf.exitCode() == 0, qPrintable(readelf.errorString()));
    const QByteArray needed = readelf.readAllStandardOutput();
    QVERIFY2(needed.contains("libQt6Widgets"), needed.constData());
    QVERIFY2(!needed.contains("libQt6Network"), needed.constData());
    QVERIFY(QFileInfo::exists(QFileInfo(QStringLiteral(QUILLON_EXE)).absolutePath() +
                              QStringLiteral("/quillon-network.so")));
#endif
}

// A workspace with the configuration Line2 (ParGen.xml as saved with the given device type, or the given
// file), the firmware files and a stand-in updater.
static QString Make_Workspace(const QTemporaryDir &dir, const char *deviceType, const QString &updater,
                              int exitCode = 0, const QByteArray &parGen = QByteArray())
{
    const QString conf = dir.filePath(QStringLiteral("PROJECTS/Line2"));
    QDir().mkpath(conf + QStringLiteral("/bin"));
    QDir().mkpath(dir.filePath(QStringLiteral("MASTER")));
    Write_File(dir.filePath(QStringLiteral("MASTER/sim40926.sim")), "serial firmware");
    Write_File(dir.filePath(QStringLiteral("MASTER/Sim40926K.sim")), "Ethernet firmware");
    if (parGen != "none")
        Write_File(conf + QStringLiteral("/ParGen.xml"),
                   parGen.isNull() ? Saved_ParGen(QByteArray(deviceType).toInt()) : parGen);
    if (!updater.isEmpty())
        Install_Stand_In(dir.path(), updater, 0, exitCode);
    return conf;
}

void Test_Cli::Update_runs_the_serial_updater_and_exits_with_its_code()
{
#ifndef Q_OS_UNIX
    QSKIP("the port is a pseudo terminal");
#else
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "0", Serial_Updater_Base, 5);
    QVERIFY(Stand_In_Says(dir.path(), Serial_Updater_Base, {QStringLiteral("flashing")}, {QStringLiteral("no ack")}));
    const TPseudo_Port port;
    QVERIFY(!port.Path.isEmpty());
    const TRun run = Run({"update", conf, "--port", port.Path, "--option", "1", "--no-read-back"});
    QCOMPARE(run.Exit_Code, 5);
    QVERIFY2(run.Out.contains("ended with exit code 5"), run.Out.constData());
    // The updater's output is shown as it comes, and kept in the record.
    QVERIFY2(run.Out.contains("flashing\nno ack\n"), run.Out.constData());
    const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].Args, (QStringList{port.Path, "FW", "NO", "NO", "NO",
                                        dir.filePath(QStringLiteral("MASTER/sim40926.sim")),
                                        conf + QStringLiteral("/bin/bank.bin")}));
    QCOMPARE(Read_File(conf + QStringLiteral("/bin/bankK.bin")).size(), 2048);
    const QByteArray log = Read_File(conf + QStringLiteral("/update.log"));
    QVERIFY2(log.contains("  option: 1 (firmware only), read back off\n  ended: exit code 5, after ") &&
                 log.endsWith("  output:\n    | flashing\n    | no ack\n"),
             log.constData());
    // A second run is appended.
    QCOMPARE(Run({"update", conf, "--port", port.Path, "--option", "1"}).Exit_Code, 5);
    QCOMPARE(Read_File(conf + QStringLiteral("/update.log")).count(" serial update\n"), 2);
#endif
}

void Test_Cli::A_second_update_is_refused_and_a_signal_stops_the_first()
{
#ifndef Q_OS_UNIX
    QSKIP("the port is a pseudo terminal");
#else
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "0", Serial_Updater_Base);
    QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 60000));
    QVERIFY(Stand_In_Control(dir.path(), Serial_Updater_Base, "tick_ms=100\n"));
    const TPseudo_Port port;
    QVERIFY(!port.Path.isEmpty());
    QProcess first;
    first.start(QStringLiteral(QUILLON_CLI), {"update", conf, "--port", port.Path, "--option", "1"});
    QVERIFY(first.waitForStarted());
    const QString lock = dir.filePath(QStringLiteral("update.lock"));
    // Once the lock names the updater, it runs.
    QVERIFY(QTest::qWaitFor(
        [&] { return Read_File(lock).contains("\nupdater=") && !Read_File(lock).contains("\nupdater=0\n"); }, 20000));
    // A second process, in the same workspace: refused, nothing written, nothing started.
    const QByteArray imageBefore = Read_File(conf + QStringLiteral("/bin/bankK.bin"));
    const TRun second = Run({"update", conf, "--port", port.Path, "--option", "1"});
    QCOMPARE(second.Exit_Code, 1);
    QVERIFY2(second.Err.contains("An update is already running in this workspace: ") &&
                 second.Err.contains(QStringLiteral(" on %1, process ").arg(port.Path).toUtf8()),
             second.Err.constData());
    QCOMPARE(Read_File(conf + QStringLiteral("/bin/bankK.bin")), imageBefore);
    QCOMPARE(Stand_In_Runs(dir.path(), Serial_Updater_Base).size(), 1);
    // Nor does build rewrite the files the updater was handed, even with ParGen.xml changed and the
    // configuration named through a link to the workspace.
    Write_File(conf + QStringLiteral("/ParGen.xml"), Saved_ParGen(0, {{"Port_0_DevID", "42"}}));
    const QString linked = dir.filePath(QStringLiteral("linked"));
    QVERIFY(QFile::link(dir.path(), linked));
    for (const QString &named : {conf, linked + QStringLiteral("/PROJECTS/") + QFileInfo(conf).fileName()}) {
        const TRun build = Run({"build", named});
        QCOMPARE(build.Exit_Code, 1);
        QVERIFY2(build.Err.contains("An update is already running in this workspace: "), build.Err.constData());
        QCOMPARE(Read_File(conf + QStringLiteral("/bin/bankK.bin")), imageBefore);
    }
    // Ctrl-C at the first: the updater is ended and the run recorded; the exit code is Ctrl-C's.
    ::kill(pid_t(first.processId()), SIGINT);
    QVERIFY(first.waitForFinished(10000));
    QCOMPARE(first.exitStatus(), QProcess::NormalExit);
    QCOMPARE(first.exitCode(), 130);
    QVERIFY(!Stand_In_Runs(dir.path(), Serial_Updater_Base).value(0).Finished);
    const QByteArray log = Read_File(conf + QStringLiteral("/update.log"));
    QVERIFY2(log.contains("  ended: cancelled by the user after "), log.constData());
    QVERIFY(!QFileInfo::exists(lock));
#endif
}

void Test_Cli::Updates_started_at_once_run_one_at_a_time_each_with_its_own_parameters()
{
#ifndef Q_OS_UNIX
    QSKIP("the stand-in names the process that started it on Unix only");
#else
    // Four configurations of one workspace, each with its own device on the loopback network, updated by four
    // quillon-cli started at the same moment. QUILLON_RACE_ROUNDS sets the number of rounds (300 by hand).
    const int rounds = qEnvironmentVariableIntValue("QUILLON_RACE_ROUNDS") > 0
                           ? qEnvironmentVariableIntValue("QUILLON_RACE_ROUNDS")
                           : 8;
    QTemporaryDir dir;
    Make_Workspace(dir, "1", Ethernet_Updater_Base);
    QVERIFY(Stand_In_Control(dir.path(), Ethernet_Updater_Base, "sleep_ms=20\n"));
    QStringList confs;
    for (int k = 1; k <= 4; ++k) {
        const QString conf = dir.filePath(QStringLiteral("PROJECTS/E%1").arg(k));
        QVERIFY(QDir().mkpath(conf));
        Write_File(conf + QStringLiteral("/ParGen.xml"), Saved_ParGen(1));
        confs << conf;
    }
    QHash<qint64, int> configurationOf;
    for (int round = 0; round < rounds; ++round) {
        std::vector<std::unique_ptr<QProcess>> updates;
        for (int k = 0; k < 4; ++k) {
            auto update = std::make_unique<QProcess>();
            update->setProgram(QStringLiteral(QUILLON_CLI));
            update->setArguments({"update", confs[k], "--ip", QStringLiteral("127.0.0.%1").arg(k + 1), "--option", "2"});
            updates.push_back(std::move(update));
        }
        for (auto &update : updates)
            update->start();
        for (int k = 0; k < 4; ++k) {
            QVERIFY(updates[size_t(k)]->waitForStarted());
            configurationOf.insert(updates[size_t(k)]->processId(), k);
        }
        for (auto &update : updates) {
            QVERIFY(update->waitForFinished(60000));
            const QByteArray err = update->readAllStandardError();
            if (err.contains("no ICMP socket"))
                QSKIP("neither ICMP socket kind opens here");
            // Each one ran or was refused because another ran; none failed otherwise.
            QVERIFY2(update->exitCode() == 0 || err.contains("An update is already running in this workspace") ||
                         err.contains("another program is taking the lock"),
                     err.constData());
        }
    }
    // Never two updaters alive at once: in the stand-ins' common log every run ends before the next begins.
    int alive = 0;
    for (const QByteArray &line : Read_File(Updater_Path(dir.path(), Ethernet_Updater_Base) + ".log").split('\n')) {
        alive += line == "run" ? 1 : line == "finished" ? -1 : 0;
        QVERIFY2(alive <= 1, "two updaters ran at once");
    }
    // Each updater read the parameters of the configuration whose update started it.
    const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Ethernet_Updater_Base);
    QVERIFY(runs.size() >= rounds);
    for (const TStand_In_Run &run : runs) {
        QVERIFY(configurationOf.contains(run.Parent));
        const int k = configurationOf.value(run.Parent);
        QVERIFY2(run.Xml.contains(QStringLiteral("<IP_Address_Dev>127.0.0.%1</IP_Address_Dev>").arg(k + 1).toUtf8()) &&
                     run.Xml.contains(QStringLiteral("E%1").arg(k + 1).toUtf8() + QDir::separator().toLatin1() + "bin"),
                 run.Xml.constData());
    }
    qInfo("%lld updaters in %d rounds of four updates started at once", qint64(runs.size()), rounds);
#endif
}

void Test_Cli::Each_run_is_kept_and_tells_the_state_of_its_configuration()
{
#ifndef Q_OS_UNIX
    QSKIP("the port is a pseudo terminal");
#else
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "0", Serial_Updater_Base);
    const TPseudo_Port port;
    QVERIFY(!port.Path.isEmpty());
    QCOMPARE(Run({"status", conf}).Exit_Code, 1);
    QCOMPARE(Run({"diff", conf, "--sent"}).Exit_Code, 2);
    const TRun update = Run({"update", conf, "--port", port.Path, "--option", "2"});
    QVERIFY2(update.Exit_Code == 0, update.Err.constData());
    const QByteArray sentImage = Read_File(conf + QStringLiteral("/bin/bankK.bin"));

    // The run, as history tells it and as kept: the bytes handed on, outside bin/.
    const TRun history = Run({"history", conf, "--json"});
    QCOMPARE(history.Exit_Code, 0);
    const QJsonArray runs = QJsonDocument::fromJson(history.Out).array();
    QCOMPARE(runs.size(), 1);
    const QJsonObject run = runs[0].toObject();
    QCOMPARE(run["ending"].toString(), QStringLiteral("success"));
    QCOMPARE(run["target"].toString(), port.Path);
    QCOMPARE(run["option"].toInt(), 2);
    QCOMPARE(run["exit_code"].toInt(), 0);
    QVERIFY(run["firmware"].isNull());
    const QString kept = conf + QStringLiteral("/sent/") + run["id"].toString();
    QCOMPARE(Read_File(kept + QStringLiteral("/bankK.bin")), sentImage);
    QCOMPARE(Read_File(kept + QStringLiteral("/ParGen.xml")), Read_File(conf + QStringLiteral("/ParGen.xml")));
    TRun status = Run({"status", conf});
    QCOMPARE(status.Exit_Code, 0);
    QVERIFY2(status.Out.startsWith("Line2  in-sync  last success "), status.Out.constData());

    // Changed since, key by key; what was sent stays as it was.
    Write_File(conf + QStringLiteral("/ParGen.xml"), Saved_ParGen(0, {{"Port_0_Baud", "3"}}));
    QCOMPARE(Run({"build", conf}).Exit_Code, 0);
    status = Run({"status", conf, "--json"});
    QCOMPARE(status.Exit_Code, 1);
    const QJsonObject state = QJsonDocument::fromJson(status.Out).array()[0].toObject();
    QCOMPARE(state["state"].toString(), QStringLiteral("changed"));
    QCOMPARE(state["changed"].toArray(), QJsonArray{QStringLiteral("Port_0_Baud")});
    QCOMPARE(state["last_success"].toObject()["option"].toInt(), 2);
    const TRun diff = Run({"diff", conf, "--sent"});
    QCOMPARE(diff.Exit_Code, 1);
    QVERIFY2(diff.Out.startsWith("Port_0_Baud: "), diff.Out.constData());
    QCOMPARE(Read_File(kept + QStringLiteral("/bankK.bin")), sentImage);

    // An updater that fails leaves the configuration failed; a damaged record is named and passed over.
    QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 0, 3));
    QCOMPARE(Run({"update", conf, "--port", port.Path, "--option", "0"}).Exit_Code, 3);
    QVERIFY(QDir().mkpath(conf + QStringLiteral("/sent/20990101T000000Z-1")));
    Write_File(conf + QStringLiteral("/sent/20990101T000000Z-1/run.json"), "{not json");
    status = Run({"status", conf, "--json"});
    QCOMPARE(QJsonDocument::fromJson(status.Out).array()[0].toObject()["state"].toString(), QStringLiteral("failed"));
    QVERIFY2(status.Err.contains("20990101T000000Z-1: run.json is not JSON"), status.Err.constData());
    const TRun listed = Run({"history", conf});
    QCOMPARE(listed.Out.count('\n'), 2);
    QVERIFY2(listed.Out.contains("  failed (exit code 3)"), listed.Out.constData());
#endif
}

void Test_Cli::An_address_that_received_another_configuration_is_asked_about()
{
    QTemporaryDir dir;
    const QString first = Make_Workspace(dir, "1", Ethernet_Updater_Base);
    const QString second = dir.filePath(QStringLiteral("PROJECTS/Line3"));
    QVERIFY(QDir().mkpath(second));
    Write_File(second + QStringLiteral("/ParGen.xml"), Saved_ParGen(1));
    const TRun sent = Run({"update", first, "--ip", "127.0.0.1", "--option", "2"});
    if (sent.Exit_Code == 1 && sent.Err.contains("no ICMP socket"))
        QSKIP("neither ICMP socket kind opens here");
    QVERIFY2(sent.Exit_Code == 0, sent.Err.constData());
    const TRun where = Run({"where", "127.0.0.1", "--workspace", dir.path()});
    QCOMPARE(where.Exit_Code, 0);
    QVERIFY2(where.Out.startsWith("Line2  sent "), where.Out.constData());
    QCOMPARE(Run({"where", "127.0.0.9", "--workspace", dir.path()}).Exit_Code, 1);

    // Another configuration to the same address: refused, nothing sent, unless on purpose.
    const TRun refused = Run({"update", second, "--ip", "127.0.0.1", "--option", "2"});
    QCOMPARE(refused.Exit_Code, 1);
    QVERIFY2(refused.Err.contains("127.0.0.1 last received Line2 on ") && refused.Err.contains("send Line3 there?") &&
                 refused.Err.contains("--force-target"),
             refused.Err.constData());
    QCOMPARE(Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size(), 1);
    QVERIFY(!QFileInfo::exists(second + QStringLiteral("/sent")));
    QCOMPARE(Run({"update", second, "--ip", "127.0.0.1", "--option", "2", "--force-target"}).Exit_Code, 0);
    QVERIFY(Run({"where", "127.0.0.1", "--workspace", dir.path()}).Out.startsWith("Line3  sent "));
}

void Test_Cli::An_update_killed_at_any_moment_leaves_whole_runs()
{
#ifndef Q_OS_UNIX
    QSKIP("kill -9 is a Unix signal");
#else
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "1", Ethernet_Updater_Base);
    QVERIFY(Stand_In_Control(dir.path(), Ethernet_Updater_Base, "sleep_ms=30\n"));
    const int rounds = qEnvironmentVariableIntValue("QUILLON_KILL_ROUNDS") > 0 ? qEnvironmentVariableIntValue("QUILLON_KILL_ROUNDS") : 40;
    for (int round = 0; round < rounds; ++round) {
        QProcess update;
        update.start(QStringLiteral(QUILLON_CLI), {"update", conf, "--ip", "127.0.0.1", "--option", "2"});
        QVERIFY(update.waitForStarted());
        QTest::qWait(int(QRandomGenerator::global()->bounded(250)));
        // An update that ended already has no process id left: kill(0) would reach this test's own group.
        if (const qint64 pid = update.processId(); pid > 0)
            ::kill(pid_t(pid), SIGKILL);
        QVERIFY(update.state() == QProcess::NotRunning || update.waitForFinished(10000));
        if (update.exitStatus() == QProcess::NormalExit && update.readAllStandardError().contains("no ICMP socket"))
            QSKIP("neither ICMP socket kind opens here");
        // The updater it may have left running ends by itself; then the workspace is free again.
        QVERIFY(QTest::qWaitFor([&] { return !Live_Updater_Lock(dir.path()); }, 10000));
    }
    // Every kept run is whole: its images, and a run.json that says how it ended, "unknown" at worst.
    const QList<TSent_Run> runs = Read_Sent_Runs(conf);
    for (const TSent_Run &run : runs)
        QVERIFY2(run.Problem.isEmpty(), qPrintable(run.Id + QStringLiteral(": ") + run.Problem));
    const QStringList left = QDir(conf + QStringLiteral("/sent")).entryList(QDir::AllEntries | QDir::Hidden |
                                                                            QDir::NoDotAndDotDot);
    QCOMPARE(left.size(), runs.size() + (left.size() > runs.size() ? 1 : 0));
    qInfo("%lld runs kept of %d killed updates", qint64(runs.size()), rounds);
    // The next update clears what a killed one staged.
    // A lock a kill left half taken is taken over once it has stayed so for a few seconds.
    TRun last;
    QVERIFY(QTest::qWaitFor(
        [&] {
            last = Run({"update", conf, "--ip", "127.0.0.1", "--option", "2"});
            return !last.Err.contains("taking the lock");
        },
        20000));
    QVERIFY2(last.Exit_Code == 0, last.Err.constData());
    QStringList kept = Sent_Run_Ids(conf);
    kept.sort();
    QCOMPARE(QDir(conf + QStringLiteral("/sent")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                                            QDir::Name),
             kept);
#endif
}

void Test_Cli::Several_configurations_are_updated_one_after_the_other()
{
    QTemporaryDir dir;
    Make_Workspace(dir, "1", Ethernet_Updater_Base);
    // Halle 2 and Halle 18 go to their own addresses (loopback); Line2 has neither a run nor a table row, but an
    // Ethernet address of its own (192.168.0.10), which is never reached here: it fails at its echo check or is
    // given in the table.
    for (const char *name : {"Halle 2", "Halle 18"}) {
        const QString conf = dir.filePath(QStringLiteral("PROJECTS/%1").arg(QLatin1String(name)));
        QVERIFY(QDir().mkpath(conf));
        Write_File(conf + QStringLiteral("/ParGen.xml"), Saved_ParGen(1));
    }
    const QString table = dir.filePath(QStringLiteral("targets.csv"));
    Write_File(table, "name,ip\nHalle 2,127.0.0.2\nHalle 18,127.0.0.18\nLine2,127.0.0.3\n");
    TRun run = Run({"update", "--pending", "--targets", table, "--option", "2", "--workspace", dir.path()});
    if (run.Err.contains("no ICMP socket"))
        QSKIP("neither ICMP socket kind opens here");
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    // In the natural order of their names, each to its own address.
    const qsizetype second = run.Err.indexOf("[2/3] Halle 18 -> 127.0.0.18 ...");
    QVERIFY2(run.Err.startsWith("[1/3] Halle 2 -> 127.0.0.2 ...\n") && second > 0 &&
                 run.Err.indexOf("[3/3] Line2 -> 127.0.0.3 ...") > second,
             run.Err.constData());
    QVERIFY2(run.Out.contains("summary:\n  Halle 2  127.0.0.2  success  ") &&
                 run.Out.endsWith("3 updated, 0 failed, 0 skipped\n"),
             run.Out.constData());
    // All in sync: nothing pending; a second run without the table goes to each one's last target.
    QCOMPARE(Run({"update", "--pending", "--workspace", dir.path()}).Out,
             QByteArray("nothing to update: every configuration is in sync\n"));
    Write_File(dir.filePath(QStringLiteral("PROJECTS/Halle 18/ParGen.xml")), Saved_ParGen(1, {{"Port_0_Baud", "3"}}));
    run = Run({"update", "--pending", "--option", "2", "--workspace", dir.path()});
    QVERIFY2(run.Exit_Code == 0 && run.Err.startsWith("[1/1] Halle 18 -> 127.0.0.18 ...\n"), run.Err.constData());

    // The first failure stops the rest unless --keep-going; one with no known target is refused before any starts.
    QVERIFY(Install_Stand_In(dir.path(), Ethernet_Updater_Base, 0, 4));
    run = Run({"update", "Halle 2", "Halle 18", "--option", "2", "--json", "--workspace", dir.path()});
    QCOMPARE(run.Exit_Code, 1);
    const QJsonArray stopped = QJsonDocument::fromJson(run.Out).array();
    QCOMPARE(stopped.size(), 2);
    QCOMPARE(stopped[0].toObject()["ending"].toString(), QStringLiteral("failed"));
    QCOMPARE(stopped[0].toObject()["exit_code"].toInt(), 4);
    QCOMPARE(stopped[1].toObject()["ending"].toString(), QStringLiteral("skipped"));
    QVERIFY(stopped[1].toObject()["exit_code"].isNull());
    run = Run({"update", "Halle 2", "Halle 18", "--option", "2", "--keep-going", "--workspace", dir.path()});
    QVERIFY2(run.Out.endsWith("0 updated, 2 failed, 0 skipped\n"), run.Out.constData());
    // What still needs it is exactly what failed.
    const TRun pending = Run({"status", "--workspace", dir.path(), "--json"});
    QStringList notInSync;
    for (const QJsonValue &one : QJsonDocument::fromJson(pending.Out).array())
        if (one.toObject()["state"].toString() != u"in-sync")
            notInSync.append(one.toObject()["name"].toString());
    QCOMPARE(notInSync, (QStringList{"Halle 2", "Halle 18"}));
    const QString fresh = dir.filePath(QStringLiteral("PROJECTS/Fresh"));
    QVERIFY(QDir().mkpath(fresh));
    Write_File(fresh + QStringLiteral("/ParGen.xml"), Saved_ParGen(0));
    const int before = int(Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size());
    run = Run({"update", "Halle 2", "Fresh", "--workspace", dir.path()});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("Fresh: no known target"), run.Err.constData());
    QCOMPARE(int(Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size()), before);
    QCOMPARE(Run({"update", "Halle 2", "Fresh", "--ip", "127.0.0.2"}).Exit_Code, 2);
}

void Test_Cli::Ctrl_C_during_several_stops_the_running_one_and_skips_the_rest()
{
#ifndef Q_OS_UNIX
    QSKIP("SIGINT is a Unix signal");
#else
    QTemporaryDir dir;
    Make_Workspace(dir, "1", Ethernet_Updater_Base);
    QStringList confs;
    for (int k = 1; k <= 3; ++k) {
        const QString conf = dir.filePath(QStringLiteral("PROJECTS/E%1").arg(k));
        QVERIFY(QDir().mkpath(conf));
        Write_File(conf + QStringLiteral("/ParGen.xml"), Saved_ParGen(1));
        confs << conf;
    }
    const QString table = dir.filePath(QStringLiteral("targets.csv"));
    Write_File(table, "name,ip\nE1,127.0.0.1\nE2,127.0.0.2\nE3,127.0.0.3\n");
    QVERIFY(Stand_In_Control(dir.path(), Ethernet_Updater_Base, "sleep_ms=1000\n"));
    QProcess fleet;
    fleet.start(QStringLiteral(QUILLON_CLI),
                {"update", confs[0], confs[1], confs[2], "--targets", table, "--option", "2", "--json"});
    QVERIFY(fleet.waitForStarted());
    // The first updater has read its control once its run is logged: the second one reads this, and hangs.
    QVERIFY(QTest::qWaitFor([&] { return Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size() == 1; }, 30000));
    QVERIFY(Stand_In_Control(dir.path(), Ethernet_Updater_Base, "sleep_ms=60000\n"));
    QVERIFY(QTest::qWaitFor([&] { return Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size() == 2; }, 30000));
    if (fleet.state() == QProcess::NotRunning && fleet.readAllStandardError().contains("no ICMP socket"))
        QSKIP("neither ICMP socket kind opens here");
    ::kill(pid_t(fleet.processId()), SIGINT);
    QVERIFY(fleet.waitForFinished(20000));
    QCOMPARE(fleet.exitCode(), 130);
    const QJsonArray results = QJsonDocument::fromJson(fleet.readAllStandardOutput()).array();
    QCOMPARE(results.size(), 3);
    QCOMPARE(results[0].toObject()["ending"].toString(), QStringLiteral("success"));
    QCOMPARE(results[1].toObject()["ending"].toString(), QStringLiteral("cancelled"));
    QCOMPARE(results[2].toObject()["ending"].toString(), QStringLiteral("skipped"));
    QCOMPARE(Stand_In_Runs(dir.path(), Ethernet_Updater_Base).size(), 2);
#endif
}

void Test_Cli::Update_over_ethernet_checks_writes_and_runs()
{
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "1", Ethernet_Updater_Base);
    const TRun run = Run({"update", conf, "--ip", "127.0.0.1", "--option", "2"});
    if (run.Exit_Code == 1 && run.Err.contains("no ICMP socket"))
        QSKIP(qPrintable(QStringLiteral("neither ICMP socket kind opens here: ") + QString::fromLocal8Bit(run.Err)));
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    QVERIFY2(run.Out.contains("echo check: 2 replies from 127.0.0.1"), run.Out.constData());
    const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Ethernet_Updater_Base);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].Args, QStringList());
    QCOMPARE(runs[0].Xml, Read_File(dir.filePath(QStringLiteral("Ethernet_Update.xml"))));
    QVERIFY(runs[0].Xml.contains("<IP_Address_Dev>127.0.0.1</IP_Address_Dev>"));
    QCOMPARE(runs[0].Xml.count("<Operation>"), 1);
}

void Test_Cli::Workspace_option_names_the_workspace_of_update_and_version()
{
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, "0", Serial_Updater_Base);
    const QString workspace = QDir::toNativeSeparators(dir.path());
    QCOMPARE(Run({"--version", "--workspace", dir.path() + "/"}).Out, "2.002\nworkspace: " + workspace.toUtf8() + '\n');
    // A name with a terminal's control sequence in it is shown escaped.
    const QString hostile = dir.path() + QStringLiteral("/\x1B[2J");
    QCOMPARE(Run({"--version", "--workspace", hostile}).Out,
             "2.002\nworkspace: " + QDir::toNativeSeparators(dir.path()).toUtf8() + QDir::separator().toLatin1() +
                 "\\x1B[2J\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUILLON_WORKSPACE"), dir.path());
    QCOMPARE(Run({"--version"}, QStringLiteral(QUILLON_CLI), env).Out, "2.002\nworkspace: " + workspace.toUtf8() + '\n');

#ifdef Q_OS_UNIX
    // update by the configuration's name alone: the workspace's PROJECTS, MASTER and updater.
    const TPseudo_Port port;
    const TRun run = Run({"--workspace", dir.path(), "update", "Line2", "--port", port.Path, "--option", "2"});
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
    QCOMPARE(runs.size(), 1);
    QCOMPARE(runs[0].Args.last(), QDir::toNativeSeparators(conf + QStringLiteral("/bin/bank.bin")));
#endif

    // A configuration of another workspace is refused, naming both.
    QTemporaryDir other;
    const TRun refused = Run({"--workspace", other.path(), "update", conf, "--port", "ttyFAKE9"});
    QCOMPARE(refused.Exit_Code, 1);
    QVERIFY2(refused.Err.contains("is not a configuration of the workspace " +
                                  QDir::toNativeSeparators(other.path()).toUtf8()),
             refused.Err.constData());
    QCOMPARE(Run({"--workspace", "", "--version"}).Exit_Code, 2);
}

void Test_Cli::Update_failures_data()
{
    QTest::addColumn<QString>("deviceType");
    QTest::addColumn<QByteArray>("parGen"); // null: as saved; "none": no file
    QTest::addColumn<QString>("updater");
    QTest::addColumn<QStringList>("way");   // "PTY" stands for a port that exists
    QTest::addColumn<QString>("removed");   // a file taken out of the workspace
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("rebuilt");      // whether the device files were written before the refusal
    const QStringList pty{"--port", "PTY"};
    const QByteArray asSaved;
    QTest::newRow("the updater is missing") << "0" << asSaved << QString() << pty << QString() << "cannot be started"
                                            << true;
    QTest::newRow("an Ethernet device by a port")
        << "1" << asSaved << Serial_Updater_Base << pty << QString() << "update it with --ip" << false;
    QTest::newRow("a serial device by address") << "0" << asSaved << Ethernet_Updater_Base
                                                << QStringList{"--ip", "127.0.0.1"} << QString()
                                                << "update it with --port" << false;
    QTest::newRow("an address that is none") << "1" << asSaved << Ethernet_Updater_Base
                                             << QStringList{"--ip", "10.0.0.300"} << QString()
                                             << "not a dotted IPv4 address" << false;
    QTest::newRow("a port that does not exist")
#ifdef Q_OS_WIN
        << "0" << asSaved << Serial_Updater_Base << QStringList{"--port", "COM199"} << QString()
        << "The serial port \\\\.\\COM199 is not there" << false;
#else
        << "0" << asSaved << Serial_Updater_Base << QStringList{"--port", "ttyFAKE9"} << QString()
        << "The serial port /dev/ttyFAKE9 is not there" << false;
#endif
    QTest::newRow("never saved") << "0" << QByteArray("none") << Serial_Updater_Base << pty << QString()
                                 << "This configuration was never saved: it has no ParGen.xml." << false;
    QTest::newRow("never saved, configuration only")
        << "0" << QByteArray("none") << Serial_Updater_Base << (pty + QStringList{"--option", "2"}) << QString()
        << "never saved" << false;
    QTest::newRow("a baud index outside the list")
        << "0" << Saved_ParGen(0, {{"Port_0_Baud", "99"}}) << Serial_Updater_Base << pty << QString()
        << "Port 0 baud rate: index 99 is not in the list" << false;
    QTest::newRow("an offset beyond its rule")
        << "0" << Saved_ParGen(0, {{"Opt_Off_Reg", "62000"}}) << Serial_Updater_Base << pty << QString()
        << "Error Options!! Offset Registers must be between 0 and 61535" << false;
    QTest::newRow("serial firmware missing") << "0" << asSaved << Serial_Updater_Base << pty << "MASTER/sim40926.sim"
                                             << "MASTER/sim40926.sim is missing" << false;
    QTest::newRow("Ethernet firmware missing")
        << "1" << asSaved << Ethernet_Updater_Base << QStringList{"--ip", "127.0.0.1"} << "MASTER/Sim40926K.sim"
        << "MASTER/Sim40926K.sim is missing" << false;
}

void Test_Cli::Update_failures()
{
    QFETCH(QString, deviceType);
    QFETCH(QByteArray, parGen);
    QFETCH(QString, updater);
    QFETCH(QStringList, way);
    QFETCH(QString, removed);
    QFETCH(QString, reason);
    QFETCH(bool, rebuilt);
#ifdef Q_OS_UNIX
    const TPseudo_Port port;
    way.replaceInStrings(QStringLiteral("PTY"), port.Path);
#else
    if (way.contains(QStringLiteral("PTY")))
        QSKIP("the port is a pseudo terminal");
#endif
    QTemporaryDir dir;
    const QString conf = Make_Workspace(dir, deviceType.toLatin1().constData(), updater, 0, parGen);
    if (!removed.isEmpty())
        QVERIFY(QFile::remove(dir.filePath(removed)));
    const TRun run = Run(QStringList{"update", conf} + way);
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains(QDir::toNativeSeparators(reason).toUtf8()), run.Err.constData());
    QVERIFY(Stand_In_Runs(dir.path(), updater).isEmpty());
    // A refused command leaves the device files untouched.
    QCOMPARE(QFileInfo::exists(conf + QStringLiteral("/bin/bank.bin")), rebuilt);
    QCOMPARE(QFileInfo::exists(dir.filePath(QStringLiteral("Ethernet_Update.xml"))), false);
    // A configuration outside a workspace is refused before anything is built.
    const TRun outside = Run(QStringList{"update", dir.path()} + way);
    QCOMPARE(outside.Exit_Code, 1);
    QVERIFY2(outside.Err.contains("is not a configuration of a workspace"), outside.Err.constData());
}

void Test_Cli::Verify_names_each_file_that_differs_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArrayList>("reported");
    QTest::newRow("as built") << "" << QByteArrayList{};
    QTest::newRow("never built") << "no bin" << QByteArrayList{"bank.bin: missing", "bankK.bin: missing"};
    QTest::newRow("torn: bankK.bin from another ParGen.xml")
        << "other bankK" << QByteArrayList{"bankK.bin: stale against ParGen.xml"};
    QTest::newRow("bank.bin of a configuration without ParGen.xml")
        << "short bank" << QByteArrayList{"bank.bin: wrong size: 4 bytes, build writes 17"};
    QTest::newRow("bankK.bin damaged") << "damaged bankK" << QByteArrayList{"bankK.bin: bad checksum"};
    QTest::newRow("built from a configuration check refuses")
        << "refused"
        << QByteArrayList{"the configuration must not be sent to a device: Port 0 baud rate: index 99 is not in the list"};
    QTest::newRow("ParGen.xml edited after the build")
        << "edited" << QByteArrayList{"bank.bin: stale against ParGen.xml", "bankK.bin: stale against ParGen.xml"};
}

void Test_Cli::Verify_names_each_file_that_differs()
{
    QFETCH(QString, change);
    QFETCH(QByteArrayList, reported);
    const QString parGen = Conf + "/ParGen.xml";
    const QString bankK = Conf + "/bin/bankK.bin";
    if (change == u"other bankK") {
        // A pair torn between two versions: bankK.bin of the edited file, bank.bin of the first.
        Write_File(parGen, QByteArray(New_Configuration).replace("<Port_1_DevID>1<", "<Port_1_DevID>9<"));
        QCOMPARE(Run({"build", Conf}).Exit_Code, 0);
        const QByteArray other = Read_File(bankK);
        Write_File(parGen, New_Configuration);
        QCOMPARE(Run({"build", Conf}).Exit_Code, 0);
        Write_File(bankK, other);
    } else {
        Write_File(parGen, change == u"refused" ? Saved_ParGen(0, {{"Port_0_Baud", "99"}}) : New_Configuration);
        if (change != u"no bin")
            QCOMPARE(Run({"build", Conf}).Exit_Code, 0);
    }
    if (change == u"short bank") {
        QVERIFY(QFile::resize(Conf + "/bin/bank.bin", 4));
    } else if (change == u"damaged bankK") {
        QByteArray image = Read_File(bankK);
        image[0x28] = 10;
        Write_File(bankK, image);
    } else if (change == u"edited") {
        Write_File(parGen, QByteArray(New_Configuration).replace("<Port_0_DevID>1<", "<Port_0_DevID>2<"));
    }

    const TRun run = Run({"verify", Conf});
    QCOMPARE(run.Exit_Code, reported.isEmpty() ? 0 : 1);
    const QList<QByteArray> lines = run.Err.trimmed().split('\n');
    if (reported.isEmpty()) {
        QVERIFY2(run.Err.isEmpty(), run.Err.constData());
        QCOMPARE(run.Out, (QDir::toNativeSeparators(Conf + "/bin/bank.bin") + ": OK\n" +
                           QDir::toNativeSeparators(Conf + "/bin/bankK.bin") + ": OK\n")
                              .toUtf8());
        return;
    }
    QCOMPARE(lines.size(), reported.size());
    for (int i = 0; i < reported.size(); ++i) {
        const QByteArray file = reported[i].contains(".bin:") ? QDir::toNativeSeparators(Conf + "/bin/").toUtf8() : "";
        const QByteArray start = "quillon-cli: " + file + reported[i];
        QVERIFY2(lines[i].startsWith(start), lines[i].constData());
    }
}

void Test_Cli::The_defaults_are_announced()
{
    // Without ParGen.xml build writes the defaults, as the update step does, and says they must not reach a
    // device; verify refuses them.
    const QByteArray note =
        "quillon-cli: no ParGen.xml in " + QDir::toNativeSeparators(Conf).toUtf8() + ": the defaults were used\n";
    const QByteArray neverSaved = "This configuration was never saved: it has no ParGen.xml. quillon-cli new makes a "
                                  "configuration with one, quillon-cli import one from a device's images.\n";
    const TRun build = Run({"build", Conf});
    QCOMPARE(build.Exit_Code, 0);
    QCOMPARE(build.Err, note + "quillon-cli: warning: this configuration must not be sent to a device: " + neverSaved);
    const TRun verify = Run({"verify", Conf});
    QCOMPARE(verify.Exit_Code, 1);
    QCOMPARE(verify.Err, note + "quillon-cli: the configuration must not be sent to a device: " + neverSaved);
    Write_File(Conf + "/ParGen.xml", New_Configuration);
    QCOMPARE(Run({"build", Conf}).Err, QByteArray());
    QCOMPARE(Run({"verify", Conf}).Exit_Code, 0);
}

void Test_Cli::Check_fails_on_a_file_it_cannot_read()
{
    // A failed check (1), not a wrong command line (2).
    QVERIFY(QDir().mkdir(Conf + "/ParGen.xml"));
    const TRun run = Run({"check", Conf});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Out.contains("ParGen.xml: it is a directory"), run.Out.constData());
    QCOMPARE(Run({"build", Conf}).Exit_Code, 1);
}

void Test_Cli::Inspect_reads_nothing_larger_than_an_image_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("reason");
    QTest::newRow("a sparse file of 3 GB") << "sparse" << QByteArray("it has 3000000000 bytes, more than the 2048");
    QTest::newRow("a directory") << "directory" << QByteArray("it is a directory");
#ifdef Q_OS_UNIX
    QTest::newRow("a FIFO") << "fifo" << QByteArray("it is not a regular file");
#endif
}

void Test_Cli::Inspect_reads_nothing_larger_than_an_image()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, reason);
    const QString path = Dir->filePath("bank.bin");
    if (kind == u"sparse") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(3000000000LL));
    } else if (kind == u"directory") {
        QVERIFY(QDir().mkdir(path));
    } else {
        QCOMPARE(QProcess::execute("mkfifo", {path}), 0);
    }
    const TRun run = Run({"inspect", path});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains(reason), run.Err.constData());
}

void Test_Cli::A_name_that_is_not_utf8_is_reported_as_it_is()
{
#ifdef Q_OS_WIN
    QSKIP("names reach the program as UTF-16 on Windows");
#else
    // Latin-1 "Linié": the byte E9 alone is no UTF-8.
    QProcess process;
    process.start("/bin/sh", {"-c", "exec \"$0\" build \"$(printf 'Lini\\351')\"", QStringLiteral(QUILLON_CLI)});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 1);
    QCOMPARE(process.readAllStandardError(),
             QByteArray("quillon-cli: Lini\xE9: the name is not valid UTF-8, and quillon-cli opens names in UTF-8 "
                        "only\n"));
#endif
}

void Test_Cli::Build_on_a_full_disk_fails_and_keeps_the_pair()
{
    TFull_Disk disk;
    if (const QString reason = disk.Mount(); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    const QString conf = disk.File_Path("Line2");
    QVERIFY(QDir().mkpath(conf + "/bin"));
    Write_File(conf + "/ParGen.xml", New_Configuration);
    Write_File(conf + "/bin/bank.bin", "old");
    Write_File(conf + "/bin/bankK.bin", "older");
    QVERIFY(disk.Fill());
    const TRun run = Run({"build", conf});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("No space left on device"), run.Err.constData());
    QCOMPARE(Read_File(conf + "/bin/bank.bin"), QByteArray("old"));
    QCOMPARE(Read_File(conf + "/bin/bankK.bin"), QByteArray("older"));
    QCOMPARE(Run({"verify", conf}).Exit_Code, 1);
}

void Test_Cli::New_makes_a_template_that_provisions_by_values()
{
    const QString projects = Dir->filePath(QStringLiteral("PROJECTS"));
    QVERIFY(QDir().mkpath(projects));
    const QStringList workspace{"--workspace", Dir->path()};
    // Steps 1 and 2 with OK: the new configuration's values, the given ones by their text in place.
    TRun run = Run(QStringList{"new", "Template", "Device_Type_Type= without ethernet PORT ", "Port_1_Baud=19200"} +
                   workspace);
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    const QString templ = projects + "/Template";
    QCOMPARE(Run({"check", templ}).Out, QByteArray("OK\n"));
    QCOMPARE(Read_File(templ + "/ParGen.xml"), Saved_ParGen(0, {{"Port_1_Baud", "4"}}));
    run = Run(QStringList{"new", "Template"} + workspace);
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("\"Template\": Error! Name project is not valid because directory already exists"),
             run.Err.constData());

    // A wrong value names the key and lists the choices; nothing is made.
    run = Run(QStringList{"new", "Other", "Port_0_Par=MARK", "Port_0_DevID=0"} + workspace);
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("quillon-cli: Port_0_Par: MARK is not one of NONE, EVEN, ODD (or their index, 0 to 2)\n"),
             run.Err.constData());
    run = Run(QStringList{"new", "Other", "Port_0_DevID=0"} + workspace);
    QVERIFY2(run.Exit_Code == 1 && run.Err.contains("Port_0_DevID: Port 0 (RS485)!! Device ID must be between 1"),
             run.Err.constData());
    QVERIFY(!QFileInfo::exists(projects + "/Other"));

    // 20 rows by the values the settings dialog lists, in any case and spacing, or by index.
    QByteArray table = "name,Port_0_Baud,Port_0_Par,Port_1_Port,Port_0_DevID\n";
    for (int i = 1; i <= 20; ++i)
        table += QStringLiteral("Meter %1,%2,%3,%4,%1\n")
                     .arg(i)
                     .arg(i % 2 ? "9600" : "3", i % 3 ? "EVEN" : " even ", i % 4 ? "RS485" : "1")
                     .toUtf8();
    Write_File(Dir->filePath("meters.csv"), table);
    run = Run({"provision", templ, Dir->filePath("meters.csv")});
    QVERIFY2(run.Exit_Code == 0, run.Err.constData());
    QVERIFY2(run.Out.endsWith("\n20 configurations created\n"), run.Out.constData());
    for (int i = 1; i <= 20; ++i) {
        const QString conf = projects + QStringLiteral("/Meter %1").arg(i);
        QCOMPARE(Run({"check", conf}).Out, QByteArray("OK\n"));
        QCOMPARE(Read_File(conf + "/ParGen.xml"), Saved_ParGen(0, {{"Port_0_Baud", "3"},
                                                                   {"Port_0_Par", "1"},
                                                                   {"Port_0_DevID", QString::number(i)},
                                                                   {"Port_1_Port", "1"},
                                                                   {"Port_1_Baud", "4"}}));
    }

    // One row: the singular; a rate no list entry has: the choices.
    Write_File(Dir->filePath("one.csv"), "name,Port_0_Baud\nMeter 21,115200\n");
    QVERIFY(Run({"provision", templ, Dir->filePath("one.csv")}).Out.endsWith("\n1 configuration created\n"));
    Write_File(Dir->filePath("wrong.csv"), "name,Port_0_Baud\nMeter 22,9601\n");
    run = Run({"provision", templ, Dir->filePath("wrong.csv")});
    QCOMPARE(run.Exit_Code, 1);
    QVERIFY2(run.Err.contains("row 2, column Port_0_Baud: 9601 is not one of 1200, 2400, 4800, 9600, 19200, 38400, "
                              "57600, 115200 (or their index, 0 to 7)"),
             run.Err.constData());
}

QTEST_GUILESS_MAIN(Test_Cli)
#include "test_cli.moc"
