#include "UComon.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "ULanguage.h"
#include "ULanguage_Check.h"
#include "ULanguage_Shipped.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The indices of the entries that differ from the built-in English table.
QList<int> Changed_Entries()
{
    const QStringList current = Language_Texts();
    QStringList english;
    for (int i = 0; i < Language_Table_Entries; ++i)
        english.append(English_Text(i));
    QList<int> changed;
    for (int i = 0; i < english.size(); ++i) {
        if (i >= current.size() || current[i] != english[i])
            changed.append(i);
    }
    return changed;
}

bool Write_File(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray Encode(QStringConverter::Encoding encoding, const QString &text)
{
    QStringEncoder encoder(encoding, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

bool Is_Blank_Range(int index)
{
    static const int ranges[][2] = {{60, 99},     {111, 199},   {208, 299},   {322, 399},  {498, 999},
                                    {1038, 1039}, {1070, 1099}, {1106, 1109}, {1179, 1199}};
    for (const auto &range : ranges) {
        if (index >= range[0] && index <= range[1])
            return true;
    }
    return false;
}

} // namespace

class Test_ULanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void Default_table_has_blanks_exactly_in_the_blank_ranges();
    void Default_table_keeps_texts_as_written_data();
    void Default_table_keeps_texts_as_written();
    void Lang_gives_ablank_outside_the_table();

    void Apply_one_line_data();
    void Apply_one_line();
    void Last_line_for_an_index_wins();
    void Line_ends_data();
    void Line_ends();

    void Decode_data();
    void Decode();
    void Read_file_in_each_encoding_data();
    void Read_file_in_each_encoding();
    void Read_file_that_cannot_be_opened_throws();

    void Load_language_reads_the_named_file();
    void Load_language_falls_back_to_english_data();
    void Load_language_falls_back_to_english();
    void Load_language_takes_english_file_for_missing_language();
    void Load_language_starts_each_language_from_english();
    void Load_language_with_unreadable_file_leaves_english();

    void English_text_stays_english_whatever_is_loaded();
    void Shipped_english_file_is_the_built_in_table();
    void Shipped_translations_load_clean_and_cover_the_shown_entries_data();
    void Shipped_translations_load_clean_and_cover_the_shown_entries();
    void Check_warns_where_afile_probably_means_otherwise_data();
    void Check_warns_where_afile_probably_means_otherwise();
    void Shipped_files_reach_only_aworkspace_without_languages();
    void A_torn_shipped_copy_is_written_again_at_the_next_start();
    void Language_names_sort_blind_to_case_and_accents_data();
    void Language_names_sort_blind_to_case_and_accents();

private:
    QTemporaryDir Dir;
};

void Test_ULanguage::init()
{
    Reset_Shared_State();
    Clear_Language_Table();
    Load_Default_Language();
    QVERIFY(Dir.isValid());
    QDir(Dir.path()).removeRecursively();
    QVERIFY(QDir().mkpath(Dir.path()));
    Language_Dir = Join_Path(Dir.path(), u"LANGUAGE"_s);
    QVERIFY(QDir().mkpath(Language_Dir));
}

void Test_ULanguage::Default_table_has_blanks_exactly_in_the_blank_ranges()
{
    const QStringList &table = Language_Texts();
    QCOMPARE(table.size(), 1200);
    for (int i = 0; i < table.size(); ++i) {
        if (Is_Blank_Range(i))
            QVERIFY2(table[i] == u" "_s, qPrintable(u"entry %1: \"%2\""_s.arg(i).arg(table[i])));
        else
            QVERIFY2(table[i] != u" "_s, qPrintable(u"entry %1 is blank"_s.arg(i)));
    }

    // A second load rebuilds the table whole.
    Apply_Language_Text(u"STR5 = changed"_s);
    QCOMPARE(Lang(5), u"changed"_s);
    Load_Default_Language();
    QCOMPARE(Language_Texts().size(), 1200);
    QCOMPARE(Lang(5), u"Step 5"_s);
}

void Test_ULanguage::Default_table_keeps_texts_as_written_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::newRow("the first entry") << 0 << u"Begin"_s;
    QTest::newRow("a label with a trailing blank") << 9 << u"None Configuration Opened "_s;
    QTest::newRow("a label ending in a colon and blank") << 11 << u"Opened Configuration of the Converter : "_s;
    QTest::newRow("the page separator keeps both blanks") << 306 << u" / "_s;
    QTest::newRow("the language question's middle part") << 317 << u" to "_s;
    QTest::newRow("the last settings message") << 497
                                               << u"Error Ethernet!! UDP Port must be between 0 and 65535 and "
                                                  "different from 10000"_s;
    QTest::newRow("the last update dialog text") << 1037 << u"Error!!! Check the Ip Address"_s;
    QTest::newRow("the last text no window shows") << 1105 << u"File already exists. Do you want to overwrite?"_s;
    QTest::newRow("the about box's label keeps its blank") << 1156 << u"Software Code : "_s;
    QTest::newRow("the main window's title keeps its blank")
        << 1162 << u"Velmora - Configurator SW40926 - Modbus Slave / Modbus Slave "_s;
    QTest::newRow("a parity") << 1166 << u"EVEN"_s;
    QTest::newRow("the last text of the table") << 1171 << u"Cancel"_s;
}

void Test_ULanguage::Default_table_keeps_texts_as_written()
{
    QFETCH(int, index);
    QFETCH(QString, text);
    QCOMPARE(Lang(index), text);
}

void Test_ULanguage::Lang_gives_ablank_outside_the_table()
{
    QCOMPARE(Lang(-1), u" "_s);
    QCOMPARE(Lang(1200), u" "_s);
    Clear_Language_Table();
    QCOMPARE(Lang(0), u" "_s);
}

void Test_ULanguage::Apply_one_line_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("index"); // -1: the line changes nothing
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("reason"); // part of the reason reported for an ignored line

    QTest::newRow("a plain line sets its entry") << u"STR19 = Neue Version"_s << 19 << u"Neue Version"_s << QString();
    QTest::newRow("blanks and tabs around the line are dropped")
        << u" \tSTR14 = Schliessen \t"_s << 14 << u"Schliessen"_s << QString();
    QTest::newRow("without a blank before = the last index digit is lost")
        << u"STR1000=Update"_s << 100 << u"Update"_s << QString();
    QTest::newRow("blanks around the index") << u"STR 1000 = Update"_s << 1000 << u"Update"_s << QString();
    QTest::newRow("several blanks on both sides of =") << u"STR1000   =   Update"_s << 1000 << u"Update"_s << QString();
    QTest::newRow("the index follows the text-to-integer rule") << u"STR$10 = Hex"_s << 16 << u"Hex"_s << QString();
    QTest::newRow("the text runs from the first =") << u"STR12 = a = b"_s << 12 << u"a = b"_s << QString();
    QTest::newRow("pilcrows keep the blanks between them") << u"STR306 = ¶ von ¶"_s << 306 << u" von "_s << QString();
    QTest::newRow("text after the closing pilcrow is dropped")
        << u"STR305 = ¶Seite ¶ rest"_s << 305 << u"Seite "_s << QString();
    QTest::newRow("a note is cut off with the blanks before it")
        << u"STR9 = Nothing open /#/ main window label"_s << 9 << u"Nothing open"_s << QString();
    QTest::newRow("a single pilcrow gives the empty text") << u"STR1 = ¶"_s << 1 << QString() << QString();
    // A window lays out every character it shows: a huge entry is cut, and its line is not kept whole either.
    QTest::newRow("an entry longer than 4096 characters is cut")
        << u"STR108 = "_s + QString(5000, u'x') << 108 << QString(4096, u'x') << QString();
    QTest::newRow("a cut never splits a surrogate pair")
        << u"STR108 = "_s + QString(4095, u'x') + u"\U0001F600"_s + QString(10, u'y') << 108 << QString(4095, u'x')
        << QString();

    QTest::newRow("nothing after =") << u"STR1 ="_s << -1 << QString() << u"empty text"_s;
    QTest::newRow("only a note after =") << u"STR1 = /#/ note"_s << -1 << QString() << u"only a note"_s;
    QTest::newRow("the index just past the table") << u"STR1200 = x"_s << -1 << QString() << u"0 to 1199"_s;
    QTest::newRow("a negative index") << u"STR-1 = x"_s << -1 << QString() << u"0 to 1199"_s;
    QTest::newRow("a lower-case marker") << u"str1 = x"_s << -1 << QString() << u"no STR marker"_s;
    QTest::newRow("a marker that does not start the line") << u"; STR1 = x"_s << -1 << QString() << u"no STR"_s;
    QTest::newRow("an index that is not a number") << u"STRab = y"_s << -1 << QString() << u"not an integer"_s;
    QTest::newRow("an index of one digit glued to =") << u"STR1=x"_s << -1 << QString() << u"no index"_s;
    QTest::newRow("a line without =") << u"STR1 x"_s << -1 << QString() << u"no \"=\""_s;
    QTest::newRow("a line of blanks") << u"  \t "_s << -1 << QString() << u"blank line"_s;
}

void Test_ULanguage::Apply_one_line()
{
    QFETCH(QString, line);
    QFETCH(int, index);
    QFETCH(QString, value);
    QFETCH(QString, reason);

    QList<TLanguage_Line_Report> report;
    Apply_Language_Text(line, &report);

    QCOMPARE(Changed_Entries(), index < 0 ? QList<int>() : QList<int>{index});
    if (index >= 0) {
        QCOMPARE(Lang(index), value);
    }
    QCOMPARE(Language_Texts().size(), 1200);

    QCOMPARE(report.size(), 1);
    QCOMPARE(report[0].Line_Number, 1);
    QCOMPARE(report[0].Line, line.left(Language_Entry_Limit));
    QCOMPARE(report[0].Index, index);
    QCOMPARE(report[0].Value, value);
    if (index >= 0)
        QVERIFY2(report[0].Reason.isEmpty(), qPrintable(report[0].Reason));
    else
        QVERIFY2(report[0].Reason.contains(reason), qPrintable(report[0].Reason));
}

void Test_ULanguage::Last_line_for_an_index_wins()
{
    Apply_Language_Text(u"STR12 = A\nSTR13 = C\nSTR12 = B\n"_s);
    QCOMPARE(Lang(12), u"B"_s);
    QCOMPARE(Lang(13), u"C"_s);
    QCOMPARE(Changed_Entries(), (QList<int>{12, 13}));
}

void Test_ULanguage::Line_ends_data()
{
    QTest::addColumn<QString>("eol");
    QTest::newRow("CR LF") << u"\r\n"_s;
    QTest::newRow("LF") << u"\n"_s;
    QTest::newRow("CR alone") << u"\r"_s;
}

void Test_ULanguage::Line_ends()
{
    QFETCH(QString, eol);
    const QString text = u"[Deutsch]"_s + eol + eol + u"STR0 = Anfang"_s + eol + u"STR2 = Schritt 2"_s + eol;

    QList<TLanguage_Line_Report> report;
    Apply_Language_Text(text, &report);

    QCOMPARE(Lang(0), u"Anfang"_s);
    QCOMPARE(Lang(2), u"Schritt 2"_s);
    QCOMPARE(Changed_Entries(), (QList<int>{0, 2}));
    // Line numbers count blank lines; the break at the end opens no fifth line.
    QCOMPARE(report.size(), 4);
    const QStringList lines = {u"[Deutsch]"_s, QString(), u"STR0 = Anfang"_s, u"STR2 = Schritt 2"_s};
    const QList<int> indices = {-1, -1, 0, 2};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(report[i].Line_Number, i + 1);
        QCOMPARE(report[i].Line, lines[i]);
        QCOMPARE(report[i].Index, indices[i]);
    }
}

void Test_ULanguage::Decode_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("an empty file") << QByteArray() << QString();
    QTest::newRow("ASCII without a mark") << "STR1 = Step\r\n"_ba << u"STR1 = Step\r\n"_s;
    QTest::newRow("UTF-8 with a mark and accents") << "\xEF\xBB\xBF"
                                                      "STR19 = \xC3\xA9t\xC3\xA9 \xC2\xB6"_ba
                                                   << u"STR19 = été ¶"_s;
    QTest::newRow("UTF-8 without a mark") << "Gr\xC3\xBC\xC3\x9F"
                                             "e \xE2\x82\xAC"_ba
                                          << u"Grüße €"_s;
    QTest::newRow("UTF-16 LE with its mark") << "\xFF\xFE"
                                                "\xE9\x00\x0D\x00\x0A\x00\xB6\x00\xAC\x20"_ba
                                             << u"é\r\n¶€"_s;
    QTest::newRow("UTF-16 BE with its mark") << "\xFE\xFF"
                                                "\x00\xE9\x00\x0D\x00\x0A\x00\xB6\x20\xAC"_ba
                                             << u"é\r\n¶€"_s;
    QTest::newRow("bytes that are not UTF-8 are Windows-1252")
        << "\xB6 / \xB6 \xE9t\xE9 \x80 \x93x\x94 \x9C"_ba << u"¶ / ¶ été € “x” œ"_s;
    QTest::newRow("a UTF-8 sequence cut off at the end is not UTF-8") << "caf\xC3"_ba << u"cafÃ"_s;
    QTest::newRow("an overlong UTF-8 form is not UTF-8") << "\xC0\xAF"_ba << u"À¯"_s;
}

void Test_ULanguage::Decode()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(Decode_Language_Bytes(bytes), text);
}

void Test_ULanguage::Read_file_in_each_encoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    const QString text = u"; Français\r\nSTR19 = Nouvelle version : été\r\nSTR306 = ¶ von ¶\r\n"_s;
    QTest::newRow("UTF-8 with a mark") << Encode(QStringConverter::Utf8, text);
    QTest::newRow("UTF-8 without a mark") << text.toUtf8();
    QTest::newRow("UTF-16 LE with its mark") << Encode(QStringConverter::Utf16LE, text);
    QTest::newRow("UTF-16 BE with its mark") << Encode(QStringConverter::Utf16BE, text);
    QTest::newRow("Windows-1252 with CR line ends")
        << "; Fran\xE7"
           "ais\rSTR19 = Nouvelle version : \xE9t\xE9\rSTR306 = \xB6 von \xB6\r"_ba;
}

void Test_ULanguage::Read_file_in_each_encoding()
{
    QFETCH(QByteArray, bytes);
    const QString path = Join_Path(Language_Dir, u"Francais.lng"_s);
    QVERIFY(Write_File(path, bytes));

    QList<TLanguage_Line_Report> report;
    Read_Language_File(path, &report);

    QCOMPARE(Lang(19), u"Nouvelle version : été"_s);
    QCOMPARE(Lang(306), u" von "_s);
    QCOMPARE(Changed_Entries(), (QList<int>{19, 306}));
    QCOMPARE(report.size(), 3);
    QCOMPARE(report[0].Line, u"; Français"_s);
}

void Test_ULanguage::Read_file_that_cannot_be_opened_throws()
{
    const QString missing = Join_Path(Language_Dir, u"Missing.lng"_s);
    const QString directory = Join_Path(Language_Dir, u"Folder.lng"_s);
    QVERIFY(QDir().mkpath(directory));
    // Far larger than a language file can be: refused before a byte is read.
    const QString huge = Join_Path(Language_Dir, u"Huge.lng"_s);
    QFile hugeFile(huge);
    QVERIFY(hugeFile.open(QIODevice::WriteOnly) && hugeFile.resize(Language_File_Limit + 1));
    hugeFile.close();

    for (const QString &path : {missing, directory, huge}) {
        try {
            Read_Language_File(path);
            QFAIL(qPrintable(u"no error for "_s + path));
        } catch (const EQuillon_Error &error) {
            QVERIFY2(error.Text().contains(QDir::toNativeSeparators(path)), qPrintable(error.Text()));
        }
    }
    QCOMPARE(Changed_Entries(), QList<int>());
}

void Test_ULanguage::Load_language_reads_the_named_file()
{
    QVERIFY(Write_File(Join_Path(Language_Dir, u"Deutsch.lng"_s), "STR19 = Neue Version\r\n"));
    // English.lng is for English only.
    QVERIFY(Write_File(Join_Path(Language_Dir, u"English.lng"_s), "STR14 = Quit\r\n"));
    Language_Name = u"Deutsch"_s;
    Load_Language();
    QCOMPARE(Language_Name, u"Deutsch"_s);
    QCOMPARE(Lang(19), u"Neue Version"_s);
    QCOMPARE(Changed_Entries(), (QList<int>{19}));
}

void Test_ULanguage::Load_language_falls_back_to_english_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("no LANGUAGE directory") << u"no directory"_s;
    QTest::newRow("an empty LANGUAGE directory") << u"empty"_s;
    QTest::newRow("a directory named like the language file") << u"folder"_s;
#ifdef Q_OS_UNIX
    QTest::newRow("a FIFO named like the language file") << u"fifo"_s;
#endif
}

void Test_ULanguage::Load_language_falls_back_to_english()
{
    QFETCH(QString, setup);
    if (setup == u"no directory")
        QVERIFY(QDir(Language_Dir).removeRecursively());
    else if (setup == u"folder")
        QVERIFY(QDir().mkpath(Join_Path(Language_Dir, u"Deutsch.lng"_s)));
    else if (setup == u"fifo")
        QCOMPARE(QProcess::execute(u"mkfifo"_s, {Join_Path(Language_Dir, u"Deutsch.lng"_s)}), 0);
    Set_Language_Text(3, u"left over"_s);
    Language_Name = u"Deutsch"_s;

    Load_Language();

    QCOMPARE(Language_Name, u"English"_s);
    QCOMPARE(Language_Texts().size(), 1200);
    QCOMPARE(Changed_Entries(), QList<int>());
}

void Test_ULanguage::Load_language_takes_english_file_for_missing_language()
{
    QVERIFY(Write_File(Join_Path(Language_Dir, u"English.lng"_s), "STR14 = Quit\r\n"));
    Language_Name = u"Klingon"_s;
    Load_Language();
    QCOMPARE(Language_Name, u"English"_s);
    QCOMPARE(Lang(14), u"Quit"_s);
    QCOMPARE(Changed_Entries(), (QList<int>{14}));
}

void Test_ULanguage::Load_language_starts_each_language_from_english()
{
    QVERIFY(Write_File(Join_Path(Language_Dir, u"A.lng"_s), "STR15 = Neue Konfiguration\nSTR16 = Offnen\n"));
    QVERIFY(Write_File(Join_Path(Language_Dir, u"B.lng"_s), "STR16 = Ouvrir\n"));
    Language_Name = u"A"_s;
    Load_Language();
    QCOMPARE(Lang(15), u"Neue Konfiguration"_s);

    Language_Name = u"B"_s;
    Load_Language();
    QCOMPARE(Lang(15), u"New Configuration"_s);
    QCOMPARE(Lang(16), u"Ouvrir"_s);
    QCOMPARE(Changed_Entries(), (QList<int>{16}));
}

void Test_ULanguage::Load_language_with_unreadable_file_leaves_english()
{
#ifdef Q_OS_WIN
    QSKIP("the attributes Qt sets on Windows cannot make a file unreadable");
#endif
    const QString path = Join_Path(Language_Dir, u"Deutsch.lng"_s);
    QVERIFY(Write_File(path, "STR19 = Neue Version\r\n"));
    QVERIFY(QFile::setPermissions(path, QFileDevice::Permissions()));
    if (QFile file(path); file.open(QIODevice::ReadOnly))
        QSKIP("file permissions do not stop this user from reading");
    Language_Name = u"Deutsch"_s;
    Set_Language_Text(3, u"left over"_s);

    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, Load_Language());

    QCOMPARE(Language_Name, u"Deutsch"_s);
    QCOMPARE(Changed_Entries(), QList<int>());
}

void Test_ULanguage::English_text_stays_english_whatever_is_loaded()
{
    QVERIFY(Write_File(Join_Path(Language_Dir, u"Deutsch.lng"_s), "STR1113 = Ende mit Code %1.\n"));
    Language_Name = u"Deutsch"_s;
    Load_Language();
    QCOMPARE(Lang(1113), u"Ende mit Code %1."_s);
    QCOMPARE(English_Text(1113), u"The updater ended with exit code %1."_s);
    QCOMPARE(English_Text(60), u" "_s);
    QCOMPARE(English_Text(1200), u" "_s);
}

void Test_ULanguage::Shipped_english_file_is_the_built_in_table()
{
    const QString path = Join_Path(Language_Dir, u"English.lng"_s);
    QVERIFY(Write_File(path, Shipped_Language_File(u"English.lng"_s)));
    Read_Language_File(path);
    QCOMPARE(Changed_Entries(), QList<int>());
    // Every entry is written out, so that a translator starting from a copy sees them all.
    const TLanguage_Check check = Check_Language_File(path);
    QCOMPARE(check.Warnings, QStringList());
    QCOMPARE(check.Left_In_English, check.Shown_Entries);
}

void Test_ULanguage::Shipped_translations_load_clean_and_cover_the_shown_entries_data()
{
    QTest::addColumn<QString>("name");
    const QStringList files = Shipped_Language_Files();
    for (const char *name : {"Deutsch", "Italiano", "Fran\u00e7ais", "Espa\u00f1ol"}) {
        const QString language = QString::fromUtf8(name);
        QVERIFY2(files.contains(language + u".lng"_s) && files.contains(language + u".bmp"_s), name);
        QTest::newRow(name) << language;
    }
    QVERIFY(files.contains(u"English.lng"_s) && files.contains(u"English.bmp"_s));
    QVERIFY(files.contains(u"DefaultFlag.bmp"_s));
}

void Test_ULanguage::Shipped_translations_load_clean_and_cover_the_shown_entries()
{
    QFETCH(QString, name);
    const QString path = Join_Path(Language_Dir, name + u".lng"_s);
    QVERIFY(Write_File(path, Shipped_Language_File(name + u".lng"_s)));
    const TLanguage_Check check = Check_Language_File(path);
    QCOMPARE(check.Warnings, QStringList());
    QVERIFY2(check.Left_In_English * 10 <= check.Shown_Entries,
             qPrintable(u"%1 of %2 left in English"_s.arg(check.Left_In_English).arg(check.Shown_Entries)));

    // Where the English text carries values, the translation carries the same placeholders (checked above),
    // and the flag is a picture.
    Language_Name = name;
    Load_Language();
    QCOMPARE(Language_Name, name);
    QVERIFY(Lang(1125).arg(u"/dev/ttyUSB7"_s).contains(u"/dev/ttyUSB7"_s));
    QImage flag;
    QVERIFY(flag.loadFromData(Shipped_Language_File(name + u".bmp"_s), "BMP"));
    QVERIFY(flag.width() <= 48 && flag.height() <= 48);
}

void Test_ULanguage::Check_warns_where_afile_probably_means_otherwise_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("warnings");
    QTest::newRow("a clean file") << QByteArray("; notes\nSTR15 = Neue Konfiguration\n") << QStringList();
    QTest::newRow("no blank before =: 100 read where 1000 was meant")
        << QByteArray("STR1000=Update\n")
        << QStringList{u"line 1: the character just before \"=\" is not read as part of the index (\"1000\" was "
                       u"meant, 100 was read): write a blank before \"=\""_s};
    QTest::newRow("an index outside the table")
        << QByteArray("STR1200 = x\n") << QStringList{u"line 1: nothing set: index 1200 out of range 0 to 1199"_s};
    QTest::newRow("an index set twice")
        << QByteArray("STR12 = A\n\nSTR12 = B\n")
        << QStringList{u"line 3: entry 12 is set again (first on line 1); the later text wins"_s};
    QTest::newRow("a placeholder lost and one too many")
        << QByteArray("STR1125 = Port fehlt\nSTR15 = Neu %1\n")
        << QStringList{u"line 1: entry 1125: placeholders none where the English text has %1"_s,
                       u"line 2: entry 15: placeholders %1 where the English text has none"_s};
    QTest::newRow("text after the closing pilcrow")
        << QByteArray("STR306 = \xC2\xB6 / \xC2\xB6 x\nSTR317 = \xC2\xB6 to \xC2\xB6 /#/ a note\n")
        << QStringList{u"line 1: entry 306: the text after the pilcrow (\" x\") is dropped"_s};
    QTest::newRow("a caption far longer than the English, a hint as long as it needs")
        << QByteArray("STR103 = Ja, das ist in Ordnung so\nSTR108 = " + QByteArray(200, 'x') + "\n")
        << QStringList{u"line 1: entry 103 is 25 characters long, the English 2: check that it fits its window"_s};
    QTest::newRow("an entry over 4096 characters") << QByteArray("STR108 = " + QByteArray(5000, 'x') + "\n")
                                                   << QStringList{u"line 1: entry 108 is cut to 4096 characters"_s};
}

void Test_ULanguage::Check_warns_where_afile_probably_means_otherwise()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, warnings);
    const QString path = Join_Path(Language_Dir, u"Check.lng"_s);
    QVERIFY(Write_File(path, file));
    Set_Language_Text(3, u"kept"_s);
    const TLanguage_Check check = Check_Language_File(path);
    QCOMPARE(check.Warnings, warnings);
    // The table in force is left as it was.
    QCOMPARE(Lang(3), u"kept"_s);
    QCOMPARE(Language_Texts().size(), 1200);
}

void Test_ULanguage::Shipped_files_reach_only_aworkspace_without_languages()
{
    const QStringList shipped = Shipped_Language_Files();
    // A new workspace: everything, byte for byte; a user's own picture is kept.
    QVERIFY(Write_File(Join_Path(Language_Dir, u"DefaultFlag.bmp"_s), "mine"));
    QStringList expected = shipped;
    expected.removeOne(u"DefaultFlag.bmp"_s);
    QCOMPARE(Install_Shipped_Languages(Language_Dir), expected);
    for (const QString &name : expected) {
        QFile file(Join_Path(Language_Dir, name));
        QVERIFY2(file.open(QIODevice::ReadOnly) && file.readAll() == Shipped_Language_File(name), qPrintable(name));
    }
    QFile mine(Join_Path(Language_Dir, u"DefaultFlag.bmp"_s));
    QVERIFY(mine.open(QIODevice::ReadOnly));
    QCOMPARE(mine.readAll(), QByteArray("mine"));

    // Once languages are there, nothing comes back or is replaced: an edited copy stays, a removed one stays away.
    QVERIFY(Write_File(Join_Path(Language_Dir, u"Deutsch.lng"_s), "STR15 = Meine\n"));
    QVERIFY(QFile::remove(Join_Path(Language_Dir, u"Italiano.lng"_s)));
    QCOMPARE(Install_Shipped_Languages(Language_Dir), QStringList());
    QVERIFY(!QFileInfo::exists(Join_Path(Language_Dir, u"Italiano.lng"_s)));
    QFile edited(Join_Path(Language_Dir, u"Deutsch.lng"_s));
    QVERIFY(edited.open(QIODevice::ReadOnly));
    QCOMPARE(edited.readAll(), QByteArray("STR15 = Meine\n"));

    // No directory, nothing written.
    QCOMPARE(Install_Shipped_Languages(Join_Path(Dir.path(), u"missing"_s)), QStringList());
}

void Test_ULanguage::A_torn_shipped_copy_is_written_again_at_the_next_start()
{
    // The copies are written without a sync: a power loss may leave one shorter, or with zeros for its bytes.
    QVERIFY(!Install_Shipped_Languages(Language_Dir).isEmpty());
    const auto path = [this](const QString &name) { return Join_Path(Language_Dir, name); };
    const QByteArray english = Shipped_Language_File(u"English.lng"_s);
    QByteArray zeroed = Shipped_Language_File(u"Deutsch.bmp"_s);
    zeroed.replace(0, 4096, QByteArray(4096, '\0'));
    QVERIFY(Write_File(path(u"English.lng"_s), english.first(english.size() / 2)));
    QVERIFY(Write_File(path(u"Deutsch.bmp"_s), zeroed));
    QVERIFY(Write_File(path(u"Italiano.lng"_s), QByteArray()));
    // An edit is the user's, however short.
    QVERIFY(Write_File(path(u"Deutsch.lng"_s), "STR15 = Meine\n"));

    QCOMPARE(Install_Shipped_Languages(Language_Dir),
             (QStringList{u"Deutsch.bmp"_s, u"English.lng"_s, u"Italiano.lng"_s}));
    for (const QString &name : Shipped_Language_Files()) {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(),
                 name == u"Deutsch.lng"_s ? QByteArray("STR15 = Meine\n") : Shipped_Language_File(name));
    }
}

void Test_ULanguage::Language_names_sort_blind_to_case_and_accents_data()
{
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("an accented letter sorts with its plain letter")
        << QStringList{u"Česky"_s, u"Deutsch"_s, u"Español"_s, u"Italiano"_s, u"zulu"_s};
    QTest::newRow("case aside") << QStringList{u"Alpha"_s, u"alpha2"_s, u"beta"_s, u"English"_s};
    // ASCII names as they always sorted: the characters' codes, case aside.
    QTest::newRow("ASCII by character code") << QStringList{u"1st"_s, u"_under"_s, u"abc"_s, u"Zed"_s, u"~tilde"_s};
    QTest::newRow("names alike but for case and accents keep one order")
        << QStringList{u"Cesky"_s, u"cesky"_s, u"Česky"_s, u"česky"_s, u"Deutsch"_s};
}

void Test_ULanguage::Language_names_sort_blind_to_case_and_accents()
{
    QFETCH(QStringList, sorted);
    // The order does not depend on where the names started.
    QStringList names = sorted;
    std::reverse(names.begin(), names.end());
    Sort_Language_Names(names);
    QCOMPARE(names, sorted);
    names = sorted;
    std::rotate(names.begin(), names.begin() + 2, names.end());
    Sort_Language_Names(names);
    QCOMPARE(names, sorted);
}

QTEST_GUILESS_MAIN(Test_ULanguage)
#include "test_ULanguage.moc"
