// The History window driven offscreen from the main window and the update dialog: the kept runs newest first
// with what they sent and how they ended, damaged records with why, the differences of the selected run from
// the configuration now, and its folder.

#include "UWindow_Test_Support.h"

#include "UBoot.h"
#include "UHistory.h"
#include "UKept_Run.h"
#include "ULanguage.h"
#include "UParGen_Fixture.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTreeWidget>

namespace {

const QString Not_Valid = QStringLiteral("error: Error! Project not Valid");

// A program directory with the configuration Line2 open.
struct THistory_Fixture
{
    TProgram_Fixture Program;
    DIRevevoriVezaDiva *Main = nullptr;
    TFHistory *History = nullptr;
    QList<QUrl> Opened;
    bool Opener_Works = true;

    explicit THistory_Fixture(const QByteArray &parGen = Saved_ParGen(0))
    {
        Program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), parGen);
        Main = Program.Start();
        Conf_Name = QStringLiteral("Line2");
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        History = Main->FHistory;
        History->Folder_Opener = [this](const QUrl &url) {
            Opened.append(url);
            return Opener_Works;
        };
    }

    TSent_Run Keep(const QString &target, TRun_Ending ending, std::optional<int> exitCode = 0, int option = 2)
    {
        return Keep_Run(Conf_Dir, target.contains(u'.') ? QStringLiteral("ethernet") : QStringLiteral("serial"), target,
                        ending, exitCode, option);
    }

    // The main window's History button; drive runs while the window is shown.
    void Open(std::function<void()> drive)
    {
        When_Shown(History, std::move(drive));
        QTest::mouseClick(Main->Btn_History, Qt::LeftButton);
    }

    // The runs list, a row as its cells joined by " | ".
    QStringList Rows() const
    {
        QStringList rows;
        for (int i = 0; i < History->LB_Runs->topLevelItemCount(); ++i) {
            const QTreeWidgetItem *item = History->LB_Runs->topLevelItem(i);
            QStringList cells;
            for (int column = 0; column < item->columnCount(); ++column)
                cells.append(item->text(column));
            rows.append(cells.join(QStringLiteral(" | ")));
        }
        return rows;
    }

    QStringList Differences() const
    {
        QStringList lines;
        for (int i = 0; i < History->LB_Differences->count(); ++i)
            lines.append(History->LB_Differences->item(i)->text());
        return lines;
    }
};

} // namespace

class Test_UHistory : public QObject
{
    Q_OBJECT

private slots:
    void Runs_are_listed_newest_first_with_what_they_sent_and_how_they_ended()
    {
        THistory_Fixture f;
        const TSent_Run runs[] = {
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Success, 0, 0),
            f.Keep(QStringLiteral("10.1.2.105"), TRun_Ending::Failed, 3, 2),
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Crashed, std::nullopt, 1),
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Cancelled, std::nullopt),
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Limit, std::nullopt),
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Not_Started, std::nullopt),
            f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Unknown, std::nullopt),
        };
        // A record later than all of them that is no record at all.
        QVERIFY(f.Program.Write(QStringLiteral("PROJECTS/Line2/sent/20990101T000000Z-1/run.json"), "{not json"));
        QStringList rows;
        QString title;
        QString described;
        QWidget *focused = nullptr;
        QString selected;
        f.Open([&] {
            rows = f.Rows();
            title = f.History->windowTitle();
            described = f.History->L_SW_Desc->text();
            focused = f.History->focusWidget();
            selected = f.History->LB_Runs->currentItem() ? f.History->LB_Runs->currentItem()->text(0) : QString();
        });
        QCOMPARE(title, QStringLiteral("Update History"));
        QCOMPARE(described, QStringLiteral("Configuration: Line2"));
        QCOMPARE(focused, f.History->LB_Runs);
        QCOMPARE(selected, QStringLiteral("20990101T000000Z-1"));
        const auto time = [&runs](int i) { return Shown_Run_Time(runs[i].Started); };
        QCOMPARE(rows.size(), 8);
        QVERIFY2(rows[0].startsWith(QStringLiteral("20990101T000000Z-1 | \u2013 | \u2013 | damaged record: run.json is "
                                                   "not JSON")),
                 qPrintable(rows[0]));
        QCOMPARE(rows.mid(1),
                 (QStringList{time(6) + QStringLiteral(" | ttyUSB0 | Configuration | end unknown"),
                              time(5) + QStringLiteral(" | ttyUSB0 | Configuration | not started"),
                              time(4) + QStringLiteral(" | ttyUSB0 | Configuration | no longer awaited"),
                              time(3) + QStringLiteral(" | ttyUSB0 | Configuration | cancelled"),
                              time(2) + QStringLiteral(" | ttyUSB0 | Firmware | crashed"),
                              time(1) + QStringLiteral(" | 10.1.2.105 | Configuration | exit code 3"),
                              time(0) + QStringLiteral(" | ttyUSB0 | Firmware + Configuration | success")}));
        const QTreeWidgetItem *header = f.History->LB_Runs->headerItem();
        QCOMPARE((QStringList{header->text(0), header->text(1), header->text(2), header->text(3)}),
                 (QStringList{QStringLiteral("Time"), QStringLiteral("Target"), QStringLiteral("Sent"),
                              QStringLiteral("Ending")}));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void A_selected_run_shows_its_differences_from_the_configuration_now()
    {
        THistory_Fixture f(Saved_ParGen(1));
        f.Keep(QStringLiteral("10.1.2.105"), TRun_Ending::Success);
        // Changed since, and sent again as it now is.
        QVERIFY(f.Program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"),
                                Saved_ParGen(1, {{QStringLiteral("Port_0_Baud"), QStringLiteral("3")},
                                                 {QStringLiteral("Port_0_Par"), QStringLiteral("2")},
                                                 {QStringLiteral("Port_0_DevID"), QStringLiteral("17")},
                                                 {QStringLiteral("Port_0_BroadCast"), QStringLiteral("1")},
                                                 {QStringLiteral("Ethernet_IP4"), QStringLiteral("9")}})));
        f.Keep(QStringLiteral("10.1.2.105"), TRun_Ending::Success);
        QStringList newest;
        QStringList older;
        bool folderUsable = false;
        f.Open([&] {
            newest = f.Differences();
            folderUsable = f.History->Btn_Open_Folder->isEnabled();
            // The older run, by the keyboard.
            QTest::keyClick(f.History->LB_Runs, Qt::Key_Down);
            older = f.Differences();
        });
        QCOMPARE(newest, QStringList{QStringLiteral("None: the configuration now is what this update sent.")});
        QVERIFY(folderUsable);
        QCOMPARE(older, (QStringList{QStringLiteral("Port 0 baud rate: 115200 \u2192 9600"),
                                     QStringLiteral("Port 0 parity: NONE \u2192 ODD"),
                                     QStringLiteral("Port_0_DevID: 1 \u2192 17"),
                                     QStringLiteral("Port 0 broadcast: No \u2192 Yes"),
                                     QStringLiteral("IP Address, byte 4 of 4: 10 \u2192 9")}));
        QCOMPARE(f.History->L_Differences->text(),
                 QStringLiteral("Differences between this update and the configuration now (sent \u2192 now):"));
    }

    void What_cannot_be_compared_says_why_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("why");
        QTest::newRow("a kept image changed since") << QStringLiteral("image") << QStringLiteral("the images kept in ");
        QTest::newRow("a configuration that no longer builds")
            << QStringLiteral("ParGen.xml") << QStringLiteral("ParGen.xml");
        QTest::newRow("a damaged record") << QStringLiteral("run.json") << QStringLiteral("run.json is not JSON");
    }

    void What_cannot_be_compared_says_why()
    {
        QFETCH(QString, damage);
        QFETCH(QString, why);
        THistory_Fixture f;
        const TSent_Run run = f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        if (damage == u"image") {
            QByteArray bank =
                f.Program.Read(QStringLiteral("PROJECTS/Line2/sent/") + run.Id + QStringLiteral("/bank.bin"));
            bank[5] = char(bank[5] ^ 1);
            QVERIFY(
                f.Program.Write(QStringLiteral("PROJECTS/Line2/sent/") + run.Id + QStringLiteral("/bank.bin"), bank));
        } else if (damage == u"ParGen.xml") {
            QVERIFY(f.Program.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), "<Par_Gen>"));
        } else {
            QVERIFY(
                f.Program.Write(QStringLiteral("PROJECTS/Line2/sent/") + run.Id + QStringLiteral("/run.json"), "{"));
        }
        QStringList lines;
        f.Open([&] { lines = f.Differences(); });
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith(QStringLiteral("The differences cannot be shown: ")) && lines[0].contains(why),
                 qPrintable(lines[0]));
        QCOMPARE(Shown_Texts(), QStringList());
    }

    void Open_Folder_opens_the_selected_runs_folder_data()
    {
        QTest::addColumn<bool>("opens");
        QTest::newRow("a file manager opens it") << true;
        QTest::newRow("none does: the folder is named") << false;
    }

    void Open_Folder_opens_the_selected_runs_folder()
    {
        QFETCH(bool, opens);
        THistory_Fixture f;
        f.Opener_Works = opens;
        const TSent_Run older = f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        f.Open([&] {
            f.History->LB_Runs->setCurrentItem(f.History->LB_Runs->topLevelItem(1));
            QTest::mouseClick(f.History->Btn_Open_Folder, Qt::LeftButton);
        });
        QCOMPARE(f.Opened, QList<QUrl>{QUrl::fromLocalFile(older.Dir)});
        QCOMPARE(Shown_Texts(), opens ? QStringList()
                                      : QStringList{QStringLiteral("warning: The run is kept in ") +
                                                    QDir::toNativeSeparators(older.Dir)});
    }

    void A_configuration_never_sent_lists_nothing()
    {
        THistory_Fixture f;
        QStringList rows{QStringLiteral("not read")};
        QStringList lines;
        bool folderUsable = true;
        f.Open([&] {
            rows = f.Rows();
            lines = f.Differences();
            folderUsable = f.History->Btn_Open_Folder->isEnabled();
            QTest::mouseClick(f.History->Btn_Open_Folder, Qt::LeftButton);
        });
        QCOMPARE(rows, QStringList());
        QCOMPARE(lines, QStringList{QStringLiteral("Never sent")});
        QVERIFY(!folderUsable);
        QVERIFY(f.Opened.isEmpty());
    }

    void Opened_from_the_main_window_and_from_the_update_dialog()
    {
        THistory_Fixture f;
        f.Keep(QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        // From the update dialog: its History button shows this configuration's runs over it.
        TFBoot *boot = f.Main->FBoot;
        boot->Port_Source = [] { return QList<TSerial_Port>(); };
        int rows = -1;
        When_Shown(boot, [&] {
            When_Shown(f.History, [&] { rows = int(f.Rows().size()); });
            QTest::mouseClick(boot->Btn_History, Qt::LeftButton);
        });
        QTest::mouseClick(f.Main->Btn_CreateBin, Qt::LeftButton);
        QCOMPARE(rows, 1);
        // From the main window, only with a configuration open.
        Conf_Dir.clear();
        bool shown = false;
        QTimer guard;
        QObject::connect(&guard, &QTimer::timeout, [&] {
            if (f.History->isVisible()) {
                shown = true;
                f.History->reject();
            }
        });
        guard.start(5);
        QTest::mouseClick(f.Main->Btn_History, Qt::LeftButton);
        guard.stop();
        QVERIFY(!shown);
        QCOMPARE(Shown_Texts(), QStringList{Not_Valid});
    }

    void Fields_are_named_as_the_settings_dialog_names_them_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::newRow("a list") << QStringLiteral("Port_1_Baud") << QStringLiteral("Port 1 baud rate");
        QTest::newRow("a check box") << QStringLiteral("Ethernet_EN_GAT") << QStringLiteral("Gateway");
        QTest::newRow("a field") << QStringLiteral("Opt_Off_Status") << QStringLiteral("Offset Status");
        QTest::newRow("an address byte") << QStringLiteral("Ethernet_SM2")
                                         << QStringLiteral("SubNet Mask, byte 2 of 4");
        QTest::newRow("a field the table has no name for")
            << QStringLiteral("Port_1_DevID") << QStringLiteral("Port_1_DevID");
        QTest::newRow("a byte no key sets")
            << QStringLiteral("bankK.bin byte 0x123") << QStringLiteral("bankK.bin byte 0x123");
    }

    void Fields_are_named_as_the_settings_dialog_names_them()
    {
        QFETCH(QString, key);
        QFETCH(QString, name);
        const TProgram_Fixture program;
        Load_Default_Language();
        QCOMPARE(Key_Shown_Name(key, Lang), name);
        Set_Language_Text(1137, QStringLiteral("Porta 1, velocit\u00e0"));
        if (key == u"Port_1_Baud")
            QCOMPARE(Key_Shown_Name(key, Lang), QStringLiteral("Porta 1, velocit\u00e0"));
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UHistory)
#include "test_UHistory.moc"
