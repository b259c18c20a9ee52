#include "UAnsi_Paths.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UUpdate_Logic.h"
#include "UXml_Document.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QStringList Child_Texts(const QDomElement &parent)
{
    QStringList texts;
    for (QDomElement e = parent.firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        texts << e.tagName() + QLatin1Char('=') + (e.firstChildElement().isNull() ? e.text() : QStringLiteral("…"));
    return texts;
}

QString Child(const QDomElement &parent, const char *name)
{
    return Element_Text(Find_Child(parent, QLatin1String(name)));
}

} // namespace

class Test_UUpdate_Logic : public QObject
{
    Q_OBJECT

private slots:
    void Operation_codes_data();
    void Operation_codes();
    void Serial_argument_text_in_windows_form();
    void Serial_arguments_elsewhere_are_separate_and_unquoted();
    void Ethernet_update_file_top_level();
    void Ethernet_operations_data();
    void Ethernet_operations();
    void Ethernet_update_file_is_replaced_whole();
    void The_port_chosen_is_the_remembered_then_a_usb_adapter_data();
    void The_port_chosen_is_the_remembered_then_a_usb_adapter();
    void Paths_outside_the_code_page_go_in_their_short_form_or_are_refused_data();
    void Paths_outside_the_code_page_go_in_their_short_form_or_are_refused();
};

void Test_UUpdate_Logic::Operation_codes_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("readBack");
    QTest::addColumn<QString>("codes");
    QTest::newRow("firmware and configuration, read back") << 0 << true << "FW FR PW PR ";
    QTest::newRow("firmware and configuration, no read back") << 0 << false << "FW NO PW NO ";
    QTest::newRow("firmware only, read back") << 1 << true << "FW FR NO NO ";
    QTest::newRow("firmware only, no read back") << 1 << false << "FW NO NO NO ";
    QTest::newRow("configuration only, read back") << 2 << true << "NO NO PW PR ";
    QTest::newRow("configuration only, no read back") << 2 << false << "NO NO PW NO ";
    QTest::newRow("no option selected appends nothing") << -1 << true << "";
    QTest::newRow("unknown option appends nothing") << 3 << true << "";
}

void Test_UUpdate_Logic::Operation_codes()
{
    QFETCH(int, option);
    QFETCH(bool, readBack);
    QFETCH(QString, codes);
    QCOMPARE(Update_Options(QStringLiteral("x "), option, readBack), QStringLiteral("x ") + codes);
}

void Test_UUpdate_Logic::Serial_argument_text_in_windows_form()
{
    const QStringList args =
        Serial_Update_Arguments(TPlatform_Form::Windows, QStringLiteral("COM3"), 0, true,
                                QStringLiteral("D:\\Conf\\MASTER"), QStringLiteral("D:\\Conf\\PROJECTS\\Line2"));
    QCOMPARE(args.size(), 1);
    QCOMPARE(args.first(), QStringLiteral("\\\\.\\COM3 FW FR PW PR \"D:\\Conf\\MASTER\\sim40926.sim\" "
                                          "\"D:\\Conf\\PROJECTS\\Line2\\bin\\bank.bin\""));
    // No port: the prefix is followed directly by the blank and the codes.
    QVERIFY(
        Serial_Update_Arguments(TPlatform_Form::Windows, QString(), 2, false, QStringLiteral("M"), QStringLiteral("C"))
            .first()
            .startsWith(QStringLiteral("\\\\.\\ NO NO PW NO \"")));
}

void Test_UUpdate_Logic::Serial_arguments_elsewhere_are_separate_and_unquoted()
{
    QCOMPARE(Serial_Update_Arguments(TPlatform_Form::Posix, QStringLiteral("/dev/ttyUSB0"), 1, false,
                                     QStringLiteral("/opt/q app/MASTER"), QStringLiteral("/opt/q app/PROJECTS/Line2")),
             (QStringList{"/dev/ttyUSB0", "FW", "NO", "NO", "NO", "/opt/q app/MASTER/sim40926.sim",
                          "/opt/q app/PROJECTS/Line2/bin/bank.bin"}));
}

void Test_UUpdate_Logic::Ethernet_update_file_top_level()
{
    const QString ip[4] = {"010", "0", "0", "1"};
    TXml_Document xml;
    Build_Ethernet_Update(xml, ip, 0, true, QStringLiteral("M"), QStringLiteral("C"));
    QCOMPARE(xml.Root().tagName(), QStringLiteral("Ethernet_Update"));
    QCOMPARE(Child_Texts(xml.Root()),
             (QStringList{"Version=1000", "Title=Velmora - SW40926 Ethernet Update", "IP_Address_Dev=010.0.0.1",
                          "Application_Port=10000", "Boot_Port=2008", "Boot_Port_Sec=2007",
                          "Address_Protection=0x07800", "Protections=…", "Operations=…"}));
    QCOMPARE(Child_Texts(Find_Child(xml.Root(), QStringLiteral("Protections"))), QStringList{"Protection=0x70"});
    QVERIFY(!xml.To_Bytes().startsWith("<?xml"));
}

void Test_UUpdate_Logic::Ethernet_operations_data()
{
    QTest::addColumn<int>("option");
    QTest::addColumn<bool>("readBack");
    QTest::addColumn<QStringList>("operations"); // per operation: file, start, bank, CSS, read back, go to app
    const QString firmware = Join_Path(QStringLiteral("M"), QStringLiteral("Sim40926K.sim"));
    const QString image = Join_Path(QStringLiteral("C"), QStringLiteral("bin"), QStringLiteral("bankK.bin"));
    QTest::newRow("firmware and configuration, read back")
        << 0 << true << QStringList{firmware + " 0x8000 1 1 1 0", image + " 0x07000 2 0 1 1"};
    QTest::newRow("firmware only, no read back") << 1 << false << QStringList{firmware + " 0x8000 1 1 0 1"};
    QTest::newRow("configuration only") << 2 << true << QStringList{image + " 0x07000 2 0 1 1"};
    QTest::newRow("no option") << -1 << true << QStringList{};
}

void Test_UUpdate_Logic::Ethernet_operations()
{
    QFETCH(int, option);
    QFETCH(bool, readBack);
    QFETCH(QStringList, operations);
    const QString ip[4] = {"192", "168", "2", "205"};
    TXml_Document xml;
    Build_Ethernet_Update(xml, ip, option, readBack, QStringLiteral("M"), QStringLiteral("C"));
    const QDomElement ops = Find_Child(xml.Root(), QStringLiteral("Operations"));
    QStringList found;
    for (QDomElement op = ops.firstChildElement(); !op.isNull(); op = op.nextSiblingElement()) {
        QCOMPARE(op.tagName(), QStringLiteral("Operation"));
        QCOMPARE(Child_Texts(op), (QStringList{"Ope_Protection_Enabled=",
                                               "Ope_GoToBoot_Before=0",
                                               "Ope_GoToApp_Before=0",
                                               "Ope_IP_Address=",
                                               "Ope_Port=2008",
                                               "Ope_Port_Sec=2007",
                                               "Ope_Erase_Memory=0",
                                               "Ope_FileName=" + Child(op, "Ope_FileName"),
                                               "Ope_Start_Address=" + Child(op, "Ope_Start_Address"),
                                               "Ope_Memory_Type=0",
                                               "Ope_Bank_Type=" + Child(op, "Ope_Bank_Type"),
                                               "Ope_Read_Back=" + Child(op, "Ope_Read_Back"),
                                               "Ope_Write_CSS=" + Child(op, "Ope_Write_CSS"),
                                               "Ope_Address_CSS=0x07A00",
                                               "Ope_Command_CSS=0x02",
                                               "Ope_Write_Internal_Data=0",
                                               "Ope_WID_Address=0x07810",
                                               "Ope_WID_Command=0x02",
                                               "Ope_WID_Data=0x00, 0x00, 0x00, 0x01",
                                               "Ope_GoToApp_After=" + Child(op, "Ope_GoToApp_After")}));
        found << QStringList{Child(op, "Ope_FileName"),  Child(op, "Ope_Start_Address"), Child(op, "Ope_Bank_Type"),
                             Child(op, "Ope_Write_CSS"), Child(op, "Ope_Read_Back"),     Child(op, "Ope_GoToApp_After")}
                     .join(u' ');
    }
    QCOMPARE(found, operations);
}

void Test_UUpdate_Logic::Ethernet_update_file_is_replaced_whole()
{
    QTemporaryDir dir;
    TXml_Document xml;
    const QString first[4] = {"192", "168", "2", "205"};
    const QString second[4] = {"10", "0", "0", "1"};
    Write_Ethernet_Update(xml, first, 0, true, dir.path(), QStringLiteral("M"), QStringLiteral("C"));
    Write_Ethernet_Update(xml, second, 2, false, dir.path(), QStringLiteral("M"), QStringLiteral("C"));
    TXml_Document read;
    read.Load_File(dir.filePath(QStringLiteral("Ethernet_Update.xml")));
    QCOMPARE(Child(read.Root(), "IP_Address_Dev"), QStringLiteral("10.0.0.1"));
    QCOMPARE(
        Find_Child(read.Root(), QStringLiteral("Operations")).elementsByTagName(QStringLiteral("Operation")).size(), 1);
    QCOMPARE(read.Dom().childNodes().size(), 1);
}

QTEST_GUILESS_MAIN(Test_UUpdate_Logic)
void Test_UUpdate_Logic::The_port_chosen_is_the_remembered_then_a_usb_adapter_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<int>("usbFlagged");
    QTest::addColumn<QString>("remembered");
    QTest::addColumn<int>("chosen");
    const QStringList builtInFirst{"ttyS0", "ttyS1", "ttyUSB0", "ttyACM0"};
    QTest::newRow("none listed") << QStringList() << -1 << QString() << -1;
    QTest::newRow("built-in only") << QStringList{"ttyS0", "ttyS1"} << -1 << QString() << 0;
    QTest::newRow("a ttyUSB adapter before built-in ports") << builtInFirst << -1 << QString() << 2;
    QTest::newRow("a ttyACM adapter") << QStringList{"ttyS0", "ttyACM0"} << -1 << QString() << 1;
    QTest::newRow("a port the system knows a USB vendor of") << QStringList{"COM1", "COM7"} << 1 << QString() << 1;
    QTest::newRow("the remembered port wins") << builtInFirst << -1 << QStringLiteral("ttyS1") << 1;
    QTest::newRow("a remembered port no longer there") << builtInFirst << -1 << QStringLiteral("ttyUSB9") << 2;
}

void Test_UUpdate_Logic::The_port_chosen_is_the_remembered_then_a_usb_adapter()
{
    QFETCH(QStringList, names);
    QFETCH(int, usbFlagged);
    QFETCH(QString, remembered);
    QFETCH(int, chosen);
    QList<TSerial_Port> ports;
    for (const QString &name : names)
        ports.append({name, QStringLiteral("/dev/") + name, QString(), QString(), QString()});
    if (usbFlagged >= 0)
        ports[usbFlagged].Usb = true;
    QCOMPARE(Preferred_Port_Index(ports, remembered), chosen);
}

// A code page of Latin-1 characters and the euro sign (as Windows-1252 has it); short forms as a drive that
// keeps them (or not) would give.
TAnsi_System Latin1_System(const QHash<QString, QString> &shortForms)
{
    return {[](const QString &text) {
                for (qsizetype i = 0; i < text.size(); ++i) {
                    if (text.at(i).unicode() > 0xFF && text.at(i) != QChar(0x20AC))
                        return text.mid(i, text.at(i).isHighSurrogate() ? 2 : 1);
                }
                return QString();
            },
            [shortForms](const QString &path) { return shortForms.value(path); }};
}

void Test_UUpdate_Logic::Paths_outside_the_code_page_go_in_their_short_form_or_are_refused_data()
{
    QTest::addColumn<QString>("confDir");
    QTest::addColumn<QString>("shortForm");
    QTest::addColumn<QString>("handed");
    QTest::addColumn<QString>("refusedFor");
    const QString plain = QStringLiteral("C:\\W\\PROJECTS\\\u00D6lm\u00FChle \u00C6\u00D8\u00C5 \u20AC");
    const QString ij = QStringLiteral("C:\\W\\PROJECTS\\\u00D6lm\u00FChle \u0133");
    const QString emoji = QStringLiteral("C:\\W\\PROJECTS\\Line \U0001F600");
    QTest::newRow("in the code page: as it is") << plain << QString() << plain << QString();
    QTest::newRow("outside, with a short form") << ij << "C:\\W\\PROJECTS\\OLMHLE~1"
                                                << "C:\\W\\PROJECTS\\OLMHLE~1" << QString();
    QTest::newRow("outside, no short form") << ij << QString() << QString() << QStringLiteral("\u0133 (U+0133)");
    QTest::newRow("outside, the short form too") << ij << ij << QString() << QStringLiteral("\u0133 (U+0133)");
    QTest::newRow("a character beyond 16 bits is named whole")
        << emoji << QString() << QString() << QStringLiteral("\U0001F600 (U+1F600)");
}

void Test_UUpdate_Logic::Paths_outside_the_code_page_go_in_their_short_form_or_are_refused()
{
    QFETCH(QString, confDir);
    QFETCH(QString, shortForm);
    QFETCH(QString, handed);
    QFETCH(QString, refusedFor);
    const QString master = QStringLiteral("C:\\W\\MASTER");
    const TSerial_Paths paths =
        Serial_Updater_Paths(master, confDir, Latin1_System({{confDir, shortForm}}), English_Text);
    QCOMPARE(paths.Master_Dir, master);
    if (!refusedFor.isEmpty()) {
        const QStringList named = refusedFor.split(u' ');
        QVERIFY2(paths.Refusal.contains(confDir) && paths.Refusal.contains(u'"' + named[0] + u'"') &&
                     paths.Refusal.contains(named[1]),
                 qPrintable(paths.Refusal));
        return;
    }
    QVERIFY2(paths.Refusal.isEmpty(), qPrintable(paths.Refusal));
    QCOMPARE(paths.Conf_Dir, handed);
    // update.log says which path went in its short form and why.
    QCOMPARE(paths.Notes.size(), handed == confDir ? 0 : 1);
    if (handed != confDir)
        QVERIFY(paths.Notes.first().contains(handed) && paths.Notes.first().contains(QStringLiteral("U+0133")));
}

#include "test_UUpdate_Logic.moc"
