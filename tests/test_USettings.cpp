#include "UComon.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "USettings.h"
#include "UXml_Document.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

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
    void A_merge_keeps_this_windows_changes_and_the_files_other_values_data();
    void A_merge_keeps_this_windows_changes_and_the_files_other_values();
    void Two_windows_never_undo_each_other();

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

namespace {

// Each value of the record by its name, set from a text ("1" and "0" for a flag).
const QMap<QString, std::function<void(TSettings &, const QString &)>> Setters = {
    {"Conf_Name", [](TSettings &s, const QString &v) { s.Conf_Name = v; }},
    {"Last_IP_Address", [](TSettings &s, const QString &v) { s.Last_IP_Address = v; }},
    {"Language_Name", [](TSettings &s, const QString &v) { s.Language_Name = v; }},
    {"Enable_Internet", [](TSettings &s, const QString &v) { s.Enable_Internet = v == u"1"; }},
    {"Enable_Update", [](TSettings &s, const QString &v) { s.Enable_Update = v == u"1"; }},
    {"Enable_Jump_Field_Tables", [](TSettings &s, const QString &v) { s.Enable_Jump_Field_Tables = v == u"1"; }},
    {"Enable_Double_Click_Auto_Size",
     [](TSettings &s, const QString &v) { s.Enable_Double_Click_Auto_Size = v == u"1"; }},
    {"Last_Serial_Port", [](TSettings &s, const QString &v) { s.Last_Serial_Port = v; }},
    {"Look_Choice", [](TSettings &s, const QString &v) { s.Look_Choice = v; }},
};

TSettings With(const QString &field, const QString &value)
{
    TSettings settings;
    Setters[field](settings, value);
    return settings;
}

} // namespace

void Test_USettings::A_merge_keeps_this_windows_changes_and_the_files_other_values_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("baseline"); // as this window read it
    QTest::addColumn<QString>("mine");     // as this window holds it at save
    QTest::addColumn<QString>("onDisk");   // as the file holds it at save
    QTest::addColumn<QString>("merged");
    const struct
    {
        const char *Field;
        const char *A, *B, *C; // three values of the field
    } texts[] = {{"Conf_Name", "Line1", "Line2", "Line3"},
                 {"Last_IP_Address", "10.0.0.1", "10.0.0.2", "10.0.0.3"},
                 {"Language_Name", "English", "Deutsch", "Italiano"},
                 {"Last_Serial_Port", "ttyS0", "ttyUSB0", "ttyUSB1"},
                 {"Look_Choice", "light", "dark", "system"}};
    for (const auto &t : texts) {
        QTest::addRow("%s changed here and there: this window's", t.Field) << t.Field << t.A << t.B << t.C << t.B;
        QTest::addRow("%s left alone here, changed there: the file's", t.Field) << t.Field << t.A << t.A << t.C << t.C;
        QTest::addRow("%s changed here, not there: this window's", t.Field) << t.Field << t.A << t.B << t.A << t.B;
        QTest::addRow("%s changed back here: this window's", t.Field) << t.Field << t.B << t.A << t.C << t.A;
    }
    // A flag has two values only: each of the four ways baseline, mine and the file can differ.
    const struct
    {
        const char *Row;
        const char *Baseline, *Mine, *On_Disk, *Merged;
    } flagCases[] = {{"left off here, turned on there: on", "0", "0", "1", "1"},
                     {"left on here, turned off there: off", "1", "1", "0", "0"},
                     {"turned on here: on", "0", "1", "0", "1"},
                     {"turned off here, on there: off", "1", "0", "1", "0"}};
    for (const char *flag :
         {"Enable_Internet", "Enable_Update", "Enable_Jump_Field_Tables", "Enable_Double_Click_Auto_Size"}) {
        for (const auto &c : flagCases)
            QTest::addRow("%s %s", flag, c.Row)
                << QString::fromLatin1(flag) << QString::fromLatin1(c.Baseline) << QString::fromLatin1(c.Mine)
                << QString::fromLatin1(c.On_Disk) << QString::fromLatin1(c.Merged);
    }
}

void Test_USettings::A_merge_keeps_this_windows_changes_and_the_files_other_values()
{
    QFETCH(QString, field);
    QFETCH(QString, baseline);
    QFETCH(QString, mine);
    QFETCH(QString, onDisk);
    QFETCH(QString, merged);
    // Every other value differs between the three records too, each way, so that a field merged by another's rule
    // shows.
    TSettings base = With(field, baseline);
    TSettings own = With(field, mine);
    TSettings disk = With(field, onDisk);
    TSettings expected = With(field, merged);
    if (field != u"Conf_Name") {
        own.Conf_Name = QStringLiteral("mine");
        expected.Conf_Name = QStringLiteral("mine");
    }
    if (field != u"Enable_Update") {
        disk.Enable_Update = true;
        expected.Enable_Update = true;
    }
    QCOMPARE(Merge_Settings(base, own, disk), expected);
}

void Test_USettings::Two_windows_never_undo_each_other()
{
    // Window B is this process's shared state; window A, another process on the same workspace, reads and writes
    // the file by the core functions between B's read and B's saves.
    Write_Settings(Settings("Conf_Settings", "<lastproj><projectname>Line2</projectname></lastproj>"));
    TXml_Document xml;
    QCOMPARE(Read_Settings(xml), QString());

    const auto windowA = [this](const std::function<void(TSettings &)> &change) {
        TXml_Document document;
        TSettings read;
        QCOMPARE(Read_Settings(Program_Dir, document, read), QString());
        TSettings changed = read;
        change(changed);
        Save_Merged_Settings(Program_Dir, document, read, changed);
    };
    windowA([](TSettings &s) {
        s.Enable_Internet = true;
        s.Look_Choice = QStringLiteral("dark");
    });

    // B changed only the address; its save keeps A's choices.
    Last_IP_Address = QStringLiteral("10.0.0.9");
    Save_Setting(xml);
    TSettings onDisk;
    QCOMPARE(Read_Settings(Program_Dir, xml, onDisk), QString());
    TSettings expected;
    expected.Conf_Name = QStringLiteral("Line2");
    expected.Last_IP_Address = QStringLiteral("10.0.0.9");
    expected.Enable_Internet = true;
    expected.Look_Choice = QStringLiteral("dark");
    QCOMPARE(onDisk, expected);
    // B itself still holds what it read: another window's choices take effect at B's next start.
    QVERIFY(!Enable_Internet);

    // B saves again (its close, say): what it holds but never changed is still not written.
    Save_Setting(xml);
    QCOMPARE(Read_Settings(Program_Dir, xml, onDisk), QString());
    QCOMPARE(onDisk, expected);

    // A turns the internet off again; B, which never changed it, closes after and leaves it off.
    windowA([](TSettings &s) { s.Enable_Internet = false; });
    Save_Setting(xml);
    QCOMPARE(Read_Settings(Program_Dir, xml, onDisk), QString());
    expected.Enable_Internet = false;
    QCOMPARE(onDisk, expected);

    // A change B makes after a save of its own is written like the first.
    Enable_Internet = true;
    Save_Setting(xml);
    QCOMPARE(Read_Settings(Program_Dir, xml, onDisk), QString());
    QVERIFY(onDisk.Enable_Internet);
}

QTEST_GUILESS_MAIN(Test_USettings)
#include "test_USettings.moc"
