// The open-configuration dialog: the list of configurations, its preselection and the chosen name.

#include "UWindow_Test_Support.h"

#include "UOpenConf.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>

namespace {

QStringList Items(QListWidget *list)
{
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items.append(list->item(i)->text());
    return items;
}

void Open_Configuration(const QString &name)
{
    Conf_Name = name;
    Conf_Dir = name.isEmpty() ? QString() : Join_Path(Projects_Dir, name);
    Set_Files();
}

} // namespace

class Test_UOpenConf : public QObject
{
    Q_OBJECT

private slots:
    void Each_showing_lists_the_configurations_and_preselects_one_data()
    {
        QTest::addColumn<QStringList>("dirs");
        QTest::addColumn<QString>("open");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<int>("selected");
        const QStringList three{QStringLiteral("Alpha"), QStringLiteral("Line2"), QStringLiteral("Zeta")};
        QTest::newRow("the open configuration is preselected") << three << QStringLiteral("Line2") << three << 1;
        QTest::newRow("with no configuration open the first listed is preselected") << three << QString() << three << 0;
        QTest::newRow("an open configuration no longer listed gives the first")
            << three << QStringLiteral("Gone") << three << 0;
        const QStringList upper{QStringLiteral("Alpha"), QStringLiteral("LINE2"), QStringLiteral("Zeta")};
        QTest::newRow("the open name line2 finds the directory LINE2")
            << upper << QStringLiteral("line2") << upper << 1;
        const QStringList twins{QStringLiteral("LINE2"), QStringLiteral("Line2")};
#ifndef Q_OS_WIN
        // Windows keeps one directory for both names.
        QTest::newRow("of two directories differing in case the open one's own is preselected")
            << twins << QStringLiteral("Line2") << twins << 1;
#endif
        QTest::newRow("names are listed by name without regard to case")
            << QStringList{QStringLiteral("beta"), QStringLiteral("Gamma"), QStringLiteral("alpha2"),
                           QStringLiteral("Alpha")}
            << QString()
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("alpha2"), QStringLiteral("beta"),
                           QStringLiteral("Gamma")}
            << 0;
        QTest::newRow("names are compared upper-cased, so an underscore follows the letters")
            << QStringList{QStringLiteral("zulu"), QStringLiteral("_under"), QStringLiteral("Line_2"),
                           QStringLiteral("Line-2"), QStringLiteral("alpha")}
            << QString()
            << QStringList{QStringLiteral("alpha"), QStringLiteral("Line-2"), QStringLiteral("Line_2"),
                           QStringLiteral("zulu"), QStringLiteral("_under")}
            << 0;
        QTest::newRow("files and hidden directories are not listed")
            << QStringList{QStringLiteral("Alpha"), QStringLiteral(".hidden"), QStringLiteral("file:notes.txt")}
            << QString() << QStringList{QStringLiteral("Alpha")} << 0;
#ifndef Q_OS_WIN
        // Windows refuses such a directory name itself.
        QTest::newRow("a name the settings file could not hold is not listed")
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("Line\u000b2")} << QString()
            << QStringList{QStringLiteral("Alpha")} << 0;
        // Names no longer made anew, for a Windows copy could not hold them, made by hand or an earlier version.
        QTest::newRow("names Windows refuses are still listed")
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("CON"), QStringLiteral("Line:2")} << QString()
            << QStringList{QStringLiteral("Alpha"), QStringLiteral("CON"), QStringLiteral("Line:2")} << 0;
#endif
        QTest::newRow("an empty PROJECTS lists nothing and selects nothing")
            << QStringList() << QString() << QStringList() << -1;
        QTest::newRow("a missing PROJECTS lists nothing")
            << QStringList{QStringLiteral("remove:PROJECTS")} << QString() << QStringList() << -1;
    }

    void Each_showing_lists_the_configurations_and_preselects_one()
    {
        QFETCH(QStringList, dirs);
        QFETCH(QString, open);
        QFETCH(QStringList, listed);
        QFETCH(int, selected);
        TProgram_Fixture program;
        program.Start();
        for (const QString &entry : dirs) {
            if (entry.startsWith(QStringLiteral("file:")))
                QVERIFY(program.Write(QStringLiteral("PROJECTS/") + entry.mid(5), "x"));
            else if (entry.startsWith(QStringLiteral("remove:")))
                QVERIFY(QDir(program.Path(entry.mid(7))).removeRecursively());
            else
                QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/") + entry));
        }
        Open_Configuration(open);

        TFOpenConf *dialog = program.Main->FOpenConf;
        QStringList items;
        int row = -2;
        QString chosen = QStringLiteral("<not shown>");
        When_Shown(dialog, [&] {
            items = Items(dialog->ListBox1);
            row = dialog->ListBox1->currentRow();
            chosen = dialog->Name_Conf;
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QCOMPARE(dialog->SL, listed);
        QCOMPARE(items, listed);
        QCOMPARE(row, selected);
        QCOMPARE(chosen, selected >= 0 ? listed[selected] : QString());
        QCOMPARE(dialog->Name_Conf, chosen);
        // The dialog opens nothing itself.
        QCOMPARE(Conf_Name, open);
    }

    void An_empty_list_hands_back_no_name_even_after_an_earlier_choice()
    {
        TProgram_Fixture program;
        QVERIFY(program.Make_Dir(QStringLiteral("PROJECTS/Alpha")));
        program.Start();
        TFOpenConf *dialog = program.Main->FOpenConf;
        When_Shown(dialog, [&] { QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton); });
        dialog->exec();
        QCOMPARE(dialog->Name_Conf, QStringLiteral("Alpha"));

        QVERIFY(QDir(program.Path(QStringLiteral("PROJECTS/Alpha"))).removeRecursively());
        When_Shown(dialog, [&] { QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton); });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QCOMPARE(dialog->Name_Conf, QString());
        QCOMPARE(dialog->ListBox1->currentRow(), -1);
    }

    void The_user_chooses_by_mouse_or_keyboard()
    {
        TProgram_Fixture program;
        for (const char *dir : {"PROJECTS/Alpha", "PROJECTS/Line2", "PROJECTS/Zeta"})
            QVERIFY(program.Make_Dir(QLatin1String(dir)));
        program.Start();
        TFOpenConf *dialog = program.Main->FOpenConf;
        QStringList seen;
        bool openAfterDoubleClick = false;
        When_Shown(dialog, [&] {
            QListWidget *list = dialog->ListBox1;
            const QPoint zeta = list->visualItemRect(list->item(2)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, zeta);
            seen.append(dialog->Name_Conf);
            QTest::keyClick(list, Qt::Key_Up);
            seen.append(dialog->Name_Conf);
            // A double click only selects.
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            seen.append(dialog->Name_Conf);
            openAfterDoubleClick = dialog->isVisible();
            QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QCOMPARE(seen, (QStringList{QStringLiteral("Zeta"), QStringLiteral("Line2"), QStringLiteral("Alpha")}));
        QVERIFY(openAfterDoubleClick);
    }

    void The_list_never_loses_its_selection_while_it_holds_items()
    {
        TProgram_Fixture program;
        for (const char *dir : {"PROJECTS/Alpha", "PROJECTS/Line2", "PROJECTS/Zeta"})
            QVERIFY(program.Make_Dir(QLatin1String(dir)));
        program.Start();
        TFOpenConf *dialog = program.Main->FOpenConf;
        QStringList seen;
        When_Shown(dialog, [&] {
            QListWidget *list = dialog->ListBox1;
            auto selection = [&] {
                QStringList texts;
                for (QListWidgetItem *item : list->selectedItems())
                    texts.append(item->text());
                return texts.join(u',') + QStringLiteral(" -> ") + dialog->Name_Conf;
            };
            const QPoint line2 = list->visualItemRect(list->item(1)).center();
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, line2);
            seen.append(selection());
            // Ctrl+click and Ctrl+Space on the selected item would deselect it.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, line2);
            seen.append(selection());
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
            seen.append(selection());
            // Ctrl+click on another item chooses that one.
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              list->visualItemRect(list->item(2)).center());
            seen.append(selection());
            QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QCOMPARE(seen, (QStringList{QStringLiteral("Line2 -> Line2"), QStringLiteral("Line2 -> Line2"),
                                    QStringLiteral("Line2 -> Line2"), QStringLiteral("Zeta -> Zeta")}));
        QCOMPARE(dialog->Name_Conf, QStringLiteral("Zeta"));
    }

    void Search_Open_Conf_compares_ASCII_letters_without_regard_to_case_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("wanted");
        QTest::addColumn<int>("found");
        const QStringList names{QStringLiteral("alpha"), QStringLiteral("Äpfel"), QStringLiteral("Line2")};
        QTest::newRow("same letters, other case") << names << QStringLiteral("ALPHA") << 0;
        QTest::newRow("letters beyond ASCII must match exactly") << names << QStringLiteral("äpfel") << -1;
        QTest::newRow("letters beyond ASCII matching exactly") << names << QStringLiteral("ÄPFEL") << 1;
        QTest::newRow("no name given") << names << QString() << -1;
        QTest::newRow("a longer name is not a match") << names << QStringLiteral("Line20") << -1;
    }

    void Search_Open_Conf_compares_ASCII_letters_without_regard_to_case()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, wanted);
        QFETCH(int, found);
        TProgram_Fixture program;
        program.Start();
        program.Main->FOpenConf->SL = names;
        QCOMPARE(program.Main->FOpenConf->Search_Open_Conf(wanted), found);
    }

    void The_list_and_the_buttons_follow_the_window_size()
    {
        TProgram_Fixture program;
        program.Start();
        TFOpenConf *dialog = program.Main->FOpenConf;
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(dialog->size(), QSize(377, 351));
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Open Configuration"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("L_SW_Desc"))->text(),
                 QStringLiteral("Open an Existing Configuration"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("List of Avaliable Configurations"));
        QCOMPARE(dialog->ListBox1->toolTip(), QStringLiteral("Select from this list the configuration to open"));
        QCOMPARE(dialog->Btn_OK->toolTip(), QStringLiteral("Open the Selected Configuration"));
        QCOMPARE(dialog->Btn_Cancel->toolTip(), QStringLiteral("Cancel open of Configuration"));

        auto check = [&](int width, int height) {
            QCOMPARE(dialog->size(), QSize(width, height));
            const QRect list = dialog->ListBox1->geometry();
            QCOMPARE(list.topLeft(), QPoint(16, 94));
            QCOMPARE(list.right(), width - 26 - 1);
            const QRect buttons = dialog->P_Button->geometry();
            QCOMPARE(buttons, QRect(0, height - 40, width, 40));
            // The list ends above the button band: nothing of it hides behind the buttons.
            QVERIFY(list.bottom() < buttons.top());
            QCOMPARE(dialog->Btn_Cancel->geometry(), QRect(width - 26 - 110, 6, 110, 28));
            QCOMPARE(dialog->Btn_OK->geometry(), QRect(width - 26 - 228, 6, 110, 28));
        };
        check(377, 351);
        dialog->resize(520, 460);
        check(520, 460);
        dialog->hide();
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UOpenConf)
#include "test_UOpenConf.moc"
