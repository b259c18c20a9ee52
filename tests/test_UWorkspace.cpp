// The workspace locator's order, the workspace made ready, and where the updaters are found.

#include "UComon.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UUpdate_Logic.h"
#include "UWorkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

class Test_UWorkspace : public QObject
{
    Q_OBJECT

    QString User_Dir;

    static QString Native(const QString &path) { return QDir::toNativeSeparators(path); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        User_Dir =
            Native(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quillon"));
    }

    void cleanup()
    {
        qunsetenv(Workspace_Variable);
        Reset_Shared_State();
    }

    void The_first_choice_that_applies_wins_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("program");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<int>("source");
        const int line = int(TWorkspace_Source::Command_Line);
        const int environment = int(TWorkspace_Source::Environment);
        const int programDir = int(TWorkspace_Source::Program_Dir);
        const int user = int(TWorkspace_Source::User_Data);
        // PROGRAM is a writable directory of the test, INSTALLED an installed copy's bin directory (writable
        // too), MARKED a writable directory holding the installer's marker, GONE a directory that does not
        // exist; USER the per-user data directory.
        QTest::newRow("--workspace before everything") << "/opt/w1/"
                                                       << "/opt/w2"
                                                       << "PROGRAM"
                                                       << "/opt/w1" << line;
        QTest::newRow("the variable before the program's directory") << ""
                                                                     << "/opt/w2"
                                                                     << "PROGRAM"
                                                                     << "/opt/w2" << environment;
        QTest::newRow("an empty variable counts as unset") << ""
                                                           << ""
                                                           << "PROGRAM"
                                                           << "PROGRAM" << programDir;
        QTest::newRow("a writable program directory") << ""
                                                      << ""
                                                      << "PROGRAM"
                                                      << "PROGRAM" << programDir;
        QTest::newRow("an installed copy, even when writable") << ""
                                                               << ""
                                                               << "INSTALLED"
                                                               << "USER" << user;
        QTest::newRow("a copy with the installer's marker, even when writable") << ""
                                                                                << ""
                                                                                << "MARKED"
                                                                                << "USER" << user;
        QTest::newRow("a program directory that is not there") << ""
                                                               << ""
                                                               << "GONE"
                                                               << "USER" << user;
        QTest::newRow("--workspace for an installed copy") << "/opt/w1"
                                                           << ""
                                                           << "INSTALLED"
                                                           << "/opt/w1" << line;
    }

    void The_first_choice_that_applies_wins()
    {
        QFETCH(QString, option);
        QFETCH(QString, variable);
        QFETCH(QString, program);
        QFETCH(QString, expected);
        QFETCH(int, source);
        QTemporaryDir dir;
        const QDir root(dir.path());
        QVERIFY(root.mkpath(QStringLiteral("usr/bin")));
        QVERIFY(root.mkpath(QStringLiteral("usr/share/metainfo")));
        QFile metainfo(
            root.filePath(QStringLiteral("usr/share/metainfo/") + Application_Id + QStringLiteral(".metainfo.xml")));
        QVERIFY(metainfo.open(QIODevice::WriteOnly));
        metainfo.close();
        QVERIFY(root.mkpath(QStringLiteral("Program Files/Quillon")));
        QFile marker(root.filePath(QStringLiteral("Program Files/Quillon/") + Installed_Marker));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();
        const QMap<QString, QString> places{{"PROGRAM", dir.path()},
                                            {"INSTALLED", root.filePath(QStringLiteral("usr/bin"))},
                                            {"MARKED", root.filePath(QStringLiteral("Program Files/Quillon"))},
                                            {"GONE", root.filePath(QStringLiteral("gone"))},
                                            {"USER", User_Dir}};
        if (!variable.isEmpty() || QByteArray(QTest::currentDataTag()).contains("empty"))
            qputenv(Workspace_Variable, variable.toLocal8Bit());
        const TWorkspace_Choice choice = Locate_Workspace(option, places.value(program));
        QCOMPARE(choice.Dir, Native(places.value(expected, expected)));
        QCOMPARE(int(choice.Source), source);
    }

#ifdef Q_OS_UNIX
    void A_program_directory_the_user_may_not_write_gives_the_user_directory()
    {
        if (geteuid() == 0)
            QSKIP("root may write every directory");
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        const TWorkspace_Choice choice = Locate_Workspace(QString(), dir.path());
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(choice.Dir, User_Dir);
        QCOMPARE(choice.Source, TWorkspace_Source::User_Data);
    }
#endif

    void A_new_workspace_is_created_with_its_parents_and_directories()
    {
        QTemporaryDir dir;
        Set_Workspace_Paths(dir.filePath(QStringLiteral("share/deeper/Quillon")));
        QCOMPARE(Prepare_Workspace(Current_Workspace()), QString());
        for (const QString &path : {Master_Dir, Projects_Dir, Language_Dir})
            QVERIFY2(QFileInfo(path).isDir(), qPrintable(path));
        QVERIFY(QDir(Program_Dir).entryList(QDir::Files | QDir::Hidden).isEmpty()); // the write test leaves nothing
        QCOMPARE(Prepare_Workspace(Current_Workspace()), QString());                                   // and again, over what is there
    }

    void A_workspace_that_cannot_be_made_is_named_with_the_reason_data()
    {
        QTest::addColumn<QString>("workspace");
        QTest::addColumn<QString>("expected");
        QTest::newRow("below a file") << "file/Quillon"
                                      << "Cannot create the workspace DIR/file/Quillon: Not a directory";
        QTest::newRow("PROJECTS is a file") << "ws"
                                            << "Cannot create the directory DIR/ws/PROJECTS: File exists";
#ifdef Q_OS_LINUX
        QTest::newRow("a directory nobody may write") << "/proc"
                                                      << "The workspace /proc cannot be written: ";
#endif
    }

    void A_workspace_that_cannot_be_made_is_named_with_the_reason()
    {
        QFETCH(QString, workspace);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("file")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ws")));
        QFile projects(dir.filePath(QStringLiteral("ws/PROJECTS")));
        QVERIFY(projects.open(QIODevice::WriteOnly));
        projects.close();
        Set_Workspace_Paths(workspace.startsWith(u'/') ? workspace : dir.filePath(workspace));
        const QString problem = Prepare_Workspace(Current_Workspace());
        QVERIFY2(problem.startsWith(Native(expected.replace(QStringLiteral("DIR"), dir.path()))), qPrintable(problem));
        // The way out is named with it.
        QVERIFY2(problem.contains(QStringLiteral("--workspace")), qPrintable(problem));
    }

    void The_updaters_are_found_in_the_workspace_then_beside_the_program()
    {
        QTemporaryDir dir;
        Set_Workspace_Paths(dir.path());
        const QString base = QStringLiteral("quillon-test-updater-%1").arg(QCoreApplication::applicationPid());
        const QString inWorkspace = Updater_Path(Program_Dir, base);
        const QString besideProgram = Updater_Path(Native(QCoreApplication::applicationDirPath()), base);
        // Neither: the workspace's path, which the error names.
        QCOMPARE(Find_Updater(Program_Dir, base), inWorkspace);
        QFile beside(besideProgram);
        QVERIFY(beside.open(QIODevice::WriteOnly));
        beside.close();
        const QString found = Find_Updater(Program_Dir, base);
        QFile in(inWorkspace);
        QVERIFY(in.open(QIODevice::WriteOnly));
        in.close();
        const QString foundFirst = Find_Updater(Program_Dir, base);
        QFile::remove(besideProgram);
        QCOMPARE(found, besideProgram);
        QCOMPARE(foundFirst, inWorkspace);
    }
};

QTEST_GUILESS_MAIN(Test_UWorkspace)
#include "test_UWorkspace.moc"
