// The new-configuration dialog: the name typed, the directories created, its refusals.

#include "UWindow_Test_Support.h"

#include "UNew_Project.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

class Test_UNew_Project : public QObject
{
    Q_OBJECT

private slots:
    void A_name_confirmed_creates_and_opens_the_configuration_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("withEnter");
        QTest::newRow("Line2 confirmed with Enter in the edit") << QStringLiteral("Line2") << true;
        QTest::newRow("Line2 confirmed with OK") << QStringLiteral("Line2") << false;
        QTest::newRow("a name with blanks inside is used with its blanks") << QStringLiteral("Line 2 A") << false;
    }

    void A_name_confirmed_creates_and_opens_the_configuration()
    {
        QFETCH(QString, name);
        QFETCH(bool, withEnter);
        TProgram_Fixture program;
        program.Start();
        TFNew_Project *dialog = program.Main->FNew_Project;
        When_Shown(dialog, [&] {
            QTest::keyClicks(dialog->E_New_Proj, name);
            if (withEnter)
                QTest::keyClick(dialog->E_New_Proj, Qt::Key_Return);
            else
                QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Accepted));
        QCOMPARE(Shown_Texts(), QStringList());
        const QString dir = QStringLiteral("PROJECTS/") + name;
        QVERIFY(QFileInfo(program.Path(dir + QStringLiteral("/bin"))).isDir());
        QVERIFY(!program.Exists(dir + QStringLiteral("/ParGen.xml")));
        QCOMPARE(Conf_Name, name);
        QCOMPARE(QDir::fromNativeSeparators(Conf_Dir), program.Path(dir));
        QCOMPARE(QDir::fromNativeSeparators(ParGen_File), program.Path(dir + QStringLiteral("/ParGen.xml")));
    }

    void A_refused_name_keeps_the_dialog_open_and_creates_nothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("message");
        const QString notValid = QStringLiteral("error: Error! Name project is not valid");
        const QString click = QStringLiteral("click");
        QTest::newRow("an empty name") << QString() << click
                                       << QStringLiteral("error: Error! Name Project is not valid");
        QTest::newRow("an empty name confirmed with Enter in the edit")
            << QString() << QStringLiteral("enter in edit")
            << QStringLiteral("error: Error! Name Project is not valid");
        QTest::newRow("the name of an existing configuration")
            << QStringLiteral("Alpha") << click
            << QStringLiteral("error: Error! Name project is not valid because directory already exists");
        QTest::newRow("the name of an existing configuration confirmed with Enter on OK")
            << QStringLiteral("Alpha") << QStringLiteral("enter on OK")
            << QStringLiteral("error: Error! Name project is not valid because directory already exists");
        // The system's refusals name the directory and the reason (the row's PATH is under the program's directory).
        QTest::newRow("the name of a file in PROJECTS")
            << QStringLiteral("notes.txt") << click
            << QStringLiteral("error: Cannot create the directory PATH/PROJECTS/notes.txt: File exists");
        // Entry 105 with the reason of the name rule.
        QTest::newRow("a name that reaches outside PROJECTS")
            << QStringLiteral("../Outside") << click << notValid + QStringLiteral(": it begins with a dot");
        QTest::newRow("the parent directory")
            << QStringLiteral("..") << click << notValid + QStringLiteral(": it begins with a dot");
        QTest::newRow("the directory itself")
            << QStringLiteral(".") << click << notValid + QStringLiteral(": it begins with a dot");
        QTest::newRow("a name with a backslash")
            << QStringLiteral("Line\\2") << click << notValid + QStringLiteral(": it holds \"\\\", a path separator");
        QTest::newRow("a name with a slash")
            << QStringLiteral("Line/2") << click << notValid + QStringLiteral(": it holds \"/\", a path separator");
        QTest::newRow("a name with a blank at its end")
            << QStringLiteral("Line2 ") << click << notValid + QStringLiteral(": it ends with a blank");
        QTest::newRow("a name longer than 255 bytes")
            << QString(256, u'a') << click << notValid + QStringLiteral(": it is longer than 255 bytes in UTF-8");
        // What a Windows copy of the workspace could not hold, on every platform.
        QTest::newRow("a Windows device name")
            << QStringLiteral("con.txt") << click
            << notValid + QStringLiteral(": it is the name of a Windows device, con, which Windows refuses in any "
                                         "letter case and with any extension");
        QTest::newRow("a colon") << QStringLiteral("Line:2") << click
                                 << notValid +
                                        QStringLiteral(": it holds \":\", a character Windows refuses in a name");
        QTest::newRow("another case of an existing configuration")
            << QStringLiteral("ALPHA") << click
            << QStringLiteral("error: Error! Name project is not valid because directory already exists: \"Alpha\" is "
                              "already there, and names that differ only in letter case or Unicode normalisation are "
                              "one name on Windows or macOS");
        QTest::newRow("any name while PROJECTS is missing")
            << QStringLiteral("Line3") << click
            << QStringLiteral("error: Cannot create the directory PATH/PROJECTS/Line3: No such file or directory");
    }

    void A_refused_name_keeps_the_dialog_open_and_creates_nothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, confirm);
        QFETCH(QString, message);
        TProgram_Fixture program;
        message.replace(QStringLiteral("PATH/PROJECTS/"),
                        QDir::toNativeSeparators(program.Dir.path() + QStringLiteral("/PROJECTS/")));
        QVERIFY(program.Write(QStringLiteral("PROJECTS/Alpha/ParGen.xml"), "<Par_Gen/>"));
        QVERIFY(program.Write(QStringLiteral("PROJECTS/notes.txt"), "not a configuration"));
        QVERIFY(program.Write(QStringLiteral("Quillon.xml"),
                              "<Conf_Settings><lastproj><projectname>Alpha</projectname></lastproj></Conf_Settings>"));
        program.Start();
        if (QByteArray(QTest::currentDataTag()).contains("PROJECTS is missing"))
            QVERIFY(QDir(Projects_Dir).removeRecursively());
        const QStringList before = QDir(program.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        const QString openBefore = Conf_Dir;

        TFNew_Project *dialog = program.Main->FNew_Project;
        bool stayedOpen = false;
        bool editFocused = false;
        QString textAfter;
        QString selectedAfter;
        QStringList shown;
        When_Shown(dialog, [&] {
            QTest::keyClicks(dialog->E_New_Proj, name);
            if (confirm == QLatin1String("enter in edit")) {
                QTest::keyClick(dialog->E_New_Proj, Qt::Key_Return);
            } else if (confirm == QLatin1String("enter on OK")) {
                dialog->Btn_OK->setFocus();
                QTest::keyClick(dialog->Btn_OK, Qt::Key_Return);
            } else {
                QTest::mouseClick(dialog->Btn_OK, Qt::LeftButton);
            }
            shown = Shown_Texts();
            stayedOpen = dialog->isVisible();
            textAfter = dialog->E_New_Proj->text();
            // The correction is typed at once: the name edit has the focus and its text is selected.
            editFocused = QTest::qWaitFor([&] { return dialog->E_New_Proj->hasFocus(); });
            selectedAfter = dialog->E_New_Proj->selectedText();
            QTest::mouseClick(dialog->Btn_Cancel, Qt::LeftButton);
        });
        QCOMPARE(dialog->exec(), int(QDialog::Rejected));
        QCOMPARE(shown, QStringList{message});
        QVERIFY(stayedOpen);
        QCOMPARE(textAfter, name);
        QVERIFY(editFocused);
        QCOMPARE(selectedAfter, name);
        // Nothing created anywhere, the existing configuration untouched, the open one still open.
        QCOMPARE(QDir(program.Dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
        if (QFileInfo(Projects_Dir).isDir()) {
            QCOMPARE(QDir(Projects_Dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                     (QStringList{QStringLiteral("Alpha"), QStringLiteral("notes.txt")}));
            QCOMPARE(program.Read(QStringLiteral("PROJECTS/Alpha/ParGen.xml")), QByteArray("<Par_Gen/>"));
        }
        QCOMPARE(Conf_Dir, openBefore);
        QCOMPARE(Conf_Name, QStringLiteral("Alpha"));
    }

    void Every_showing_starts_with_an_empty_edit_that_has_the_focus()
    {
        TProgram_Fixture program;
        program.Start();
        TFNew_Project *dialog = program.Main->FNew_Project;
        When_Shown(dialog, [&] { QTest::keyClicks(dialog->E_New_Proj, QStringLiteral("Draft")); });
        dialog->exec();
        QString textAtShow = QStringLiteral("<not shown>");
        bool focused = false;
        When_Shown(dialog, [&] {
            textAtShow = dialog->E_New_Proj->text();
            // The focus arrives once the window is active, which takes a while on a slow machine.
            focused = QTest::qWaitFor([&] { return dialog->E_New_Proj->hasFocus(); });
        });
        dialog->exec();
        QCOMPARE(textAtShow, QString());
        QVERIFY(focused);
        QVERIFY(!program.Exists(QStringLiteral("PROJECTS/Draft")));
    }

    void The_dialog_is_laid_out_and_captioned()
    {
        TProgram_Fixture program;
        program.Start();
        TFNew_Project *dialog = program.Main->FNew_Project;
        dialog->show();
        QCOMPARE(dialog->size(), QSize(331, 162));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Create New Configuration"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("L_SW_Code"))->text(), QStringLiteral("SW40926"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("L_SW_Desc"))->text(),
                 QStringLiteral("Create New Configuration"));
        QCOMPARE(dialog->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
                 QStringLiteral("Name of the new Configuration"));
        auto *edit = dialog->findChild<QLineEdit *>(QStringLiteral("E_New_Proj"));
        QCOMPARE(edit->geometry(), QRect(16, 94, 297, 21));
        QCOMPARE(edit->toolTip(), QStringLiteral("Insert here the name of new configuration"));
        auto *ok = dialog->findChild<QPushButton *>(QStringLiteral("Btn_OK"));
        auto *cancel = dialog->findChild<QPushButton *>(QStringLiteral("Btn_Cancel"));
        QCOMPARE(ok->mapTo(dialog, QPoint(0, 0)), QPoint(85, 128));
        QCOMPARE(cancel->mapTo(dialog, QPoint(0, 0)), QPoint(203, 128));
        QCOMPARE(ok->size(), QSize(110, 28));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        QCOMPARE(cancel->text(), QStringLiteral("Cancel"));
        QCOMPARE(ok->toolTip(), QStringLiteral("Confirm the Name of new Configuration"));
        QCOMPARE(cancel->toolTip(), QStringLiteral("Cancel the New Configuration"));
        dialog->hide();
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_UNew_Project)
#include "test_UNew_Project.moc"
