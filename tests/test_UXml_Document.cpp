#include "UAtomic_File.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UFull_Disk.h"
#include "UXml_Document.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray Read_File(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QByteArray Nested(int depth)
{
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

} // namespace

class Test_UXml_Document : public QObject
{
    Q_OBJECT

private slots:
    void Written_documents_have_no_declaration_and_keep_node_order();
    void Texts_come_back_unchanged();
    void Root_is_the_first_element_whatever_stands_before_it();
    void Names_are_matched_with_their_letter_case();
    void Parse_error_names_the_file_line_and_column_data();
    void Parse_error_names_the_file_line_and_column();
    void A_failed_save_reports_and_keeps_the_old_file();
    void A_link_in_the_file_s_place_is_replaced_and_its_target_kept_data();
    void A_link_in_the_file_s_place_is_replaced_and_its_target_kept();
    void Characters_xml_cannot_hold_data();
    void Characters_xml_cannot_hold();
    void A_prefixed_name_is_another_name();
    void Nesting_is_bounded_data();
    void Nesting_is_bounded();
    void Costly_markup_is_refused_before_it_is_read_data();
    void Costly_markup_is_refused_before_it_is_read();
    void The_writer_refuses_what_the_reader_would_data();
    void The_writer_refuses_what_the_reader_would();
    void A_full_disk_is_reported_and_the_old_file_kept();
};

void Test_UXml_Document::Written_documents_have_no_declaration_and_keep_node_order()
{
    TXml_Document xml;
    xml.Activate();
    QDomElement root = xml.Add_Root(QStringLiteral("Par_Gen"));
    xml.Append_Comment(QStringLiteral("SW_VERSION = 2.002"));
    Add_Child(root, QStringLiteral("A"), QStringLiteral("1"));
    Add_Child(root, QStringLiteral("B"));
    QCOMPARE(xml.To_Bytes(), QByteArray("<Par_Gen><A>1</A><B/></Par_Gen><!--SW_VERSION = 2.002-->\n"));

    // Loading again gives the same nodes; Clear empties the document for the next build.
    TXml_Document again;
    again.Load_Bytes(xml.To_Bytes());
    QCOMPARE(again.Root().tagName(), QStringLiteral("Par_Gen"));
    QVERIFY(again.Dom().lastChild().isComment());
    again.Clear();
    QVERIFY(again.Dom().firstChild().isNull());
}

void Test_UXml_Document::Texts_come_back_unchanged()
{
    TXml_Document xml;
    xml.Load_Bytes("<r><blank> </blank><padded>  1 </padded><empty></empty><short/><amp>a&amp;b</amp></r>");
    const QDomElement root = xml.Root();
    QCOMPARE(Element_Text(Find_Child(root, QStringLiteral("blank"))), QStringLiteral(" "));
    QCOMPARE(Element_Text(Find_Child(root, QStringLiteral("padded"))), QStringLiteral("  1 "));
    QCOMPARE(Element_Text(Find_Child(root, QStringLiteral("empty"))), QString());
    QCOMPARE(Element_Text(Find_Child(root, QStringLiteral("short"))), QString());
    QCOMPARE(Element_Text(Find_Child(root, QStringLiteral("amp"))), QStringLiteral("a&b"));

    // A blank text survives a save and a load.
    TXml_Document out;
    QDomElement r = out.Add_Root(QStringLiteral("r"));
    Add_Child(r, QStringLiteral("ip"), QStringLiteral(" 10 "));
    TXml_Document in;
    in.Load_Bytes(out.To_Bytes());
    QCOMPARE(Element_Text(Find_Child(in.Root(), QStringLiteral("ip"))), QStringLiteral(" 10 "));
}

void Test_UXml_Document::Root_is_the_first_element_whatever_stands_before_it()
{
    TXml_Document xml;
    xml.Load_Bytes("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- hand edited -->\n<?pi data?>\n"
                   "<Conf_Settings><x>1</x></Conf_Settings>");
    QCOMPARE(xml.Root().tagName(), QStringLiteral("Conf_Settings"));
    QCOMPARE(Element_Text(Find_Child(xml.Root(), QStringLiteral("x"))), QStringLiteral("1"));
}

void Test_UXml_Document::Names_are_matched_with_their_letter_case()
{
    TXml_Document xml;
    xml.Load_Bytes("<r><Key>a</Key><key>b</key></r>");
    QCOMPARE(Element_Text(Find_Child(xml.Root(), QStringLiteral("key"))), QStringLiteral("b"));
    QVERIFY(Find_Child(xml.Root(), QStringLiteral("KEY")).isNull());
    QVERIFY(Find_Child(QDomElement(), QStringLiteral("key")).isNull());
}

void Test_UXml_Document::Parse_error_names_the_file_line_and_column_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("where");
    QTest::newRow("unclosed element") << QByteArray("<a>\n<b>\n</a>") << "line 3";
    QTest::newRow("empty file") << QByteArray() << "line 1";
    QTest::newRow("two roots") << QByteArray("<a/><b/>") << "line 1";
}

void Test_UXml_Document::Parse_error_names_the_file_line_and_column()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, where);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ParGen.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    TXml_Document xml;
    try {
        xml.Load_File(path);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QDir::toNativeSeparators(path)), qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(where), qPrintable(error.Text()));
        QVERIFY2(error.Text().contains(QStringLiteral("column")), qPrintable(error.Text()));
    }
}

void Test_UXml_Document::A_failed_save_reports_and_keeps_the_old_file()
{
    QTemporaryDir dir;
    TXml_Document xml;
    xml.Add_Root(QStringLiteral("r"));

    // The target's directory does not exist.
    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, xml.Save_File(dir.filePath(QStringLiteral("missing/x.xml"))));

    // A complete save replaces the old file; a failing one leaves it whole.
    const QString path = dir.filePath(QStringLiteral("x.xml"));
    Save_Bytes_Atomically(path, "old contents");
    xml.Save_File(path);
    const auto contents = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    };
    QCOMPARE(contents(), QByteArray("<r/>"));
    const QString blocked = dir.filePath(QStringLiteral("blocked"));
    QVERIFY(QDir().mkdir(blocked));
    QVERIFY_THROWS_EXCEPTION(EQuillon_Error, xml.Save_File(blocked));
    QVERIFY(QFileInfo(blocked).isDir());
    QCOMPARE(contents(), QByteArray("<r/>"));
}

void Test_UXml_Document::A_link_in_the_file_s_place_is_replaced_and_its_target_kept_data()
{
    QTest::addColumn<QString>("target"); // where the link points, in the temporary directory
    QTest::addColumn<bool>("exists");
    QTest::newRow("a link to a file beside it") << "Other.xml" << true;
    QTest::newRow("a link to a file in another directory") << "elsewhere/Quillon.xml" << true;
    QTest::newRow("a dangling link") << "elsewhere/missing.xml" << false;
}

void Test_UXml_Document::A_link_in_the_file_s_place_is_replaced_and_its_target_kept()
{
#ifdef Q_OS_WIN
    QSKIP("QFile::link makes a shortcut on Windows, a file like any other");
#endif
    QFETCH(QString, target);
    QFETCH(bool, exists);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("elsewhere")));
    const QString targetPath = dir.filePath(target);
    if (exists)
        Save_Bytes_Atomically(targetPath, "<old/>");
    const QString path = dir.filePath(QStringLiteral("Quillon.xml"));
    QVERIFY(QFile::link(targetPath, path));

    TXml_Document xml;
    xml.Add_Root(QStringLiteral("r"));
    xml.Save_File(path);
    QVERIFY(!QFileInfo(path).isSymLink());
    QCOMPARE(Read_File(path).trimmed(), QByteArray("<r/>"));
    if (exists)
        QCOMPARE(Read_File(targetPath), QByteArray("<old/>"));
    else
        QVERIFY(!QFileInfo::exists(targetPath));
}

void Test_UXml_Document::A_prefixed_name_is_another_name()
{
    // No namespace processing: the prefix is part of the name, and an undeclared prefix is no error.
    TXml_Document xml;
    xml.Load_Bytes("<Par_Gen><a:Opt_Off_Reg>5</a:Opt_Off_Reg></Par_Gen>");
    QVERIFY(Find_Child(xml.Root(), QStringLiteral("Opt_Off_Reg")).isNull());
    QCOMPARE(Element_Text(Find_Child(xml.Root(), QStringLiteral("a:Opt_Off_Reg"))), QStringLiteral("5"));
}

void Test_UXml_Document::Nesting_is_bounded_data()
{
    QTest::addColumn<int>("depth");
    QTest::addColumn<bool>("loads");
    QTest::newRow("at the limit") << Xml_Depth_Limit << true;
    QTest::newRow("one level deeper") << Xml_Depth_Limit + 1 << false;
    // Once a crash on tearing the tree down, and 45 s of work.
    QTest::newRow("150 000 levels") << 150000 << false;
}

void Test_UXml_Document::Nesting_is_bounded()
{
    QFETCH(int, depth);
    QFETCH(bool, loads);
    TXml_Document xml;
    try {
        xml.Load_Bytes(Nested(depth), QStringLiteral("Quillon.xml"));
        QVERIFY(loads);
    } catch (const EQuillon_Error &error) {
        QVERIFY(!loads);
        QVERIFY2(error.Text().contains(QStringLiteral("Quillon.xml")) &&
                     error.Text().contains(QStringLiteral("nested deeper than 32 levels")) &&
                     error.Text().contains(QStringLiteral("line 1")),
                 qPrintable(error.Text()));
    }
}

namespace {

QByteArray Attributes(int count)
{
    QByteArray element = "<Par_Gen";
    for (int i = 0; i < count; ++i)
        element += " a" + QByteArray::number(i) + "='x>'";
    return element + "><Port_0_DevID>5</Port_0_DevID></Par_Gen>";
}

QByteArray Utf16(const QByteArray &ascii)
{
    const QString text = QString::fromLatin1(ascii);
    return QByteArray("\xFF\xFE") +
           QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * qsizetype(sizeof(char16_t)));
}

} // namespace

void Test_UXml_Document::Costly_markup_is_refused_before_it_is_read_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("reason"); // empty: loads
    const QByteArray entity = "<!DOCTYPE x [<!ENTITY a \"" + QByteArray(4000, 'x') + "\">]>";
    // Once 5.5 s and 794 MB; a million more references ended in std::bad_alloc.
    QTest::newRow("an entity referenced 50 000 times")
        << entity + "<Par_Gen><Port_0_DevID>" + QByteArray("&a;").repeated(50000) + "</Port_0_DevID></Par_Gen>"
        << "document type declaration (line 1)";
    QTest::newRow("a document type alone")
        << QByteArray("<?xml version='1.0'?>\n<!DOCTYPE Par_Gen>\n<Par_Gen/>") << "document type declaration (line 2)";
    QTest::newRow("a document type in UTF-16") << Utf16("<!DOCTYPE x><x/>") << "document type declaration";
    QTest::newRow("a document type named in a comment and CDATA loads")
        << QByteArray("<!-- <!DOCTYPE x> --><x><![CDATA[<!DOCTYPE y> <a b='1' c='2'>]]></x>") << "";
    QTest::newRow("16 attributes load") << Attributes(Xml_Attribute_Limit) << "";
    QTest::newRow("17 attributes") << Attributes(Xml_Attribute_Limit + 1) << "more than 16 attributes (line 1)";
    // Once 8 s in the reader's duplicate check.
    QTest::newRow("40 000 attributes") << Attributes(40000) << "more than 16 attributes";
    QTest::newRow("40 000 attributes in UTF-16") << Utf16(Attributes(40000)) << "more than 16 attributes";
    QTest::newRow("40 000 attributes, encoding declared")
        << "<?xml version='1.0' encoding='ISO-8859-1'?>" + Attributes(40000) << "more than 16 attributes";
    QTest::newRow("predefined entities and character references load")
        << QByteArray("<x>&lt;&amp;&#65;&#x42;</x>") << "";
}

void Test_UXml_Document::Costly_markup_is_refused_before_it_is_read()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, reason);
    TXml_Document xml;
    try {
        xml.Load_Bytes(bytes, QStringLiteral("ParGen.xml"));
        QVERIFY2(reason.isEmpty(), "loaded");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(!reason.isEmpty() && error.Text().startsWith(QStringLiteral("ParGen.xml is refused: ")) &&
                     error.Text().contains(reason),
                 qPrintable(error.Text()));
    }
}

void Test_UXml_Document::The_writer_refuses_what_the_reader_would_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a vertical tab in a text") << "projectname"
                                              << "Line\v2"
                                              << ""
                                              << "element projectname holds U+000B";
    QTest::newRow("U+FFFF in a text") << "language" << QString(QChar(0xFFFF)) << ""
                                      << "holds U+FFFF";
    QTest::newRow("a lone surrogate in a text") << "language" << QString(QChar(0xDC00)) << ""
                                                << "holds U+DC00";
    QTest::newRow("a double hyphen in a comment") << "x"
                                                  << ""
                                                  << "a--b"
                                                  << "could not be read back";
    QTest::newRow("a name that is no XML name") << "two words"
                                                << ""
                                                << ""
                                                << "could not be read back";
}

void Test_UXml_Document::The_writer_refuses_what_the_reader_would()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, comment);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Quillon.xml"));
    Save_Bytes_Atomically(path, "<old/>");
    TXml_Document xml;
    QDomElement root = xml.Add_Root(QStringLiteral("Conf_Settings"));
    Add_Child(root, name, text);
    if (!comment.isEmpty())
        xml.Append_Comment(comment);
    try {
        xml.Save_File(path);
        QFAIL("no error raised");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(reason) && error.Text().contains(QDir::toNativeSeparators(path)),
                 qPrintable(error.Text()));
    }
    QCOMPARE(Read_File(path), QByteArray("<old/>"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"Quillon.xml"});
}

void Test_UXml_Document::A_full_disk_is_reported_and_the_old_file_kept()
{
    TFull_Disk disk;
    if (const QString reason = disk.Mount(); !reason.isEmpty())
        QSKIP(qPrintable(reason));
    const QString path = disk.File_Path(QStringLiteral("Quillon.xml"));
    const QByteArray old = "<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj></Conf_Settings>";
    Save_Bytes_Atomically(path, old);
    QVERIFY(disk.Fill());

    // The bytes fit QFile's buffer: the failure shows only when they are flushed.
    TXml_Document xml;
    xml.Load_Bytes(old + "<!--x-->");
    try {
        xml.Save_File(path);
        QFAIL("a write to a full disk was reported as done");
    } catch (const EQuillon_Error &error) {
        QVERIFY2(error.Text().contains(QStringLiteral("No space left on device")), qPrintable(error.Text()));
    }
    QCOMPARE(Read_File(path), old);
    QCOMPARE(QDir(disk.Path()).entryList(QDir::Files), QStringList{"Quillon.xml"}); // no temporary file left
}

QTEST_GUILESS_MAIN(Test_UXml_Document)
#include "test_UXml_Document.moc"

void Test_UXml_Document::Characters_xml_cannot_hold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    const QString pair = QString::fromUtf16(u"\U0001F600");
    QTest::newRow("plain text with tab, LF and CR") << QStringLiteral("a\tb\nc\rd") << QStringLiteral("a\tb\nc\rd");
    QTest::newRow("a vertical tab and NUL") << QStringLiteral("1\v2") + QChar(0) << QStringLiteral("12");
    QTest::newRow("U+FFFE and U+FFFF") << QString(QChar(0xFFFE)) + u'x' + QChar(0xFFFF) << QStringLiteral("x");
    QTest::newRow("a paired surrogate stays") << pair << pair;
    QTest::newRow("lone surrogates go") << QString(QChar(0xD800)) + u'y' + QChar(0xDC00) << QStringLiteral("y");
}

void Test_UXml_Document::Characters_xml_cannot_hold()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(Xml_Text_Only(text), kept);
    QCOMPARE(Is_Xml_Text(text), text == kept);
}
