// One updater at a time per workspace: the lock refuses while its holder lives and is taken over once it died;
// one that names no holder yet is being taken, until it has stayed so too long.

#include "UUpdater_Lock.h"

#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

namespace {

// A process id that no longer runs: a short-lived program, started and awaited.
qint64 Ended_Process_Id()
{
    QProcess process;
    process.start(QCoreApplication::applicationFilePath(), {QStringLiteral("-functions")});
    process.waitForStarted();
    const qint64 pid = process.processId();
    process.waitForFinished();
    return pid;
}

// A lock file last modified age seconds ago.
bool Write_Lock(const QString &dir, const QByteArray &bytes, int age = 0)
{
    QFile file(Join_Path(dir, Updater_Lock_File_Name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.setFileTime(QDateTime::currentDateTime().addSecs(-age), QFileDevice::FileModificationTime);
}

QByteArray Read_Lock(const QString &dir)
{
    QFile file(Join_Path(dir, Updater_Lock_File_Name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList Entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

enum class TOutcome
{
    Obeyed,
    Being_Taken,
    Taken_Over
};

TUpdater_Lock_Record Record_Of(qint64 owner, qint64 ownerStart, qint64 updater = 0, qint64 updaterStart = 0)
{
    TUpdater_Lock_Record record;
    record.Owner_Pid = owner;
    record.Owner_Start = ownerStart;
    record.Updater_Pid = updater;
    record.Updater_Start = updaterStart;
    record.Started = QDateTime::currentDateTime().addSecs(-41);
    record.Program = QStringLiteral("/ws/Ser_40926_Update");
    record.Target = QStringLiteral("/dev/ttyUSB0");
    record.Conf_Dir = QStringLiteral("/ws/PROJECTS/Line2");
    return record;
}

} // namespace

Q_DECLARE_METATYPE(TOutcome)

class Test_UUpdater_Lock : public QObject
{
    Q_OBJECT

private slots:
    void A_lock_is_obeyed_only_while_its_holder_lives_data()
    {
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<int>("age"); // seconds since the lock was last written
        QTest::addColumn<int>("settleMs");
        QTest::addColumn<TOutcome>("outcome");
        const qint64 self = QCoreApplication::applicationPid();
        const qint64 selfStart = Process_Start_Time(self);
        const qint64 ended = Ended_Process_Id();
        const int settle = int(Lock_Settle_Age.count());
        const QByteArray held = Lock_Record_Bytes(Record_Of(self, selfStart));
        QTest::newRow("this process holds it") << held << 0 << settle << TOutcome::Obeyed;
        // An update takes minutes: age never makes a lock with a live holder stale.
        QTest::newRow("this process has held it for an hour") << held << 3600 << settle << TOutcome::Obeyed;
        QTest::newRow("its updater runs")
            << Lock_Record_Bytes(Record_Of(ended, 0, self, selfStart)) << 0 << settle << TOutcome::Obeyed;
        QTest::newRow("its holder died") << Lock_Record_Bytes(Record_Of(ended, 0)) << 0 << settle
                                         << TOutcome::Taken_Over;
        // The program lives on, but the updater it named has ended: the workspace is free again.
        QTest::newRow("its updater ended")
            << Lock_Record_Bytes(Record_Of(self, selfStart, ended, 0)) << 0 << settle << TOutcome::Taken_Over;
#ifdef Q_OS_LINUX
        // After a restart the same process id may belong to another program.
        QTest::newRow("its process id was used again")
            << Lock_Record_Bytes(Record_Of(self, selfStart + 1)) << 0 << settle << TOutcome::Taken_Over;
#endif
        // Made but not yet written (an older program writes its lock after making it), or left so by a power
        // loss: another program is taking it, unless it has stayed so longer than the settle age.
        QTest::newRow("empty, just made") << QByteArray() << 0 << settle << TOutcome::Being_Taken;
        QTest::newRow("empty, made a minute ago") << QByteArray() << 60 << settle << TOutcome::Taken_Over;
        QTest::newRow("empty, 3 s old, the settle age shortened to 1 s")
            << QByteArray() << 3 << 1000 << TOutcome::Taken_Over;
        QTest::newRow("cut short before its process id") << QByteArray("own") << 0 << settle << TOutcome::Being_Taken;
        QTest::newRow("no process named, just made")
            << QByteArray("left by a crash") << 0 << settle << TOutcome::Being_Taken;
        QTest::newRow("no process named, a minute ago")
            << QByteArray("left by a crash") << 60 << settle << TOutcome::Taken_Over;
    }

    void A_lock_is_obeyed_only_while_its_holder_lives()
    {
        QFETCH(QByteArray, lock);
        QFETCH(int, age);
        QFETCH(int, settleMs);
        QFETCH(TOutcome, outcome);
        QTemporaryDir dir;
        QVERIFY(Write_Lock(dir.path(), lock, age));
        TUpdater_Lock second(dir.path());
        QCOMPARE(second.Acquire(QStringLiteral("/ws/Ethernet_Update"), QStringLiteral("10.1.2.105"), dir.path(),
                                std::chrono::milliseconds(settleMs)),
                 outcome == TOutcome::Taken_Over);
        QCOMPARE(second.Held(), outcome == TOutcome::Taken_Over);
        QCOMPARE(second.Being_Taken, outcome == TOutcome::Being_Taken);
        if (outcome == TOutcome::Taken_Over) {
            // A taken-over lock names the new holder, whole.
            QCOMPARE(Read_Lock(dir.path()), Lock_Record_Bytes(Parse_Lock_Record(Read_Lock(dir.path()))));
            QCOMPARE(Parse_Lock_Record(Read_Lock(dir.path())).Target, QStringLiteral("10.1.2.105"));
        } else {
            // An obeyed lock is left as it was; the refusal names its holder, or says another is taking it.
            QCOMPARE(Read_Lock(dir.path()), lock);
            if (outcome == TOutcome::Obeyed)
                QCOMPARE(second.Holder.Target, QStringLiteral("/dev/ttyUSB0"));
            else
                QVERIFY2(second.Error.contains(QStringLiteral("another program is taking")), qPrintable(second.Error));
        }
        // Nothing beside it: no temporary, no marker of the takeover.
        QCOMPARE(Entries(dir.path()), QStringList{Updater_Lock_File_Name});
    }

    void The_refusal_names_the_updater_its_port_its_process_and_its_time()
    {
        const TUpdater_Lock_Record record = Record_Of(100, 0, 4242, 0);
        QCOMPARE(Busy_Updater_Text(record, record.Started.addSecs(41)),
                 QStringLiteral("An update is already running in this workspace: %1 on /dev/ttyUSB0, process 4242, for "
                                "41 s. Wait for it to end, or stop it, before starting another.")
                     .arg(QDir::toNativeSeparators(QStringLiteral("/ws/Ser_40926_Update"))));
    }

    void A_second_update_waits_for_the_first_and_the_lock_goes_with_it()
    {
        QTemporaryDir dir;
        const QString path = Join_Path(dir.path(), Updater_Lock_File_Name);
        {
            TUpdater_Lock first(dir.path());
            QVERIFY(first.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyUSB0"), dir.path()));
            TUpdater_Lock second(dir.path());
            QVERIFY(!second.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyS0"), dir.path()));
            QCOMPARE(second.Holder.Owner_Pid, QCoreApplication::applicationPid());
            QVERIFY(Live_Updater_Lock(dir.path()).has_value());
        }
        QVERIFY(!QFileInfo::exists(path));
        // An updater that outlives the wait keeps the lock after the object has gone.
        {
            TUpdater_Lock kept(dir.path());
            QVERIFY(kept.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyUSB0"), dir.path()));
            kept.Set_Updater(QCoreApplication::applicationPid());
            kept.Keep_For_Updater();
        }
        QVERIFY(QFileInfo::exists(path));
        QCOMPARE(Live_Updater_Lock(dir.path())->Updater_Pid, QCoreApplication::applicationPid());
    }

    void Release_leaves_a_lock_that_is_no_longer_ours()
    {
        QTemporaryDir dir;
        TUpdater_Lock first(dir.path());
        QVERIFY(first.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyUSB0"), dir.path()));
        // Its updater ended and another program took the lock over before this one released it.
        first.Set_Updater(Ended_Process_Id());
        TUpdater_Lock second(dir.path());
        QVERIFY(second.Acquire(QStringLiteral("/ws/Ser_40926_Update"), QStringLiteral("/dev/ttyS0"), dir.path()));
        first.Release();
        QCOMPARE(Live_Updater_Lock(dir.path())->Target, QStringLiteral("/dev/ttyS0"));
        second.Release();
        QVERIFY(Entries(dir.path()).isEmpty());
    }

    // Contenders in processes of their own, told to go at once, round after round: on a free workspace, on a
    // dead holder's lock and on a long-empty lock, which they all find stale together. At no moment may two
    // hold the lock, and one of them always gets it.
    void Of_many_processes_at_once_one_holds_the_lock_data()
    {
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<int>("age");
        QTest::newRow("free") << QByteArray() << -1;
        QTest::newRow("a dead holder's") << Lock_Record_Bytes(Record_Of(Ended_Process_Id(), 0)) << 0;
        QTest::newRow("empty for a minute") << QByteArray() << 60;
    }

    void Of_many_processes_at_once_one_holds_the_lock()
    {
        QFETCH(QByteArray, lock);
        QFETCH(int, age);
        constexpr int Contenders = 16;
        constexpr int Rounds = 20;
        QTemporaryDir dir;
        const QString workspace = dir.filePath(QStringLiteral("ws"));
        const QString log = dir.filePath(QStringLiteral("holders.log"));
        QVERIFY(QDir().mkdir(workspace));
        std::vector<std::unique_ptr<QProcess>> contenders;
        for (int i = 0; i < Contenders; ++i) {
            contenders.push_back(std::make_unique<QProcess>());
            contenders.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            contenders.back()->start(QStringLiteral(QUILLON_LOCK_CONTENDER), {workspace, log});
        }
        for (const auto &contender : contenders)
            QVERIFY(contender->waitForStarted());
        for (int round = 0; round < Rounds; ++round) {
            QFile::remove(log);
            if (age >= 0)
                QVERIFY(Write_Lock(workspace, lock, age));
            // Written out to every contender before any answer is awaited: all go at once.
            for (const auto &contender : contenders)
                contender->write("go\n");
            for (const auto &contender : contenders)
                QVERIFY(contender->waitForBytesWritten());
            QStringList answers;
            for (const auto &contender : contenders) {
                while (!contender->canReadLine())
                    QVERIFY2(contender->waitForReadyRead(60000), "a contender did not answer");
                answers << QString::fromUtf8(contender->readLine()).trimmed();
            }
            const QString told = QStringLiteral("round %1: %2").arg(round).arg(answers.join(u", "));
            QVERIFY2(answers.count(QStringLiteral("won")) >= 1, qPrintable(told));
            for (const QString &answer : std::as_const(answers))
                QVERIFY2(answer == u"won" || answer == u"held" || answer == u"busy", qPrintable(told));
            // Each holder's "+" is followed by its own "-" before anyone else's line.
            QFile file(log);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
            const QByteArray shown = told.toUtf8() + '\n' + lines.join('\n');
            QCOMPARE(lines.size(), 2 * answers.count(QStringLiteral("won")));
            for (qsizetype i = 0; i < lines.size(); i += 2)
                QVERIFY2(lines[i].startsWith('+') && lines[i + 1] == '-' + lines[i].mid(1), shown.constData());
            QVERIFY2(Entries(workspace).isEmpty(), qPrintable(Entries(workspace).join(u", ")));
        }
        for (const auto &contender : contenders) {
            contender->closeWriteChannel();
            QVERIFY(contender->waitForFinished());
            QCOMPARE(contender->exitCode(), 0);
        }
    }
};

QTEST_GUILESS_MAIN(Test_UUpdater_Lock)
#include "test_UUpdater_Lock.moc"
