// The state of a configuration from its kept runs, and the records themselves as the pipeline keeps them.

#include "UAtomic_File.h"
#include "UKept_Run.h"
#include "UParGen_Fixture.h"
#include "USent_Record.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class Test_USent_Record : public QObject
{
    Q_OBJECT

private slots:
    void State_of_a_configuration_data()
    {
        // Each run: "S" success, "F" failed (exit code 3), "W" a firmware-only success, "D" a damaged record;
        // then "*" the configuration changed after the runs. Oldest first.
        QTest::addColumn<QString>("runs");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("changed");
        QTest::newRow("never sent") << "" << "never-sent" << QStringList();
        QTest::newRow("the firmware alone is no sending") << "W" << "never-sent" << QStringList();
        QTest::newRow("in sync") << "S" << "in-sync" << QStringList();
        QTest::newRow("changed since, by key") << "S*" << "changed" << QStringList{"Port_0_Baud"};
        QTest::newRow("failed after a success") << "SF" << "failed" << QStringList();
        QTest::newRow("failed, never sent before") << "F" << "failed" << QStringList();
        QTest::newRow("a success after a failure") << "FS" << "in-sync" << QStringList();
        QTest::newRow("a firmware-only run after the success") << "SW" << "in-sync" << QStringList();
        QTest::newRow("a damaged newest record is passed over") << "SD" << "in-sync" << QStringList();
    }

    void State_of_a_configuration()
    {
        QFETCH(QString, runs);
        QFETCH(QString, state);
        QFETCH(QStringList, changed);
        QTemporaryDir dir;
        const QString conf = dir.filePath(QStringLiteral("Line2"));
        QVERIFY(QDir().mkpath(conf));
        Save_Bytes_Atomically(Join_Path(conf, ParGen_File_Name), Saved_ParGen(0));
        int damaged = 0;
        for (const QChar run : runs) {
            if (run == u'S')
                Keep_Run(conf, QStringLiteral("serial"), QStringLiteral("ttyUSB0"), TRun_Ending::Success);
            else if (run == u'F')
                Keep_Run(conf, QStringLiteral("serial"), QStringLiteral("ttyUSB0"), TRun_Ending::Failed, 3);
            else if (run == u'W')
                Keep_Run(conf, QStringLiteral("serial"), QStringLiteral("ttyUSB0"), TRun_Ending::Success, 0, 1);
            else if (run == u'D') {
                const QString broken = Join_Path(conf, QStringLiteral("sent/29991231T235959Z-1"));
                QVERIFY(QDir().mkpath(broken));
                Save_Bytes_Atomically(Join_Path(broken, Run_Json_Name), "{\"started\": ");
                ++damaged;
            } else if (run == u'*')
                Save_Bytes_Atomically(Join_Path(conf, ParGen_File_Name), Saved_ParGen(0, {{"Port_0_Baud", "3"}}));
        }
        const TConfig_Status status = Config_Status(conf);
        QCOMPARE(State_Name(status.State), state);
        QCOMPARE(status.Changed, changed);
        QCOMPARE(status.Problems.size(), damaged);
    }

    void Records_that_cannot_be_trusted_are_named_never_followed_data()
    {
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("problem");
        QTest::newRow("run.json not JSON") << "json" << "run.json is not JSON";
        QTest::newRow("an image missing") << "image" << "bankK.bin is missing or not as kept";
        QTest::newRow("run.json too large") << "huge" << "";
        QTest::newRow("a link in sent/") << "link" << "it is a link, not a kept run";
        QTest::newRow("an ending no program writes") << "ending" << "none of the endings";
    }

    void Records_that_cannot_be_trusted_are_named_never_followed()
    {
        QFETCH(QString, damage);
        QFETCH(QString, problem);
        QTemporaryDir dir;
        const QString conf = dir.filePath(QStringLiteral("Line2"));
        QVERIFY(QDir().mkpath(conf));
        Save_Bytes_Atomically(Join_Path(conf, ParGen_File_Name), Saved_ParGen(0));
        const TSent_Run kept =
            Keep_Run(conf, QStringLiteral("serial"), QStringLiteral("ttyUSB0"), TRun_Ending::Success);
        if (damage == u"json")
            Save_Bytes_Atomically(Join_Path(kept.Dir, Run_Json_Name), "not json");
        else if (damage == u"image")
            QVERIFY(QFile::remove(Join_Path(kept.Dir, QStringLiteral("bankK.bin"))));
        else if (damage == u"huge")
            Save_Bytes_Atomically(Join_Path(kept.Dir, Run_Json_Name), QByteArray(Run_Json_Limit + 1, ' '));
        else if (damage == u"ending")
            Save_Bytes_Atomically(Join_Path(kept.Dir, Run_Json_Name),
                                  QByteArray(Run_Json_Bytes(kept)).replace("\"success\"", "\"done\""));
        else if (damage == u"link") {
            // The kept run moves elsewhere, a link to it in its place.
            const QString elsewhere = dir.filePath(QStringLiteral("elsewhere"));
            QVERIFY(QDir().rename(kept.Dir, elsewhere));
            if (!QFile::link(elsewhere, kept.Dir))
                QSKIP("no symbolic links here");
        }
        const QList<TSent_Run> runs = Read_Sent_Runs(conf);
        QCOMPARE(runs.size(), 1);
        QVERIFY2(!runs[0].Problem.isEmpty() && runs[0].Problem.contains(problem), qPrintable(runs[0].Problem));
        const TConfig_Status status = Config_Status(conf);
        QCOMPARE(status.State, TSend_State::Never_Sent);
        QCOMPARE(status.Problems.size(), 1);
    }

    void Only_the_newest_runs_are_kept_and_a_kept_run_is_whole()
    {
        QTemporaryDir dir;
        const QString conf = dir.filePath(QStringLiteral("Line2"));
        QVERIFY(QDir().mkpath(conf));
        Save_Bytes_Atomically(Join_Path(conf, ParGen_File_Name), Saved_ParGen(1));
        QStringList ids;
        for (int i = 0; i < Kept_Runs + 3; ++i)
            ids.prepend(Keep_Run(conf, QStringLiteral("ethernet"), QStringLiteral("127.0.0.1"), TRun_Ending::Success).Id);
        QCOMPARE(Sent_Run_Ids(conf), ids.first(Kept_Runs));
        const TSent_Run newest = Read_Sent_Run(conf, ids.first());
        QVERIFY2(newest.Problem.isEmpty(), qPrintable(newest.Problem));
        QCOMPARE(newest.Device_Address, QStringLiteral("192.168.0.10"));
        const TConfig_Images sent = Sent_Images(newest);
        QCOMPARE(sent.Bank_Image, Make_Config_Data(Join_Path(conf, ParGen_File_Name)).Bank_Image);
        // Nothing staged is left beside the kept runs.
        QCOMPARE(QDir(Join_Path(conf, Sent_Dir_Name)).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                 Kept_Runs);
    }
};

QTEST_GUILESS_MAIN(Test_USent_Record)
#include "test_USent_Record.moc"
