// Stall benchmark: prints figures, passes or fails nothing. The longest gap between the ticks of a 1 ms timer
// on the window thread while the program does its file work: step 3 (ParGen.xml read, bank.bin and bankK.bin
// written and synced, up to the update dialog shown), the settings dialog's OK, the options' OK, and closing
// the main window. Then, for comparison, the same work of step 3 and of the close done on the window thread
// itself; and, given the stand-in updater's path, an update from the button to the ending box (the lock, the
// run's record, update.log appended and synced). Run by bench/update.sh twice: with the disk's own syncs, and with
// every sync made 200 ms slower by the preloaded slow_sync library.

#include "UApplication.h"
#include "UBoot.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "UMessage.h"
#include "UParGen.h"
#include "UParGen_File.h"
#include "USaveBincc.h"
#include "USettings.h"
#include "USoftOptions.h"
#include "UUpdate_Logic.h"
#include "UXml_Document.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// The longest gap between the ticks of a 1 ms timer from Begin to End, the gap still open at End included.
class TStall_Probe
{
public:
    TStall_Probe()
    {
        Timer.setInterval(1);
        QObject::connect(&Timer, &QTimer::timeout, [this] {
            if (On)
                Longest = std::max(Longest, Gap.nsecsElapsed() / 1e6);
            Gap.restart();
        });
        Gap.start();
        Timer.start();
    }
    void Begin()
    {
        Longest = 0;
        Gap.restart();
        On = true;
    }
    double End()
    {
        On = false;
        return std::max(Longest, Gap.nsecsElapsed() / 1e6);
    }

private:
    QTimer Timer;
    QElapsedTimer Gap;
    double Longest = 0;
    bool On = false;
};

// Runs drive once dialog is shown (polled, so that it runs inside the dialog's own exec()).
void When_Shown(QWidget *dialog, std::function<void()> drive)
{
    auto *timer = new QTimer;
    timer->setInterval(2);
    QObject::connect(timer, &QTimer::timeout, [timer, dialog, drive] {
        if (!dialog->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        drive();
    });
    timer->start();
}

bool Write(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char *argv[])
{
    TQuillon_Application app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    const char *delay = std::getenv("QUILLON_SYNC_DELAY_MS");
    std::printf("stalls of the window thread, each sync %s\n",
                delay ? qPrintable(QStringLiteral("made %1 ms slower").arg(QLatin1String(delay)))
                      : "as the disk makes it");
    QTemporaryDir workspace;
    TXml_Document parGen;
    // A device without Ethernet: its update goes through the serial updater, with no echo check.
    TParGen_Fields fields = No_File_Fields();
    fields.Device_Type_Type = 0;
    Build_ParGen(parGen, fields);
    if (!QDir().mkpath(workspace.filePath(QStringLiteral("PROJECTS/Line2/bin"))) ||
        !Write(workspace.filePath(QStringLiteral("PROJECTS/Line2/ParGen.xml")), parGen.To_Bytes()) ||
        !Write(workspace.filePath(QStringLiteral("Quillon.xml")),
               "<Conf_Settings><lastproj><projectname>Line2</projectname></lastproj></Conf_Settings>")) {
        std::fprintf(stderr, "cannot prepare the workspace\n");
        return 1;
    }
    const std::unique_ptr<DIRevevoriVezaDiva> main = Create_Program_Windows(workspace.path());
    main->show();
    TStall_Probe probe;
    const auto print = [](const char *what, double ms) { std::printf("%-58s longest gap %8.1f ms\n", what, ms); };

    // Step 3, up to the update dialog shown.
    double step3 = 0;
    When_Shown(main->FBoot, [&] {
        step3 = probe.End();
        main->FBoot->reject();
    });
    probe.Begin();
    main->Btn_CreateBin->click();
    print("step 3, files written, then the update dialog shown", step3);
    const bool written = Config_File_Differences(Conf_Dir, Make_Config_Data(ParGen_File)).isEmpty();

    // The update button to the ending box, with a stand-in updater that runs half a second.
    if (argc > 1) {
        const QString updater = Updater_Path(Program_Dir, Serial_Updater_Base);
        QFile::copy(QString::fromLocal8Bit(argv[1]), updater);
        QFile::setPermissions(updater, QFile::permissions(updater) | QFile::ExeOwner);
        Write(updater + QStringLiteral(".control"), "sleep_ms=500\nstdout=written 17 bytes\n");
        Write(Join_Path(Master_Dir, Serial_Firmware_File), "serial firmware");
        TFBoot *boot = main->FBoot;
        boot->Port_Source = [] {
            return QList<TSerial_Port>{{QStringLiteral("ttyUSB0"), QStringLiteral("/dev/null")}};
        };
        boot->Port_Check = [](const QString &) { return QString(); };
        Set_Message_Answering(true);
        double update = 0;
        When_Shown(boot, [&] {
            probe.Begin();
            boot->Btn_Update->click();
            update = probe.End();
            boot->reject();
        });
        main->Btn_CreateBin->click();
        const QList<TMessage_Record> shown = Take_Shown_Messages();
        Set_Message_Answering(false);
        print("update button to the ending box (updater runs 0.5 s)", update);
        if (shown.size() != 1 || shown[0].Kind != TMessage_Kind::Information) {
            std::fprintf(stderr, "the update did not end well: %s\n",
                         shown.isEmpty() ? "no box" : qPrintable(shown[0].Text));
            return 1;
        }
    }

    // The settings dialog's OK, which saves ParGen.xml.
    double settings = 0;
    When_Shown(main->FParGen, [&] {
        probe.Begin();
        main->FParGen->Btn_OK->click();
        settings = probe.End();
    });
    main->Btn_Prm_Gen->click();
    print("settings dialog's OK (ParGen.xml saved)", settings);

    // The options' OK, after which Quillon.xml is saved.
    When_Shown(main->FSoftOptions, [&] {
        probe.Begin();
        main->FSoftOptions->Btn_OK->click();
    });
    main->Btn_Opz->click();
    print("options' OK (Quillon.xml saved)", probe.End());

    // For comparison: the same work on the window thread itself.
    probe.Begin();
    Write_Config_Files(Conf_Dir, Make_Config_Data(ParGen_File));
    print("step 3's file work done on the window thread", probe.End());
    probe.Begin();
    TXml_Document settingsXml;
    Save_Setting(settingsXml);
    print("the close's file work done on the window thread", probe.End());

    // Closing the main window, which saves Quillon.xml.
    probe.Begin();
    main->close();
    print("closing the main window (Quillon.xml saved)", probe.End());
    if (!written) {
        std::fprintf(stderr, "step 3 did not write the files\n");
        return 1;
    }
    return 0;
}
