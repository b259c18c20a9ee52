// The real program under a real X server: started in a directory of its own, a configuration created, its
// communication settings confirmed and the program closed as a person would do it (mouse and keyboard through
// the X server), then the workspace, ParGen.xml and the settings file checked on disk.

#include "UWindow_Test_Support.h"

#include "UParGen_Fixture.h"

#include "UStand_In.h"
#include "UUpdater_Run.h"

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>

#include <optional>

namespace {

constexpr int Step_Timeout_Ms = 20000;

// A child process that is always ended, whatever becomes of the test.
struct TChild
{
    QProcess Process;
    ~TChild()
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.terminate();
            if (!Process.waitForFinished(3000)) {
                Process.kill();
                Process.waitForFinished(3000);
            }
        }
    }
};

} // namespace

class Test_quillon : public QObject
{
    Q_OBJECT

    QString Display;

    // Runs xdotool on the test's display: its standard output, trimmed, or nothing when it failed.
    std::optional<QString> Xdo(const QStringList &arguments, int timeoutMs = Step_Timeout_Ms)
    {
        QProcess xdo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display);
        xdo.setProcessEnvironment(env);
        xdo.start(QStringLiteral("xdotool"), arguments);
        if (!xdo.waitForFinished(timeoutMs)) {
            xdo.kill();
            xdo.waitForFinished();
            return std::nullopt;
        }
        if (xdo.exitStatus() != QProcess::NormalExit || xdo.exitCode() != 0) {
            const QByteArray said = xdo.readAllStandardError().trimmed();
            if (!said.isEmpty())
                qWarning("xdotool %s: %s", qPrintable(arguments.join(u' ')), said.constData());
            return std::nullopt;
        }
        return QString::fromLocal8Bit(xdo.readAllStandardOutput()).trimmed();
    }

    // The first visible window whose title contains name, waiting for it to appear.
    QString Wait_For_Window(const QString &name)
    {
        const std::optional<QString> found = Xdo({QStringLiteral("search"), QStringLiteral("--sync"),
                                                  QStringLiteral("--onlyvisible"), QStringLiteral("--name"), name});
        return found ? found->section(u'\n', 0, 0) : QString();
    }

    bool Wait_Until_Gone(const QString &name)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Step_Timeout_Ms) {
            if (!Xdo({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), name}))
                return true;
            QTest::qWait(100);
        }
        return false;
    }

    // The window's size, from the X server.
    QSize Window_Size(const QString &window)
    {
        const std::optional<QString> shell =
            Xdo({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
        if (!shell)
            return QSize();
        QSize size;
        for (const QString &line : shell->split(u'\n')) {
            if (line.startsWith(QStringLiteral("WIDTH=")))
                size.setWidth(line.mid(6).toInt());
            else if (line.startsWith(QStringLiteral("HEIGHT=")))
                size.setHeight(line.mid(7).toInt());
        }
        return size;
    }

    // Clicks, then parks the pointer in the screen's corner, where no window lies: a pointer left on a
    // button opens its tooltip, a window that takes the program's name as its title too.
    bool Click_In(const QString &window, int x, int y)
    {
        return Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"), window,
                    QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1"),
                    QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("1023"),
                    QStringLiteral("767")})
            .has_value();
    }

    // A display of its own; the server names its number on its standard output.
    bool Start_Display(TChild &server)
    {
        server.Process.start(QStringLiteral("Xvfb"),
                             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        if (!server.Process.waitForStarted(Step_Timeout_Ms))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!server.Process.canReadLine() && clock.elapsed() < Step_Timeout_Ms)
            server.Process.waitForReadyRead(200);
        const QString number = QString::fromLatin1(server.Process.readLine()).trimmed();
        if (number.isEmpty()) {
            qWarning("%s", server.Process.readAllStandardError().constData());
            return false;
        }
        Display = u':' + number;
        return true;
    }

    // A copy of the program in dir, started there on the test's display.
    bool Start_Program(TChild &program, const QString &dir)
    {
        const QString exe = QDir(dir).filePath(QStringLiteral("quillon"));
        if (!QFile::copy(QStringLiteral(QUILLON_EXE), exe) ||
            !QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        program.Process.setProcessEnvironment(env);
        program.Process.setWorkingDirectory(QDir::tempPath());
        program.Process.start(exe, {});
        return program.Process.waitForStarted(Step_Timeout_Ms);
    }

    // The display, then the program copied into dir; the main window's id, empty when either failed.
    QString Start_Main_Window(TChild &server, TChild &program, const QString &dir)
    {
        if (!Start_Display(server) || !Start_Program(program, dir))
            return QString();
        const QString main = Wait_For_Window(QStringLiteral("Configurator SW40926"));
        if (main.isEmpty())
            qWarning("%s", program.Process.readAllStandardError().constData());
        return main;
    }

    // Waits for the program's message box and closes it with Enter.
    bool Close_Message_Box()
    {
        // A window of that title that is gone again before it takes the focus is not the box: look again.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Step_Timeout_Ms) {
            const QString box = Wait_For_Window(QStringLiteral("^Quillon$"));
            if (box.isEmpty())
                return false;
            if (Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box}))
                return Xdo({QStringLiteral("key"), QStringLiteral("Return")}) &&
                       Wait_Until_Gone(QStringLiteral("^Quillon$"));
            QTest::qWait(100);
        }
        return false;
    }

    static bool Write_Workspace_File(const QDir &workspace, const QString &relative, const QByteArray &bytes)
    {
        QFile file(workspace.filePath(relative));
        workspace.mkpath(QFileInfo(relative).path());
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }

    static constexpr const char *Line2_Settings =
        "<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj></Conf_Settings>";

    static QByteArray Read_File(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void init()
    {
#ifndef Q_OS_LINUX
        QSKIP("drives the program through an X server (Xvfb and xdotool)");
#endif
        for (const char *tool : {"Xvfb", "xdotool"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QFAIL(
                    qPrintable(QStringLiteral("%1 is missing: scripts/setup.sh installs it").arg(QLatin1String(tool))));
        }
    }

    void A_person_creates_a_configuration_confirms_its_settings_and_closes_the_program()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TChild server;
        TChild program;
        const QString main = Start_Main_Window(server, program, dir.path());
        QVERIFY(!main.isEmpty());
        // The title the window manager is given is exactly the caption: nothing appended.
        QCOMPARE(
            Xdo({QStringLiteral("getwindowname"), main}),
            std::optional<QString>(QStringLiteral("Velmora - Configurator SW40926 - Modbus Slave / Modbus Slave")));

        // Step 1, New Configuration, which has the focus at start: pressed with Enter. The name typed, Enter.
        QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), main}));
        QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("Return")}));
        const QString dialog = Wait_For_Window(QStringLiteral("Create New Configuration"));
        QVERIFY(!dialog.isEmpty());
        QCOMPARE(Xdo({QStringLiteral("getwindowname"), dialog}),
                 std::optional<QString>(QStringLiteral("Create New Configuration")));
        QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), dialog}));
        QVERIFY(
            Xdo({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Line2")}));
        QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("Create New Configuration")));

        // Step 2, Set Communication; OK in the button band at the bottom of the dialog.
        QVERIFY(Click_In(main, 80 + 85, 156 + 18));
        const QString settingsDialog = Wait_For_Window(QStringLiteral("Set Communication"));
        QVERIFY(!settingsDialog.isEmpty());
        const QSize settingsSize = Window_Size(settingsDialog);
        QCOMPARE(settingsSize.width(), 460);
        // No window manager here enforces the fixed width: the dialog itself undoes a wider one.
        QVERIFY(Xdo({QStringLiteral("windowsize"), QStringLiteral("--sync"), settingsDialog, QStringLiteral("600"),
                     QString::number(settingsSize.height())}));
        QElapsedTimer settle;
        settle.start();
        while (Window_Size(settingsDialog).width() != 460 && settle.elapsed() < Step_Timeout_Ms)
            QTest::qWait(50);
        QCOMPARE(Window_Size(settingsDialog).width(), 460);
        QVERIFY(Click_In(settingsDialog, 217 + 55, settingsSize.height() - 40 + 6 + 14));
        QVERIFY(Wait_Until_Gone(QStringLiteral("Set Communication")));

        // The header's close button.
        QVERIFY(Click_In(main, 632 + 25, 8 + 25));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        const QByteArray errors = program.Process.readAllStandardError();
        QVERIFY2(program.Process.exitStatus() == QProcess::NormalExit && program.Process.exitCode() == 0,
                 errors.constData());

        for (const char *path : {"MASTER", "PROJECTS", "LANGUAGE", "PROJECTS/Line2", "PROJECTS/Line2/bin"})
            QVERIFY2(QFileInfo(QDir(dir.path()).filePath(QLatin1String(path))).isDir(), path);
        // The values of a new configuration, written by OK.
        QFile parGen(QDir(dir.path()).filePath(QStringLiteral("PROJECTS/Line2/ParGen.xml")));
        QVERIFY(parGen.open(QIODevice::ReadOnly));
        const QStringList keys = Settings_Lines(parGen.readAll());
        QCOMPARE(keys.size(), 26);
        QCOMPARE(keys.mid(0, 2),
                 (QStringList{QStringLiteral("root:Par_Gen"), QStringLiteral("Par_Gen/Device_Type_Type=1")}));
        QCOMPARE(keys.last(), QStringLiteral("Par_Gen/Ethernet_EN_GAT=0"));
        QFile settings(QDir(dir.path()).filePath(QStringLiteral("Quillon.xml")));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(Settings_Lines(settings.readAll()), Default_Settings_Lines(QStringLiteral("Line2")));
    }

    void A_person_switches_the_language_in_the_options_and_keeps_it_with_OK()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("LANGUAGE")));
        QFile language(QDir(dir.path()).filePath(QStringLiteral("LANGUAGE/Italiano.lng")));
        QVERIFY(language.open(QIODevice::WriteOnly));
        QVERIFY(language.write("STR300 = Opzioni Software\nSTR100 = Crea nuova configurazione\n") > 0);
        language.close();
        // A flag to click: the language's picture.
        QImage flag(48, 48, QImage::Format_RGB32);
        flag.fill(Qt::darkGreen);
        QVERIFY(flag.save(QDir(dir.path()).filePath(QStringLiteral("LANGUAGE/DefaultFlag.bmp")), "BMP"));

        TChild server;
        TChild program;
        const QString main = Start_Main_Window(server, program, dir.path());
        QVERIFY(!main.isEmpty());

        // The header's options button; the flag of the second language, after the built-in English (page below the
        // title band and tabs).
        QVERIFY(Click_In(main, 574 + 25, 8 + 25));
        const QString options = Wait_For_Window(QStringLiteral("^Software Options$"));
        QVERIFY(!options.isEmpty());
        QVERIFY(Click_In(options, 26 + 24, 69 + 26 + 94 + 24));
        // The question, answered Yes with the keyboard.
        const QString question = Wait_For_Window(QStringLiteral("^Quillon$"));
        QVERIFY(!question.isEmpty());
        QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), question}));
        QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Quillon$")));

        // The open dialog's own title is in the new language at once; OK writes the choice.
        const QString translated = Wait_For_Window(QStringLiteral("^Opzioni Software$"));
        QVERIFY(!translated.isEmpty());
        QCOMPARE(translated, options);
        QVERIFY(Click_In(options, 16 + 55, 373 - 40 + 6 + 14));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Opzioni Software$")));
        const QString settingsPath = QDir(dir.path()).filePath(QStringLiteral("Quillon.xml"));
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(settingsPath) && clock.elapsed() < Step_Timeout_Ms)
            QTest::qWait(100);
        QCOMPARE(Settings_Lines(Read_File(settingsPath)),
                 Default_Settings_Lines(QString(), QStringLiteral("Italiano")));

        // Another dialog in the new language: Step 1, new configuration, closed with Escape.
        QVERIFY(Click_In(main, 80 + 85, 112 + 18));
        const QString newDialog = Wait_For_Window(QStringLiteral("^Crea nuova configurazione$"));
        QVERIFY(!newDialog.isEmpty());
        QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), newDialog}));
        QVERIFY(Xdo({QStringLiteral("key"), QStringLiteral("Escape")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Crea nuova configurazione$")));

        QVERIFY(Click_In(main, 632 + 25, 8 + 25));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        QVERIFY2(program.Process.exitStatus() == QProcess::NormalExit && program.Process.exitCode() == 0,
                 program.Process.readAllStandardError().constData());
        QCOMPARE(Settings_Lines(Read_File(settingsPath)),
                 Default_Settings_Lines(QString(), QStringLiteral("Italiano")));
    }

    // The whole job without a mouse: Tab, Shift+Tab, Return, Escape and typing only. (Focusing a window is the
    // X server's doing here: no window manager gives a closed dialog's parent the focus back.)
    void A_person_does_the_whole_job_by_keyboard()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        TChild server;
        TChild program;
        const QString main = Start_Main_Window(server, program, dir.path());
        QVERIFY(!main.isEmpty());
        const auto keys = [this](const QString &window, const QStringList &names) {
            QStringList arguments{QStringLiteral("windowfocus"), QStringLiteral("--sync"),  window,
                                  QStringLiteral("key"),         QStringLiteral("--delay"), QStringLiteral("60")};
            return Xdo(arguments + names).has_value();
        };
        const auto answer_yes = [this] {
            const QString box = Wait_For_Window(QStringLiteral("^Quillon$"));
            return !box.isEmpty() && Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box}) &&
                   Xdo({QStringLiteral("key"), QStringLiteral("Return")}) &&
                   Wait_Until_Gone(QStringLiteral("^Quillon$"));
        };

        // Step 1, New Configuration (the focus is on it at start): a name, Enter.
        QVERIFY(keys(main, {QStringLiteral("Return")}));
        const QString create = Wait_For_Window(QStringLiteral("^Create New Configuration$"));
        QVERIFY(!create.isEmpty());
        QVERIFY(Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), create, QStringLiteral("type"),
                     QStringLiteral("--delay"), QStringLiteral("20"), QStringLiteral("Keys")}));
        QVERIFY(keys(create, {QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Create New Configuration$")));

        // Step 2, two Tabs on: the settings, whose OK is two Shift+Tabs back from the first control.
        QVERIFY(keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString settings = Wait_For_Window(QStringLiteral("^Set Communication$"));
        QVERIFY(!settings.isEmpty());
        QVERIFY(keys(settings, {QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Set Communication$")));
        QVERIFY(QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("PROJECTS/Keys/ParGen.xml"))));

        // The options, three Tabs on: the first language (Deutsch) and back to English (the second), each
        // confirmed; OK four Tabs after English.
        QVERIFY(keys(main,
                     {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString options = Wait_For_Window(QStringLiteral("^Software Options$"));
        QVERIFY(!options.isEmpty());
        QVERIFY(keys(options, {QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(answer_yes());
        QVERIFY(!Wait_For_Window(QStringLiteral("^Programmoptionen$")).isEmpty());
        QVERIFY(keys(options, {QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(answer_yes());
        QVERIFY(!Wait_For_Window(QStringLiteral("^Software Options$")).isEmpty());
        QVERIFY(keys(options, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                               QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^Software Options$")));

        // About, one Shift+Tab back, closed with its OK; then Close, two Tabs on.
        QVERIFY(keys(main, {QStringLiteral("shift+Tab"), QStringLiteral("Return")}));
        const QString about = Wait_For_Window(QStringLiteral("^About$"));
        QVERIFY(!about.isEmpty());
        QVERIFY(keys(about, {QStringLiteral("Return")}));
        QVERIFY(Wait_Until_Gone(QStringLiteral("^About$")));
        QVERIFY(keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        QVERIFY2(program.Process.exitStatus() == QProcess::NormalExit && program.Process.exitCode() == 0,
                 program.Process.readAllStandardError().constData());
        QCOMPARE(Settings_Lines(Read_File(QDir(dir.path()).filePath(QStringLiteral("Quillon.xml")))),
                 Default_Settings_Lines(QStringLiteral("Keys")));
    }

    void A_person_updates_a_serial_device_through_step_3()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir workspace(dir.path());
        QVERIFY(workspace.mkpath(QStringLiteral("PROJECTS/Line2/bin")));
        QVERIFY(Write_Workspace_File(workspace, QStringLiteral("PROJECTS/Line2/ParGen.xml"),
                                     Saved_ParGen(0, {{QStringLiteral("Port_0_Baud"), QStringLiteral("3")}})));
        QVERIFY(Write_Workspace_File(workspace, QStringLiteral("MASTER/sim40926.sim"), "serial firmware"));
        QVERIFY(Write_Workspace_File(workspace, QStringLiteral("Quillon.xml"), Line2_Settings));
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base, 1500));
        // The dialog selects the first port the system lists; one this user may not open is explained instead.
        const QList<TSerial_Port> ports = List_COM_Ports();
        if (ports.isEmpty())
            QSKIP("the system lists no serial port to update through");
        const QString port = ports.first().Location;
        if (!Port_Permission_Problem(port).isEmpty())
            QSKIP(qPrintable(port + QStringLiteral(" is listed first and this user may not open it")));

        TChild server;
        TChild program;
        const QString main = Start_Main_Window(server, program, dir.path());
        QVERIFY(!main.isEmpty());

        // Step 3, Update Device: the files are built and the dialog opens in its serial form.
        QVERIFY(Click_In(main, 80 + 85, 200 + 18));
        const QString dialog = Wait_For_Window(QStringLiteral("Update Device by Serial"));
        QVERIFY(!dialog.isEmpty());
        // The update button; the wait indicator names the updater while it runs, then the dialog is back.
        QVERIFY(Click_In(dialog, 206 + 55, 192 + 6 + 14));
        QVERIFY(!Wait_For_Window(QStringLiteral("Update running")).isEmpty());
        QVERIFY(Wait_Until_Gone(QStringLiteral("Update running")));
        // How the updater ended, told in a box that Enter closes.
        QVERIFY(Close_Message_Box());
        QVERIFY(Read_File(workspace.filePath(QStringLiteral("PROJECTS/Line2/update.log"))).contains("exit code 0"));
        const QList<TStand_In_Run> runs = Stand_In_Runs(dir.path(), Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QVERIFY(runs[0].Finished);
        QCOMPARE(runs[0].Args,
                 (QStringList{port, "FW", "FR", "PW", "PR", workspace.filePath(QStringLiteral("MASTER/sim40926.sim")),
                              workspace.filePath(QStringLiteral("PROJECTS/Line2/bin/bank.bin"))}));
        QFile bank(runs[0].Args.last());
        QVERIFY(bank.open(QIODevice::ReadOnly));
        const QByteArray block = bank.readAll();
        QCOMPARE(block.size(), 17);
        QCOMPARE(int(block[4]), 3); // Port_0_Baud of this configuration

        // Cancel, then the header's close button.
        QVERIFY(Click_In(dialog, 324 + 55, 192 + 6 + 14));
        QVERIFY(Wait_Until_Gone(QStringLiteral("Update Device by Serial")));
        QVERIFY(Click_In(main, 632 + 25, 8 + 25));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        QCOMPARE(program.Process.exitCode(), 0);
    }

    void Step_3_refuses_to_send_a_configuration_never_saved()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir workspace(dir.path());
        QVERIFY(workspace.mkpath(QStringLiteral("PROJECTS/Line2/bin")));
        QVERIFY(Write_Workspace_File(workspace, QStringLiteral("MASTER/sim40926.sim"), "serial firmware"));
        QVERIFY(Write_Workspace_File(workspace, QStringLiteral("Quillon.xml"), Line2_Settings));
        QVERIFY(Install_Stand_In(dir.path(), Serial_Updater_Base));

        TChild server;
        TChild program;
        const QString main = Start_Main_Window(server, program, dir.path());
        QVERIFY(!main.isEmpty());
        // Step 3 writes the images as always; the update button refuses them with an error box.
        QVERIFY(Click_In(main, 80 + 85, 200 + 18));
        const QString dialog = Wait_For_Window(QStringLiteral("Update Device by Serial"));
        QVERIFY(!dialog.isEmpty());
        QVERIFY(Click_In(dialog, 206 + 55, 192 + 6 + 14));
        QVERIFY(Close_Message_Box());
        QVERIFY(Stand_In_Runs(dir.path(), Serial_Updater_Base).isEmpty());
        QVERIFY(!QFileInfo::exists(workspace.filePath(QStringLiteral("PROJECTS/Line2/update.log"))));
        QCOMPARE(QFileInfo(workspace.filePath(QStringLiteral("PROJECTS/Line2/bin/bank.bin"))).size(), 4);

        QVERIFY(Click_In(dialog, 324 + 55, 192 + 6 + 14));
        QVERIFY(Wait_Until_Gone(QStringLiteral("Update Device by Serial")));
        QVERIFY(Click_In(main, 632 + 25, 8 + 25));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        QCOMPARE(program.Process.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(Test_quillon)
#include "test_quillon.moc"
