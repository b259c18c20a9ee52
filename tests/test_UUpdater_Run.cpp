// The run of an external updater: started, awaited, given up after its limit without being killed, and the
// Linux port access check.

#include "UUpdater_Run.h"

#include "UStand_In.h"

#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

class Test_UUpdater_Run : public QObject
{
    Q_OBJECT

private slots:
    void An_updater_runs_to_its_end_with_its_arguments_and_exit_code()
    {
        QTemporaryDir dir;
        QTemporaryDir work;
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 0, 3));
        TUpdater_Run run;
        const QStringList arguments{QStringLiteral("/dev/ttyUSB0"), QStringLiteral("FW"),
                                    QStringLiteral("a path with blanks"), QString()};
        QVERIFY(Run_Updater(run, Updater_Path(dir.path(), Serial_Updater_Base), arguments, TPlatform_Form::Posix,
                            work.path()));
        QCOMPARE(run.End, TRun_End::Exited);
        QCOMPARE(run.Exit_Code, 3);
        const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].Args, arguments);
        QCOMPARE(QDir(runs[0].Cwd).canonicalPath(), QDir(work.path()).canonicalPath());
        QVERIFY(runs[0].Finished);
    }

    void An_updater_that_cannot_start_is_told_with_its_path_and_reason_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing") << QString() << QStringLiteral("the file does not exist");
        QTest::newRow("a directory in its place") << QStringLiteral("dir") << QStringLiteral("not an executable");
        QTest::newRow("a file that is no program") << QStringLiteral("text") << QStringLiteral("Exec format error");
    }

    void An_updater_that_cannot_start_is_told_with_its_path_and_reason()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = Updater_Path(dir.path(), Ethernet_Updater_Base);
        if (obstacle == u"dir") {
            QVERIFY(QDir().mkpath(path));
        } else if (obstacle == u"text") {
#ifndef Q_OS_UNIX
            QSKIP("executable text files are a Unix matter");
#endif
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("not a program");
            file.close();
            QVERIFY(QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner));
        }
        TUpdater_Run run;
        const bool started = Run_Updater(run, path, {}, Native_Form(), dir.path());
        if (started)
            QCOMPARE(run.End, TRun_End::Not_Started);
        QVERIFY2(run.Error_Text.startsWith(QDir::toNativeSeparators(path) + QStringLiteral(" cannot be started: ")),
                 qPrintable(run.Error_Text));
        QVERIFY2(run.Error_Text.contains(reason), qPrintable(run.Error_Text));
    }

    void After_the_limit_the_wait_ends_and_the_updater_goes_on()
    {
        QTemporaryDir dir;
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 1500));
        {
            TUpdater_Run run;
            QVERIFY(Run_Updater(run, Updater_Path(dir.path(), Serial_Updater_Base), {}, TPlatform_Form::Posix,
                                dir.path(), 200));
            QCOMPARE(run.End, TRun_End::Limit_Reached);
        }
        // The run object is gone; the updater is not.
        const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QVERIFY(!runs[0].Finished);
        QVERIFY(
            QTest::qWaitFor([&] { return Stand_In_Runs(dir.path(), Serial_Updater_Base).value(0).Finished; }, 10000));
    }

    void The_port_check_tells_the_group_and_the_remedy()
    {
        QCOMPARE(Port_Permission_Problem(QString()), QString());
        QCOMPARE(Port_Permission_Problem(QStringLiteral("/dev/no-such-port-here")), QString());
        const QString text = Port_Permission_Text(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("dialout"));
        QVERIFY(text.contains(QStringLiteral("/dev/ttyUSB0")));
        QVERIFY(text.contains(QStringLiteral("group dialout")));
        QVERIFY(text.contains(QStringLiteral("usermod -aG dialout")));
        QVERIFY(text.contains(QStringLiteral("log in again")));
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("ttyFAKE0"));
        QFile file(port);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(Port_Permission_Problem(port), QString());
        if (::geteuid() == 0)
            QSKIP("root may read and write any file: the refusal needs another user");
        QVERIFY(QFile::setPermissions(port, QFileDevice::Permissions()));
        QVERIFY(Port_Permission_Problem(port).contains(port));
#endif
    }
};

QTEST_GUILESS_MAIN(Test_UUpdater_Run)
#include "test_UUpdater_Run.moc"
