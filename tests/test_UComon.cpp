#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "URegular_File.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class Test_UComon : public QObject
{
    Q_OBJECT

private slots:
    void Text_to_integer_data();
    void Text_to_integer();
    void Trimming_removes_control_characters_and_blanks_only_at_the_ends();
    void Split_ip_address_data();
    void Split_ip_address();
    void Plain_directory_names_data();
    void Plain_directory_names();
    void New_configuration_refusals_data();
    void New_configuration_refusals();
    void A_name_leaves_room_for_every_path_within_the_windows_limit();
    void Names_of_directories_already_there_data();
    void Names_of_directories_already_there();
    void Port_names_in_natural_order();
    void Reading_refuses_what_is_no_regular_file_or_too_large_data();
    void Reading_refuses_what_is_no_regular_file_or_too_large();
    void Workspace_paths_and_parameter_file();
    void Workspace_directories_are_created_one_level_when_missing();
};

void Test_UComon::Text_to_integer_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    // Fallback -7 marks "does not convert".
    QTest::newRow("plain decimal") << "250" << 250;
    QTest::newRow("leading blanks are skipped") << "   42" << 42;
    QTest::newRow("a trailing blank does not convert") << "42 " << -7;
    QTest::newRow("a leading tab does not convert") << "\t42" << -7;
    QTest::newRow("plus sign") << "+5" << 5;
    QTest::newRow("minus zero is zero") << "-0" << 0;
    QTest::newRow("negative") << "-1" << -1;
    QTest::newRow("leading zeros") << "007" << 7;
    QTest::newRow("dollar hexadecimal") << "$FF" << 255;
    QTest::newRow("x hexadecimal") << "x1a" << 26;
    QTest::newRow("X hexadecimal") << "X1A" << 26;
    QTest::newRow("0x hexadecimal") << "0x10" << 16;
    QTest::newRow("0X hexadecimal") << "0X10" << 16;
    QTest::newRow("negative hexadecimal") << "-$10" << -16;
    QTest::newRow("prefix without digits") << "0x" << -7;
    QTest::newRow("hexadecimal digit in decimal") << "1A" << -7;
    QTest::newRow("empty") << "" << -7;
    QTest::newRow("only blanks") << "   " << -7;
    QTest::newRow("sign alone") << "-" << -7;
    QTest::newRow("blank after the sign") << "- 1" << -7;
    QTest::newRow("decimal point") << "10.5" << -7;
    QTest::newRow("largest 32-bit value") << "2147483647" << 2147483647;
    QTest::newRow("smallest 32-bit value") << "-2147483648" << int(-2147483648LL);
    QTest::newRow("beyond the 32-bit range") << "2147483648" << -7;
    QTest::newRow("far beyond the range") << "99999999999999999999" << -7;
    QTest::newRow("hexadecimal beyond the signed range") << "$FFFFFFFF" << -7;
}

void Test_UComon::Text_to_integer()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(Str_To_Int_Def(text, -7), expected);
}

void Test_UComon::Trimming_removes_control_characters_and_blanks_only_at_the_ends()
{
    QCOMPARE(Trim_Text(QStringLiteral("\t\r\n  a b \x01\x1f ")), QStringLiteral("a b"));
    QCOMPARE(Trim_Text(QStringLiteral(" \t ")), QString());
    QCOMPARE(Trim_Text(QStringLiteral("\u00A0x\u00A0")), QStringLiteral("\u00A0x\u00A0"));
}

void Test_UComon::Split_ip_address_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QStringList>("parts");
    const QStringList any;
    QTest::newRow("plain address") << "192.168.2.205" << true << QStringList{"192", "168", "2", "205"};
    QTest::newRow("blanks around parts and the whole")
        << "  192 . 168 .2 . 205 \t" << true << QStringList{"192", "168", "2", "205"};
    QTest::newRow("three parts") << "192.168.2" << false << any;
    QTest::newRow("no dot") << "192168" << false << any;
    QTest::newRow("fourth part holds a dot") << "192.168.2.205.7" << false << any;
    QTest::newRow("empty part") << "192.168..205" << false << any;
    QTest::newRow("octet above 255") << "10.0.0.256" << false << any;
    QTest::newRow("highest octet") << "10.0.0.255" << true << QStringList{"10", "0", "0", "255"};
    QTest::newRow("all zero") << "0.0.0.0" << true << QStringList{"0", "0", "0", "0"};
    QTest::newRow("leading zero kept as text") << "010.0.0.1" << true << QStringList{"010", "0", "0", "1"};
    QTest::newRow("minus zero is zero") << "-0.1.2.3" << true << QStringList{"-0", "1", "2", "3"};
    QTest::newRow("three hundred") << "10.0.0.300" << false << any;
    QTest::newRow("empty") << "" << false << any;
}

void Test_UComon::Split_ip_address()
{
    QFETCH(QString, address);
    QFETCH(bool, usable);
    QFETCH(QStringList, parts);
    QString p1, p2, p3, p4;
    QCOMPARE(Split_IP_Address(address, p1, p2, p3, p4), usable);
    if (usable)
        QCOMPARE((QStringList{p1, p2, p3, p4}), parts);
}

void Test_UComon::Plain_directory_names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("problem"); // empty for a plain name
    QTest::newRow("ordinary") << "Line2"
                              << "";
    QTest::newRow("blanks inside") << "Line 2 A"
                                   << "";
    QTest::newRow("no-break space inside") << QString::fromUtf16(u"Line\u00a02") << "";
    QTest::newRow("dot inside") << "Line.2"
                                << "";
    QTest::newRow("accented letters and a paired surrogate") << QString::fromUtf16(u"Lin\u00e9 \U0001F600") << "";
    // Blanks at either end are not seen, and Windows drops a trailing blank or dot.
    QTest::newRow("a leading blank") << " Line 2"
                                     << "it begins with a blank";
    QTest::newRow("a trailing blank") << "Line 2 "
                                      << "it ends with a blank";
    QTest::newRow("a trailing no-break space") << QString::fromUtf16(u"Line2\u00a0") << "it ends with a blank";
    QTest::newRow("a trailing ideographic space") << QString::fromUtf16(u"Line2\u3000") << "it ends with a blank";
    QTest::newRow("a trailing dot") << "Line2."
                                    << "it ends with a dot";
    QTest::newRow("empty") << ""
                           << "it is empty";
    // Hidden: the open dialog could never list it.
    QTest::newRow("dot") << "."
                         << "it begins with a dot";
    QTest::newRow("dot dot") << ".."
                             << "it begins with a dot";
    QTest::newRow("leading dot") << ".Line2"
                                 << "it begins with a dot";
    QTest::newRow("climbs out with a slash") << "a/../x"
                                             << "it holds \"/\", a path separator";
    QTest::newRow("backslash") << "a\\b"
                               << "it holds \"\\\", a path separator";
    // Written into Quillon.xml, so nothing XML cannot hold, and no control character at all.
    QTest::newRow("vertical tab") << "Line\v2"
                                  << "it holds U+000B, a control character";
    QTest::newRow("tab") << "Line\t2"
                         << "it holds U+0009, a control character";
    QTest::newRow("line feed") << "Line\n2"
                               << "it holds U+000A, a control character";
    QTest::newRow("DEL") << "Line\x7f"
                         << "it holds U+007F, a control character";
    QTest::newRow("C1 control") << QString::fromUtf16(u"Line\u0085") << "it holds U+0085, a control character";
    QTest::newRow("U+FFFE") << QString::fromUtf16(u"Line\uFFFE") << "it holds U+FFFE, a character XML cannot hold";
    QTest::newRow("lone surrogate") << QStringLiteral("Line") + QChar(0xD800)
                                    << "it holds U+D800, half of a surrogate pair";
    // Format characters make the name shown differ from the name: "Line2\u202Etxt.exe" reads backwards.
    QTest::newRow("right-to-left override")
        << QString::fromUtf16(u"Line\u202E2") << "it holds U+202E, a Unicode format character";
    QTest::newRow("zero-width space") << QString::fromUtf16(u"Line\u200B2")
                                      << "it holds U+200B, a Unicode format character";
    QTest::newRow("byte-order mark ahead")
        << QChar(0xFEFF) + QStringLiteral("Line2") << "it holds U+FEFF, a Unicode format character";
    QTest::newRow("tag character beyond the BMP")
        << QString::fromUtf16(u"Line2\U000E0041") << "it holds U+E0041, a Unicode format character";
    // 255 bytes is what Linux takes, and 255 UTF-16 code units what Windows takes.
    QTest::newRow("255 bytes") << QString(255, u'a') << "";
    QTest::newRow("256 bytes") << QString(256, u'a') << "it is longer than 255 bytes in UTF-8";
    QTest::newRow("85 letters of 3 bytes") << QString(85, QChar(0x20AC)) << "";
    QTest::newRow("86 letters of 3 bytes, 258 bytes")
        << QString(86, QChar(0x20AC)) << "it is longer than 255 bytes in UTF-8";
    QTest::newRow("64 paired surrogates, 256 bytes")
        << QString::fromUtf16(u"\U0001F600").repeated(64) << "it is longer than 255 bytes in UTF-8";
    // What a Windows copy of the workspace could not hold is refused on every platform. Device names, in any case
    // and with any extension.
    const auto device = [](const char *part) {
        return QStringLiteral("it is the name of a Windows device, %1, which Windows refuses in any letter case and "
                              "with any extension")
            .arg(QString::fromUtf8(part));
    };
    for (const char *name : {"CON", "PRN", "AUX", "NUL", "COM1", "COM9", "LPT1", "LPT9", "CONIN$", "CONOUT$"})
        QTest::newRow(name) << name << device(name);
    QTest::newRow("a device name in lower case") << "nul" << device("nul");
    QTest::newRow("a device name with an extension") << "con.txt" << device("con");
    QTest::newRow("a device name with two extensions") << "Lpt3.tar.gz" << device("Lpt3");
    QTest::newRow("a device name, blanks, then an extension") << "AUX  .log" << device("AUX");
    QTest::newRow("a device name in mixed case") << "ConOut$" << device("ConOut$");
    QTest::newRow("COM with a superscript digit") << QString::fromUtf16(u"COM²") << device("COM\u00B2");
    for (const char *name : {"CONSOLE", "COM10", "COM0", "LPT", "NULL", "AUX_1", "ACON", "con_txt", "CONIN"})
        QTest::newRow(name) << name << "";
    const auto refused = [](const char *c) {
        return QStringLiteral("it holds \"%1\", a character Windows refuses in a name").arg(QLatin1String(c));
    };
    QTest::newRow("a colon") << "a:b" << refused(":");
    QTest::newRow("a star") << "x*y" << refused("*");
    QTest::newRow("a question mark") << "q?" << refused("?");
    QTest::newRow("angle brackets") << "<b>" << refused("<");
    QTest::newRow("a closing angle bracket") << "b>" << refused(">");
    QTest::newRow("a pipe") << "pipe|x" << refused("|");
    QTest::newRow("a double quote") << "quo\"te" << refused("\"");
}

void Test_UComon::Plain_directory_names()
{
    QFETCH(QString, name);
    QFETCH(QString, problem);
    QCOMPARE(Directory_Name_Problem(name), problem);
    QCOMPARE(Is_Plain_Directory_Name(name), problem.isEmpty());
}

void Test_UComon::New_configuration_refusals_data()
{
    QTest::addColumn<QStringList>("there"); // PROJECTS' entries, directories unless "file:"
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("why");
    const QString nfc = QString::fromUtf16(u"Z\u00FCrich");
    const QString nfd = QString::fromUtf16(u"Zu\u0308rich");
    const auto one = [](const QString &there) {
        return QStringLiteral("\"%1\" is already there, and names that differ only in letter case or Unicode "
                              "normalisation are one name on Windows or macOS")
            .arg(there);
    };
    QTest::newRow("a free name") << QStringList{"Pump"} << "Pumpe" << 0 << "";
    QTest::newRow("the name of a directory there") << QStringList{"Pump"} << "Pump" << 106 << "";
    QTest::newRow("upper case of a directory there") << QStringList{"Pump"} << "PUMP" << 106 << one("Pump");
    QTest::newRow("lower case of a directory there") << QStringList{"Pump"} << "pump" << 106 << one("Pump");
    QTest::newRow("decomposed beside composed") << QStringList{nfc} << nfd << 106 << one(nfc);
    QTest::newRow("composed beside decomposed") << QStringList{nfd} << nfc << 106 << one(nfd);
    QTest::newRow("case and normalisation at once")
        << QStringList{nfc} << QString::fromUtf16(u"ZU\u0308RICH") << 106 << one(nfc);
    QTest::newRow("another case of a file there")
        << QStringList{"file:notes.txt"} << "NOTES.TXT" << 105 << one("notes.txt");
    // The making of the directory refuses a file of that very name, with the system's reason.
    QTest::newRow("the name of a file there") << QStringList{"file:notes.txt"} << "notes.txt" << 0 << "";
    QTest::newRow("empty") << QStringList{} << "" << 107 << "";
    QTest::newRow("a device name") << QStringList{} << "CON" << 105
                                   << "it is the name of a Windows device, CON, which Windows refuses in any letter "
                                      "case and with any extension";
    QTest::newRow("a colon") << QStringList{} << "a:b" << 105
                             << "it holds \":\", a character Windows refuses in a name";
    // 255 bytes is a name Linux takes, but not with the workspace's path in front on Windows.
    QTest::newRow("255 letters") << QStringList{} << QString(255, u'a') << 105 << "it is longer than the ";
}

void Test_UComon::New_configuration_refusals()
{
    QFETCH(QStringList, there);
    QFETCH(QString, name);
    QFETCH(int, refusal);
    QFETCH(QString, why);
    QTemporaryDir dir;
    for (const QString &entry : there) {
        if (entry.startsWith(u"file:")) {
            QFile file(dir.filePath(entry.mid(5)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkdir(dir.filePath(entry)));
        }
    }
    QString reason;
    QCOMPARE(New_Configuration_Refusal(dir.path(), name, &reason), refusal);
    if (why.endsWith(u' '))
        QVERIFY2(reason.startsWith(why), qPrintable(reason));
    else
        QCOMPARE(reason, why);
    // One listing of the directory for many names says the same.
    QString listed;
    QCOMPARE(New_Configuration_Refusal(Names_There(dir.path()), name, &listed), refusal);
    QCOMPARE(listed, reason);
}

void Test_UComon::A_name_leaves_room_for_every_path_within_the_windows_limit()
{
    // The longest name taken leaves room for the longest path written inside a configuration (an updater's
    // output file) within Windows' 259 characters; one more is refused, naming the number that fits.
    QTemporaryDir dir;
    const QString projects = QDir::toNativeSeparators(dir.path());
    qsizetype longest = 0;
    for (qsizetype size = 1; size <= 255; ++size) {
        if (New_Configuration_Refusal(projects, QString(size, u'n')) == 0)
            longest = size;
    }
    QVERIFY(longest > 0);
    const QString deepest = Join_Path(projects, QString(longest, u'n'), QStringLiteral("update-output-a1B2c3.txt"));
    QCOMPARE(deepest.size(), 259);
    QString why;
    QCOMPARE(New_Configuration_Refusal(projects, QString(longest + 1, u'n'), &why), 105);
    QVERIFY2(
        why.startsWith(
            QStringLiteral("it is longer than the %1 characters a name may have in %2").arg(longest).arg(projects)),
        qPrintable(why));
    // A workspace whose path leaves no room at all.
    const QString deep = Join_Path(projects, QString(240, u'd'));
    QCOMPARE(New_Configuration_Refusal(deep, QStringLiteral("A"), &why), 105);
    QVERIFY2(why.contains(QStringLiteral("leaves no room")), qPrintable(why));
}

void Test_UComon::Names_of_directories_already_there_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("usable");
    // Made by an earlier version, or by hand on Linux: still listed and opened, only no longer made anew.
    QTest::newRow("a device name") << "CON" << true;
    QTest::newRow("a colon") << "a:b" << true;
    QTest::newRow("a question mark") << "q?" << true;
    QTest::newRow("a plain name") << "Line2" << true;
    // What could reach outside PROJECTS, or not be kept in Quillon.xml, never.
    QTest::newRow("a separator") << "../MASTER" << false;
    QTest::newRow("a control character") << "Line\v2" << false;
    QTest::newRow("hidden") << ".provision-a1B2c3" << false;
    QTest::newRow("a format character") << QString::fromUtf16(u"Line\u202E2") << false;
    QTest::newRow("empty") << "" << false;
}

void Test_UComon::Names_of_directories_already_there()
{
    QFETCH(QString, name);
    QFETCH(bool, usable);
    QCOMPARE(Is_Usable_Directory_Name(name), usable);
}

void Test_UComon::Port_names_in_natural_order()
{
#ifdef Q_OS_WIN
    QStringList names{"COM12", "COM3", "COM1"};
    Sort_Port_Names(names);
    QCOMPARE(names, (QStringList{"COM1", "COM3", "COM12"}));
#else
    QStringList names{"ttyUSB10", "ttyS1", "ttyUSB2", "ttyACM0", "ttyS0"};
    Sort_Port_Names(names);
    QCOMPARE(names, (QStringList{"ttyACM0", "ttyS0", "ttyS1", "ttyUSB2", "ttyUSB10"}));
#endif
}

void Test_UComon::Workspace_paths_and_parameter_file()
{
    const TWorkspace workspace = Workspace_At(QStringLiteral("/opt/quillon/"));
    const QString base = QDir::toNativeSeparators(QStringLiteral("/opt/quillon"));
    QCOMPARE(workspace.Program_Dir, base);
    QCOMPARE(workspace.Master_Dir, base + QDir::separator() + "MASTER");
    QCOMPARE(workspace.Projects_Dir, base + QDir::separator() + "PROJECTS");
    QCOMPARE(workspace.Language_Dir, base + QDir::separator() + "LANGUAGE");
    const TConfiguration configuration = Configuration_Of(workspace, QStringLiteral("Line2"));
    QCOMPARE(configuration.Name, QStringLiteral("Line2"));
    QCOMPARE(configuration.Dir, workspace.Projects_Dir + QDir::separator() + "Line2");
    QCOMPARE(configuration.ParGen_File,
             workspace.Projects_Dir + QDir::separator() + "Line2" + QDir::separator() + "ParGen.xml");
    const TConfiguration same = Configuration_At(configuration.Dir + QDir::separator());
    QCOMPARE(same.Name, configuration.Name);
    QCOMPARE(same.ParGen_File, configuration.ParGen_File);
}

void Test_UComon::Workspace_directories_are_created_one_level_when_missing()
{
    QTemporaryDir dir;
    QVERIFY(QDir().mkdir(dir.filePath(QStringLiteral("LANGUAGE"))));
    QFile marker(dir.filePath(QStringLiteral("LANGUAGE/Deutsch.lng")));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    Create_Workspace_Directories(Workspace_At(dir.path()));
    for (const char *name : {"MASTER", "PROJECTS", "LANGUAGE"})
        QVERIFY2(QFileInfo(dir.filePath(QLatin1String(name))).isDir(), name);
    QVERIFY(marker.exists()); // an existing directory is left as it is

    // A program directory that is gone: nothing is created above it, and nothing is reported.
    Create_Workspace_Directories(Workspace_At(dir.filePath(QStringLiteral("gone/deeper"))));
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("gone"))));
}

void Test_UComon::Reading_refuses_what_is_no_regular_file_or_too_large_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a file at the limit is read") << "at limit"
                                                 << "";
    QTest::newRow("one byte more") << "over limit"
                                   << "it has 1025 bytes, more than the 1024 bytes";
    QTest::newRow("a sparse file of 3 GB") << "sparse"
                                           << "it has 3000000000 bytes";
#ifdef Q_OS_WIN
    // The system's own words differ between versions of Windows: only that they follow the path is checked.
    QTest::newRow("missing") << "missing"
                             << "Quillon.xml: ";
#else
    QTest::newRow("missing") << "missing"
                             << "No such file";
#endif
    QTest::newRow("a directory") << "directory"
                                 << "it is a directory";
#ifdef Q_OS_UNIX
    // Opening a FIFO for reading blocks until a writer comes: it must be refused without waiting.
    QTest::newRow("a FIFO") << "fifo"
                            << "it is not a regular file";
    QTest::newRow("a device without end") << "/dev/zero"
                                          << "it is not a regular file";
#endif
}

void Test_UComon::Reading_refuses_what_is_no_regular_file_or_too_large()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("Quillon.xml"));
    QFile file(path);
    if (kind == u"at limit" || kind == u"over limit" || kind == u"sparse") {
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(kind == u"at limit" ? 1024 : kind == u"over limit" ? 1025 : 3000000000LL));
        file.close();
    } else if (kind == u"directory") {
        QVERIFY(QDir().mkdir(path));
    } else if (kind == u"fifo") {
        QCOMPARE(QProcess::execute(QStringLiteral("mkfifo"), {path}), 0);
    } else if (kind.startsWith(u'/')) {
        path = kind;
    }
    try {
        QCOMPARE(Read_Regular_File(path, 1024).size(), 1024);
        QVERIFY2(reason.isEmpty(), "no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(!reason.isEmpty() && error.Text().contains(reason) &&
                     error.Text().startsWith(QStringLiteral("Cannot read ") + QDir::toNativeSeparators(path)),
                 qPrintable(error.Text()));
    }
}

QTEST_GUILESS_MAIN(Test_UComon)
#include "test_UComon.moc"
