// The update dialog driven offscreen through step 3 of the main window: its two forms, the serial and the
// Ethernet runs with the stand-in updaters, the echo check's outcomes and the wait for an updater.

#include "UWindow_Test_Support.h"

#include "UBoot.h"
#include "UFake_Echo_Client.h"
#include "UKept_Run.h"
#include "ULanguage.h"
#include "UNetwork.h"
#include "UParGen_Fixture.h"
#include "UStand_In.h"
#include "UUpdate_Pipeline.h"
#include "UUpdater_Lock.h"
#include "UWait.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>

namespace {

// Functions, not constants: the key list they are built from is ready only once the program runs.
QByteArray Ethernet_ParGen()
{
    return Saved_ParGen(1);
}
QByteArray Serial_ParGen()
{
    return Saved_ParGen(0);
}
// The line of an ending box that names where the newest run of the configuration of step 3 is kept.
QString Kept_Line()
{
    const QString id = Sent_Run_Ids(Conf_Dir).value(0);
    return id.isEmpty() ? QStringLiteral("\n(no run kept)")
                        : QStringLiteral("\nThe run is kept in ") +
                              QDir::toNativeSeparators(Join_Path(Conf_Dir, Sent_Dir_Name, id));
}
// The box that tells how a run ended, as Shown_Texts gives it: its kind, the ending, the updater's last lines,
// where update.log is (in the configuration of step 3, Conf_Dir) and where the run is kept.
QString Verdict(const QString &kind, const QString &ending, const QStringList &output = {})
{
    QString text = kind + QStringLiteral("+buttons: ") + ending;
    if (!output.isEmpty())
        text += QStringLiteral("\n\nIts last output:\n") + output.join(u'\n');
    return text + QStringLiteral("\n\nThe run is recorded in ") +
           QDir::toNativeSeparators(Join_Path(Conf_Dir, Update_Log_File_Name)) + Kept_Line();
}
QString Ended_With_0()
{
    return Verdict(QStringLiteral("information"), QStringLiteral("The updater ended with exit code 0."));
}

QList<TSerial_Port> Two_Ports()
{
    return {{QStringLiteral("ttyS0"), QStringLiteral("/dev/ttyS0"), QStringLiteral("Built-in serial port"), QString(),
             QString()},
            {QStringLiteral("ttyUSB0"), QStringLiteral("/dev/ttyUSB0"), QStringLiteral("USB-Serial Controller"),
             QStringLiteral("Acme Devices"), QStringLiteral("A1B2C3")}};
}

// A program directory with the configuration Line2 open and the update dialog fed with two ports.
struct TBoot_Fixture
{
    TProgram_Fixture Program;
    DIRevevoriVezaDiva *Main = nullptr;
    TFBoot *Boot = nullptr;

    explicit TBoot_Fixture(const QByteArray &parGen = Serial_ParGen())
    {
        Program.Make_Dir(QStringLiteral("PROJECTS/Line2/bin"));
        Program.Write(QStringLiteral("MASTER/sim40926.sim"), "serial firmware");
        Program.Write(QStringLiteral("MASTER/Sim40926K.sim"), "Ethernet firmware");
        if (!parGen.isNull())
            Program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), parGen);
        Main = Program.Start();
        Conf_Name = QStringLiteral("Line2");
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        Boot = Main->FBoot;
        Boot->Port_Source = Two_Ports;
        Boot->Port_Check = [](const QString &) { return QString(); };
    }

    // Step 3 of the main window; drive runs while the update dialog is shown, which is closed afterwards.
    void Step_3(std::function<void()> drive)
    {
        When_Shown(Boot, std::move(drive));
        QTest::mouseClick(Main->Btn_CreateBin, Qt::LeftButton);
    }

    void Set_Address(const QString &a, const QString &b, const QString &c, const QString &d)
    {
        Boot->E_IP1->setText(a);
        Boot->E_IP2->setText(b);
        Boot->E_IP3->setText(c);
        Boot->E_IP4->setText(d);
    }

    // The device answers, or stays silent, or the client fails, as the fake is told.
    void Fake_Device(QList<int> answers, int then, bool hostFails = false)
    {
        Boot->Echo_Client_Source = [answers, then, hostFails] {
            auto client = std::make_unique<TFake_Echo_Client>();
            client->Answers = answers;
            client->Then = then;
            client->Host_Fails = hostFails;
            return std::unique_ptr<TEcho_Client>(std::move(client));
        };
    }

    QList<TStand_In_Run> Runs(const QString &base) const { return Stand_In_Runs(Program.Dir.path(), base); }
};

// Whether this machine lets the program open an ICMP socket.
QString Icmp_Unavailable()
{
    TIcmp_Echo_Client client;
    TEcho_Check check(&client);
    if (!Run_Echo_Check(check, QStringLiteral("127.0.0.1")) && check.Failure.startsWith(QStringLiteral("no ICMP")))
        return check.Failure;
    return QString();
}

QStringList Codes(int option, bool readBack)
{
    return Update_Options(QString(), option, readBack).split(u' ', Qt::SkipEmptyParts);
}

// Ethernet_Update.xml as "path=text" lines of its leaf elements, from the file's description.
QStringList Expected_Ethernet_Lines(const QString &ip, int option, bool readBack)
{
    QStringList lines{QStringLiteral("root:Ethernet_Update"),
                      QStringLiteral("Ethernet_Update/Version=1000"),
                      QStringLiteral("Ethernet_Update/Title=Velmora - SW40926 Ethernet Update"),
                      QStringLiteral("Ethernet_Update/IP_Address_Dev=") + ip,
                      QStringLiteral("Ethernet_Update/Application_Port=10000"),
                      QStringLiteral("Ethernet_Update/Boot_Port=2008"),
                      QStringLiteral("Ethernet_Update/Boot_Port_Sec=2007"),
                      QStringLiteral("Ethernet_Update/Address_Protection=0x07800"),
                      QStringLiteral("Ethernet_Update/Protections/Protection=0x70")};
    const auto operation = [&](bool firmware, bool last) {
        const QString rb = readBack ? QStringLiteral("1") : QStringLiteral("0");
        const QStringList children{
            QStringLiteral("Ope_Protection_Enabled="),
            QStringLiteral("Ope_GoToBoot_Before=0"),
            QStringLiteral("Ope_GoToApp_Before=0"),
            QStringLiteral("Ope_IP_Address="),
            QStringLiteral("Ope_Port=2008"),
            QStringLiteral("Ope_Port_Sec=2007"),
            QStringLiteral("Ope_Erase_Memory=0"),
            QStringLiteral("Ope_FileName=") +
                (firmware ? Join_Path(Master_Dir, QStringLiteral("Sim40926K.sim"))
                          : Join_Path(Conf_Dir, QStringLiteral("bin"), QStringLiteral("bankK.bin"))),
            QStringLiteral("Ope_Start_Address=") + (firmware ? QStringLiteral("0x8000") : QStringLiteral("0x07000")),
            QStringLiteral("Ope_Memory_Type=0"),
            QStringLiteral("Ope_Bank_Type=") + (firmware ? QStringLiteral("1") : QStringLiteral("2")),
            QStringLiteral("Ope_Read_Back=") + rb,
            QStringLiteral("Ope_Write_CSS=") + (firmware ? QStringLiteral("1") : QStringLiteral("0")),
            QStringLiteral("Ope_Address_CSS=0x07A00"),
            QStringLiteral("Ope_Command_CSS=0x02"),
            QStringLiteral("Ope_Write_Internal_Data=0"),
            QStringLiteral("Ope_WID_Address=0x07810"),
            QStringLiteral("Ope_WID_Command=0x02"),
            QStringLiteral("Ope_WID_Data=0x00, 0x00, 0x00, 0x01"),
            QStringLiteral("Ope_GoToApp_After=") + (last ? QStringLiteral("1") : QStringLiteral("0")),
        };
        for (const QString &child : children)
            lines.append(QStringLiteral("Ethernet_Update/Operations/Operation/") + child);
    };
    if (option == 0 || option == 1)
        operation(true, option == 1);
    if (option == 0 || option == 2)
        operation(false, true);
    return lines;
}

// Where a click in the dialog's window lands on the Read Back box.
QPoint Read_Back_Point(TFBoot *boot)
{
    QCheckBox *box = boot->CB_Update_Option_Read_Back;
    return box->mapTo(boot, QPoint(8, box->height() / 2));
}

} // namespace

class Test_UBoot : public QObject
{
    Q_OBJECT

private slots:
    void Step_3_opens_the_form_the_device_type_asks_for_data()
    {
        QTest::addColumn<QByteArray>("parGen");
        QTest::addColumn<int>("formType");
        QTest::newRow("1: Ethernet") << Ethernet_ParGen() << 1;
        QTest::newRow("1 after a declaration: Ethernet")
            << QByteArray("<?xml version=\"1.0\"?><Par_Gen><Device_Type_Type>1</Device_Type_Type></Par_Gen>") << 1;
        QTest::newRow("0: serial") << Serial_ParGen() << 0;
        QTest::newRow("\" 1\": serial") << QByteArray("<Par_Gen><Device_Type_Type> 1</Device_Type_Type></Par_Gen>")
                                        << 0;
        QTest::newRow("2: serial") << QByteArray("<Par_Gen><Device_Type_Type>2</Device_Type_Type></Par_Gen>") << 0;
        QTest::newRow("empty: serial") << QByteArray("<Par_Gen><Device_Type_Type/></Par_Gen>") << 0;
        QTest::newRow("no such key: serial") << QByteArray("<Par_Gen><Port_0_Baud>3</Port_0_Baud></Par_Gen>") << 0;
        QTest::newRow("no ParGen.xml: serial") << QByteArray() << 0;
    }

    void Step_3_opens_the_form_the_device_type_asks_for()
    {
        QFETCH(QByteArray, parGen);
        QFETCH(int, formType);
        TBoot_Fixture f(parGen);
        bool shown = false;
        f.Step_3([&] {
            shown = true;
            TFBoot *boot = f.Boot;
            QCOMPARE(boot->Form_Type, formType);
            QCOMPARE(boot->size(), QSize(449, formType == 1 ? 230 : 232));
            QCOMPARE(boot->windowTitle(), formType == 1 ? QStringLiteral("Update Device by Ethernet (UDP)")
                                                        : QStringLiteral("Update Device by Serial"));
            QCOMPARE(boot->L_SW_Desc->text(), formType == 1 ? QStringLiteral("Update Device Using the Ethernet Port")
                                                            : QStringLiteral("Update Device Using the Serial Port"));
            // The configuration it sends, named beside the product code.
            QCOMPARE(boot->L_Configuration->text(), QStringLiteral("Configuration: Line2"));
            QVERIFY(boot->P_Title->rect().contains(boot->L_Configuration->geometry()));
            QCOMPARE(boot->P_IP_Address->isVisible(), formType == 1);
            QCOMPARE(boot->P_Serial->isVisible(), formType == 0);
            QWidget *first = formType == 1 ? boot->P_IP_Address : boot->P_Serial;
            QCOMPARE(first->geometry(), QRect(0, 69, 449, formType == 1 ? 49 : 51));
            QCOMPARE(boot->P_Options->geometry(), QRect(0, 69 + first->height(), 449, 72));
            QCOMPARE(boot->P_Button->geometry(), QRect(0, boot->height() - 40, 449, 40));
            // The update button keeps its right edge and is wide enough for its caption on one line.
            const QRect update = boot->Btn_Update->geometry();
            QCOMPARE(update.right() + 1, 206 + 110);
            QCOMPARE(update.top(), 6);
            QCOMPARE(update.height(), 28);
            QVERIFY(update.width() >= 110);
            QVERIFY(boot->Btn_Update->fontMetrics().horizontalAdvance(boot->Btn_Update->text()) + 18 + 24 <=
                    update.width());
            QCOMPARE(boot->Btn_Cancel->geometry(), QRect(324, 6, 110, 28));
            QCOMPARE(boot->focusWidget(),
                     formType == 1 ? static_cast<QWidget *>(boot->E_IP1) : static_cast<QWidget *>(boot->CB_COM_Port));
            QVERIFY(!boot->Btn_Update->isDefault() && !boot->Btn_Update->autoDefault());
        });
        QVERIFY(shown);
        // The files were rebuilt before the dialog opened.
        QCOMPARE(f.Program.Read(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")).size(), 2048);
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void A_change_of_language_recaptions_the_dialog()
    {
        TBoot_Fixture f;
        Set_Language_Text(1000, QStringLiteral("Aggiorna via seriale"));
        Set_Language_Text(1016, QStringLiteral("Solo firmware"));
        Set_Language_Text(1020, QStringLiteral("Esegui"));
        f.Main->Change_Language();
        QCOMPARE(f.Boot->windowTitle(), QStringLiteral("Aggiorna via seriale"));
        QCOMPARE(f.Boot->CB_Update_Options->itemText(1), QStringLiteral("Solo firmware"));
        QCOMPARE(f.Boot->CB_Update_Options->count(), 3);
        QCOMPARE(f.Boot->Btn_Update->text(), QStringLiteral("Esegui"));
        // The port list's caption and the two hints of the port row are language texts as well.
        QCOMPARE(f.Boot->L_COM_Port->text(), QStringLiteral("Select the COM Port for the Update"));
        Set_Language_Text(1007, QStringLiteral("Porta COM"));
        Set_Language_Text(1025, QStringLiteral("Porta da usare"));
        Set_Language_Text(1027, QStringLiteral("Aggiorna elenco"));
        f.Main->Change_Language();
        QCOMPARE(f.Boot->L_COM_Port->text(), QStringLiteral("Porta COM"));
        QCOMPARE(f.Boot->CB_COM_Port->toolTip(), QStringLiteral("Porta da usare"));
        QCOMPARE(f.Boot->Btn_COM_List->toolTip(), QStringLiteral("Aggiorna elenco"));
    }

    void Tab_walks_the_form_in_its_order_data()
    {
        QTest::addColumn<QByteArray>("parGen");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("serial") << Serial_ParGen() << QStringList{"CB_COM_Port",       "Btn_COM_List",
                                                                "CB_Update_Options", "CB_Update_Option_Read_Back",
                                                                "Btn_Update",        "Btn_Cancel"};
        QTest::newRow("Ethernet") << Ethernet_ParGen() << QStringList{"E_IP1",
                                                                    "E_IP2",
                                                                    "E_IP3",
                                                                    "E_IP4",
                                                                    "CB_Update_Options",
                                                                    "CB_Update_Option_Read_Back",
                                                                    "Btn_Update",
                                                                    "Btn_Cancel"};
    }

    void Tab_walks_the_form_in_its_order()
    {
        QFETCH(QByteArray, parGen);
        QFETCH(QStringList, order);
        TBoot_Fixture f(parGen);
        QStringList walked;
        f.Step_3([&] {
            for (int i = 0; i < order.size(); ++i) {
                QWidget *focused = f.Boot->focusWidget();
                walked.append(focused ? focused->objectName() : QString());
                QTest::keyClick(focused ? focused : f.Boot, Qt::Key_Tab);
            }
        });
        QCOMPARE(walked, order);
    }

    void The_port_list_names_the_ports_and_refreshes()
    {
        TBoot_Fixture f;
        f.Step_3([&] {
            QComboBox *list = f.Boot->CB_COM_Port;
            QCOMPARE(list->count(), 2);
            QCOMPARE(list->itemText(0), QStringLiteral("ttyS0"));
            QCOMPARE(list->itemText(1), QStringLiteral("ttyUSB0"));
            // The USB adapter, not the built-in port, when none is remembered.
            QCOMPARE(list->currentIndex(), 1);
            QCOMPARE(list->itemData(1, Qt::ToolTipRole).toString(),
                     QStringLiteral("/dev/ttyUSB0\nUSB-Serial Controller\nMaker: Acme Devices\nSerial number: A1B2C3"));
            // The closed list's own hint is entry 1025; each port's hint shows in the open list.
            QCOMPARE(list->toolTip(), QStringLiteral("Select the COM Port to use for the Update"));
            // The refresh button lists what the system has now.
            f.Boot->Port_Source = [] { return QList<TSerial_Port>{}; };
            QTest::mouseClick(f.Boot->Btn_COM_List, Qt::LeftButton);
            QCOMPARE(list->count(), 0);
            QCOMPARE(list->currentIndex(), -1);
        });
    }

    void The_serial_run_hands_the_updater_port_codes_and_files_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<bool>("readBack");
        for (int option = 0; option < 3; ++option) {
            for (bool readBack : {true, false})
                QTest::addRow("option %d, read back %s", option, readBack ? "on" : "off") << option << readBack;
        }
    }

    void The_serial_run_hands_the_updater_port_codes_and_files()
    {
        QFETCH(int, option);
        QFETCH(bool, readBack);
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        f.Step_3([&] {
            f.Boot->CB_COM_Port->setCurrentIndex(1);
            f.Boot->CB_Update_Options->setCurrentIndex(option);
            f.Boot->CB_Update_Option_Read_Back->setChecked(readBack);
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            // The dialog stays open after a run.
            QVERIFY(f.Boot->isVisible());
        });
        const QList<TStand_In_Run> runs = f.Runs(Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
#ifdef Q_OS_WIN
        const QString port = QStringLiteral("\\\\.\\ttyUSB0");
#else
        const QString port = QStringLiteral("/dev/ttyUSB0");
#endif
        const QStringList expected =
            QStringList{port} + Codes(option, readBack) +
            QStringList{Join_Path(Master_Dir, QStringLiteral("sim40926.sim")),
                        Join_Path(Conf_Dir, QStringLiteral("bin"), QStringLiteral("bank.bin"))};
        QCOMPARE(runs[0].Args, expected);
        // The image named is the one the step wrote.
        QVERIFY(QFileInfo::exists(runs[0].Args.last()));
        QCOMPARE(QDir(runs[0].Cwd).canonicalPath(), QDir(Program_Dir).canonicalPath());
        QCOMPARE(Last_Update_Option, option);
        QCOMPARE(Last_Read_Back, readBack);
        QCOMPARE(Shown_Texts(), QStringList{Ended_With_0()});
    }

    void Option_and_read_back_are_shown_again_at_the_next_opening()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        f.Step_3([&] {
            QCOMPARE(f.Boot->CB_Update_Options->currentIndex(), 0);
            QVERIFY(f.Boot->CB_Update_Option_Read_Back->isChecked());
            f.Boot->CB_Update_Options->setCurrentIndex(2);
            f.Boot->CB_Update_Option_Read_Back->setChecked(false);
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        int option = -1;
        bool readBack = true;
        f.Step_3([&] {
            option = f.Boot->CB_Update_Options->currentIndex();
            readBack = f.Boot->CB_Update_Option_Read_Back->isChecked();
            // Changed without a run: not remembered.
            f.Boot->CB_Update_Options->setCurrentIndex(1);
        });
        QCOMPARE(option, 2);
        QVERIFY(!readBack);
        QCOMPARE(Last_Update_Option, 2);
    }

    void A_port_the_user_may_not_open_is_explained_and_nothing_starts()
    {
        TBoot_Fixture f;
        QString checked;
        const TPort_Access access{QStringLiteral("root"), QStringLiteral("dialout"), 20, 0660};
        f.Boot->Port_Check = [&checked, access](const QString &location) {
            checked = location;
            return Port_Permission_Advice(location, access);
        };
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        QCOMPARE(checked, QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(Shown_Texts(), QStringList{QStringLiteral("warning: ") + Port_Permission_Advice(checked, access)});
        QVERIFY(f.Runs(Serial_Updater_Base).isEmpty());
    }

    void An_unsafe_update_is_refused_at_the_button_data()
    {
        QTest::addColumn<QByteArray>("parGen"); // null: never saved
        QTest::addColumn<int>("option");
        QTest::addColumn<QString>("removed");   // a firmware file taken away
        QTest::addColumn<bool>("portGone");     // the chosen port left after the list was filled
        QTest::addColumn<QString>("refusal");   // empty: the updater runs
        const QString neverSaved = QStringLiteral("This configuration was never saved: open step 2 and press OK.");
        QTest::newRow("never saved, firmware and configuration")
            << QByteArray() << 0 << QString() << false << neverSaved;
        QTest::newRow("never saved, configuration only") << QByteArray() << 2 << QString() << false << neverSaved;
        QTest::newRow("never saved, firmware only: runs") << QByteArray() << 1 << QString() << false << QString();
        QTest::newRow("baud index 99") << Saved_ParGen(0, {{"Port_0_Baud", "99"}}) << 0 << QString() << false
                                       << "Port 0 baud rate: index 99 is not in the list";
        QTest::newRow("offset 62000") << Saved_ParGen(0, {{"Opt_Off_Reg", "62000"}}) << 2 << QString() << false
                                      << "Error Options!! Offset Registers must be between 0 and 61535";
        QTest::newRow("firmware missing") << Serial_ParGen() << 1 << "sim40926.sim" << false << "firmware file";
        QTest::newRow("firmware missing, configuration only: runs")
            << Serial_ParGen() << 2 << "sim40926.sim" << false << QString();
        QTest::newRow("port gone") << Serial_ParGen() << 0 << QString() << true << "/dev/ttyUSB0 is not there";
    }

    void An_unsafe_update_is_refused_at_the_button()
    {
        QFETCH(QByteArray, parGen);
        QFETCH(int, option);
        QFETCH(QString, removed);
        QFETCH(bool, portGone);
        QFETCH(QString, refusal);
        TBoot_Fixture f(parGen);
        if (!removed.isEmpty())
            QVERIFY(QFile::remove(f.Program.Dir.filePath(QStringLiteral("MASTER/") + removed)));
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        Last_Update_Option = 0;
        f.Step_3([&] {
            f.Boot->CB_COM_Port->setCurrentIndex(1);
            f.Boot->CB_Update_Options->setCurrentIndex(option);
            if (portGone)
                f.Boot->Port_Source = [] { return Two_Ports().mid(0, 1); };
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        if (refusal.isEmpty()) {
            QCOMPARE(shown[0], Ended_With_0());
            QCOMPARE(f.Runs(Serial_Updater_Base).size(), 1);
            return;
        }
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].contains(refusal), qPrintable(shown[0]));
        QVERIFY(f.Runs(Serial_Updater_Base).isEmpty());
        // Nothing remembered, nothing recorded; the step still wrote the images.
        QCOMPARE(Last_Update_Option, 0);
        QVERIFY(!f.Program.Exists(QStringLiteral("PROJECTS/Line2/update.log")));
        QVERIFY(f.Program.Exists(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")));
    }

    void Refusals_and_endings_speak_the_language_in_force_while_update_log_stays_English()
    {
        TBoot_Fixture f(Saved_ParGen(0, {{"Port_0_Baud", "99"}}));
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        Set_Language_Text(1130, QStringLiteral("%1: Index %2 nicht in der Liste"));
        Set_Language_Text(1134, QStringLiteral("Baudrate 0"));
        Set_Language_Text(1113, QStringLiteral("Ende mit Code %1."));
        Set_Language_Text(1116, QStringLiteral("Siehe update.log."));
        Set_Language_Text(1042, QStringLiteral("Aufbewahrt in %1"));
        const auto run = [&](int option) {
            f.Step_3([&] {
                f.Boot->CB_COM_Port->setCurrentIndex(1);
                f.Boot->CB_Update_Options->setCurrentIndex(option);
                QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            });
            return Shown_Texts();
        };
        QCOMPARE(run(0), QStringList{QStringLiteral("error: Baudrate 0: Index 99 nicht in der Liste")});
        const QStringList ended = run(1);
        QCOMPARE(ended,
                 QStringList{Verdict(QStringLiteral("information"), QStringLiteral("Ende mit Code 0."))
                                 .replace(QStringLiteral("The run is kept in "), QStringLiteral("Aufbewahrt in "))});
        const QByteArray log = f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log"));
        QVERIFY2(log.contains("ended: exit code 0"), log.constData());
    }

    void An_unsafe_Ethernet_update_sends_no_echo_request()
    {
        TBoot_Fixture f(Saved_ParGen(1, {{"Ethernet_IP1", "300"}}));
        int requests = 0;
        f.Boot->Echo_Client_Source = [&requests] {
            ++requests;
            return std::unique_ptr<TEcho_Client>(std::make_unique<TFake_Echo_Client>());
        };
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        QCOMPARE(Shown_Texts(),
                 QStringList{QStringLiteral("error: Error Ethernet!! IP Address 1 must be between 0 and 255")});
        QCOMPARE(requests, 0);
        QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
        QVERIFY(!f.Program.Exists(Ethernet_Update_File_Name));
    }

    void Each_run_is_recorded_and_its_end_told()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base, 0, 3));
        QVERIFY(Stand_In_Says(f.Program.Dir.path(), Serial_Updater_Base, {QStringLiteral("written 17 bytes")},
                              {QStringLiteral("read back: no answer")}));
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        // Anything but exit code 0 is a warning, with the updater's last words.
        QCOMPARE(Shown_Texts(), QStringList{Verdict(QStringLiteral("warning"),
                                                    QStringLiteral("The updater ended with exit code 3."),
                                                    {QStringLiteral("written 17 bytes"),
                                                     QStringLiteral("read back: no answer")})});
        const QString log = QString::fromUtf8(f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log")));
        const QStringList lines = log.split(u'\n');
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d serial update$"))
                     .match(lines.value(0))
                     .hasMatch(),
                 qPrintable(log));
#ifdef Q_OS_WIN
        // On Windows the updater gets one argument text, recorded as it is.
        QCOMPARE(lines.value(1), QStringLiteral("  updater: ") +
                                     QDir::toNativeSeparators(Updater_Path(Program_Dir, Serial_Updater_Base)) +
                                     QStringLiteral(" \\\\.\\ttyUSB0 FW FR PW PR \"") +
                                     Join_Path(Master_Dir, QStringLiteral("sim40926.sim")) + QStringLiteral("\" \"") +
                                     Join_Path(Conf_Dir, QStringLiteral("bin"), QStringLiteral("bank.bin")) + u'"');
#else
        QCOMPARE(lines.value(1), QStringLiteral("  updater: ") +
                                     QDir::toNativeSeparators(Updater_Path(Program_Dir, Serial_Updater_Base)) +
                                     QStringLiteral(" /dev/ttyUSB0 FW FR PW PR ") +
                                     Join_Path(Master_Dir, QStringLiteral("sim40926.sim")) + u' ' +
                                     Join_Path(Conf_Dir, QStringLiteral("bin"), QStringLiteral("bank.bin")));
#endif
        QCOMPARE(lines.value(2), QStringLiteral("  option: 0 (firmware and configuration), read back on"));
        QVERIFY2(lines.value(3).startsWith(QStringLiteral("  ended: exit code 3, after ")), qPrintable(log));
        QCOMPARE(lines.mid(4), (QStringList{QStringLiteral("  output:"), QStringLiteral("    | written 17 bytes"),
                                            QStringLiteral("    | read back: no answer"), QString()}));
        // The output's file is gone once its content is in the record.
        QCOMPARE(QDir(Conf_Dir).entryList({QStringLiteral("update-output-*")}, QDir::Files), QStringList());
    }

    void A_record_that_cannot_be_written_is_reported()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        QVERIFY(f.Program.Make_Dir(QStringLiteral("PROJECTS/Line2/update.log")));
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: The updater ended with exit code 0.\nThe run could not "
                                                    "be recorded in update.log: ")),
                 qPrintable(shown[0]));
        QCOMPARE(f.Runs(Serial_Updater_Base).size(), 1);
    }

    void The_Ethernet_run_checks_writes_and_starts_data()
    {
        QTest::addColumn<int>("option");
        QTest::addColumn<bool>("readBack");
        QTest::newRow("firmware and configuration, read back on") << 0 << true;
        QTest::newRow("firmware only, read back off") << 1 << false;
        QTest::newRow("configuration only, read back on") << 2 << true;
    }

    void The_Ethernet_run_checks_writes_and_starts()
    {
        QFETCH(int, option);
        QFETCH(bool, readBack);
        const QString unavailable = Icmp_Unavailable();
        if (!unavailable.isEmpty())
            QSKIP(qPrintable(QStringLiteral("neither ICMP socket kind opens here: ") + unavailable));
        TBoot_Fixture f(Ethernet_ParGen());
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
            f.Boot->CB_Update_Options->setCurrentIndex(option);
            f.Boot->CB_Update_Option_Read_Back->setChecked(readBack);
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            QCOMPARE(f.Boot->ping_res, 1);
        });
        QCOMPARE(Shown_Texts(), QStringList{Ended_With_0()});
        const QString log = QString::fromUtf8(f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log")));
        QVERIFY2(log.contains(QStringLiteral(" Ethernet update\n  updater: ") +
                              QDir::toNativeSeparators(Updater_Path(Program_Dir, Ethernet_Updater_Base)) +
                              QStringLiteral("\n  parameters: Ethernet_Update.xml, device 127.0.0.1\n")),
                 qPrintable(log));
        QCOMPARE(Last_IP_Address, QStringLiteral("127.0.0.1"));
        // In the settings file at once: a program killed now offers the address again at its next start.
        QVERIFY(f.Program.Read(QStringLiteral("Quillon.xml")).contains("<ipaddress>127.0.0.1</ipaddress>"));
        QCOMPARE(Last_Update_Option, option);
        QCOMPARE(Last_Read_Back, readBack);
        const QByteArray written = f.Program.Read(Ethernet_Update_File_Name);
        QVERIFY(!written.startsWith("<?xml"));
        QCOMPARE(Settings_Lines(written), Expected_Ethernet_Lines(QStringLiteral("127.0.0.1"), option, readBack));
        const QList<TStand_In_Run> runs = f.Runs(Ethernet_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].Args, QStringList());
        // The updater found the file complete beside itself.
        QCOMPARE(runs[0].Xml, written);
    }

    void A_device_that_does_not_answer_changes_nothing_data()
    {
        QTest::addColumn<bool>("hostFails");
        QTest::addColumn<QString>("shown");
        // The address the check tried, under the message.
        QTest::newRow("silent device") << false << QStringLiteral("warning: Device Not Found!\n10.0.0.9");
        QTest::newRow("client error") << true << QStringLiteral("error: Error!!! Check the Ip Address\nthe host cannot be set");
    }

    void A_device_that_does_not_answer_changes_nothing()
    {
        QFETCH(bool, hostFails);
        QFETCH(QString, shown);
        TBoot_Fixture f(Ethernet_ParGen());
        f.Fake_Device({}, 0, hostFails);
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        bool disabledDuringCheck = false;
        QString checking;
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("9"));
            f.Boot->CB_Update_Options->setCurrentIndex(2);
            QTimer::singleShot(50, f.Boot, [&] {
                disabledDuringCheck = !f.Boot->Btn_Update->isEnabled();
                checking = f.Boot->L_Check->isVisible() ? f.Boot->L_Check->text() : QString();
            });
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            QVERIFY(f.Boot->Btn_Update->isEnabled());
            QVERIFY(!f.Boot->L_Check->isVisible());
        });
        QCOMPARE(Shown_Texts(), QStringList{shown});
        QCOMPARE(disabledDuringCheck, !hostFails);
        // What the check does is shown while it runs, with the address and its time.
        if (!hostFails)
            QCOMPARE(checking, QStringLiteral("Checking 10.0.0.9 ... 0 s"));
        QCOMPARE(Last_IP_Address, Default_IP_Address);
        QCOMPARE(Last_Update_Option, 0);
        QVERIFY(!f.Program.Exists(Ethernet_Update_File_Name));
        QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
        // The attempt leaves its trace, and nothing is kept as sent.
        const QString log = QString::fromUtf8(f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log")));
        QVERIFY2(log.contains(hostFails ? QStringLiteral("echo check of 10.0.0.9 could not be made: ")
                                        : QStringLiteral("echo check of 10.0.0.9: no answer to ")),
                 qPrintable(log));
        QVERIFY(!f.Program.Exists(QStringLiteral("PROJECTS/Line2/sent")));
        // No lock is left behind: the next update of the workspace, from here or from quillon-cli, may run.
        QVERIFY(!f.Program.Exists(Updater_Lock_File_Name));
        TUpdater_Lock next(Program_Dir);
        QVERIFY(next.Acquire(QStringLiteral("next"), QStringLiteral("ttyS0"), Conf_Dir));
    }

    void Without_its_network_module_the_update_says_why_and_starts_nothing()
    {
        // The window program's own echo client, its network module missing (none lies beside this test).
        TBoot_Fixture f(Ethernet_ParGen());
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        Use_Network_Services(nullptr);
        const auto linked = qScopeGuard([] { Use_Network_Services(Quillon_Network_Services()); });
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(
                     QStringLiteral("error: Error!!! Check the Ip Address\nthe network module cannot be loaded: ")),
                 qPrintable(shown[0]));
        QVERIFY(!f.Program.Exists(Ethernet_Update_File_Name));
        QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
    }

    void The_remembered_address_fills_the_edits_when_usable_data()
    {
        QTest::addColumn<QString>("remembered");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("usable") << QStringLiteral("192.168.2.205") << QStringList{"192", "168", "2", "205"};
        QTest::newRow("blanks trimmed, zeros kept")
            << QStringLiteral(" 010 . 0 .0. 1 ") << QStringList{"010", "0", "0", "1"};
        QTest::newRow("an octet beyond 255 keeps the edits")
            << QStringLiteral("10.0.0.300") << QStringList{"7", "7", "7", "7"};
        QTest::newRow("three parts keep the edits") << QStringLiteral("10.0.0") << QStringList{"7", "7", "7", "7"};
        QTest::newRow("empty keeps the edits") << QString() << QStringList{"7", "7", "7", "7"};
    }

    void The_remembered_address_fills_the_edits_when_usable()
    {
        QFETCH(QString, remembered);
        QFETCH(QStringList, shown);
        TBoot_Fixture f(Ethernet_ParGen());
        f.Set_Address(QStringLiteral("7"), QStringLiteral("7"), QStringLiteral("7"), QStringLiteral("7"));
        Last_IP_Address = remembered;
        QStringList edits;
        f.Step_3([&] {
            edits =
                QStringList{f.Boot->E_IP1->text(), f.Boot->E_IP2->text(), f.Boot->E_IP3->text(), f.Boot->E_IP4->text()};
        });
        QCOMPARE(edits, shown);
    }

    void The_address_starts_from_this_configurations_last_success_data()
    {
        QTest::addColumn<QStringList>("runs"); // kind, target and ending of each run, oldest first
        QTest::addColumn<QString>("shown");
        const QString remembered = QStringLiteral("10.0.0.9");
        QTest::newRow("never sent: the remembered address") << QStringList() << remembered;
        QTest::newRow("sent over Ethernet: its address")
            << QStringList{QStringLiteral("ethernet 10.1.2.105 success")} << QStringLiteral("10.1.2.105");
        QTest::newRow("a failure since leaves the success's address")
            << QStringList{QStringLiteral("ethernet 10.1.2.105 success"), QStringLiteral("ethernet 10.1.2.7 failed")}
            << QStringLiteral("10.1.2.105");
        QTest::newRow("the newest success counts")
            << QStringList{QStringLiteral("ethernet 10.1.2.105 success"), QStringLiteral("ethernet 10.1.2.7 success")}
            << QStringLiteral("10.1.2.7");
        QTest::newRow("a serial success has no address: the remembered one")
            << QStringList{QStringLiteral("serial ttyUSB0 success")} << remembered;
    }

    void The_address_starts_from_this_configurations_last_success()
    {
        QFETCH(QStringList, runs);
        QFETCH(QString, shown);
        TBoot_Fixture f(Ethernet_ParGen());
        for (const QString &line : runs) {
            const QStringList run = line.split(u' ');
            const bool success = run[2] == u"success";
            Keep_Run(Conf_Dir, run[0], run[1], success ? TRun_Ending::Success : TRun_Ending::Failed, success ? 0 : 3);
        }
        Last_IP_Address = QStringLiteral("10.0.0.9");
        QString edits;
        f.Step_3([&] { edits = f.Boot->Typed_Address(); });
        QCOMPARE(edits, shown);
    }

    void An_address_that_last_received_another_configuration_is_asked_about_first_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("No (the default) sends nothing") << int(QMessageBox::No);
        QTest::newRow("Yes sends all the same") << int(QMessageBox::Yes);
    }

    void An_address_that_last_received_another_configuration_is_asked_about_first()
    {
        QFETCH(int, answer);
        TBoot_Fixture f(Ethernet_ParGen());
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        int echoClients = 0;
        f.Boot->Echo_Client_Source = [&echoClients] {
            ++echoClients;
            auto client = std::make_unique<TFake_Echo_Client>();
            client->Then = 32;
            return std::unique_ptr<TEcho_Client>(std::move(client));
        };
        // Hall8 was sent to the device that answers at 127.0.0.1.
        QVERIFY(f.Program.Write(QStringLiteral("PROJECTS/Hall8/ParGen.xml"), Ethernet_ParGen()));
        const TSent_Run hall8 = Keep_Run(Join_Path(Projects_Dir, QStringLiteral("Hall8")), QStringLiteral("ethernet"),
                                         QStringLiteral("127.0.0.1"), TRun_Ending::Success);
        if (answer == QMessageBox::Yes)
            Set_Next_Message_Answer(QMessageBox::Yes);
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        const QList<TMessage_Record> shown = Take_Shown_Messages();
        QVERIFY(!shown.isEmpty());
        QCOMPARE(shown[0].Text, QStringLiteral("127.0.0.1 last received Hall8 on %1: send Line2 there?")
                                    .arg(hall8.Started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        QCOMPARE(shown[0].Kind, TMessage_Kind::Confirmation);
        QCOMPARE(shown[0].Buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(shown[0].Default, QMessageBox::No);
        const QList<TSent_Run> kept = Read_Sent_Runs(Conf_Dir);
        if (answer == QMessageBox::No) {
            // Nothing more: no echo check, no file for the updater, no updater, no run kept.
            QCOMPARE(shown.size(), 1);
            QCOMPARE(echoClients, 0);
            QVERIFY(!f.Program.Exists(Ethernet_Update_File_Name));
            QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
            QVERIFY(kept.isEmpty());
            return;
        }
        QCOMPARE(Shown_Texts(shown.mid(1)), QStringList{Ended_With_0()});
        QCOMPARE(f.Runs(Ethernet_Updater_Base).size(), 1);
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].Target, QStringLiteral("127.0.0.1"));
        QCOMPARE(kept[0].Ending, TRun_Ending::Success);
        // The address now holds Line2: the next update of Line2 there asks nothing.
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("127"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("1"));
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        QCOMPARE(Shown_Texts(), QStringList{Ended_With_0()});
    }

    void A_dot_moves_to_the_next_octet_and_is_never_typed()
    {
        TBoot_Fixture f(Ethernet_ParGen());
        f.Step_3([&] {
            f.Set_Address(QString(), QString(), QString(), QString());
            f.Boot->E_IP1->setFocus();
            for (const char c : QByteArray("192.168.2.205."))
                QTest::keyClick(f.Boot->focusWidget(), c);
            QCOMPARE(f.Boot->Typed_Address(), QStringLiteral("192.168.2.205"));
            QCOMPARE(f.Boot->focusWidget(), f.Boot->E_IP4);
            // Other keys pass unfiltered; characters an XML file cannot hold are kept out of a paste.
            QTest::keyClicks(f.Boot->E_IP4, QStringLiteral("x<"));
            QCOMPARE(f.Boot->E_IP4->text(), QStringLiteral("205x<"));
            QGuiApplication::clipboard()->setText(QStringLiteral("1\u00012"));
            f.Boot->E_IP4->clear();
            QTest::keyClick(f.Boot->E_IP4, Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(f.Boot->E_IP4->text(), QStringLiteral("12"));
        });
    }

    void A_missing_updater_is_reported_with_its_path()
    {
        TBoot_Fixture f;
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ") +
                                     QDir::toNativeSeparators(Updater_Path(Program_Dir, Serial_Updater_Base)) +
                                     QStringLiteral(" cannot be started: ")),
                 qPrintable(shown[0]));
        // The run is kept all the same, and the box says where.
        QVERIFY2(shown[0].endsWith(Kept_Line()), qPrintable(shown[0]));
        QCOMPARE(Read_Sent_Runs(Conf_Dir).value(0).Ending, TRun_Ending::Not_Started);
    }

    void An_Ethernet_file_that_cannot_be_written_starts_nothing()
    {
        TBoot_Fixture f(Ethernet_ParGen());
        f.Fake_Device({}, 32);
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        QVERIFY(f.Program.Make_Dir(Ethernet_Update_File_Name));
        f.Step_3([&] {
            f.Set_Address(QStringLiteral("10"), QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("9"));
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].contains(Ethernet_Update_File_Name),
                 qPrintable(shown[0]));
        QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
        // The check succeeded: the address was remembered before the file failed.
        QCOMPARE(Last_IP_Address, QStringLiteral("10.0.0.9"));
    }

    void Bin_files_that_cannot_be_written_keep_the_dialog_closed()
    {
        TBoot_Fixture f;
        QVERIFY(f.Program.Make_Dir(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")));
        bool shown = false;
        f.Step_3([&] { shown = true; });
        QVERIFY(!shown);
        const QStringList texts = Shown_Texts();
        QCOMPARE(texts.size(), 1);
        QVERIFY2(texts[0].startsWith(QStringLiteral("error: ")) && texts[0].contains(QStringLiteral("bankK.bin")),
                 qPrintable(texts[0]));
        QVERIFY(!f.Program.Exists(QStringLiteral("PROJECTS/Line2/bin/bank.bin")));
    }

    void While_an_updater_runs_the_windows_paint_and_refuse_input()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base, 1500));
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        bool waitShown = false;
        bool updateDisabled = false;
        QString waitText;
        int ticksDuringRun = 0;
        bool dialogStayed = false;
        f.Step_3([&] {
            QTimer::singleShot(1200, f.Boot, [&] {
                waitShown = f.Boot->FWait->isVisible() && QApplication::activeModalWidget() == f.Boot->FWait;
                updateDisabled = !f.Boot->Btn_Update->isEnabled();
                waitText = f.Boot->FWait->L_Program->text() + u'|' + f.Boot->FWait->L_Seconds->text();
                ticksDuringRun = ticks;
                // Clicks through the window system on Read Back and on Cancel, and Escape: all refused.
                QTest::mouseClick(f.Boot->windowHandle(), Qt::LeftButton, {}, Read_Back_Point(f.Boot));
                const QPoint cancel = f.Boot->Btn_Cancel->mapTo(f.Boot, f.Boot->Btn_Cancel->rect().center());
                QTest::mouseClick(f.Boot->windowHandle(), Qt::LeftButton, {}, cancel);
                QTest::keyClick(f.Boot->FWait, Qt::Key_Escape);
                dialogStayed = f.Boot->isVisible() && f.Boot->FWait->isVisible() &&
                               f.Boot->CB_Update_Option_Read_Back->isChecked();
            });
            ticker.start(10);
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            ticker.stop();
            QVERIFY(f.Boot->Btn_Update->isEnabled());
            QVERIFY(!f.Boot->FWait->isVisible());
            // After the run the same click reaches the dialog again.
            QTest::mouseClick(f.Boot->windowHandle(), Qt::LeftButton, {}, Read_Back_Point(f.Boot));
            QVERIFY(!f.Boot->CB_Update_Option_Read_Back->isChecked());
        });
        QVERIFY(waitShown);
        QVERIFY(updateDisabled);
        const QString running = QFileInfo(Updater_Path(Program_Dir, Serial_Updater_Base)).fileName();
        QVERIFY2(QRegularExpression(QStringLiteral("^%1 is running\\.\\|Waiting for it to end: [01] s of 150 s$")
                                        .arg(QRegularExpression::escape(running)))
                     .match(waitText)
                     .hasMatch(),
                 qPrintable(waitText));
        QVERIFY2(ticksDuringRun > 20, qPrintable(QString::number(ticksDuringRun)));
        QVERIFY(dialogStayed);
        QVERIFY(f.Runs(Serial_Updater_Base).value(0).Finished);
    }

    void Cancel_in_the_wait_window_stops_the_updater_after_a_confirmation()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base, 60000));
        QVERIFY(Stand_In_Control(f.Program.Dir.path(), Serial_Updater_Base, "tick_ms=100\n"));
        QString shownOutput;
        bool refusedFirst = false;
        f.Step_3([&] {
            QTimer::singleShot(800, f.Boot, [&] {
                shownOutput = f.Boot->FWait->M_Output->toPlainText();
                // Answered No: the wait goes on; then Yes.
                QTest::mouseClick(f.Boot->FWait->Btn_Cancel, Qt::LeftButton);
                refusedFirst = f.Boot->FWait->isVisible();
                Set_Next_Message_Answer(QMessageBox::Yes);
                QTest::mouseClick(f.Boot->FWait->Btn_Cancel, Qt::LeftButton);
            });
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            QVERIFY(!f.Boot->FWait->isVisible());
        });
        // The output file's last lines, as they came.
        QVERIFY2(shownOutput.startsWith(QStringLiteral("tick 1\ntick 2")), qPrintable(shownOutput));
        QVERIFY(refusedFirst);
        const QList<TMessage_Record> records = Take_Shown_Messages();
        const QStringList shown = Shown_Texts(records);
        QCOMPARE(shown.size(), 3);
        QCOMPARE(shown[0], QStringLiteral("question: ") + English_Text(1146));
        QCOMPARE(shown[1], shown[0]);
        // Enter answers No: stopping a flash takes a deliberate Yes.
        QCOMPARE(records[0].Default, QMessageBox::No);
        QVERIFY2(shown[2].startsWith(QStringLiteral("warning+buttons: The updater was stopped by the user after ")),
                 qPrintable(shown[2]));
        QVERIFY2(shown[2].contains(QStringLiteral("Its last output:\ntick ")), qPrintable(shown[2]));
        QVERIFY(!f.Runs(Serial_Updater_Base).value(0).Finished);
        QVERIFY(QString::fromUtf8(f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log")))
                    .contains(QStringLiteral("  ended: cancelled by the user after ")));
        QVERIFY(!f.Program.Exists(Updater_Lock_File_Name));
    }

    void A_running_updater_refuses_a_second_update_and_step_3_of_its_configuration()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        // Another program's update, alive (this process stands for it).
        TUpdater_Lock other(Program_Dir);
        QVERIFY(other.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyUSB1"), Conf_Dir));
        // Step 3 of the configuration the updater was given: its images are not rewritten, no dialog opens.
        f.Program.Write(QStringLiteral("PROJECTS/Line2/bin/bankK.bin"), "in use");
        QTest::mouseClick(f.Main->Btn_CreateBin, Qt::LeftButton);
        QVERIFY(!f.Boot->isVisible());
        QCOMPARE(f.Program.Read(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")), QByteArray("in use"));
        const QStringList refused = Shown_Texts();
        QCOMPARE(refused.size(), 1);
        QVERIFY2(refused[0].startsWith(QStringLiteral("warning: An update is already running in this workspace: ")) &&
                     refused[0].contains(QStringLiteral(" on /dev/ttyUSB1, process %1, for ")
                                             .arg(QCoreApplication::applicationPid())),
                 qPrintable(refused[0]));
        // An updater given another configuration: this one's step 3 opens, but its update waits.
        other.Release();
        TUpdater_Lock elsewhere(Program_Dir);
        QVERIFY(elsewhere.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyUSB1"),
                                  Join_Path(Projects_Dir, QStringLiteral("Other"))));
        f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("warning: An update is already running in this workspace: ")),
                 qPrintable(shown[0]));
        QVERIFY(f.Runs(Serial_Updater_Base).isEmpty());
    }

    void The_port_used_is_remembered_and_chosen_again()
    {
        TBoot_Fixture f;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base));
        Last_Serial_Port = QStringLiteral("ttyS0");
        f.Step_3([&] {
            QCOMPARE(f.Boot->CB_COM_Port->currentText(), QStringLiteral("ttyS0"));
            f.Boot->CB_COM_Port->setCurrentIndex(1);
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
        });
        QCOMPARE(Last_Serial_Port, QStringLiteral("ttyUSB0"));
        // In the settings file at once, not only at close.
        QVERIFY(f.Program.Read(QStringLiteral("Quillon.xml")).contains("<portname>ttyUSB0</portname>"));
        Take_Shown_Messages();
    }

    void After_the_limit_the_updater_goes_on_and_its_ending_is_recorded_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::addColumn<QString>("ending");
        QTest::newRow("left to end by itself") << false << QStringLiteral("ended: exit code 0");
        QTest::newRow("stopped from the ending box") << true << QStringLiteral("ended: cancelled by the user");
    }

    void After_the_limit_the_updater_goes_on_and_its_ending_is_recorded()
    {
        QFETCH(bool, stop);
        QFETCH(QString, ending);
        TBoot_Fixture f;
        f.Boot->Updater_Limit_Ms = 300;
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Serial_Updater_Base, stop ? 30000 : 2000));
        bool stillRunning = false;
        if (stop)
            Set_Next_Message_Answer(QMessageBox::Yes);
        f.Step_3([&] {
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            stillRunning = !f.Runs(Serial_Updater_Base).value(0).Finished;
            QVERIFY(f.Boot->Btn_Update->isEnabled());
            QVERIFY(!f.Boot->FWait->isVisible());
        });
        QVERIFY(stillRunning);
        // One box: how the run stands, and whether to stop the updater (No unless answered).
        QString verdict = Verdict(QStringLiteral("question"), QStringLiteral("The updater is still running after 0 s; "
                                                                            "the program no longer waits for it."));
        verdict.replace(QStringLiteral("question+buttons: "), QStringLiteral("question: "));
        const QList<TMessage_Record> shown = Take_Shown_Messages();
        QCOMPARE(Shown_Texts(shown), QStringList{verdict + QStringLiteral("\n\n") + Lang(1146)});
        QCOMPARE(shown[0].Default, QMessageBox::No);
        const auto log = [&f] { return QString::fromUtf8(f.Program.Read(QStringLiteral("PROJECTS/Line2/update.log"))); };
        QVERIFY(log().contains(QStringLiteral("ended: still running after the wait limit of 0.3 s; no longer awaited")));
        QVERIFY(f.Program.Exists(Updater_Lock_File_Name));
        if (!stop) {
            // A second update meanwhile is refused, and offers to stop the one that runs (answered No here).
            f.Step_3([&] { QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton); });
            const QStringList refused = Shown_Texts();
            QCOMPARE(refused.size(), 1);
            QVERIFY2(refused[0].startsWith(QStringLiteral("question: An update is already running in this workspace")) &&
                         refused[0].endsWith(Lang(1146)),
                     qPrintable(refused[0]));
        }
        // Its ending reaches update.log when it comes, its output file goes and the workspace is free again.
        QVERIFY2(QTest::qWaitFor([&] { return !f.Program.Exists(Updater_Lock_File_Name); }, 15000), qPrintable(log()));
        QVERIFY2(log().contains(QStringLiteral("note: ended after the wait limit of 0 s")), qPrintable(log()));
        QVERIFY2(log().contains(ending), qPrintable(log()));
        const QStringList left = QDir(Conf_Dir).entryList({QStringLiteral("update-output-*")}, QDir::Files);
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
        if (!stop)
            QVERIFY(f.Runs(Serial_Updater_Base).value(0).Finished);
    }

    void Closing_the_dialog_during_the_check_ends_it_quietly()
    {
        TBoot_Fixture f(Ethernet_ParGen());
        f.Fake_Device({}, 0);
        QVERIFY(Install_Stand_In(f.Program.Dir.path(), Ethernet_Updater_Base));
        f.Step_3([&] {
            QTimer::singleShot(100, f.Boot, [&] { QTest::mouseClick(f.Boot->Btn_Cancel, Qt::LeftButton); });
            QTest::mouseClick(f.Boot->Btn_Update, Qt::LeftButton);
            QVERIFY(!f.Boot->isVisible());
        });
        QCOMPARE(Shown_Texts(), QStringList());
        QVERIFY(f.Runs(Ethernet_Updater_Base).isEmpty());
        QCOMPARE(Last_IP_Address, Default_IP_Address);
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UBoot)
#include "test_UBoot.moc"
