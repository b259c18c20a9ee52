#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "UParGen_Fixture.h"
#include "UParGen_File.h"
#include "UXml_Document.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

TParGen_Fields Fields_From(const QByteArray &xml)
{
    TXml_Document doc;
    doc.Load_Bytes(xml);
    return ParGen_Fields_From(doc);
}

QStringList Key_Texts(const TXml_Document &doc)
{
    QStringList texts;
    for (QDomElement e = doc.Root().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        texts << e.tagName() + QLatin1Char('=') + e.text();
    return texts;
}

} // namespace

class Test_UParGen_File : public QObject
{
    Q_OBJECT

private slots:
    void New_configuration_saves_the_25_keys_in_order();
    void Save_writes_the_root_then_the_comment_and_drops_unknown_content();
    void Load_of_a_missing_file_gives_the_new_configuration_values();
    void Load_key_by_key_data();
    void Load_key_by_key();
    void Saved_fields_load_back_unchanged();
    void A_list_without_selection_is_saved_as_minus_one();
    void A_malformed_file_raises_the_parse_error();
    void Range_rules_data();
    void Range_rules();
    void Only_the_first_failing_rule_is_reported();
    void Send_verdict_data();
    void Send_verdict();
};

void Test_UParGen_File::New_configuration_saves_the_25_keys_in_order()
{
    TXml_Document doc;
    Build_ParGen(doc, No_File_Fields());
    QStringList texts;
    for (QDomElement e = doc.Root().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        texts << e.text();
    QCOMPARE(texts, (QStringList{"1",   "7", "0",  "1",   "0",   "1",   "7", "0",   "1",   "0", "0", "0", "192",
                                 "168", "0", "10", "255", "255", "255", "0", "192", "168", "0", "1", "0"}));
    QStringList names;
    for (QDomElement e = doc.Root().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        names << e.tagName();
    QCOMPARE(names, ParGen_Keys);
    QCOMPARE(ParGen_Keys.size(), 25);
}

void Test_UParGen_File::Save_writes_the_root_then_the_comment_and_drops_unknown_content()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    TXml_Document doc;
    // What the dialog loaded before (unknown elements, other nodes) is gone after the save.
    doc.Load_Bytes("<!--old--><Par_Gen><Unknown>1</Unknown></Par_Gen>");
    TParGen_Fields fields = No_File_Fields();
    fields.Port_0_DevID = QStringLiteral("007");
    Save_ParGen(doc, fields, path);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY2(bytes.startsWith("<Par_Gen><Device_Type_Type>1</Device_Type_Type>"), bytes.constData());
    QVERIFY(bytes.trimmed().endsWith("</Par_Gen><!--SW_VERSION = 2.002-->"));
    QVERIFY(!bytes.contains("Unknown"));
    QVERIFY(!bytes.contains("old"));
    QVERIFY(bytes.contains("<Port_0_DevID>007</Port_0_DevID>"));
}

void Test_UParGen_File::Load_of_a_missing_file_gives_the_new_configuration_values()
{
    QTemporaryDir dir;
    TXml_Document doc;
    const TParGen_Fields fields = Load_ParGen_Fields(doc, dir.filePath(QStringLiteral("ParGen.xml")));
    QCOMPARE(fields, No_File_Fields());
    QCOMPARE(fields.Device_Type_Type, 1);
    QCOMPARE(fields.Port_1_Port, 1);
    QCOMPARE(fields.Opt_Off_Reg, QStringLiteral("0"));
    // The design values before any load differ: no Ethernet, RS232, offsets "1", rows 192.168.0.5.
    const TParGen_Fields initial = Form_Initial_Fields();
    QCOMPARE(initial.Device_Type_Type, 0);
    QCOMPARE(initial.Port_1_Port, 0);
    QCOMPARE(initial.Opt_Off_Status, QStringLiteral("1"));
    QCOMPARE(initial.Ethernet_GAT[3], QStringLiteral("5"));
}

void Test_UParGen_File::Load_key_by_key_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    const QByteArray empty = "<Par_Gen/>";
    QTest::newRow("missing device type is index 0, unlike no file") << empty << "device"
                                                                    << "0";
    QTest::newRow("missing device ID is 1") << empty << "dev0"
                                            << "1";
    QTest::newRow("missing Port 1 interface is RS485") << empty << "port1"
                                                       << "1";
    QTest::newRow("missing address byte takes its default") << empty << "ip4"
                                                            << "10";
    QTest::newRow("device type outside the list leaves no selection")
        << QByteArray("<Par_Gen><Device_Type_Type>5</Device_Type_Type></Par_Gen>") << "device"
        << "-1";
    QTest::newRow("negative baud index leaves no selection")
        << QByteArray("<Par_Gen><Port_0_Baud>-1</Port_0_Baud></Par_Gen>") << "baud0"
        << "-1";
    QTest::newRow("baud index not a number takes 7")
        << QByteArray("<Par_Gen><Port_0_Baud>fast</Port_0_Baud></Par_Gen>") << "baud0"
        << "7";
    QTest::newRow("hexadecimal list index") << QByteArray("<Par_Gen><Port_0_Baud>$3</Port_0_Baud></Par_Gen>") << "baud0"
                                            << "3";
    QTest::newRow("device ID text kept as written")
        << QByteArray("<Par_Gen><Port_0_DevID>007</Port_0_DevID></Par_Gen>") << "dev0"
        << "007";
    QTest::newRow("empty device ID stays empty")
        << QByteArray("<Par_Gen><Port_0_DevID></Port_0_DevID></Par_Gen>") << "dev0"
        << "";
    QTest::newRow("empty address byte stays empty") << QByteArray("<Par_Gen><Ethernet_IP1/></Par_Gen>") << "ip1"
                                                    << "";
    QTest::newRow("broadcast 1 ticks") << QByteArray("<Par_Gen><Port_0_BroadCast>1</Port_0_BroadCast></Par_Gen>")
                                       << "bc0"
                                       << "1";
    QTest::newRow("broadcast 2 does not tick")
        << QByteArray("<Par_Gen><Port_0_BroadCast>2</Port_0_BroadCast></Par_Gen>") << "bc0"
        << "0";
    QTest::newRow("broadcast with a leading blank does not tick")
        << QByteArray("<Par_Gen><Port_0_BroadCast> 1</Port_0_BroadCast></Par_Gen>") << "bc0"
        << "0";
    QTest::newRow("broadcast true does not tick")
        << QByteArray("<Par_Gen><Port_0_BroadCast>true</Port_0_BroadCast></Par_Gen>") << "bc0"
        << "0";
    QTest::newRow("another root name is read all the same")
        << QByteArray("<Other><Port_0_DevID>9</Port_0_DevID></Other>") << "dev0"
        << "9";
    QTest::newRow("a comment ahead of the root does not hide the keys")
        << QByteArray("<!--x--><Par_Gen><Port_0_DevID>9</Port_0_DevID></Par_Gen>") << "dev0"
        << "9";
}

void Test_UParGen_File::Load_key_by_key()
{
    QFETCH(QByteArray, xml);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    const TParGen_Fields f = Fields_From(xml);
    const QHash<QString, QString> shown{
        {"device", QString::number(f.Device_Type_Type)},
        {"baud0", QString::number(f.Port_0_Baud)},
        {"port1", QString::number(f.Port_1_Port)},
        {"dev0", f.Port_0_DevID},
        {"bc0", f.Port_0_BroadCast ? "1" : "0"},
        {"ip1", f.Ethernet_IP[0]},
        {"ip4", f.Ethernet_IP[3]},
    };
    QCOMPARE(shown.value(field), expected);
}

void Test_UParGen_File::Saved_fields_load_back_unchanged()
{
    TParGen_Fields fields;
    fields.Device_Type_Type = 1;
    fields.Port_0_Baud = 2;
    fields.Port_0_Par = 2;
    fields.Port_0_DevID = QStringLiteral(" 12");
    fields.Port_0_BroadCast = true;
    fields.Port_1_Port = 0;
    fields.Port_1_Baud = 0;
    fields.Port_1_Par = 1;
    fields.Port_1_DevID = QStringLiteral("250");
    fields.Port_1_BroadCast = true;
    fields.Opt_Off_Reg = QStringLiteral("61535");
    fields.Opt_Off_Status = QString();
    fields.Ethernet_IP[2] = QStringLiteral("abc");
    fields.Ethernet_GAT[0] = QStringLiteral("$0A");
    fields.Ethernet_EN_GAT = true;
    TXml_Document doc;
    Build_ParGen(doc, fields);
    QCOMPARE(Fields_From(doc.To_Bytes()), fields);
}

void Test_UParGen_File::A_list_without_selection_is_saved_as_minus_one()
{
    TParGen_Fields fields = No_File_Fields();
    fields.Device_Type_Type = -1;
    TXml_Document doc;
    Build_ParGen(doc, fields);
    QCOMPARE(Key_Texts(doc).first(), QStringLiteral("Device_Type_Type=-1"));
}

void Test_UParGen_File::A_malformed_file_raises_the_parse_error()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<Par_Gen>");
    file.close();
    TXml_Document doc;
    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, Load_ParGen_Fields(doc, path));
}

void Test_UParGen_File::Range_rules_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("deviceType");
    QTest::addColumn<bool>("gateway");
    QTest::addColumn<int>("entry");
    QTest::newRow("valid new configuration") << ""
                                             << "" << 1 << false << 0;
    QTest::newRow("device ID 1") << "dev0"
                                 << "1" << 1 << false << 0;
    QTest::newRow("device ID 250") << "dev0"
                                   << "250" << 1 << false << 0;
    QTest::newRow("device ID 0") << "dev0"
                                 << "0" << 1 << false << 476;
    QTest::newRow("device ID 251") << "dev0"
                                   << "251" << 1 << false << 476;
    QTest::newRow("empty device ID") << "dev0"
                                     << "" << 1 << false << 476;
    QTest::newRow("port 1 device ID 251") << "dev1"
                                          << "251" << 1 << false << 477;
    QTest::newRow("device ID with a leading blank") << "dev1"
                                                    << " 5" << 1 << false << 0;
    QTest::newRow("device ID with a trailing blank") << "dev1"
                                                     << "5 " << 1 << false << 477;
    QTest::newRow("a point in the device ID") << "dev1"
                                              << "5." << 1 << false << 477;
    QTest::newRow("offset 0") << "reg"
                              << "0" << 1 << false << 0;
    QTest::newRow("offset 61535") << "reg"
                                  << "61535" << 1 << false << 0;
    QTest::newRow("offset 61536") << "reg"
                                  << "61536" << 1 << false << 478;
    QTest::newRow("offset 65535") << "status"
                                  << "65535" << 1 << false << 479;
    QTest::newRow("offset -1") << "status"
                               << "-1" << 1 << false << 479;
    QTest::newRow("octet 255") << "ip3"
                               << "255" << 1 << false << 0;
    QTest::newRow("octet 256") << "ip3"
                               << "256" << 1 << false << 482;
    QTest::newRow("octet -1") << "ip1"
                              << "-1" << 1 << false << 480;
    QTest::newRow("empty octet") << "sm2"
                                 << "" << 1 << false << 485;
    QTest::newRow("octet 10.5") << "sm4"
                                << "10.5" << 1 << false << 487;
    QTest::newRow("hexadecimal octet") << "ip4"
                                       << "$FF" << 1 << false << 0;
    QTest::newRow("letters pass without Ethernet") << "ip1"
                                                   << "abc" << 0 << false << 0;
    QTest::newRow("no selection shows Ethernet") << "ip1"
                                                 << "abc" << -1 << false << 480;
    QTest::newRow("gateway 300 passes unticked") << "gat1"
                                                 << "300" << 1 << false << 0;
    QTest::newRow("gateway 300 fails ticked") << "gat1"
                                              << "300" << 1 << true << 488;
    QTest::newRow("gateway 4 fails ticked") << "gat4"
                                            << "x" << 1 << true << 491;
    QTest::newRow("gateway unchecked without Ethernet") << "gat2"
                                                        << "300" << 0 << true << 0;
}

void Test_UParGen_File::Range_rules()
{
    QFETCH(QString, field);
    QFETCH(QString, text);
    QFETCH(int, deviceType);
    QFETCH(bool, gateway);
    QFETCH(int, entry);
    TParGen_Fields f = No_File_Fields();
    f.Device_Type_Type = deviceType;
    f.Ethernet_EN_GAT = gateway;
    QHash<QString, QString *> fields{
        {"dev0", &f.Port_0_DevID},     {"dev1", &f.Port_1_DevID},    {"reg", &f.Opt_Off_Reg},
        {"status", &f.Opt_Off_Status}, {"ip1", &f.Ethernet_IP[0]},   {"ip3", &f.Ethernet_IP[2]},
        {"ip4", &f.Ethernet_IP[3]},    {"sm2", &f.Ethernet_SM[1]},   {"sm4", &f.Ethernet_SM[3]},
        {"gat1", &f.Ethernet_GAT[0]},  {"gat2", &f.Ethernet_GAT[1]}, {"gat4", &f.Ethernet_GAT[3]}};
    if (!field.isEmpty())
        *fields.value(field) = text;
    QCOMPARE(Controllo_Dati_Failure(f), entry);
}

void Test_UParGen_File::Only_the_first_failing_rule_is_reported()
{
    TParGen_Fields f = No_File_Fields();
    f.Port_0_DevID = QStringLiteral("0");
    f.Port_1_DevID = QStringLiteral("0");
    f.Ethernet_IP[0] = QStringLiteral("999");
    QCOMPARE(Controllo_Dati_Failure(f), 476);
    f.Port_0_DevID = QStringLiteral("1");
    QCOMPARE(Controllo_Dati_Failure(f), 477);
    f.Port_1_DevID = QStringLiteral("1");
    QCOMPARE(Controllo_Dati_Failure(f), 480);
}

void Test_UParGen_File::Send_verdict_data()
{
    QTest::addColumn<QByteArray>("parGen"); // null: no file
    QTest::addColumn<QString>("reason");    // empty: may be sent
    const QByteArray null;
    QTest::newRow("as the dialog saves it") << Saved_ParGen(1) << QString();
    QTest::newRow("never saved") << null << "This configuration was never saved: open step 2 and press OK.";
    QTest::newRow("not well formed") << QByteArray("<Par_Gen><Port_0_Baud>") << "ParGen.xml";
    QTest::newRow("baud index 99") << Saved_ParGen(0, {{"Port_0_Baud", "99"}})
                                   << "Port 0 baud rate: index 99 is not in the list";
    QTest::newRow("baud index -1") << Saved_ParGen(0, {{"Port_1_Baud", "-1"}})
                                   << "Port 1 baud rate: index -1 is not in the list";
    QTest::newRow("parity 3") << Saved_ParGen(0, {{"Port_0_Par", "3"}}) << "Port 0 parity: index 3 is not in the list";
    QTest::newRow("port 1 parity 3") << Saved_ParGen(0, {{"Port_1_Par", "3"}})
                                     << "Port 1 parity: index 3 is not in the list";
    QTest::newRow("serial type 2") << Saved_ParGen(0, {{"Port_1_Port", "2"}})
                                   << "Port 1 serial type: index 2 is not in the list";
    QTest::newRow("device type 2") << Saved_ParGen(0, {{"Device_Type_Type", "2"}})
                                   << "Device type: index 2 is not in the list";
    QTest::newRow("a list index that is no number")
        << Saved_ParGen(0, {{"Port_0_Baud", "fast"}}) << "Port 0 baud rate: \"fast\" is not an index of the list";
    QTest::newRow("a hexadecimal index inside the list") << Saved_ParGen(0, {{"Port_0_Baud", "$7"}}) << QString();
    QTest::newRow("a list key missing")
        << Saved_ParGen(0, {}, {"Port_1_Port"})
        << "Port 1 serial type: the key Port_1_Port is missing from ParGen.xml; open step 2 and press OK.";
    QTest::newRow("broadcast \" 1\"") << Saved_ParGen(0, {{"Port_0_BroadCast", " 1"}})
                                      << "Port 0 broadcast: \" 1\" is neither 0 nor 1";
    QTest::newRow("gateway true") << Saved_ParGen(1, {{"Ethernet_EN_GAT", "true"}})
                                  << "Gateway: \"true\" is neither 0 nor 1";
    QTest::newRow("device ID 250") << Saved_ParGen(0, {{"Port_1_DevID", "250"}}) << QString();
    QTest::newRow("device ID 0") << Saved_ParGen(0, {{"Port_0_DevID", "0"}})
                                 << "Port 0 (RS485)!! Device ID must be between 1 and 250";
    QTest::newRow("offset 61535") << Saved_ParGen(0, {{"Opt_Off_Reg", "61535"}}) << QString();
    QTest::newRow("offset 62000") << Saved_ParGen(0, {{"Opt_Off_Reg", "62000"}})
                                  << "Error Options!! Offset Registers must be between 0 and 61535";
    QTest::newRow("status offset -1") << Saved_ParGen(0, {{"Opt_Off_Status", "-1"}})
                                      << "Error Options!! Offset Status must be between 0 and 61535";
    QTest::newRow("octet 256 with Ethernet") << Saved_ParGen(1, {{"Ethernet_SM4", "256"}})
                                             << "Error Ethernet!! SubNet Mask 4 must be between 0 and 255";
    QTest::newRow("octet 256 without Ethernet") << Saved_ParGen(0, {{"Ethernet_SM4", "256"}}) << QString();
    QTest::newRow("gateway octet with the gateway on")
        << Saved_ParGen(1, {{"Ethernet_EN_GAT", "1"}, {"Ethernet_GAT1", "300"}})
        << "Error Ethernet!! GATEWAY IP 1 must be between 0 and 255";
    QTest::newRow("the first failure is the answer")
        << Saved_ParGen(1, {{"Port_0_DevID", "0"}, {"Port_1_Baud", "8"}})
        << "Port 1 baud rate: index 8 is not in the list";
}

void Test_UParGen_File::Send_verdict()
{
    QFETCH(QByteArray, parGen);
    QFETCH(QString, reason);
    Load_Default_Language();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    if (!parGen.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(parGen) == parGen.size());
    }
    const TSend_Verdict verdict = Send_Verdict_Of_File(path);
    if (reason.isEmpty() || reason == u"ParGen.xml")
        QCOMPARE(verdict.May_Send(), reason.isEmpty());
    if (reason == u"ParGen.xml")
        QVERIFY2(verdict.Reason.contains(reason), qPrintable(verdict.Reason));
    else
        QCOMPARE(verdict.Reason, reason);
}

QTEST_GUILESS_MAIN(Test_UParGen_File)
#include "test_UParGen_File.moc"
