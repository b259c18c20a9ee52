// Update benchmark: prints figures, passes or fails nothing.
//   1. the update step (ParGen.xml -> bank.bin and bankK.bin, both written atomically), 1000 runs:
//      CPU time of the thread and wall time, median and maximum;
//   2. the port listing;
//   3. the echo check of 127.0.0.1 (two replies);
//   4. the longest stall of the event loop while a stand-in updater runs for 3 s under the wait indicator.
// Usage: quillon_update_bench <stand-in updater>   (run offscreen by bench/update.sh)

#include "UApplication.h"
#include "UComon.h"
#include "UEcho_Client.h"
#include "ULanguage.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "UUpdate_Logic.h"
#include "UWait.h"
#include "UXml_Document.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double Thread_Cpu_Ms()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void Print(const char *what, std::vector<double> values, const char *unit = "ms")
{
    std::sort(values.begin(), values.end());
    const double median = values[values.size() / 2];
    std::printf("%-44s n=%-5zu median %8.3f %s   max %8.3f %s\n", what, values.size(), median, unit, values.back(),
                unit);
}

} // namespace

int main(int argc, char *argv[])
{
    TQuillon_Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon_update_bench <stand-in updater>\n");
        return 2;
    }
    // The wait window's captions are in the language table, as in the program.
    Load_Default_Language();
    QTemporaryDir workspace;
    Set_Workspace_Paths(workspace.path());
    Create_Workspace_Directories(Current_Workspace());
    Conf_Name = QStringLiteral("Line2");
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    QDir().mkpath(Join_Path(Conf_Dir, QStringLiteral("bin")));
    Set_Files();
    // ParGen.xml as the settings dialog saves it for a new configuration.
    try {
        TXml_Document parGen;
        Save_ParGen(parGen, No_File_Fields(), ParGen_File);
    } catch (const EQuillon_Error &error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.Text()));
        return 1;
    }

    // 1. The update step.
    std::vector<double> cpu, wall;
    for (int i = 0; i < 1000; ++i) {
        QElapsedTimer clock;
        clock.start();
        const double cpu0 = Thread_Cpu_Ms();
        Write_Config_Files(Conf_Dir, Make_Config_Data(ParGen_File));
        cpu.push_back(Thread_Cpu_Ms() - cpu0);
        wall.push_back(clock.nsecsElapsed() / 1e6);
    }
    Print("update step, CPU time", cpu);
    Print("update step, wall time", wall);

    // 2. The port listing.
    std::vector<double> listing;
    qsizetype ports = 0;
    for (int i = 0; i < 50; ++i) {
        QElapsedTimer clock;
        clock.start();
        ports = List_COM_Ports().size();
        listing.push_back(clock.nsecsElapsed() / 1e6);
    }
    Print(qPrintable(QStringLiteral("port listing (%1 ports)").arg(ports)), listing);

    // 3. The echo check of the loopback address.
    std::vector<double> echo;
    for (int i = 0; i < 20; ++i) {
        TIcmp_Echo_Client client;
        TEcho_Check check(&client);
        QElapsedTimer clock;
        clock.start();
        if (!Run_Echo_Check(check, QStringLiteral("127.0.0.1"))) {
            std::printf("echo check of 127.0.0.1: not answered (%s)\n", qPrintable(check.Failure));
            break;
        }
        echo.push_back(clock.nsecsElapsed() / 1e6);
        if (i == 0)
            std::printf("echo check socket kind: %s\n", qPrintable(client.Socket_Kind()));
    }
    if (!echo.empty())
        Print("echo check of 127.0.0.1, two replies", echo);

    // 4. The longest stall of the event loop while an updater runs for 3 s.
    const QString updater = Updater_Path(Program_Dir, Serial_Updater_Base);
    QFile::copy(QString::fromLocal8Bit(argv[1]), updater);
    QFile::setPermissions(updater, QFile::permissions(updater) | QFile::ExeOwner);
    QFile control(updater + QStringLiteral(".control"));
    if (!control.open(QIODevice::WriteOnly) || control.write("sleep_ms=3000\n") <= 0)
        return 1;
    control.close();
    TFWait wait;
    QElapsedTimer stall;
    double longest = 0;
    int ticks = 0;
    QTimer probe;
    probe.setInterval(1);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (ticks++ > 0)
            longest = std::max(longest, stall.nsecsElapsed() / 1e6);
        stall.restart();
    });
    stall.start();
    probe.start();
    QElapsedTimer elapsed;
    elapsed.start();
    TUpdater_Run run;
    Start_Program(&wait, run, updater, {}, Native_Form());
    probe.stop();
    std::printf("%-44s %d ticks of a 1 ms timer in %.0f ms, longest gap %.3f ms\n", "event loop while an updater runs",
                ticks, elapsed.nsecsElapsed() / 1e6, longest);
    return 0;
}
