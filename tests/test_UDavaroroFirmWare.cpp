// The main window driven as a person drives it: start-up in a program directory of its own, the steps and
// header buttons, the configuration box, and the settings file written at close.

#include "UUpdater_Lock.h"
#include "UWindow_Test_Support.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UFile_Work_Wait.h"
#include "UHistory.h"
#include "UKept_Run.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UParGen_Fixture.h"
#include "USoftOptions.h"
#include "UStand_In.h"
#include "UWait.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QWindow>

namespace {

const QString None_Line_1 = QStringLiteral("None Configuration Opened ");
const QString None_Line_2 = QStringLiteral("Use Step1 to open or create new configuration");
const QString Open_Line_1 = QStringLiteral("Opened Configuration of the Converter : ");
const QString Not_Valid = QStringLiteral("error: Error! Project not Valid");

QLabel *Label(QWidget *window, const char *name)
{
    return window->findChild<QLabel *>(QLatin1String(name));
}

QPushButton *Button(QWidget *window, const char *name)
{
    return window->findChild<QPushButton *>(QLatin1String(name));
}

QStringList Box(DIRevevoriVezaDiva *main)
{
    return {Label(main, "L_Name_Conf")->text(), Label(main, "L_Name_Conf_L2")->text()};
}

void Click(QWidget *window, const char *name)
{
    QPushButton *button = Button(window, name);
    QVERIFY2(button, name);
    QTest::mouseClick(button, Qt::LeftButton);
}

QByteArray Settings_Xml(const QString &body, const QString &root = QStringLiteral("Conf_Settings"))
{
    return QStringLiteral("<%1>%2</%1>").arg(root, body).toUtf8();
}

const QString Flags_Off = QStringLiteral("<lastinternet><enable_internet>0</enable_internet><enable_update>0"
                                         "</enable_update><enable_jump_field_tables>0</enable_jump_field_tables>"
                                         "<Double_Click_Auto_Size>0</Double_Click_Auto_Size></lastinternet>");

QString Group(const QString &group, const QString &leaf, const QString &text)
{
    return QStringLiteral("<%1><%2>%3</%2></%1>").arg(group, leaf, text);
}

// A language file that translates the dialogs' titles only.
const QByteArray Italian_Titles = "STR100 = Crea nuova configurazione\nSTR200 = Apri configurazione\n"
                                  "STR300 = Opzioni Software\nSTR400 = Imposta comunicazione\n"
                                  "STR1000 = Aggiorna dispositivo via seriale\nSTR1057 = Cronologia aggiornamenti\n";

// The state line's text with the times of the kept runs put in (%1 the first run's, %2 the second's).
QString With_Times(QString line, const QList<TSent_Run> &runs)
{
    for (qsizetype i = 0; i < runs.size(); ++i)
        line.replace(QStringLiteral("%") + QString::number(i + 1), Shown_Run_Time(runs[i].Started));
    return line;
}

// The n-th of a test's runs started on a day and at a time of its own, so that the line shows which one it names.
QDateTime Run_Time(qsizetype n)
{
    return QDateTime(QDate(2026, 3, 1 + int(n)), QTime(9 + int(n), 15), Qt::UTC);
}

} // namespace

class Test_UDavaroroFirmWare : public QObject
{
    Q_OBJECT

private slots:
    void A_start_records_the_update_of_a_program_that_died_while_its_updater_ran_data()
    {
        QTest::addColumn<bool>("updaterStarted");
        QTest::newRow("the updater ran and has ended") << true;
        QTest::newRow("killed before the updater started") << false;
    }

    void A_start_records_the_update_of_a_program_that_died_while_its_updater_ran()
    {
        QFETCH(bool, updaterStarted);
        TProgram_Fixture program;
        program.Make_Dir(QStringLiteral("PROJECTS/Line2"));
        program.Write(QStringLiteral("PROJECTS/Line2/update-output-Ab12Cd.txt"), "flashing\nblock 7 of 9\n");
        // Process ids beyond any the system hands out stand for the killed window and its updater.
        TUpdater_Lock_Record orphan;
        orphan.Owner_Pid = 0x7ffffff1;
        orphan.Updater_Pid = updaterStarted ? 0x7ffffff2 : 0;
        orphan.Started = QDateTime::currentDateTime().addSecs(-60);
        orphan.Program = program.Path(QStringLiteral("Ser_40926_Update"));
        orphan.Target = QStringLiteral("/dev/ttyUSB0");
        orphan.Conf_Dir = QDir::cleanPath(program.Path(QStringLiteral("PROJECTS/Line2")));
        program.Write(Updater_Lock_File_Name, Lock_Record_Bytes(orphan));
        program.Start();
        const QString log = QString::fromUtf8(program.Read(QStringLiteral("PROJECTS/Line2/update.log")));
        QVERIFY2(log.contains(updaterStarted ? QStringLiteral("ended: not known: the program ended while the updater "
                                                              "ran (process 2147483634); the updater has ended")
                                             : QStringLiteral("ended: the program ended before the updater started")),
                 qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("    | block 7 of 9\n")), qPrintable(log));
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/Line2/update-output-Ab12Cd.txt")));
        QVERIFY(!program.Exists(Updater_Lock_File_Name));
    }

    void First_start_creates_the_workspace_and_writes_the_defaults_at_close()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();

        for (const char *dir : {"MASTER", "PROJECTS", "LANGUAGE"})
            QVERIFY2(QFileInfo(program.Path(QLatin1String(dir))).isDir(), dir);
        QVERIFY(!program.Exists(QStringLiteral("Quillon.xml")));
        QCOMPARE(main->windowTitle(), QStringLiteral("Velmora - Configurator SW40926 - Modbus Slave / Modbus Slave "));
        QCOMPARE(Label(main, "L_SW_Code")->text(), QStringLiteral("SW40926"));
        QCOMPARE(Label(main, "L_SW_Desc")->text(), QStringLiteral("Modbus Slave / Modbus Slave - Converter"));
        QCOMPARE(Box(main), (QStringList{None_Line_1, None_Line_2}));
        QCOMPARE(Button(main, "Btn_New")->text(), QStringLiteral("New Configuration"));
        QCOMPARE(Button(main, "Btn_Prm_Gen")->toolTip(), QStringLiteral("Set the main parameters of Protocols"));
        QCOMPARE(Button(main, "Btn_Close")->toolTip(), QStringLiteral("Close Configurator"));
        QVERIFY(Conf_Dir.isEmpty());
        QVERIFY(!main->Timer_Update->isActive());
        QCOMPARE(main->Timer_Update->interval(), 60000);
        QVERIFY(main->Start_Up_Problems().isEmpty());

        Click(main, "Btn_Close");
        QVERIFY(!main->isVisible());
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))), Default_Settings_Lines());
        QVERIFY(program.Read(QStringLiteral("Quillon.xml")).startsWith("<Conf_Settings>"));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void Controls_stand_at_their_places_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::addColumn<bool>("visible");
        const struct
        {
            const char *Name;
            QRect Place;
            bool Visible;
        } controls[] = {
            {"LL_Update", {208, 19, 294, 17}, false},    {"Btn_Info", {516, 8, 50, 50}, true},
            {"Btn_Opz", {574, 8, 50, 50}, true},         {"Btn_Close", {632, 8, 50, 50}, true},
            {"Shape2", {80, 70, 348, 36}, true},         {"Btn_New", {80, 112, 170, 36}, true},
            {"Btn_Open", {258, 112, 170, 36}, true},     {"Btn_Prm_Gen", {80, 156, 170, 36}, true},
            {"Btn_CreateBin", {80, 200, 170, 36}, true}, {"Btn_History", {258, 200, 170, 36}, true},
            {"Shape1", {10, 251, 674, 1}, true},
        };
        for (const auto &c : controls)
            QTest::newRow(c.Name) << QString::fromLatin1(c.Name) << c.Place << c.Visible;
        // Labels: only their top-left corner is fixed, they take the size of their text.
        const struct
        {
            const char *Name;
            int Left, Top;
            bool Visible;
        } labels[] = {
            {"L_SW_Code", 16, 8, true},       {"L_SW_Desc", 16, 42, true},  {"L_Name_Conf", 87, 75, true},
            {"L_Name_Conf_L2", 87, 88, true}, {"L_Begin", 16, 84, true},    {"L_Step_1", 16, 128, true},
            {"L_Step_2", 16, 172, true},      {"L_Step_3", 16, 216, true},  {"L_Step_4", 16, 260, false},
            {"L_Step_5", 16, 304, false},     {"L_Step_6", 16, 348, false}, {"L_Step_7", 16, 392, false},
            {"L_Step_8", 16, 436, false},     {"L_Send_State", 16, 261, false},
        };
        for (const auto &l : labels)
            QTest::newRow(l.Name) << QString::fromLatin1(l.Name) << QRect(l.Left, l.Top, -1, -1) << l.Visible;
    }

    void Controls_stand_at_their_places()
    {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        QFETCH(bool, visible);
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        QCOMPARE(main->size(), QSize(694, 352));
        auto *control = main->findChild<QWidget *>(name);
        QVERIFY(control);
        if (place.width() < 0)
            QCOMPARE(control->pos(), place.topLeft());
        else
            QCOMPARE(control->geometry(), place);
        QCOMPARE(control->isVisible(), visible);
        // Whatever is shown fits in the window.
        if (visible)
            QVERIFY2(main->rect().contains(control->geometry()), qPrintable(name));
    }

    void Home_page_address_is_shown_inside_the_window_and_opens_the_browser()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        QLabel *velmora = Label(main, "L_Velmora");
        QVERIFY(velmora->isVisible());
        QVERIFY(main->rect().contains(velmora->geometry()));
        QTest::mouseClick(velmora, Qt::LeftButton);
        QCOMPARE(program.Opened_Pages,
                 QList<QUrl>{QUrl(Maker_Site + QStringLiteral("/HOME/default.asp?frompg=SW40926"))});
    }

    void Every_window_shows_exactly_its_caption_as_title_data()
    {
        QTest::addColumn<QString>("language");
        // main, about, new, open, options, settings, update, history
        QTest::addColumn<QStringList>("titles");
        const QString main = QStringLiteral("Velmora - Configurator SW40926 - Modbus Slave / Modbus Slave ");
        QTest::newRow("English") << QStringLiteral("English")
                                 << QStringList{main,
                                                QStringLiteral("About"),
                                                QStringLiteral("Create New Configuration"),
                                                QStringLiteral("Open Configuration"),
                                                QStringLiteral("Software Options"),
                                                QStringLiteral("Set Communication"),
                                                QStringLiteral("Update Device by Serial"),
                                                QStringLiteral("Update History")};
        QTest::newRow("a language of its own file") << QStringLiteral("Italiano")
                                                    << QStringList{main,
                                                                   QStringLiteral("About"),
                                                                   QStringLiteral("Crea nuova configurazione"),
                                                                   QStringLiteral("Apri configurazione"),
                                                                   QStringLiteral("Opzioni Software"),
                                                                   QStringLiteral("Imposta comunicazione"),
                                                                   QStringLiteral("Aggiorna dispositivo via seriale"),
                                                                   QStringLiteral("Cronologia aggiornamenti")};
    }

    void Every_window_shows_exactly_its_caption_as_title()
    {
        QFETCH(QString, language);
        QFETCH(QStringList, titles);
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("Quillon.xml"),
                              Settings_Xml(Group(QStringLiteral("lastlang"), QStringLiteral("language"), language))));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italian_Titles));
        DIRevevoriVezaDiva *main = program.Start();
        const QList<QWidget *> windows{
            main,          main->FAbout, main->FNew_Project, main->FOpenConf, main->FSoftOptions,
            main->FParGen, main->FBoot,  main->FHistory};
        for (int i = 0; i < windows.size(); ++i) {
            QWidget *window = windows[i];
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            // The title the window has and the one its platform window was given: nothing appended.
            QCOMPARE(window->windowTitle(), titles[i]);
            QCOMPARE(window->windowHandle()->title(), titles[i]);
            if (window != main)
                window->hide();
        }
    }

    void A_focused_button_is_pressed_by_Enter_in_every_window_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("outcome");
        const QString refused = QStringLiteral("closed: no; ") + Not_Valid;
        const int keypad = int(Qt::Key_Enter);
        QTest::newRow("main window, step 2")
            << QStringLiteral("main") << QStringLiteral("Btn_Prm_Gen") << int(Qt::Key_Return) << refused;
        QTest::newRow("main window, step 3 by the keypad's Enter")
            << QStringLiteral("main") << QStringLiteral("Btn_CreateBin") << keypad << refused;
        QTest::newRow("about box, OK") << QStringLiteral("about") << QStringLiteral("LbButton1") << int(Qt::Key_Return)
                                       << QStringLiteral("closed: accepted");
        QTest::newRow("open dialog, OK") << QStringLiteral("open") << QStringLiteral("Btn_OK") << int(Qt::Key_Return)
                                         << QStringLiteral("closed: accepted");
        QTest::newRow("open dialog, Cancel by the keypad's Enter")
            << QStringLiteral("open") << QStringLiteral("Btn_Cancel") << keypad << QStringLiteral("closed: rejected");
        QTest::newRow("new dialog, Cancel") << QStringLiteral("new") << QStringLiteral("Btn_Cancel")
                                            << int(Qt::Key_Return) << QStringLiteral("closed: rejected");
        QTest::newRow("new dialog, OK with no name: refused once")
            << QStringLiteral("new") << QStringLiteral("Btn_OK") << int(Qt::Key_Return)
            << QStringLiteral("closed: no; error: Error! Name Project is not valid");
        QTest::newRow("options dialog, Cancel") << QStringLiteral("options") << QStringLiteral("Btn_Cancel")
                                                << int(Qt::Key_Return) << QStringLiteral("closed: rejected");
        QTest::newRow("settings dialog, Cancel by the keypad's Enter")
            << QStringLiteral("settings") << QStringLiteral("Btn_Cancel") << keypad
            << QStringLiteral("closed: rejected");
        QTest::newRow("update dialog, Cancel") << QStringLiteral("update") << QStringLiteral("Btn_Cancel")
                                               << int(Qt::Key_Return) << QStringLiteral("closed: rejected");
        QTest::newRow("main window, History")
            << QStringLiteral("main") << QStringLiteral("Btn_History") << int(Qt::Key_Return) << refused;
        QTest::newRow("History window, OK") << QStringLiteral("history") << QStringLiteral("Btn_OK")
                                            << int(Qt::Key_Return) << QStringLiteral("closed: accepted");
    }

    void A_focused_button_is_pressed_by_Enter_in_every_window()
    {
        QFETCH(QString, window);
        QFETCH(QString, button);
        QFETCH(int, key);
        QFETCH(QString, outcome);
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Alpha")));
        DIRevevoriVezaDiva *main = program.Start();
        const Qt::KeyboardModifiers modifiers = key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        auto press = [&](QWidget *in) {
            QPushButton *target = in->findChild<QPushButton *>(button);
            QVERIFY(target);
            target->setFocus();
            QTest::keyClick(target, Qt::Key(key), modifiers);
        };
        QStringList seen;
        if (window == QLatin1String("main")) {
            press(main);
            seen.append(QStringLiteral("closed: no"));
        } else {
            const QHash<QString, QDialog *> dialogs{
                {QStringLiteral("about"), main->FAbout},     {QStringLiteral("new"), main->FNew_Project},
                {QStringLiteral("open"), main->FOpenConf},   {QStringLiteral("options"), main->FSoftOptions},
                {QStringLiteral("settings"), main->FParGen}, {QStringLiteral("update"), main->FBoot},
                {QStringLiteral("history"), main->FHistory}};
            QDialog *dialog = dialogs.value(window);
            bool closed = false;
            When_Shown(dialog, [&] {
                press(dialog);
                closed = !dialog->isVisible();
            });
            const int result = dialog->exec();
            seen.append(QStringLiteral("closed: ") + (!closed                       ? QStringLiteral("no")
                                                      : result == QDialog::Accepted ? QStringLiteral("accepted")
                                                                                    : QStringLiteral("rejected")));
        }
        seen.append(Shown_Texts());
        QCOMPARE(seen.join(QStringLiteral("; ")), outcome);
    }

    void The_configuration_box_shows_a_name_as_written_and_a_long_one_elided_in_the_middle()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        QLabel *line2 = Label(main, "L_Name_Conf_L2");
        const QRect frame = main->findChild<QWidget *>(QStringLiteral("Shape2"))->geometry();
        auto open = [&](const QString &name) {
            Conf_Name = name;
            Conf_Dir = Join_Path(Projects_Dir, name);
            main->Show_Configuration_Box();
        };
        open(QStringLiteral("<b>Bold</b>&amp;<br>"));
        QCOMPARE(line2->text(), QStringLiteral("<b>Bold</b>&amp;<br>"));
        QCOMPARE(line2->textFormat(), Qt::PlainText);
        QCOMPARE(line2->height(), Label(main, "L_Name_Conf")->height());

        const QString name = QStringLiteral("Line2_") + QString(120, u'x') + QStringLiteral("_end");
        open(name);
        QVERIFY2(frame.contains(line2->geometry()), qPrintable(line2->text()));
        QVERIFY(line2->text().startsWith(QStringLiteral("Line2_")));
        QVERIFY(line2->text().endsWith(QStringLiteral("_end")));
        QVERIFY(line2->text().contains(QChar(0x2026)));
        QCOMPARE(Shown_Tooltip(line2), name);

        // A change of language re-fits the box; a short name is shown whole again.
        main->Set_Lang();
        QCOMPARE(Shown_Tooltip(line2), name);
        open(QStringLiteral("Line2"));
        QCOMPARE(line2->text(), QStringLiteral("Line2"));
        QCOMPARE(Shown_Tooltip(line2), QString());
    }

    void Translated_captions_too_long_for_their_place_are_fitted_inside_it()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("Deutsch")))));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Deutsch.lng"),
                              "STR0 = Anfangsschritt\nSTR1 = Arbeitsschritt 1\n"
                              "STR9 = Keine Konfiguration geoeffnet, bitte zuerst eine Konfiguration anlegen\n"
                              "STR16 = Vorhandene Konfiguration oeffnen\n"
                              "STR102 = Name der neuen Konfiguration, wie er im Verzeichnis PROJECTS erscheint\n"));
        DIRevevoriVezaDiva *main = program.Start();
        QVERIFY(main->FNew_Project);
        const QRect frame = main->findChild<QWidget *>(QStringLiteral("Shape2"))->geometry();
        QVERIFY2(frame.contains(Label(main, "L_Name_Conf")->geometry()),
                 qPrintable(Label(main, "L_Name_Conf")->text()));
        // The step labels end before the step buttons.
        for (const char *name : {"L_Begin", "L_Step_1"})
            QVERIFY2(Label(main, name)->geometry().right() < 80, name);
        // Shrunk to fit, or at the floor size elided with the whole text in its tooltip.
        const QString name = QStringLiteral("Name der neuen Konfiguration, wie er im Verzeichnis PROJECTS erscheint");
        QLabel *label1 = Label(main->FNew_Project, "Label1");
        QVERIFY(main->FNew_Project->rect().contains(label1->geometry()));
        QVERIFY(label1->font().pixelSize() < Text_Pixel_Size);
        QCOMPARE(label1->text() == name ? name : Shown_Tooltip(label1), name);

        // The step button's caption is drawn fitted; its tooltip shows the caption whole before the hint.
        QPushButton *open = Button(main, "Btn_Open");
        QCOMPARE(open->text(), QStringLiteral("Vorhandene Konfiguration oeffnen"));
        open->grab();
        QCOMPARE(Shown_Tooltip(open), open->text() + QStringLiteral("\nOpen an exists configuration"));
        QCOMPARE(Shown_Tooltip(Button(main, "Btn_New")), QStringLiteral("Create a new configuration for the device"));
    }

    void Start_up_reads_the_settings_file_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<QString>("configurationDir");
        QTest::addColumn<QStringList>("box");
        QTest::addColumn<bool>("timer");
        QTest::addColumn<QStringList>("written");

        const QString english =
            Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("English"));
        const QString address =
            Group(QStringLiteral("lastipadd"), QStringLiteral("ipaddress"), QStringLiteral("10.0.0.7"));
        auto project = [](const QString &name) {
            return Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), name);
        };
        auto written = [](const QString &name, const QString &ip = QStringLiteral("10.0.0.7"),
                          const QString &language = QStringLiteral("English")) {
            QStringList lines = Default_Settings_Lines(name, language);
            lines[2] = QStringLiteral("Conf_Settings/lastipadd/ipaddress=") + ip;
            return lines;
        };

        QTest::newRow("a remembered configuration whose directory is gone is not opened but written back")
            << Settings_Xml(project(QStringLiteral("Gone")) + address + english + Flags_Off) << QString()
            << QStringList{None_Line_1, None_Line_2} << false << written(QStringLiteral("Gone"));
        QTest::newRow("a remembered configuration that still exists is opened")
            << Settings_Xml(project(QStringLiteral("Line2")) + address + english + Flags_Off)
            << QStringLiteral("PROJECTS/Line2") << QStringList{Open_Line_1, QStringLiteral("Line2")} << false
            << written(QStringLiteral("Line2"));
        QTest::newRow("a remembered name reaching outside PROJECTS is not opened")
            << Settings_Xml(project(QStringLiteral("../MASTER")) + address + english + Flags_Off) << QString()
            << QStringList{None_Line_1, None_Line_2} << false << written(QStringLiteral("../MASTER"));
        const QString blanked = QStringLiteral("Line 2 A");
        QTest::newRow("a name with blanks inside is kept with its blanks")
            << Settings_Xml(project(blanked) + address + english + Flags_Off) << QStringLiteral("PROJECTS/") + blanked
            << QStringList{Open_Line_1, blanked} << false << written(blanked);

        const QString someFlags =
            QStringLiteral("<lastinternet><enable_internet>%1</enable_internet><enable_update>%2</enable_update>"
                           "<enable_jump_field_tables>1</enable_jump_field_tables>"
                           "<Double_Click_Auto_Size>yes</Double_Click_Auto_Size></lastinternet>");
        QStringList flagsRead = written(QString());
        flagsRead[6] = QStringLiteral("Conf_Settings/lastinternet/enable_jump_field_tables=1");
        QTest::newRow("flags with the texts true or blank 1 are off")
            << Settings_Xml(project(QString()) + address + english +
                            someFlags.arg(QStringLiteral("true"), QStringLiteral(" 1")))
            << QString() << QStringList{None_Line_1, None_Line_2} << false << flagsRead;
        QStringList bothOn = flagsRead;
        bothOn[4] = QStringLiteral("Conf_Settings/lastinternet/enable_internet=1");
        bothOn[5] = QStringLiteral("Conf_Settings/lastinternet/enable_update=1");
        QTest::newRow("both internet flags on start the version check timer")
            << Settings_Xml(project(QString()) + address + english +
                            someFlags.arg(QStringLiteral("1"), QStringLiteral("1")))
            << QString() << QStringList{None_Line_1, None_Line_2} << true << bothOn;
        QStringList updateOnly = flagsRead;
        updateOnly[5] = QStringLiteral("Conf_Settings/lastinternet/enable_update=1");
        QTest::newRow("the update check without internet use leaves the timer off")
            << Settings_Xml(project(QString()) + address + english +
                            someFlags.arg(QStringLiteral("0"), QStringLiteral("1")))
            << QString() << QStringList{None_Line_1, None_Line_2} << false << updateOnly;

        QTest::newRow("a root of another name is read all the same")
            << Settings_Xml(project(QStringLiteral("Line2")) + address + english + Flags_Off, QStringLiteral("Other"))
            << QStringLiteral("PROJECTS/Line2") << QStringList{Open_Line_1, QStringLiteral("Line2")} << false
            << written(QStringLiteral("Line2"));
        QTest::newRow("lastinternet missing leaves the four flags off and the rest is read")
            << Settings_Xml(project(QStringLiteral("Line2")) + address + english) << QStringLiteral("PROJECTS/Line2")
            << QStringList{Open_Line_1, QStringLiteral("Line2")} << false << written(QStringLiteral("Line2"));
        // (Svenska: a language the program does not ship, so its file is missing in a new workspace too.)
        QTest::newRow("a language without a language file becomes English")
            << Settings_Xml(project(QString()) + address +
                            Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("Svenska")) +
                            Flags_Off)
            << QString() << QStringList{None_Line_1, None_Line_2} << false << written(QString());
        QTest::newRow("an empty address stays empty, missing groups take their defaults")
            << Settings_Xml(Group(QStringLiteral("lastipadd"), QStringLiteral("ipaddress"), QString())) << QString()
            << QStringList{None_Line_1, None_Line_2} << false << written(QString(), QString());
    }

    void Start_up_reads_the_settings_file()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, configurationDir);
        QFETCH(QStringList, box);
        QFETCH(bool, timer);
        QFETCH(QStringList, written);
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("Quillon.xml"), settings));
        if (!configurationDir.isEmpty())
            QVERIFY(program.Make_Dir(configurationDir));

        DIRevevoriVezaDiva *main = program.Start();
        QCOMPARE(Box(main), box);
        QCOMPARE(Conf_Dir.isEmpty(), configurationDir.isEmpty());
        if (!configurationDir.isEmpty()) {
            QCOMPARE(QDir::fromNativeSeparators(Conf_Dir), program.Path(configurationDir));
            QCOMPARE(QDir::fromNativeSeparators(ParGen_File),
                     program.Path(configurationDir + QStringLiteral("/ParGen.xml")));
        }
        QCOMPARE(main->Timer_Update->isActive(), timer);
        QCOMPARE(main->Timer_Update->interval(), 60000);
        QVERIFY(main->Start_Up_Problems().isEmpty());

        main->close();
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))), written);
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void A_malformed_settings_file_gives_the_defaults_and_is_reported_once_after_start_up()
    {
        TProgram_Fixture program;
        const QByteArray broken = "<Conf_Settings><lastproj><projectname>Line2</projectname>";
        QVERIFY(program.Write(QStringLiteral("Quillon.xml"), broken));
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2")));
        DIRevevoriVezaDiva *main = program.Start();

        // The start-up ran to its end with the values of a first start.
        QCOMPARE(Box(main), (QStringList{None_Line_1, None_Line_2}));
        QCOMPARE(Button(main, "Btn_Open")->text(), QStringLiteral("Open Configuration"));
        QCOMPARE(main->FNew_Project->windowTitle(), QStringLiteral("Create New Configuration"));
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(main->Start_Up_Problems().size(), 1);

        main->Report_Start_Up_Problems();
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")), qPrintable(shown[0]));
        main->Report_Start_Up_Problems();
        QCOMPARE(Shown_Texts(), QStringList());

        // The unreadable file is kept before the save replaces it.
        main->close();
        QCOMPARE(program.Read(QStringLiteral("Quillon.xml.bak")), broken);
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))), Default_Settings_Lines());
    }

    void A_provision_a_killed_run_left_is_undone_at_start_up_and_reported()
    {
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/.provision-Ab12Cd/1/bin")));
        DIRevevoriVezaDiva *main = program.Start();
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/.provision-Ab12Cd")));
        main->Report_Start_Up_Problems();
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(QStringLiteral("a provision that ended before its commit was undone")),
                 qPrintable(shown[0]));
    }

    void A_workspace_that_cannot_be_created_is_reported_after_a_complete_start_up()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("file"), "not a directory"));
        const QString workspace = program.Path(QStringLiteral("file/Quillon"));
        const std::unique_ptr<DIRevevoriVezaDiva> main = Create_Program_Windows(workspace);
        QCOMPARE(Box(main.get()), (QStringList{None_Line_1, None_Line_2}));
        main->Report_Start_Up_Problems();
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: Cannot create the workspace ") +
                                     QDir::toNativeSeparators(workspace) + QStringLiteral(": Not a directory")),
                 qPrintable(shown[0]));
    }

    void A_language_file_captions_the_windows_and_a_change_of_language_recaptions_them()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("Italiano")))));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"),
                              "STR9 = Nessuna configurazione aperta\nSTR15 = Nuova configurazione\n"
                              "STR100 = Crea nuova configurazione\nSTR200 = Apri configurazione\n"));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Deutsch.lng"),
                              "STR9 = Keine Konfiguration offen\nSTR102 = Name der neuen Konfiguration\n"
                              "STR203 = Oeffnen\n"));
        DIRevevoriVezaDiva *main = program.Start();
        QCOMPARE(Language_Name, QStringLiteral("Italiano"));
        QCOMPARE(Button(main, "Btn_New")->text(), QStringLiteral("Nuova configurazione"));
        QCOMPARE(Box(main), (QStringList{QStringLiteral("Nessuna configurazione aperta"), None_Line_2}));
        QCOMPARE(main->FNew_Project->windowTitle(), QStringLiteral("Crea nuova configurazione"));
        QCOMPARE(main->FOpenConf->windowTitle(), QStringLiteral("Apri configurazione"));

        // What the options dialog does when the user picks a language.
        Language_Name = QStringLiteral("Deutsch");
        Load_Language();
        main->Change_Language();
        QCOMPARE(Button(main, "Btn_New")->text(), QStringLiteral("New Configuration"));
        QCOMPARE(Box(main), (QStringList{QStringLiteral("Keine Konfiguration offen"), None_Line_2}));
        QCOMPARE(main->FNew_Project->windowTitle(), QStringLiteral("Create New Configuration"));
        QCOMPARE(Label(main->FNew_Project, "Label1")->text(), QStringLiteral("Name der neuen Konfiguration"));
        QCOMPARE(Button(main->FOpenConf, "Btn_OK")->text(), QStringLiteral("Oeffnen"));
        // The about box keeps its fixed texts.
        QCOMPARE(Label(main->FAbout, "Label6")->text(), QStringLiteral("Software Code : "));
    }

    void An_unreadable_language_file_is_reported_after_a_complete_start_up_in_English()
    {
#ifdef Q_OS_WIN
        QSKIP("the attributes Qt sets on Windows cannot make a file unreadable");
#endif
        TProgram_Fixture program;
        const QString language = program.Path(QStringLiteral("LANGUAGE/Italiano.lng"));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), "STR15 = Nuova configurazione\n"));
        QVERIFY(QFile::setPermissions(language, QFile::Permissions()));
        if (QFile file(language); file.open(QIODevice::ReadOnly)) {
#ifdef Q_OS_LINUX
            // Permissions do not stop this user: a file whose reading fails instead.
            file.close();
            QVERIFY(QFile::remove(language));
            QVERIFY(QFile::link(QStringLiteral("/proc/self/mem"), language));
#else
            QSKIP("this user reads every file");
#endif
        }
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2")));
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), QStringLiteral("Line2")) +
                         Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("Italiano")))));
        DIRevevoriVezaDiva *main = program.Start();
        QFile::setPermissions(language, QFile::ReadOwner | QFile::WriteOwner);

        // The start-up went on to its end: English texts, the configuration restored, the dialogs captioned.
        QCOMPARE(Button(main, "Btn_New")->text(), QStringLiteral("New Configuration"));
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Line2")}));
        QCOMPARE(main->FOpenConf->windowTitle(), QStringLiteral("Open Configuration"));
        QCOMPARE(Shown_Texts(), QStringList());
        main->Report_Start_Up_Problems();
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].contains(QStringLiteral("Italiano.lng")),
                 qPrintable(shown[0]));
    }

    void Steps_2_and_3_are_refused_while_no_configuration_is_open_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("Set Communication") << QStringLiteral("Btn_Prm_Gen");
        QTest::newRow("Update Device") << QStringLiteral("Btn_CreateBin");
    }

    void Steps_2_and_3_are_refused_while_no_configuration_is_open()
    {
        QFETCH(QString, button);
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2/bin")));
        DIRevevoriVezaDiva *main = program.Start();
        Click(main, qPrintable(button));
        QCOMPARE(Shown_Texts(), QStringList{Not_Valid});
        QVERIFY(QDir(program.Path(QStringLiteral("PROJECTS/Line2/bin"))).isEmpty());
        QVERIFY(main->isVisible());
    }

    void Step_3_rebuilds_the_configuration_files_data()
    {
        QTest::addColumn<QByteArray>("parGen");
        QTest::addColumn<int>("paramSize");
        QTest::addColumn<int>("formType");
        QTest::newRow("without ParGen.xml: the 4-byte block and the serial form") << QByteArray() << 4 << 0;
        QTest::newRow("a device with Ethernet port: the Ethernet form")
            << QByteArray("<Par_Gen><Device_Type_Type>1</Device_Type_Type></Par_Gen>") << 17 << 1;
        QTest::newRow("a device without Ethernet port: the serial form")
            << QByteArray("<Par_Gen><Device_Type_Type>0</Device_Type_Type></Par_Gen>") << 17 << 0;
    }

    void Step_3_rebuilds_the_configuration_files()
    {
        QFETCH(QByteArray, parGen);
        QFETCH(int, paramSize);
        QFETCH(int, formType);
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), QStringLiteral("Line2")))));
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2/bin")));
        if (!parGen.isEmpty())
            QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), parGen));
        DIRevevoriVezaDiva *main = program.Start();

        // The update dialog opens once the files are written, in the form of the device type.
        int shownForm = -1;
        QByteArray bankK;
        When_Shown(main->FBoot, [&] {
            shownForm = main->FBoot->Form_Type;
            bankK = program.Read(QStringLiteral("PROJECTS/Line2/bin/bankK.bin"));
        });
        Click(main, "Btn_CreateBin");
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Read(QStringLiteral("PROJECTS/Line2/bin/bank.bin")).size(), paramSize);
        QCOMPARE(bankK.size(), 2048);
        QCOMPARE(shownForm, formType);
        // With a configuration open, step 2 shows the settings dialog; Cancel there writes nothing.
        When_Shown(main->FParGen, [main] { QTest::mouseClick(main->FParGen->Btn_Cancel, Qt::LeftButton); });
        Click(main, "Btn_Prm_Gen");
        QCOMPARE(main->FParGen->result(), int(QDialog::Rejected));
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Exists(QStringLiteral("PROJECTS/Line2/ParGen.xml")), !parGen.isEmpty());
    }

    void A_failing_step_3_is_reported_and_the_program_goes_on_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("bin cannot be written") << QStringLiteral("bin is a file");
        QTest::newRow("ParGen.xml is not well formed") << QStringLiteral("broken ParGen.xml");
    }

    void A_failing_step_3_is_reported_and_the_program_goes_on()
    {
        QFETCH(QString, obstacle);
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), QStringLiteral("Line2")))));
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2")));
        if (obstacle == u"bin is a file")
            QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/bin"), "not a directory"));
        else
            QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), "<Par_Gen><Port_0_Baud>3"));
        DIRevevoriVezaDiva *main = program.Start();

        // The update dialog does not open after a failure.
        bool opened = false;
        When_Shown(main->FBoot, [&] { opened = true; });
        Click(main, "Btn_CreateBin");
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")) && shown[0].size() > 10, qPrintable(shown[0]));
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")));
        QVERIFY(!opened);

        // The program goes on: once the obstacle is gone the same click does its work.
        QVERIFY(main->isVisible());
        QVERIFY(
            QFile::remove(program.Path(obstacle == u"bin is a file" ? QStringLiteral("PROJECTS/Line2/bin")
                                                                    : QStringLiteral("PROJECTS/Line2/ParGen.xml"))));
        When_Shown(main->FBoot, [&] { opened = true; });
        Click(main, "Btn_CreateBin");
        QVERIFY(opened);
        QCOMPARE(Shown_Texts(), QStringList());
        QCOMPARE(program.Read(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")).size(), 2048);
    }

    void A_new_configuration_typed_with_Enter_is_opened_and_remembered_at_the_next_start()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        TFNew_Project *dialog = main->FNew_Project;
        When_Shown(dialog, [dialog] {
            QTest::keyClicks(dialog->E_New_Proj, QStringLiteral("Line2"));
            QTest::keyClick(dialog->E_New_Proj, Qt::Key_Return);
        });
        Click(main, "Btn_New");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Line2")}));
        QVERIFY(QFileInfo(program.Path(QStringLiteral("PROJECTS/Line2/bin"))).isDir());
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/Line2/ParGen.xml")));
        // Remembered at once: a program killed now starts again with Line2.
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QStringLiteral("Line2")));
        Click(main, "Btn_Close");
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QStringLiteral("Line2")));

        // The next start.
        program.Main.reset();
        Reset_Shared_State();
        main = program.Start();
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Line2")}));
        QCOMPARE(Conf_Name, QStringLiteral("Line2"));
    }

    void A_cancelled_new_configuration_changes_nothing()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        TFNew_Project *dialog = main->FNew_Project;
        When_Shown(dialog, [dialog] {
            QTest::keyClicks(dialog->E_New_Proj, QStringLiteral("Line2"));
            QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        Click(main, "Btn_New");
        QCOMPARE(dialog->result(), int(QDialog::Rejected));
        QCOMPARE(Box(main), (QStringList{None_Line_1, None_Line_2}));
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/Line2")));
    }

    void The_state_line_tells_what_the_open_configuration_sent_data()
    {
        QTest::addColumn<QStringList>("runs"); // "kind target ending [off]" (off: read back off), oldest first
        QTest::addColumn<bool>("changed");     // ParGen.xml changed since
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("warning");
        QTest::newRow("never sent") << QStringList() << false << QStringLiteral("Never sent") << false;
        QTest::newRow("in sync") << QStringList{QStringLiteral("serial ttyUSB0 success")} << false
                                 << QStringLiteral("In sync: sent to ttyUSB0 on %1, read back on") << false;
        QTest::newRow("in sync without read back")
            << QStringList{QStringLiteral("ethernet 10.1.2.105 success off")} << false
            << QStringLiteral("In sync: sent to 10.1.2.105 on %1, read back off") << false;
        QTest::newRow("changed since, by the field's name")
            << QStringList{QStringLiteral("serial ttyUSB0 success")} << true
            << QStringLiteral("Sent to ttyUSB0 on %1, read back on; changed since: Port 0 baud rate, Port_0_DevID")
            << true;
        QTest::newRow("failed") << QStringList{QStringLiteral("serial ttyUSB0 failed")} << false
                                << QStringLiteral("Last update failed (exit code 3) on %1") << true;
        QTest::newRow("failed after a success")
            << QStringList{QStringLiteral("serial ttyUSB0 success"), QStringLiteral("serial ttyS0 failed")} << false
            << QStringLiteral("Last update failed (exit code 3) on %2; last sent to ttyUSB0 on %1") << true;
        QTest::newRow("a success after a failure")
            << QStringList{QStringLiteral("serial ttyS0 failed"), QStringLiteral("serial ttyUSB0 success")} << false
            << QStringLiteral("In sync: sent to ttyUSB0 on %2, read back on") << false;
    }

    void The_state_line_tells_what_the_open_configuration_sent()
    {
        QFETCH(QStringList, runs);
        QFETCH(bool, changed);
        QFETCH(QString, line);
        QFETCH(bool, warning);
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), QStringLiteral("Line2")))));
        QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), Saved_ParGen(0)));
        QList<TSent_Run> kept;
        for (const QString &run : runs) {
            const QStringList part = run.split(u' ');
            const bool success = part[2] == u"success";
            kept.append(Keep_Run(program.Path(QStringLiteral("PROJECTS/Line2")), part[0], part[1],
                                 success ? TRun_Ending::Success : TRun_Ending::Failed, success ? 0 : 3, 2,
                                 part.value(3) != u"off", Run_Time(kept.size())));
        }
        if (changed)
            QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"),
                                  Saved_ParGen(0, {{QStringLiteral("Port_0_Baud"), QStringLiteral("3")},
                                                   {QStringLiteral("Port_0_DevID"), QStringLiteral("5")}})));
        DIRevevoriVezaDiva *main = program.Start();
        QLabel *state = Label(main, "L_Send_State");
        const QString expected = With_Times(line, kept);
        QCOMPARE(state->text(), expected);
        QVERIFY(state->isVisible());
        QVERIFY(main->rect().contains(state->geometry()));
        QCOMPARE(state->accessibleName(), expected);
        QCOMPARE(state->palette().color(QPalette::WindowText),
                 Look_Colour(warning ? TText_Colour::Warning : TText_Colour::Text));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void The_state_line_follows_opening_saving_and_updating()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), Saved_ParGen(0)));
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Zeta")));
        QVERIFY(program.Write(QStringLiteral("MASTER/sim40926.sim"), "serial firmware"));
        const TSent_Run first = Keep_Run(program.Path(QStringLiteral("PROJECTS/Line2")), QStringLiteral("serial"),
                                         QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        DIRevevoriVezaDiva *main = program.Start();
        QLabel *state = Label(main, "L_Send_State");
        QVERIFY(!state->isVisible());
        const auto open = [main](int row) {
            When_Shown(main->FOpenConf, [main, row] {
                main->FOpenConf->ListBox1->setCurrentRow(row);
                QTest::mouseClick(main->FOpenConf->Btn_OK, Qt::LeftButton);
            });
            Click(main, "Btn_Open");
        };
        open(0);
        QCOMPARE(state->text(), With_Times(QStringLiteral("In sync: sent to ttyUSB0 on %1, read back on"), {first}));

        // Step 2 saves a change.
        When_Shown(main->FParGen, [main] {
            main->FParGen->findChild<QComboBox *>(QStringLiteral("CB_Port0_Baudrate"))->setCurrentIndex(3);
            QTest::mouseClick(main->FParGen->Btn_OK, Qt::LeftButton);
        });
        Click(main, "Btn_Prm_Gen");
        QCOMPARE(state->text(),
                 With_Times(QStringLiteral("Sent to ttyUSB0 on %1, read back on; changed since: Port 0 baud rate"),
                            {first}));
        QCOMPARE(state->palette().color(QPalette::WindowText), Look_Colour(TText_Colour::Warning));

        // An update sends it.
        QVERIFY(Install_Stand_In(program.Dir.path(), Serial_Updater_Base));
        main->FBoot->Port_Source = [] {
            return QList<TSerial_Port>{{QStringLiteral("ttyUSB1"), QStringLiteral("/dev/ttyUSB1"),
                                        QStringLiteral("USB-Serial Controller"), QString(), QString()}};
        };
        main->FBoot->Port_Check = [](const QString &) { return QString(); };
        When_Shown(main->FBoot, [main] { QTest::mouseClick(main->FBoot->Btn_Update, Qt::LeftButton); });
        Click(main, "Btn_CreateBin");
        QCOMPARE(Shown_Texts().size(), 1);
        const QList<TSent_Run> kept = Read_Sent_Runs(Conf_Dir);
        QCOMPARE(kept.size(), 2);
        QCOMPARE(state->text(), With_Times(QStringLiteral("In sync: sent to ttyUSB1 on %1, read back on"), {kept[0]}));
        QCOMPARE(state->palette().color(QPalette::WindowText), Look_Colour(TText_Colour::Text));

        // Another configuration opened: its own state.
        open(1);
        QCOMPARE(Conf_Name, QStringLiteral("Zeta"));
        QCOMPARE(state->text(), QStringLiteral("Never sent"));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void The_open_dialog_opens_the_chosen_configuration()
    {
        TProgram_Fixture program;
        for (const char *dir : {"PROJECTS/Alpha", "PROJECTS/Line2", "PROJECTS/Zeta"})
            QVERIFY(program.Make_Dir(QLatin1String(dir)));
        DIRevevoriVezaDiva *main = program.Start();
        TFOpenConf *dialog = main->FOpenConf;
        When_Shown(dialog, [dialog] {
            QTest::keyClick(dialog->ListBox1, Qt::Key_Down);
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        Click(main, "Btn_Open");
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Line2")}));
        QCOMPARE(Conf_Name, QStringLiteral("Line2"));
        QCOMPARE(QDir::fromNativeSeparators(ParGen_File), program.Path(QStringLiteral("PROJECTS/Line2/ParGen.xml")));
        // Remembered at once, not only at close.
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QStringLiteral("Line2")));
        When_Shown(main->FBoot, [] {});
        Click(main, "Btn_CreateBin");
        QCOMPARE(Shown_Texts(), QStringList());
        QVERIFY(program.Exists(QStringLiteral("PROJECTS/Line2/bin/bankK.bin")));
    }

    void Cancel_in_the_open_dialog_keeps_the_open_configuration()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastproj"), QStringLiteral("projectname"), QStringLiteral("Zeta")))));
        for (const char *dir : {"PROJECTS/Alpha", "PROJECTS/Zeta"})
            QVERIFY(program.Make_Dir(QLatin1String(dir)));
        DIRevevoriVezaDiva *main = program.Start();
        TFOpenConf *dialog = main->FOpenConf;
        When_Shown(dialog, [dialog] {
            QTest::keyClick(dialog->ListBox1, Qt::Key_Up);
            QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        Click(main, "Btn_Open");
        QCOMPARE(dialog->Name_Conf, QStringLiteral("Alpha"));
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Zeta")}));
        QCOMPARE(Conf_Name, QStringLiteral("Zeta"));
        QCOMPARE(QDir::fromNativeSeparators(Conf_Dir), program.Path(QStringLiteral("PROJECTS/Zeta")));
    }

    void Ok_in_an_empty_open_dialog_leaves_no_configuration_open()
    {
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2")));
        DIRevevoriVezaDiva *main = program.Start();
        TFOpenConf *dialog = main->FOpenConf;
        // A first showing chooses Line2, which is then deleted behind the program's back.
        When_Shown(dialog, [dialog] { QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton); });
        Click(main, "Btn_Open");
        QCOMPARE(Box(main), (QStringList{Open_Line_1, QStringLiteral("Line2")}));
        QVERIFY(QDir(program.Path(QStringLiteral("PROJECTS/Line2"))).removeRecursively());

        When_Shown(dialog, [dialog] { QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton); });
        Click(main, "Btn_Open");
        QCOMPARE(dialog->result(), int(QDialog::Accepted));
        QCOMPARE(Box(main), (QStringList{None_Line_1, None_Line_2}));
        QVERIFY(Conf_Name.isEmpty());
        QVERIFY(Conf_Dir.isEmpty());
        Click(main, "Btn_Prm_Gen");
        Click(main, "Btn_CreateBin");
        QCOMPARE(Shown_Texts(), (QStringList{Not_Valid, Not_Valid}));
    }

    void The_dialogs_come_after_the_first_paint_in_the_language_then_in_force()
    {
        TProgram_Fixture program;
        QVERIFY(program.Write(
            QStringLiteral("Quillon.xml"),
            Settings_Xml(Group(QStringLiteral("lastlang"), QStringLiteral("language"), QStringLiteral("Italiano")))));
        QVERIFY(program.Write(QStringLiteral("LANGUAGE/Italiano.lng"), Italian_Titles));
        DIRevevoriVezaDiva *main = program.Start_As_The_Program();
        QVERIFY(!main->FAbout);
        QVERIFY(QTest::qWaitForWindowExposed(main));
        QTRY_VERIFY(main->FBoot);
        const QList<QWidget *> dialogs{main->FAbout,  main->FNew_Project, main->FOpenConf, main->FSoftOptions,
                                       main->FParGen, main->FBoot,        main->FHistory};
        const QStringList titles{QStringLiteral("About"),
                                 QStringLiteral("Crea nuova configurazione"),
                                 QStringLiteral("Apri configurazione"),
                                 QStringLiteral("Opzioni Software"),
                                 QStringLiteral("Imposta comunicazione"),
                                 QStringLiteral("Aggiorna dispositivo via seriale"),
                                 QStringLiteral("Cronologia aggiornamenti")};
        for (int i = 0; i < dialogs.size(); ++i) {
            QVERIFY(dialogs[i]);
            QCOMPARE(dialogs[i]->parent(), main);
            QCOMPARE(dialogs[i]->windowTitle(), titles[i]);
        }
        // Made once: the first paints of the dialogs create nothing more.
        main->FAbout->show();
        QVERIFY(QTest::qWaitForWindowExposed(main->FAbout));
        QCOMPARE(main->findChildren<QDialog *>(Qt::FindDirectChildrenOnly).size(), 7);
    }

    void A_click_before_the_first_paint_has_the_dialogs_made_first()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start_As_The_Program();
        QVERIFY(!main->FAbout);
        // The information button at once, before the window was painted: the about box opens.
        QPointer<QWidget> shown;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                shown = modal;
                modal->close();
            }
        });
        closer.start(5);
        Click(main, "Btn_Info");
        QVERIFY(main->FAbout);
        QCOMPARE(shown.data(), main->FAbout);
    }

    void The_information_button_shows_the_about_box()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        bool shown = false;
        When_Shown(main->FAbout, [&] {
            shown = true;
            QTest::mouseClick(Button(main->FAbout, "LbButton1"), Qt::LeftButton);
        });
        Click(main, "Btn_Info");
        QVERIFY(shown);
        QVERIFY(!main->FAbout->isVisible());
        // The options button shows the options dialog; closed with Cancel it writes nothing.
        bool optionsShown = false;
        When_Shown(main->FSoftOptions, [&] {
            optionsShown = true;
            QTest::mouseClick(Button(main->FSoftOptions, "Btn_Cancel"), Qt::LeftButton);
        });
        Click(main, "Btn_Opz");
        QVERIFY(optionsShown);
        QCOMPARE(Shown_Texts(), QStringList());
        QVERIFY(!program.Exists(QStringLiteral("Quillon.xml")));
    }

    void The_close_box_writes_the_settings_file()
    {
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Line2")));
        DIRevevoriVezaDiva *main = program.Start();
        Conf_Name = QStringLiteral("Line2");
        Last_IP_Address = QStringLiteral("192.168.2.9");
        // As the desktop does it: a close request to the window.
        QVERIFY(main->windowHandle()->close());
        QVERIFY(!main->isVisible());
        QStringList expected = Default_Settings_Lines(QStringLiteral("Line2"));
        expected[2] = QStringLiteral("Conf_Settings/lastipadd/ipaddress=192.168.2.9");
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))), expected);
    }

    void A_settings_file_that_cannot_be_written_is_reported_and_the_window_closes()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        // Something the save cannot replace: a directory of the file's name.
        QVERIFY(program.Make_Dir(QStringLiteral("Quillon.xml")));
        Click(main, "Btn_Close");
        QVERIFY(!main->isVisible());
        const QStringList shown = Shown_Texts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].startsWith(QStringLiteral("error: ")), qPrintable(shown[0]));
        // The end of the message loop does not try a second time.
        main->About_To_Quit();
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void The_end_of_the_message_loop_writes_the_settings_once()
    {
        TProgram_Fixture program;
        DIRevevoriVezaDiva *main = program.Start();
        // The session ended without closing the window.
        main->About_To_Quit();
        QCOMPARE(Settings_Lines(program.Read(QStringLiteral("Quillon.xml"))), Default_Settings_Lines());
        QVERIFY(QFile::remove(program.Path(QStringLiteral("Quillon.xml"))));
        main->About_To_Quit();
        QVERIFY(!program.Exists(QStringLiteral("Quillon.xml")));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void File_work_runs_off_the_window_thread_and_the_window_takes_no_input_meanwhile()
    {
        QWidget window;
        auto *button = new QPushButton(QStringLiteral("Go"), &window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        int clicks = 0;
        connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
        // While the work runs (slow, as on a slow disk): the window's timers run, a click and a close are
        // dropped, and the button shows disabled.
        int ticks = 0;
        QTimer probe;
        probe.setInterval(20);
        connect(&probe, &QTimer::timeout, [&ticks] { ++ticks; });
        bool greyed = false;
        QTimer::singleShot(10, [&] {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::keyClick(button, Qt::Key_Space);
            window.close();
        });
        QTimer::singleShot(250, [&] { greyed = !button->isEnabled(); });
        QThread *worker = nullptr;
        probe.start();
        Run_File_Work(&window, [&worker] {
            worker = QThread::currentThread();
            QThread::msleep(400);
        });
        probe.stop();
        QVERIFY(worker && worker != QThread::currentThread());
        // The next piece of work runs on the same thread: none is made and ended for each.
        QThread *next = nullptr;
        Run_File_Work(&window, [&next] { next = QThread::currentThread(); });
        QCOMPARE(next, worker);
        QVERIFY(ticks > 0);
        QVERIFY(greyed);
        QCOMPARE(clicks, 0);
        QVERIFY(window.isVisible());
        QVERIFY(button->isEnabled());
        // Afterwards the window takes input again, and what the work threw comes out here.
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(clicks, 1);
        try {
            Run_File_Work(&window, [] { throw EQuillon_Error(QStringLiteral("Cannot write bank.bin: No space")); });
            QFAIL("no error raised");
        } catch (const EQuillon_Error &error) {
            QCOMPARE(error.Text(), QStringLiteral("Cannot write bank.bin: No space"));
        }
        QVERIFY(window.isEnabled());
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UDavaroroFirmWare)
#include "test_UDavaroroFirmWare.moc"
