// The real program under a real X server: started in a directory of its own, a configuration created and
// the program closed as a person would do it (mouse and keyboard through the X server), then the workspace
// and the settings file checked on disk.

#include "UWindow_Test_Support.h"

#include <QElapsedTimer>
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
        if (xdo.exitStatus() != QProcess::NormalExit || xdo.exitCode() != 0)
            return std::nullopt;
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

    bool Click_In(const QString &window, int x, int y)
    {
        return Xdo({QStringLiteral("mousemove"), QStringLiteral("--sync"), QStringLiteral("--window"), window,
                    QString::number(x), QString::number(y), QStringLiteral("click"), QStringLiteral("1")})
            .has_value();
    }

private slots:
    void A_person_creates_a_configuration_and_closes_the_program()
    {
#ifndef Q_OS_LINUX
        QSKIP("drives the program through an X server (Xvfb and xdotool)");
#endif
        for (const char *tool : {"Xvfb", "xdotool"}) {
            if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
                QFAIL(
                    qPrintable(QStringLiteral("%1 is missing: scripts/setup.sh installs it").arg(QLatin1String(tool))));
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString exe = QDir(dir.path()).filePath(QStringLiteral("quillon"));
        QVERIFY(QFile::copy(QStringLiteral(QUILLON_EXE), exe));
        QVERIFY(QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner));

        // A display of its own; the server names its number on its standard output.
        TChild server;
        server.Process.start(QStringLiteral("Xvfb"),
                             {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                              QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                              QStringLiteral("tcp")});
        QVERIFY(server.Process.waitForStarted(Step_Timeout_Ms));
        QElapsedTimer clock;
        clock.start();
        while (!server.Process.canReadLine() && clock.elapsed() < Step_Timeout_Ms)
            server.Process.waitForReadyRead(200);
        const QString number = QString::fromLatin1(server.Process.readLine()).trimmed();
        QVERIFY2(!number.isEmpty(), server.Process.readAllStandardError().constData());
        Display = u':' + number;

        TChild program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), Display);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        program.Process.setProcessEnvironment(env);
        program.Process.setWorkingDirectory(QDir::tempPath());
        program.Process.start(exe, {});
        QVERIFY(program.Process.waitForStarted(Step_Timeout_Ms));

        const QString main = Wait_For_Window(QStringLiteral("Configurator SW40926"));
        QVERIFY2(!main.isEmpty(), program.Process.readAllStandardError().constData());
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

        // The header's close button.
        QVERIFY(Click_In(main, 632 + 25, 8 + 25));
        QVERIFY(program.Process.waitForFinished(Step_Timeout_Ms));
        const QByteArray errors = program.Process.readAllStandardError();
        QVERIFY2(program.Process.exitStatus() == QProcess::NormalExit && program.Process.exitCode() == 0,
                 errors.constData());

        for (const char *path : {"MASTER", "PROJECTS", "LANGUAGE", "PROJECTS/Line2", "PROJECTS/Line2/bin"})
            QVERIFY2(QFileInfo(QDir(dir.path()).filePath(QLatin1String(path))).isDir(), path);
        QVERIFY(!QFileInfo::exists(QDir(dir.path()).filePath(QStringLiteral("PROJECTS/Line2/ParGen.xml"))));
        QFile settings(QDir(dir.path()).filePath(QStringLiteral("Quillon.xml")));
        QVERIFY(settings.open(QIODevice::ReadOnly));
        QCOMPARE(Settings_Lines(settings.readAll()), Default_Settings_Lines(QStringLiteral("Line2")));
    }
};

QTEST_GUILESS_MAIN(Test_quillon)
#include "test_quillon.moc"
