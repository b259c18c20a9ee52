// The about box: its texts in the language loaded, the codes and version the same in every language, its size,
// and the way to the maker's home page.

#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "ULanguage.h"

#include <QLabel>
#include <QPushButton>

class Test_UAbout : public QObject
{
    Q_OBJECT

private slots:
    void The_box_shows_the_version_and_codes_in_every_language_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("codeLabel");
        QTest::newRow("English") << QStringLiteral("English") << QStringLiteral("About")
                                 << QStringLiteral("Software Code : ");
        QTest::newRow("a language of its own file")
            << QStringLiteral("Italiano") << QStringLiteral("Informazioni") << QStringLiteral("Codice software:");
    }

    void The_box_shows_the_version_and_codes_in_every_language()
    {
        QFETCH(QString, language);
        QFETCH(QString, title);
        QFETCH(QString, codeLabel);
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"),
                              "STR12 = Informazioni\nSTR1154 = Informazioni\nSTR1156 = Codice software:\n"));
        program.Start();
        Language_Name = language;
        Load_Language();
        program.Main->Change_Language();

        TFAbout *about = program.Main->FAbout;
        QMap<QString, QString> texts;
        When_Shown(about, [&] {
            for (QLabel *label : about->findChildren<QLabel *>()) {
                texts[label->objectName()] = label->text();
                // Nothing is cut off at the box's edges.
                QVERIFY2(about->rect().contains(label->geometry()), qPrintable(label->objectName()));
            }
            texts[QStringLiteral("size")] = QStringLiteral("%1x%2").arg(about->width()).arg(about->height());
            texts[QStringLiteral("title")] = about->windowTitle();
        });
        about->exec();
        QCOMPARE(texts.value(QStringLiteral("size")), QStringLiteral("425x148"));
        QCOMPARE(texts.value(QStringLiteral("Label1")), QStringLiteral("Software Quillon "));
        QCOMPARE(texts.value(QStringLiteral("Label2")), QStringLiteral("Modbus Slave / Modbus Slave - Converter"));
        QCOMPARE(texts.value(QStringLiteral("title")), title);
        QCOMPARE(texts.value(QStringLiteral("Label6")), codeLabel);
        QCOMPARE(texts.value(QStringLiteral("Label9")), QStringLiteral("SW40926"));
        QCOMPARE(texts.value(QStringLiteral("Label3")), QStringLiteral("Version :"));
        QCOMPARE(texts.value(QStringLiteral("Label10")), QStringLiteral("2.002"));
        QCOMPARE(texts.value(QStringLiteral("Label8")), QStringLiteral("Document Code :"));
        QCOMPARE(texts.value(QStringLiteral("Label12")), QStringLiteral("MN40926"));
        QCOMPARE(texts.value(QStringLiteral("Label13")), QStringLiteral("Workspace :"));
        // The workspace in use: its path, cut in the middle when it is long, whole in the hint.
        const QString workspace = QDir::toNativeSeparators(program.Dir.path());
        const QString shown = texts.value(QStringLiteral("Label14"));
        QVERIFY2(shown == workspace ||
                     (shown.contains(QChar(0x2026)) && workspace.startsWith(shown.section(QChar(0x2026), 0, 0)) &&
                      workspace.endsWith(shown.section(QChar(0x2026), 1))),
                 qPrintable(shown));
        QVERIFY(!texts.value(QStringLiteral("Label4")).isEmpty());
        QCOMPARE(about->minimumSize(), about->maximumSize());
    }

    void The_logo_and_the_address_open_the_home_page_and_OK_closes()
    {
        TProgram_Fixture program;
        program.Start();
        TFAbout *about = program.Main->FAbout;
        When_Shown(about, [&] {
            QTest::mouseClick(about->findChild<QLabel *>(QStringLiteral("Image2")), Qt::LeftButton);
            QTest::mouseClick(about->findChild<QLabel *>(QStringLiteral("Label4")), Qt::LeftButton);
            QTest::mouseClick(about->findChild<QPushButton *>(QStringLiteral("LbButton1")), Qt::LeftButton);
        });
        QCOMPARE(about->exec(), int(QDialog::Accepted));
        const QUrl home(QStringLiteral("http://www.velmora.example/HOME/default.asp?frompg=SW40926"));
        QCOMPARE(program.Opened_Pages, (QList<QUrl>{home, home}));
    }

    void A_home_page_no_browser_opens_is_reported_with_its_address()
    {
        TProgram_Fixture program;
        program.Start();
        Set_Web_Page_Opener([](const QUrl &) { return false; });
        TFAbout *about = program.Main->FAbout;
        When_Shown(about,
                   [&] { QTest::mouseClick(about->findChild<QLabel *>(QStringLiteral("Label4")), Qt::LeftButton); });
        about->exec();
        // The main window's address goes the same way.
        QTest::mouseClick(program.Main->findChild<QLabel *>(QStringLiteral("L_Velmora")), Qt::LeftButton);
        const QString shown = QStringLiteral("error: No program could be started to open the web page "
                                             "http://www.velmora.example/HOME/default.asp?frompg=SW40926");
        QCOMPARE(Shown_Texts(), (QStringList{shown, shown}));
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UAbout)
#include "test_UAbout.moc"
