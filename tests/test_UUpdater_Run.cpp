// The run of an external updater: started, awaited, given up after its limit without being killed, and the
// Linux port access check, and the record of a run in update.log.

#include "UUpdater_Run.h"

#include "UAnsi_Paths.h"
#include "UGround.h"
#include "USerial_Ports.h"
#include "UWorkspace.h"
#include "UUpdater_Lock.h"

#include "UFull_Disk.h"
#include "UStand_In.h"

#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

QByteArray Read_All(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

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

    void The_windows_argument_text_reaches_the_updater_as_written()
    {
#ifndef Q_OS_WIN
        QSKIP("the argument text is handed over as it is only on Windows");
#else
        // Paths with blanks: the quotes of the text, not a splitting of the program's own, keep them whole.
        QTemporaryDir dir;
        const QString base = QDir::toNativeSeparators(dir.path() + QStringLiteral("/a workspace"));
        QVERIFY(QDir().mkpath(base));
        QVERIFY(Install_Stand_In(base, Serial_Updater_Base));
        const QString master = base + QStringLiteral("\\MASTER");
        const QString conf = base + QStringLiteral("\\PROJECTS\\Line 2");
        TUpdater_Run run;
        QVERIFY(Run_Updater(run, Updater_Path(base, Serial_Updater_Base),
                            Serial_Update_Arguments(TPlatform_Form::Windows, QStringLiteral("COM3"), 0, true, master,
                                                    conf),
                            TPlatform_Form::Windows, base));
        QCOMPARE(run.End, TRun_End::Exited);
        const QList<TStand_In_Run> runs = Stand_In_Runs(base, Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QCOMPARE(runs[0].Args, (QStringList{"\\\\.\\COM3", "FW", "FR", "PW", "PR", master + "\\sim40926.sim",
                                            conf + "\\bin\\bank.bin"}));
#endif
    }

    void A_name_outside_the_code_page_reaches_an_ansi_updater_in_its_short_form()
    {
#ifndef Q_OS_WIN
        QSKIP("arguments go as UTF-8 bytes elsewhere; the ANSI code page is Windows'");
#else
        // "ij" as one letter is in no Western code page; the others are in Windows-1252.
        QTemporaryDir dir;
        const QString base = QDir::toNativeSeparators(dir.path());
        const QString master = base + QStringLiteral("\\MASTER");
        const QString conf =
            base + QStringLiteral("\\PROJECTS\\\u00D6lm\u00FChle \u00C6\u00D8\u00C5 \u0133 \u20AC");
        QVERIFY(QDir().mkpath(conf + QStringLiteral("\\bin")) && QDir().mkpath(master));
        for (const QString &file :
             {master + QStringLiteral("\\sim40926.sim"), conf + QStringLiteral("\\bin\\bank.bin")}) {
            QFile written(file);
            QVERIFY(written.open(QIODevice::WriteOnly) && written.write("bytes") == 5);
        }
        const TSerial_Paths paths = Serial_Updater_Paths(master, conf, Native_Ansi_System());
        if (!paths.Refusal.isEmpty())
            QSKIP(qPrintable(QStringLiteral("this drive keeps no short names: ") + paths.Refusal));
        QCOMPARE(paths.Notes.size(), 1);
        QVERIFY(paths.Conf_Dir != conf);
        const QString updater = base + QStringLiteral("\\ansi.exe");
        QVERIFY(QFile::copy(QStringLiteral(QUILLON_ANSI_STAND_IN), updater));
        TUpdater_Run run;
        QVERIFY(Run_Updater(run, updater,
                            Serial_Update_Arguments(TPlatform_Form::Windows, QStringLiteral("COM3"), 0, true,
                                                    paths.Master_Dir, paths.Conf_Dir),
                            TPlatform_Form::Windows, base));
        QFile log(base + QStringLiteral("\\ansi_stand_in.log"));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray said = log.readAll();
        QVERIFY2(said.count("opened ") == 2 && !said.contains("cannot"), said.constData());
        QCOMPARE(run.Exit_Code, 0);
#endif
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
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 3000));
        {
            TUpdater_Run run;
            QVERIFY(Run_Updater(run, Updater_Path(dir.path(), Serial_Updater_Base), {}, TPlatform_Form::Posix,
                                dir.path(), 200));
            QCOMPARE(run.End, TRun_End::Limit_Reached);
        }
        // The run object is gone; the updater is not (on a loaded machine it may only now be starting).
        QTRY_COMPARE(Stand_In_Runs(dir.path(), Serial_Updater_Base).size(), 1);
        QVERIFY(!Stand_In_Runs(dir.path(), Serial_Updater_Base).value(0).Finished);
        QVERIFY(
            QTest::qWaitFor([&] { return Stand_In_Runs(dir.path(), Serial_Updater_Base).value(0).Finished; }, 10000));
    }

    void The_port_advice_names_a_group_only_when_it_gives_access_data()
    {
        QTest::addColumn<QString>("owner");
        QTest::addColumn<QString>("group");
        QTest::addColumn<uint>("gid");
        QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("advice"); // the group to join; empty: none does
        QTest::newRow("dialout, rw-rw----") << "root" << "dialout" << 20u << 0660u << "dialout";
        QTest::newRow("uucp, rw-rw-rw-") << "root" << "uucp" << 14u << 0666u << "uucp";
        QTest::newRow("root only, rw-------") << "root" << "root" << 0u << 0600u << "";
        QTest::newRow("root's group may use it, rw-rw----") << "root" << "root" << 0u << 0660u << "";
        QTest::newRow("a group named root not by number") << "root" << "root" << 7u << 0660u << "";
        QTest::newRow("dialout may only read, rw-r-----") << "root" << "dialout" << 20u << 0640u << "";
        QTest::newRow("dialout may only write, rw--w----") << "root" << "dialout" << 20u << 0620u << "";
        QTest::newRow("owned by another user, rw-------") << "alice" << "alice" << 1000u << 0600u << "";
    }

    void The_port_advice_names_a_group_only_when_it_gives_access()
    {
        QFETCH(QString, owner);
        QFETCH(QString, group);
        QFETCH(uint, gid);
        QFETCH(uint, mode);
        QFETCH(QString, advice);
        const QString text = Port_Permission_Advice(QStringLiteral("/dev/ttyS0"), {owner, group, gid, mode});
        QVERIFY2(text.startsWith(QStringLiteral("The serial port /dev/ttyS0 cannot be used")), qPrintable(text));
        QVERIFY2(!text.contains(QStringLiteral("usermod -aG root")), qPrintable(text));
        if (!advice.isEmpty()) {
            QVERIFY2(text.contains(QStringLiteral("sudo usermod -aG %1 $USER").arg(advice)), qPrintable(text));
            QVERIFY(text.contains(QStringLiteral("log in again")));
        } else {
            QVERIFY2(!text.contains(QStringLiteral("usermod")), qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("No group the user could join gives access to it (owner %1, group "
                                                  "%2, mode %3)")
                                       .arg(owner, group, Mode_Text(mode))),
                     qPrintable(text));
            QVERIFY2(text.contains(QStringLiteral("KERNEL==\"ttyS0\", GROUP=\"dialout\", MODE=\"0660\"")),
                     qPrintable(text));
        }
    }

    void The_port_check_reads_the_file_system()
    {
        QCOMPARE(Port_Permission_Problem(QString()), QString());
        QCOMPARE(Port_Permission_Problem(QStringLiteral("/dev/no-such-port-here")), QString());
        QCOMPARE(Mode_Text(0640), QStringLiteral("rw-r-----"));
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        const QString port = dir.filePath(QStringLiteral("ttyFAKE0"));
        QFile file(port);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(Port_Permission_Problem(port), QString());
        // A port must be a character device that exists, or one the system lists.
        QVERIFY(Serial_Port_Absence(port, {}).contains(QStringLiteral("is not there")));
        QCOMPARE(Serial_Port_Absence(QStringLiteral("/dev/null"), {}), QString());
        QCOMPARE(Serial_Port_Absence(port, {{QStringLiteral("ttyFAKE0"), port, {}, {}, {}}}), QString());
        QVERIFY(Serial_Port_Absence(QString(), {}).startsWith(QStringLiteral("No serial port is chosen")));
        if (::geteuid() == 0)
            QSKIP("root may read and write any file: the refusal needs another user");
        QVERIFY(QFile::setPermissions(port, QFileDevice::Permissions()));
        QVERIFY(Port_Permission_Problem(port).contains(port));
#endif
    }

    void A_run_is_recorded_in_update_log_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("ended");
        QTest::newRow("exit code 3") << "exit 3" << "  ended: exit code 3, after ";
        QTest::newRow("the limit passed") << "limit"
                                          << "  ended: still running after the wait limit of 0.2 s; no longer awaited; "
                                             "its further output goes to ";
        QTest::newRow("no updater") << "missing" << "  ended: could not be started: ";
    }

    void A_run_is_recorded_in_update_log()
    {
        QFETCH(QString, how);
        QFETCH(QString, ended);
        QTemporaryDir dir;
        const QString program = Updater_Path(dir.path(), Serial_Updater_Base);
        if (how != u"missing") {
            QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, how == u"limit" ? 1000 : 0, 3));
            QVERIFY(Stand_In_Says(dir.path(), Serial_Updater_Base, {QStringLiteral("step \x1b[1mone\x1b[0m")}, {}));
        }
        // An earlier record without its last line break stays whole.
        QFile earlier(dir.filePath(QStringLiteral("update.log")));
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier record") == 14);
        earlier.close();
        TUpdater_Run run;
        TUpdate_Record record;
        record.Program = program;
        record.Arguments = {QStringLiteral("/dev/ttyS0"), QStringLiteral("NO")};
        record.Notes = {QStringLiteral("C:\\W\\\u0133 handed on as C:\\W\\IJ~1")};
        record.Option = 2;
        record.Read_Back = false;
        record.Limit_Ms = how == u"limit" ? 200 : 30000;
        Begin_Update_Record(run, record, dir.path());
        Run_Updater(run, program, record.Arguments, TPlatform_Form::Posix, dir.path(), record.Limit_Ms);
        Finish_Update_Record(run, record, dir.path());
        QStringList lines = QString::fromUtf8(Read_All(dir.filePath(QStringLiteral("update.log")))).split(u'\n');
        QCOMPARE(lines.value(0), QStringLiteral("earlier record"));
        QVERIFY2(lines.value(1).endsWith(QStringLiteral(" serial update")), qPrintable(lines.join(u'\n')));
        QCOMPARE(lines.value(2), QStringLiteral("  updater: ") + QDir::toNativeSeparators(program) +
                                     QStringLiteral(" /dev/ttyS0 NO"));
        // What was changed in the arguments before the run.
        QCOMPARE(lines.value(3), QStringLiteral("  note: C:\\W\\\u0133 handed on as C:\\W\\IJ~1"));
        lines.removeAt(3);
        QCOMPARE(lines.value(3), QStringLiteral("  option: 2 (configuration only), read back off"));
        QVERIFY2(lines.value(4).startsWith(ended), qPrintable(lines.join(u'\n')));
        const QStringList outputFiles = QDir(dir.path()).entryList({QStringLiteral("update-output-*")}, QDir::Files);
        if (how == u"exit 3") {
            // Control characters are shown, not written.
            QCOMPARE(lines.mid(5), (QStringList{QStringLiteral("  output:"),
                                                QStringLiteral("    | step \\x1b[1mone\\x1b[0m"), QString()}));
            QCOMPARE(outputFiles, QStringList());
        } else if (how == u"limit") {
            // The updater goes on writing to its file, named in the record.
            QCOMPARE(outputFiles.size(), 1);
            QVERIFY(lines.value(4).endsWith(QDir::toNativeSeparators(dir.filePath(outputFiles[0]))));
            QVERIFY(QTest::qWaitFor([&] { return Stand_In_Runs(dir.path(), Serial_Updater_Base).value(0).Finished; },
                                    10000));
        } else {
            QVERIFY2(lines.value(4).contains(QStringLiteral("does not exist")), qPrintable(lines.value(4)));
            QCOMPARE(outputFiles, QStringList());
        }
    }

    void A_record_on_a_full_disk_is_reported()
    {
        TFull_Disk disk;
        const QString why = disk.Mount();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
        QTemporaryDir programDir;
        QVERIFY(Install_Stand_In(programDir.path(), Serial_Updater_Base));
        const QString program = Updater_Path(programDir.path(), Serial_Updater_Base);
        TUpdater_Run run;
        TUpdate_Record record;
        Begin_Update_Record(run, record, disk.Path());
        QVERIFY(disk.Fill());
        QVERIFY(Run_Updater(run, program, {}, TPlatform_Form::Posix, programDir.path()));
        try {
            Finish_Update_Record(run, record, disk.Path());
            QFAIL("a record that cannot be written was not reported");
        } catch (const EQuillon_Error &error) {
            QVERIFY2(error.Text().contains(QStringLiteral("update.log")) &&
                         error.Text().contains(QStringLiteral("No space left on device")),
                     qPrintable(error.Text()));
        }
        QVERIFY(!QFileInfo::exists(disk.File_Path(QStringLiteral("update.log"))));
    }

    void Cancel_ends_the_updater_and_every_process_it_started()
    {
#ifndef Q_OS_LINUX
        QSKIP("the stand-in starts a child of its own on Linux only");
#else
        QTemporaryDir dir;
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 60000));
        // A child that ignores the polite request: only the forced end after the grace reaches it.
        QVERIFY(Stand_In_Control(dir.path(), Serial_Updater_Base, "child=1\ntick_ms=100\n"));
        const QString childFile = Updater_Path(dir.path(), Serial_Updater_Base) + QStringLiteral(".child");
        TUpdater_Run run;
        TUpdate_Record record;
        record.Program = Updater_Path(dir.path(), Serial_Updater_Base);
        Begin_Update_Record(run, record, dir.path());
        QVERIFY(run.Start(record.Program, {}, TPlatform_Form::Posix, dir.path()));
        QVERIFY(QTest::qWaitFor([&] { return !Read_All(childFile).isEmpty(); }, 5000));
        const qint64 child = Read_All(childFile).toLongLong();
        QVERIFY(Process_Alive(child, 0));
        QVERIFY(QTest::qWaitFor([&] { return Read_All(run.Output_File).contains("tick 2"); }, 5000));
        run.Cancel();
        QVERIFY(QTest::qWaitFor([&] { return !run.Running(); }, 5000));
        QCOMPARE(run.End, TRun_End::Cancelled);
        QVERIFY(QTest::qWaitFor([&] { return !Process_Alive(child, 0); }, Cancel_Grace_Ms + 3000));
        Finish_Update_Record(run, record, dir.path());
        const QString log = QString::fromUtf8(Read_All(dir.filePath(Update_Log_File_Name)));
        QVERIFY2(log.contains(QStringLiteral("  ended: cancelled by the user after ")), qPrintable(log));
        QVERIFY2(log.contains(QStringLiteral("    | tick 2")), qPrintable(log));
        QVERIFY(!Run_Succeeded(record));
        QVERIFY(Run_End_Text(record).startsWith(QStringLiteral("The updater was stopped by the user after ")));
#endif
    }

    void Only_exit_code_0_is_a_success_data()
    {
        QTest::addColumn<int>("end");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<bool>("success");
        QTest::newRow("exit code 0") << int(TRun_End::Exited) << 0 << true;
        QTest::newRow("exit code 3") << int(TRun_End::Exited) << 3 << false;
        QTest::newRow("crashed") << int(TRun_End::Crashed) << 0 << false;
        QTest::newRow("limit reached") << int(TRun_End::Limit_Reached) << 0 << false;
        QTest::newRow("cancelled") << int(TRun_End::Cancelled) << 0 << false;
    }

    void Only_exit_code_0_is_a_success()
    {
        QFETCH(int, end);
        QFETCH(int, exitCode);
        QFETCH(bool, success);
        TUpdate_Record record;
        record.End = TRun_End(end);
        record.Exit_Code = exitCode;
        QCOMPARE(Run_Succeeded(record), success);
    }

    void The_verdict_shows_the_last_ten_lines_escaped_and_the_log()
    {
        TUpdate_Record record;
        record.End = TRun_End::Exited;
        record.Exit_Code = 2;
        QByteArray output;
        for (int i = 1; i <= 12; ++i)
            output += "line " + QByteArray::number(i) + "\r\n";
        output += "bell\a and escape\x1b[2J\n";
        QStringList expected;
        for (int i = 4; i <= 12; ++i)
            expected << QStringLiteral("line %1").arg(i);
        expected << QStringLiteral("bell\\x07 and escape\\x1B[2J");
        record.Output = output;
        QCOMPARE(Output_Tail(record.Output, Verdict_Output_Lines), expected);
        QCOMPARE(Run_Verdict_Text(record, QStringLiteral("/w/PROJECTS/Line2/update.log")),
                 QStringLiteral("The updater ended with exit code 2.\n\nIts last output:\n") + expected.join(u'\n') +
                     QStringLiteral("\n\nThe run is recorded in ") +
                     QDir::toNativeSeparators(QStringLiteral("/w/PROJECTS/Line2/update.log")));
    }

    void The_log_grows_by_appending_and_is_rotated_past_4_MiB()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(Update_Log_File_Name);
        QFile file(log);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(4 * 1024 * 1024, 'x')) > 0);
        file.close();
        // Not past the limit yet: appended, after the unended last line is ended.
        Append_Update_Log(dir.path(), QStringLiteral("first\n"));
        QCOMPARE(QFileInfo(log).size(), 4 * 1024 * 1024 + 7);
        QVERIFY(Read_All(log).endsWith("x\nfirst\n"));
        // Past it: moved aside whole, and the new log starts with the record.
        Append_Update_Log(dir.path(), QStringLiteral("second\n"));
        QCOMPARE(Read_All(log), QByteArray("second\n"));
        QCOMPARE(QFileInfo(log + QStringLiteral(".1")).size(), 4 * 1024 * 1024 + 7);
    }

    void A_link_in_the_logs_place_is_refused()
    {
#ifdef Q_OS_WIN
        QSKIP("symbolic links need privileges on Windows");
#else
        QTemporaryDir dir;
        QTemporaryDir outside;
        const QString target = outside.filePath(QStringLiteral("elsewhere.txt"));
        QVERIFY(QFile(target).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(target, dir.filePath(Update_Log_File_Name)));
        try {
            Append_Update_Log(dir.path(), QStringLiteral("record\n"));
            QFAIL("a link was written through");
        } catch (const EQuillon_Error &error) {
            QVERIFY2(error.Text().contains(QStringLiteral("symbolic link")), qPrintable(error.Text()));
        }
        QCOMPARE(QFileInfo(target).size(), 0);
#endif
    }
};

QTEST_GUILESS_MAIN(Test_UUpdater_Run)
#include "test_UUpdater_Run.moc"
