// One updater at a time per workspace: the lock refuses while its holder lives and is taken over once it died.

#include "UUpdater_Lock.h"

#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

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

bool Write_Lock(const QString &dir, const QByteArray &bytes)
{
    QFile file(Join_Path(dir, Updater_Lock_File_Name));
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

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

class Test_UUpdater_Lock : public QObject
{
    Q_OBJECT

private slots:
    void A_lock_is_obeyed_only_while_its_holder_lives_data()
    {
        QTest::addColumn<QByteArray>("lock");
        QTest::addColumn<bool>("obeyed");
        const qint64 self = QCoreApplication::applicationPid();
        const qint64 selfStart = Process_Start_Time(self);
        const qint64 ended = Ended_Process_Id();
        QTest::newRow("this process holds it") << Lock_Record_Bytes(Record_Of(self, selfStart)) << true;
        QTest::newRow("its updater runs") << Lock_Record_Bytes(Record_Of(ended, 0, self, selfStart)) << true;
        QTest::newRow("its holder died") << Lock_Record_Bytes(Record_Of(ended, 0)) << false;
        // The program lives on, but the updater it named has ended: the workspace is free again.
        QTest::newRow("its updater ended") << Lock_Record_Bytes(Record_Of(self, selfStart, ended, 0)) << false;
#ifdef Q_OS_LINUX
        // After a restart the same process id may belong to another program.
        QTest::newRow("its process id was used again") << Lock_Record_Bytes(Record_Of(self, selfStart + 1)) << false;
#endif
        QTest::newRow("no process named") << QByteArray("left by a crash") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }

    void A_lock_is_obeyed_only_while_its_holder_lives()
    {
        QFETCH(QByteArray, lock);
        QFETCH(bool, obeyed);
        QTemporaryDir dir;
        QVERIFY(Write_Lock(dir.path(), lock));
        TUpdater_Lock second(dir.path());
        QCOMPARE(!second.Acquire(QStringLiteral("/ws/Ethernet_Update"), QStringLiteral("10.1.2.105"), dir.path()),
                 obeyed);
        QCOMPARE(second.Held(), !obeyed);
        const TUpdater_Lock_Record now = Parse_Lock_Record([&] {
            QFile file(Join_Path(dir.path(), Updater_Lock_File_Name));
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }());
        // A taken-over lock names the new holder; an obeyed one is left as it was.
        QCOMPARE(now.Target, obeyed ? QStringLiteral("/dev/ttyUSB0") : QStringLiteral("10.1.2.105"));
        if (obeyed)
            QCOMPARE(second.Holder.Target, QStringLiteral("/dev/ttyUSB0"));
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
};

QTEST_GUILESS_MAIN(Test_UUpdater_Lock)
#include "test_UUpdater_Lock.moc"
