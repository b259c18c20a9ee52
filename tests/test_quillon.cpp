// The real program under a real X server: started in a directory of its own, a configuration created, its
// communication settings confirmed and the program closed as a person would do it (mouse and keyboard through
// the X server), then the workspace, ParGen.xml and the settings file checked on disk.

#include "UWindow_Test_Support.h"

#include "UParGen_Fixture.h"

#include "UStand_In.h"
#include "UUpdater_Lock.h"
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

// The program, copied into a workspace of its own, on a display of its own; and the same windows built in
// this process (offscreen), where a control is found by its name: X knows the program's windows, not the
// controls in them, so a click goes where the control lies in the copy.
class TDesktop_Session : public TProgram_Dir
{
public:
    QString Workspace() const { return Dir.path(); }

    // The display, then the program; the main window's id in Main, false when any of them failed.
    bool Start()
    {
        if (!Dir.isValid() || !Start_Display() || !Start_Program())
            return false;
        Mirror.Start();
        Main = Wait_For_Window(QStringLiteral("Configurator SW40926"));
        if (Main.isEmpty())
            qWarning("%s", Program.Process.readAllStandardError().constData());
        return !Main.isEmpty();
    }

    // Runs xdotool on the session's display: its standard output, trimmed, or nothing when it failed.
    std::optional<QString> Xdo(const QStringList &arguments) const
    {
        QProcess xdo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display);
        xdo.setProcessEnvironment(env);
        xdo.start(QStringLiteral("xdotool"), arguments);
        if (!xdo.waitForFinished(Step_Timeout_Ms)) {
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

    // Gives window the focus, then presses the keys one after another.
    bool Keys(const QString &window, const QStringList &names) const
    {
        return Xdo(QStringList{QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("key"),
                               QStringLiteral("--delay"), QStringLiteral("60")} +
                   names)
            .has_value();
    }

    bool Type(const QString &window, const QString &text) const
    {
        return Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window, QStringLiteral("type"),
                    QStringLiteral("--delay"), QStringLiteral("20"), text})
            .has_value();
    }

    // The first visible window whose title matches name, waiting for it to appear.
    QString Wait_For_Window(const QString &name) const
    {
        const std::optional<QString> found = Xdo({QStringLiteral("search"), QStringLiteral("--sync"),
                                                  QStringLiteral("--onlyvisible"), QStringLiteral("--name"), name});
        return found ? found->section(u'\n', 0, 0) : QString();
    }

    bool Wait_Until_Gone(const QString &name) const
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
    QSize Window_Size(const QString &window) const
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

    // Clicks the middle of the control named control in the program's window (form: the object name of that
    // window, such as FParGen), then parks the pointer in the screen's corner, where no window lies: a pointer
    // left on a button opens its tooltip, a window that takes the program's name as its title too.
    bool Click(const QString &window, const char *form, const char *control)
    {
        const std::optional<QPoint> at = Centre_Of(window, QLatin1String(form), QLatin1String(control));
        return at && Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"), window,
                          QString::number(at->x()), QString::number(at->y()), QStringLiteral("click"),
                          QStringLiteral("1"), QStringLiteral("mousemove"), QStringLiteral("--sync"),
                          QStringLiteral("1023"), QStringLiteral("767")});
    }

    // Waits for the program's message box and closes it with Enter (its default answer). Unless awaitGone is
    // false (another box may follow at once), until no box is left.
    bool Close_Message_Box(bool awaitGone = true, const QStringList &keys = {QStringLiteral("Return")}) const
    {
        // A window of that title that is gone again before it takes the focus is not the box: look again.
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < Step_Timeout_Ms) {
            const QString box = Wait_For_Window(QStringLiteral("^Quillon$"));
            if (box.isEmpty())
                return false;
            if (Xdo({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box}))
                return Xdo(QStringList{QStringLiteral("key")} + keys) &&
                       (!awaitGone || Wait_Until_Gone(QStringLiteral("^Quillon$")));
            QTest::qWait(100);
        }
        return false;
    }

    // The program's exit once the main window closed: empty when it ended well, else what it said.
    QString Wait_For_Exit()
    {
        if (!Program.Process.waitForFinished(Step_Timeout_Ms))
            return QStringLiteral("the program did not end");
        if (Program.Process.exitStatus() == QProcess::NormalExit && Program.Process.exitCode() == 0)
            return QString();
        return QStringLiteral("exit code %1: ").arg(Program.Process.exitCode()) +
               QString::fromLocal8Bit(Program.Process.readAllStandardError());
    }

    QString Main;

private:
    // A display of its own; the server names its number on its standard output.
    bool Start_Display()
    {
        Server.Process.start(QStringLiteral("Xvfb"),
                             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        if (!Server.Process.waitForStarted(Step_Timeout_Ms))
            return false;
        QElapsedTimer clock;
        clock.start();
        while (!Server.Process.canReadLine() && clock.elapsed() < Step_Timeout_Ms)
            Server.Process.waitForReadyRead(200);
        const QString number = QString::fromLatin1(Server.Process.readLine()).trimmed();
        if (number.isEmpty()) {
            qWarning("%s", Server.Process.readAllStandardError().constData());
            return false;
        }
        Display = u':' + number;
        return true;
    }

    // A copy of the program in the workspace, started there on the session's display.
    bool Start_Program()
    {
        const QString exe = Path(QStringLiteral("quillon"));
        if (!QFile::copy(QStringLiteral(QUILLON_EXE), exe) ||
            !QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner))
            return false;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        Program.Process.setProcessEnvironment(env);
        Program.Process.setWorkingDirectory(QDir::tempPath());
        Program.Process.start(exe, {});
        return Program.Process.waitForStarted(Step_Timeout_Ms);
    }

    // Where the control lies in the program's window, from the copy shown at the size the program's window has
    // (a band kept at a window's bottom follows its height; a dialog lays out its controls when shown).
    std::optional<QPoint> Centre_Of(const QString &window, QLatin1String form, QLatin1String control)
    {
        QWidget *copy = Mirror.Main->objectName() == form ? Mirror.Main.get() : Mirror.Main->findChild<QWidget *>(form);
        QWidget *child = copy ? copy->findChild<QWidget *>(control) : nullptr;
        if (!child) {
            qWarning("no control %s in the window %s", control.data(), form.data());
            return std::nullopt;
        }
        const QSize size = Window_Size(window);
        copy->show();
        copy->resize(size);
        QElapsedTimer clock;
        clock.start();
        while (copy->size() != size && clock.elapsed() < 2000)
            QTest::qWait(10);
        if (copy->size() != size) {
            qWarning("the window %s is %dx%d here but %dx%d in the program", form.data(), copy->width(), copy->height(),
                     size.width(), size.height());
            return std::nullopt;
        }
        return child->mapTo(copy, child->rect().center());
    }

    TChild Server;
    TChild Program;
    QString Display;
    TProgram_Fixture Mirror;
};

// The port the update dialog chooses when none is remembered; empty when there is none, or this user may not
// open it (the dialog would then explain instead of starting the updater).
QString Chosen_Port()
{
    const QList<TSerial_Port> ports = List_COM_Ports();
    const int index = Preferred_Port_Index(ports, QString());
    if (index < 0 || !Port_Permission_Problem(ports[index].Location).isEmpty())
        return QString();
    return ports[index].Location;
}

// A workspace whose remembered configuration Line2 may go through step 3 by the serial updater (its stand-in,
// running for runMs): the firmware file, the settings and, when given, the configuration's ParGen.xml.
bool Prepare_Serial_Update(const TDesktop_Session &session, const QByteArray &parGen, int runMs = 0)
{
    return session.Make_Dir(QStringLiteral("PROJECTS/Line2/bin")) &&
           (parGen.isEmpty() || session.Write(QStringLiteral("PROJECTS/Line2/ParGen.xml"), parGen)) &&
           session.Write(QStringLiteral("MASTER/sim40926.sim"), "serial firmware") &&
           session.Write(QStringLiteral("Quillon.xml"),
                         "<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj></Conf_Settings>") &&
           Install_Stand_In(session.Workspace(), Serial_Updater_Base, runMs);
}

// Starts the program and goes through step 3: dialog is the update dialog in its serial form.
bool Open_Serial_Update(TDesktop_Session &session, QString &dialog)
{
    if (!session.Start() || !session.Click(session.Main, "DIRevevoriVezaDiva", "Btn_CreateBin"))
        return false;
    dialog = session.Wait_For_Window(QStringLiteral("Update Device by Serial"));
    return !dialog.isEmpty();
}

// Cancel in the update dialog, then the header's close button: empty when the program ended cleanly, else why.
QString Close_Update_And_Program(TDesktop_Session &session, const QString &dialog)
{
    if (!session.Click(dialog, "FBoot", "Btn_Cancel") ||
        !session.Wait_Until_Gone(QStringLiteral("Update Device by Serial")) ||
        !session.Click(session.Main, "DIRevevoriVezaDiva", "Btn_Close"))
        return QStringLiteral("the update dialog or the main window could not be closed");
    return session.Wait_For_Exit();
}

} // namespace

class Test_quillon : public QObject
{
    Q_OBJECT

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
        TDesktop_Session session;
        QVERIFY(session.Start());
        const QString main = session.Main;
        // The title the window manager is given is exactly the caption: nothing appended.
        QCOMPARE(
            session.Xdo({QStringLiteral("getwindowname"), main}),
            std::optional<QString>(QStringLiteral("Velmora - Configurator SW40926 - Modbus Slave / Modbus Slave")));

        // Step 1, New Configuration, which has the focus at start: pressed with Enter. The name typed, Enter.
        QVERIFY(session.Keys(main, {QStringLiteral("Return")}));
        const QString dialog = session.Wait_For_Window(QStringLiteral("Create New Configuration"));
        QVERIFY(!dialog.isEmpty());
        QCOMPARE(session.Xdo({QStringLiteral("getwindowname"), dialog}),
                 std::optional<QString>(QStringLiteral("Create New Configuration")));
        QVERIFY(session.Type(dialog, QStringLiteral("Line2")));
        QVERIFY(session.Keys(dialog, {QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("Create New Configuration")));

        // Step 2, Set Communication; OK in the button band at the bottom of the dialog.
        QVERIFY(session.Click(main, "DIRevevoriVezaDiva", "Btn_Prm_Gen"));
        const QString settingsDialog = session.Wait_For_Window(QStringLiteral("Set Communication"));
        QVERIFY(!settingsDialog.isEmpty());
        const QSize settingsSize = session.Window_Size(settingsDialog);
        QCOMPARE(settingsSize.width(), 460);
        // No window manager here enforces the fixed width: the dialog itself undoes a wider one.
        QVERIFY(session.Xdo({QStringLiteral("windowsize"), QStringLiteral("--sync"), settingsDialog,
                             QStringLiteral("600"), QString::number(settingsSize.height())}));
        QElapsedTimer settle;
        settle.start();
        while (session.Window_Size(settingsDialog).width() != 460 && settle.elapsed() < Step_Timeout_Ms)
            QTest::qWait(50);
        QCOMPARE(session.Window_Size(settingsDialog).width(), 460);
        QVERIFY(session.Click(settingsDialog, "FParGen", "Btn_OK"));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("Set Communication")));

        // The header's close button.
        QVERIFY(session.Click(main, "DIRevevoriVezaDiva", "Btn_Close"));
        const QString exit = session.Wait_For_Exit();
        QVERIFY2(exit.isEmpty(), qPrintable(exit));

        for (const char *path : {"MASTER", "PROJECTS", "LANGUAGE", "PROJECTS/Line2", "PROJECTS/Line2/bin"})
            QVERIFY2(QFileInfo(session.Path(QLatin1String(path))).isDir(), path);
        // The values of a new configuration, written by OK.
        const QStringList keys = Settings_Lines(session.Read(QStringLiteral("PROJECTS/Line2/ParGen.xml")));
        QCOMPARE(keys.size(), 26);
        QCOMPARE(keys.mid(0, 2),
                 (QStringList{QStringLiteral("root:Par_Gen"), QStringLiteral("Par_Gen/Device_Type_Type=1")}));
        QCOMPARE(keys.last(), QStringLiteral("Par_Gen/Ethernet_EN_GAT=0"));
        QCOMPARE(Settings_Lines(session.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QStringLiteral("Line2")));
    }

    void A_person_switches_the_language_in_the_options_and_keeps_it_with_OK()
    {
        TDesktop_Session session;
        QVERIFY(session.Write(QStringLiteral("LANGUAGE/Italiano.lng"),
                              "STR300 = Opzioni Software\nSTR100 = Crea nuova configurazione\n"));
        // A flag to click: the language's picture.
        QImage flag(48, 48, QImage::Format_RGB32);
        flag.fill(Qt::darkGreen);
        QVERIFY(flag.save(session.Path(QStringLiteral("LANGUAGE/DefaultFlag.bmp")), "BMP"));
        QVERIFY(session.Start());
        const QString main = session.Main;

        // The header's options button; the flag of the second language, after the built-in English.
        QVERIFY(session.Click(main, "DIRevevoriVezaDiva", "Btn_Opz"));
        const QString options = session.Wait_For_Window(QStringLiteral("^Software Options$"));
        QVERIFY(!options.isEmpty());
        QVERIFY(session.Click(options, "FSoftOptions", "I_L2"));
        // The question, answered Yes with the keyboard.
        QVERIFY(session.Close_Message_Box());

        // The open dialog's own title is in the new language at once; OK writes the choice.
        const QString translated = session.Wait_For_Window(QStringLiteral("^Opzioni Software$"));
        QVERIFY(!translated.isEmpty());
        QCOMPARE(translated, options);
        QVERIFY(session.Click(options, "FSoftOptions", "Btn_OK"));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Opzioni Software$")));
        QElapsedTimer clock;
        clock.start();
        while (!QFileInfo::exists(session.Path(QStringLiteral("Quillon.xml"))) && clock.elapsed() < Step_Timeout_Ms)
            QTest::qWait(100);
        QCOMPARE(Settings_Lines(session.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QString(), QStringLiteral("Italiano")));

        // Another dialog in the new language: Step 1, new configuration, closed with Escape.
        QVERIFY(session.Click(main, "DIRevevoriVezaDiva", "Btn_New"));
        const QString newDialog = session.Wait_For_Window(QStringLiteral("^Crea nuova configurazione$"));
        QVERIFY(!newDialog.isEmpty());
        QVERIFY(session.Keys(newDialog, {QStringLiteral("Escape")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Crea nuova configurazione$")));

        QVERIFY(session.Click(main, "DIRevevoriVezaDiva", "Btn_Close"));
        const QString exit = session.Wait_For_Exit();
        QVERIFY2(exit.isEmpty(), qPrintable(exit));
        QCOMPARE(Settings_Lines(session.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QString(), QStringLiteral("Italiano")));
    }

    // The whole job without a mouse: Tab, Shift+Tab, Return, Escape and typing only. (Focusing a window is the
    // X server's doing here: no window manager gives a closed dialog's parent the focus back.)
    void A_person_does_the_whole_job_by_keyboard()
    {
        TDesktop_Session session;
        QVERIFY(session.Start());
        const QString main = session.Main;

        // Step 1, New Configuration (the focus is on it at start): a name, Enter.
        QVERIFY(session.Keys(main, {QStringLiteral("Return")}));
        const QString create = session.Wait_For_Window(QStringLiteral("^Create New Configuration$"));
        QVERIFY(!create.isEmpty());
        QVERIFY(session.Type(create, QStringLiteral("Keys")));
        QVERIFY(session.Keys(create, {QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Create New Configuration$")));

        // Step 2, two Tabs on: the settings, whose OK is two Shift+Tabs back from the first control.
        QVERIFY(session.Keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString settings = session.Wait_For_Window(QStringLiteral("^Set Communication$"));
        QVERIFY(!settings.isEmpty());
        QVERIFY(session.Keys(settings,
                             {QStringLiteral("shift+Tab"), QStringLiteral("shift+Tab"), QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Set Communication$")));
        QVERIFY(QFileInfo::exists(session.Path(QStringLiteral("PROJECTS/Keys/ParGen.xml"))));

        // The History window beside step 3, two Tabs on: the runs of the new configuration (none yet), closed with
        // Escape.
        QVERIFY(session.Keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString history = session.Wait_For_Window(QStringLiteral("^Update History$"));
        QVERIFY(!history.isEmpty());
        QVERIFY(session.Keys(history, {QStringLiteral("Escape")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Update History$")));

        // The options, two Tabs on: the first language (Deutsch) and back to English (the second), each
        // confirmed; OK four Tabs after English.
        QVERIFY(session.Keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString options = session.Wait_For_Window(QStringLiteral("^Software Options$"));
        QVERIFY(!options.isEmpty());
        QVERIFY(session.Keys(options, {QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(session.Close_Message_Box());
        QVERIFY(!session.Wait_For_Window(QStringLiteral("^Programmoptionen$")).isEmpty());
        QVERIFY(session.Keys(options, {QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(session.Close_Message_Box());
        QVERIFY(!session.Wait_For_Window(QStringLiteral("^Software Options$")).isEmpty());
        QVERIFY(session.Keys(options, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Tab"),
                                       QStringLiteral("Tab"), QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^Software Options$")));

        // About, one Shift+Tab back, closed with its OK; then Close, two Tabs on.
        QVERIFY(session.Keys(main, {QStringLiteral("shift+Tab"), QStringLiteral("Return")}));
        const QString about = session.Wait_For_Window(QStringLiteral("^About$"));
        QVERIFY(!about.isEmpty());
        QVERIFY(session.Keys(about, {QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("^About$")));
        QVERIFY(session.Keys(main, {QStringLiteral("Tab"), QStringLiteral("Tab"), QStringLiteral("Return")}));
        const QString exit = session.Wait_For_Exit();
        QVERIFY2(exit.isEmpty(), qPrintable(exit));
        QCOMPARE(Settings_Lines(session.Read(QStringLiteral("Quillon.xml"))),
                 Default_Settings_Lines(QStringLiteral("Keys")));
    }

    void A_person_updates_a_serial_device_through_step_3()
    {
        TDesktop_Session session;
        QVERIFY(Prepare_Serial_Update(session, Saved_ParGen(0, {{QStringLiteral("Port_0_Baud"), QStringLiteral("3")}}),
                                      1500));
        const QString port = Chosen_Port();
        if (port.isEmpty())
            QSKIP("the system lists no serial port this user may open to update through");
        // Step 3, Update Device: the files are built and the dialog opens in its serial form.
        QString dialog;
        QVERIFY(Open_Serial_Update(session, dialog));
        // The update button; the wait indicator names the updater while it runs, then the dialog is back.
        QVERIFY(session.Click(dialog, "FBoot", "Btn_Update"));
        QVERIFY(!session.Wait_For_Window(QStringLiteral("Update running")).isEmpty());
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("Update running")));
        // How the updater ended, told in a box that Enter closes.
        QVERIFY(session.Close_Message_Box());
        QVERIFY(session.Read(QStringLiteral("PROJECTS/Line2/update.log")).contains("exit code 0"));
        const QList<TStand_In_Run> runs = Stand_In_Runs(session.Workspace(), Serial_Updater_Base);
        QCOMPARE(runs.size(), 1);
        QVERIFY(runs[0].Finished);
        QCOMPARE(runs[0].Args,
                 (QStringList{port, "FW", "FR", "PW", "PR", session.Path(QStringLiteral("MASTER/sim40926.sim")),
                              session.Path(QStringLiteral("PROJECTS/Line2/bin/bank.bin"))}));
        QFile bank(runs[0].Args.last());
        QVERIFY(bank.open(QIODevice::ReadOnly));
        const QByteArray block = bank.readAll();
        QCOMPARE(block.size(), 17);
        QCOMPARE(int(block[4]), 3); // Port_0_Baud of this configuration

        const QString exit = Close_Update_And_Program(session, dialog);
        QVERIFY2(exit.isEmpty(), qPrintable(exit));
    }

    void A_person_stops_an_updater_that_hangs()
    {
        TDesktop_Session session;
        QVERIFY(Prepare_Serial_Update(session, Saved_ParGen(0), 60000));
        QVERIFY(Stand_In_Control(session.Workspace(), Serial_Updater_Base, "tick_ms=200\n"));
        if (Chosen_Port().isEmpty())
            QSKIP("the system lists no serial port this user may open to update through");
        QString dialog;
        QVERIFY(Open_Serial_Update(session, dialog));
        QVERIFY(session.Click(dialog, "FBoot", "Btn_Update"));
        const QString wait = session.Wait_For_Window(QStringLiteral("Update running"));
        QVERIFY(!wait.isEmpty());
        // Cancel in the wait window, once it shows the updater's output. Enter answers the question No: a
        // reflexive Enter must not stop a flash.
        QTest::qWait(1000);
        QVERIFY(session.Click(wait, "FWait", "Btn_Cancel"));
        QVERIFY(session.Close_Message_Box());
        QTest::qWait(500);
        QVERIFY(!Stand_In_Runs(session.Workspace(), Serial_Updater_Base).value(0).Finished);
        QVERIFY(!session.Wait_For_Window(QStringLiteral("Update running")).isEmpty());
        // Yes, chosen on purpose (the button before No), stops it; then the ending box.
        QVERIFY(session.Click(wait, "FWait", "Btn_Cancel"));
        // The ending box may follow the question at once.
        QVERIFY(session.Close_Message_Box(false, {QStringLiteral("shift+Tab"), QStringLiteral("Return")}));
        QVERIFY(session.Wait_Until_Gone(QStringLiteral("Update running")));
        QVERIFY(session.Close_Message_Box());
        const QByteArray log = session.Read(QStringLiteral("PROJECTS/Line2/update.log"));
        QVERIFY2(log.contains("  ended: cancelled by the user after "), log.constData());
        QVERIFY(!Stand_In_Runs(session.Workspace(), Serial_Updater_Base).value(0).Finished);
        QVERIFY(!QFileInfo::exists(session.Path(Updater_Lock_File_Name)));

        const QString exit = Close_Update_And_Program(session, dialog);
        QVERIFY2(exit.isEmpty(), qPrintable(exit));
    }

    void Step_3_refuses_to_send_a_configuration_never_saved()
    {
        TDesktop_Session session;
        QVERIFY(Prepare_Serial_Update(session, QByteArray()));
        // Step 3 writes the images as always; the update button refuses them with an error box.
        QString dialog;
        QVERIFY(Open_Serial_Update(session, dialog));
        QVERIFY(session.Click(dialog, "FBoot", "Btn_Update"));
        QVERIFY(session.Close_Message_Box());
        QVERIFY(Stand_In_Runs(session.Workspace(), Serial_Updater_Base).isEmpty());
        QVERIFY(!QFileInfo::exists(session.Path(QStringLiteral("PROJECTS/Line2/update.log"))));
        QCOMPARE(QFileInfo(session.Path(QStringLiteral("PROJECTS/Line2/bin/bank.bin"))).size(), 4);

        const QString exit = Close_Update_And_Program(session, dialog);
        QVERIFY2(exit.isEmpty(), qPrintable(exit));
    }
};

QUILLON_WINDOW_TEST_MAIN(Test_quillon)
#include "test_quillon.moc"
