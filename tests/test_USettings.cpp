#include "UComon.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "USettings.h"
#include "UXml_Document.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Settings(const QByteArray &root, const QByteArray &groups)
{
    return "<" + root + ">" + groups + "</" + root + ">";
}

const QByteArray All_Groups = "<lastproj><projectname>Line2</projectname></lastproj>"
                              "<lastipadd><ipaddress>10.0.0.7</ipaddress></lastipadd>"
                              "<lastlang><language>Deutsch</language></lastlang>"
                              "<lastinternet><enable_internet>1</enable_internet><enable_update>1</enable_update>"
                              "<enable_jump_field_tables>1</enable_jump_field_tables>"
                              "<Double_Click_Auto_Size>1</Double_Click_Auto_Size></lastinternet>";

} // namespace

class Test_USettings : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void A_missing_file_gives_the_first_start_values();
    void Values_are_read_each_with_its_own_default_data();
    void Values_are_read_each_with_its_own_default();
    void The_file_is_written_in_the_fixed_order();
    void Written_values_read_back_unchanged();
    void A_malformed_file_gives_the_defaults_and_is_kept();
    void A_file_that_cannot_be_written_is_reported();
    void The_look_is_kept_last_and_only_when_chosen_data();
    void The_look_is_kept_last_and_only_when_chosen();
    void A_value_xml_cannot_hold_is_never_written();
    void A_file_that_cannot_be_read_gives_the_defaults_data();
    void A_file_that_cannot_be_read_gives_the_defaults();

private:
    void Write_Settings(const QByteArray &bytes);
    QByteArray Saved();
    QTemporaryDir *Dir = nullptr;
};

void Test_USettings::init()
{
    Reset_Shared_State();
    Dir = new QTemporaryDir;
    Set_Workspace_Paths(Dir->path());
}

void Test_USettings::cleanup()
{
    delete Dir;
    Reset_Shared_State();
}

void Test_USettings::Write_Settings(const QByteArray &bytes)
{
    QFile file(Settings_File_Path(Program_Dir));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

QByteArray Test_USettings::Saved()
{
    QFile file(Settings_File_Path(Program_Dir));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Test_USettings::A_missing_file_gives_the_first_start_values()
{
    Conf_Name = QStringLiteral("stale");
    Enable_Update = true;
    TXml_Document xml;
    QCOMPARE(Read_Settings(xml), QString());
    QCOMPARE(Conf_Name, QString());
    QCOMPARE(Last_IP_Address, QStringLiteral("192.168.2.205"));
    QCOMPARE(Language_Name, QStringLiteral("English"));
    QVERIFY(!Enable_Internet && !Enable_Update && !Enable_Jump_Field_Tables && !Enable_Double_Click_Auto_Size);

    Save_Setting(xml);
    QCOMPARE(Saved().trimmed(),
             QByteArray("<Conf_Settings><lastproj><projectname/></lastproj><lastipadd><ipaddress>192.168.2.205"
                        "</ipaddress></lastipadd><lastlang><language>English</language></lastlang><lastinternet>"
                        "<enable_internet>0</enable_internet><enable_update>0</enable_update>"
                        "<enable_jump_field_tables>0</enable_jump_field_tables>"
                        "<Double_Click_Auto_Size>0</Double_Click_Auto_Size></lastinternet></Conf_Settings>"));
}

void Test_USettings::Values_are_read_each_with_its_own_default_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("expected"); // name, address, language, four flags
    QTest::newRow("every value present") << Settings("Conf_Settings", All_Groups)
                                         << QStringList{"Line2", "10.0.0.7", "Deutsch", "1", "1", "1", "1"};
    QTest::newRow("another root name") << Settings("Other", All_Groups)
                                       << QStringList{"Line2", "10.0.0.7", "Deutsch", "1", "1", "1", "1"};
    QTest::newRow("a declaration and a comment ahead of the root")
        << "<?xml version=\"1.0\"?><!-- kept by hand -->" + Settings("Conf_Settings", All_Groups)
        << QStringList{"Line2", "10.0.0.7", "Deutsch", "1", "1", "1", "1"};
    QByteArray noFlags = All_Groups;
    noFlags.truncate(noFlags.indexOf("<lastinternet>"));
    QTest::newRow("lastinternet missing")
        << Settings("Conf_Settings", noFlags) << QStringList{"Line2", "10.0.0.7", "Deutsch", "0", "0", "0", "0"};
    QTest::newRow("empty root") << Settings("Conf_Settings", "")
                                << QStringList{"", "192.168.2.205", "English", "0", "0", "0", "0"};
    QTest::newRow("present but empty texts stay empty")
        << Settings("Conf_Settings", "<lastipadd><ipaddress/></lastipadd><lastlang><language></language></lastlang>")
        << QStringList{"", "", "", "0", "0", "0", "0"};
    QTest::newRow("values are not trimmed")
        << Settings("Conf_Settings", "<lastproj><projectname> Line2 </projectname></lastproj>")
        << QStringList{" Line2 ", "192.168.2.205", "English", "0", "0", "0", "0"};
    QTest::newRow("flags other than 1 are off")
        << Settings("Conf_Settings", "<lastinternet><enable_internet>true</enable_internet><enable_update> 1"
                                     "</enable_update><enable_jump_field_tables>01</enable_jump_field_tables>"
                                     "<Double_Click_Auto_Size>1</Double_Click_Auto_Size></lastinternet>")
        << QStringList{"", "192.168.2.205", "English", "0", "0", "0", "1"};
    QTest::newRow("names are matched with their case")
        << Settings("Conf_Settings", "<LastLang><language>Deutsch</language></LastLang>")
        << QStringList{"", "192.168.2.205", "English", "0", "0", "0", "0"};
}

void Test_USettings::Values_are_read_each_with_its_own_default()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, expected);
    Write_Settings(file);
    TXml_Document xml;
    QCOMPARE(Read_Settings(xml), QString());
    const auto flag = [](bool on) { return on ? QStringLiteral("1") : QStringLiteral("0"); };
    QCOMPARE((QStringList{Conf_Name, Last_IP_Address, Language_Name, flag(Enable_Internet), flag(Enable_Update),
                          flag(Enable_Jump_Field_Tables), flag(Enable_Double_Click_Auto_Size)}),
             expected);
}

void Test_USettings::The_file_is_written_in_the_fixed_order()
{
    Conf_Name = QStringLiteral("Line2");
    Last_IP_Address = QStringLiteral("10.0.0.300");
    Language_Name = QStringLiteral("Italiano");
    Enable_Update = true;
    Enable_Double_Click_Auto_Size = true;
    TXml_Document xml;
    xml.Load_Bytes("<old><stuff/></old>"); // saving replaces the document's whole content
    Save_Setting(xml);
    const QByteArray saved = Saved();
    QVERIFY2(saved.startsWith("<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj>"
                              "<lastipadd><ipaddress>10.0.0.300</ipaddress></lastipadd>"
                              "<lastlang><language>Italiano</language></lastlang><lastinternet>"
                              "<enable_internet>0</enable_internet><enable_update>1</enable_update>"
                              "<enable_jump_field_tables>0</enable_jump_field_tables>"
                              "<Double_Click_Auto_Size>1</Double_Click_Auto_Size></lastinternet></Conf_Settings>"),
             saved.constData());
    QVERIFY(!saved.contains("stuff"));
}

void Test_USettings::Written_values_read_back_unchanged()
{
    Conf_Name = QStringLiteral(" Linie 2 & <Süd> ");
    Last_IP_Address = QStringLiteral(" 192.168.2.205 ");
    Enable_Internet = true;
    TXml_Document xml;
    Save_Setting(xml);
    Reset_Shared_State();
    Set_Workspace_Paths(Dir->path());
    QCOMPARE(Read_Settings(xml), QString());
    QCOMPARE(Conf_Name, QStringLiteral(" Linie 2 & <Süd> "));
    QCOMPARE(Last_IP_Address, QStringLiteral(" 192.168.2.205 "));
    QVERIFY(Enable_Internet);
}

void Test_USettings::A_malformed_file_gives_the_defaults_and_is_kept()
{
    const QByteArray broken = "<Conf_Settings><lastproj><projectname>Line2</projectname>";
    Write_Settings(broken);
    TXml_Document xml;
    const QString message = Read_Settings(xml);
    QVERIFY2(message.contains(QStringLiteral("line 1")), qPrintable(message));
    QVERIFY(message.contains(QStringLiteral("Quillon.xml")));
    QCOMPARE(Conf_Name, QString());
    QCOMPARE(Language_Name, QStringLiteral("English"));

    QFile backup(Settings_File_Path(Program_Dir) + QStringLiteral(".bak"));
    QVERIFY(backup.open(QIODevice::ReadOnly));
    QCOMPARE(backup.readAll(), broken);
    QCOMPARE(Saved(), broken); // untouched until the next save
    Save_Setting(xml);
    QVERIFY(Saved().startsWith("<Conf_Settings><lastproj><projectname/>"));
}

void Test_USettings::A_file_that_cannot_be_written_is_reported()
{
    QVERIFY(QDir().mkdir(Settings_File_Path(Program_Dir))); // a directory stands where the file goes
    TXml_Document xml;
    try {
        Save_Setting(xml);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QStringLiteral("Quillon.xml")), qPrintable(error.Text()));
    }
}

void Test_USettings::A_value_xml_cannot_hold_is_never_written()
{
    // Written raw, a vertical tab made the file unreadable at the next start, and the remembered values were
    // lost with it.
    Conf_Name = QStringLiteral("Line2");
    TXml_Document xml;
    Save_Setting(xml);
    const QByteArray good = Saved();
    Conf_Name = QStringLiteral("Line\v2");
    try {
        Save_Setting(xml);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QStringLiteral("projectname holds U+000B")), qPrintable(error.Text()));
    }
    QCOMPARE(Saved(), good);
    QCOMPARE(Read_Settings(xml), QString());
    QCOMPARE(Conf_Name, QStringLiteral("Line2"));
}

void Test_USettings::A_file_that_cannot_be_read_gives_the_defaults_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("backup"); // what Quillon.xml.bak holds afterwards: "bytes", "moved" or none
    QTest::newRow("nested too deep: kept as a copy") << "deep"
                                                     << "nested deeper than 32 levels"
                                                     << "bytes";
    QTest::newRow("entities: kept as a copy") << "entities"
                                              << "document type declaration"
                                              << "bytes";
    QTest::newRow("far too large: moved aside whole") << "large"
                                                      << "more than the 4194304 bytes"
                                                      << "moved";
#ifdef Q_OS_UNIX
    QTest::newRow("a FIFO: refused without waiting, left alone") << "fifo"
                                                                 << "it is not a regular file"
                                                                 << "";
#endif
}

void Test_USettings::A_file_that_cannot_be_read_gives_the_defaults()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QFETCH(QString, backup);
    const QString path = Settings_File_Path(Program_Dir);
    const QByteArray deep = kind == u"entities"
                                ? "<!DOCTYPE x [<!ENTITY a \"" + QByteArray(4000, 'x') +
                                      "\">]><Conf_Settings><lastproj><projectname>" +
                                      QByteArray("&a;").repeated(1000000) + "</projectname></lastproj></Conf_Settings>"
                                : QByteArray("<a>").repeated(100000) + QByteArray("</a>").repeated(100000);
    if (kind == u"deep" || kind == u"entities") {
        Write_Settings(deep);
    } else if (kind == u"large") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(Xml_File_Limit + 1));
    } else {
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
    }
    Conf_Name = QStringLiteral("stale");
    TXml_Document xml;
    const QString message = Read_Settings(xml);
    QVERIFY2(message.contains(reason) && message.contains(QStringLiteral("Quillon.xml")), qPrintable(message));
    QCOMPARE(Conf_Name, QString());
    QVERIFY(xml.Root().isNull());

    const QFileInfo kept(path + QStringLiteral(".bak"));
    if (backup == u"bytes") {
        QFile file(kept.filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), deep);
    } else if (backup == u"moved") {
        QCOMPARE(kept.size(), Xml_File_Limit + 1);
        QVERIFY(!QFileInfo::exists(path));
    } else {
        QVERIFY(!kept.exists());
    }
}

void Test_USettings::The_look_is_kept_last_and_only_when_chosen_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("read");
    QTest::addColumn<QByteArray>("written"); // the file's end once written again
    QTest::newRow("no element: light, and none written")
        << Settings("Conf_Settings", All_Groups) << QStringLiteral("light")
        << QByteArray("</lastinternet></Conf_Settings>");
    QTest::newRow("dark") << Settings("Conf_Settings", All_Groups + "<lastlook><look>dark</look></lastlook>")
                          << QStringLiteral("dark")
                          << QByteArray("</lastinternet><lastlook><look>dark</look></lastlook></Conf_Settings>");
    QTest::newRow("system") << Settings("Conf_Settings", All_Groups + "<lastlook><look>system</look></lastlook>")
                            << QStringLiteral("system")
                            << QByteArray("<lastlook><look>system</look></lastlook></Conf_Settings>");
    QTest::newRow("a look this version does not know")
        << Settings("Conf_Settings", All_Groups + "<lastlook><look>sepia</look></lastlook>") << QStringLiteral("light")
        << QByteArray("</lastinternet></Conf_Settings>");
}

void Test_USettings::The_look_is_kept_last_and_only_when_chosen()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, read);
    QFETCH(QByteArray, written);
    Write_Settings(file);
    TXml_Document xml;
    QCOMPARE(Read_Settings(xml), QString());
    QCOMPARE(Look_Choice, read);
    // The other values as an older reader finds them.
    QCOMPARE(Language_Name, QStringLiteral("Deutsch"));
    QVERIFY(Enable_Double_Click_Auto_Size);
    Save_Setting(xml);
    QVERIFY2(Saved().endsWith(written), Saved().constData());
}

QTEST_GUILESS_MAIN(Test_USettings)
#include "test_USettings.moc"
