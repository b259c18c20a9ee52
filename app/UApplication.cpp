#include "UApplication.h"

#include "UAbout.h"
#include "UBoot.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"

#include <QTimer>

#include <exception>

TQuillon_Application::TQuillon_Application(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("quillon"));
    setApplicationDisplayName(QStringLiteral("Quillon"));
    setApplicationVersion(Program_Version);
    setStyle(new TQuillon_Style);
}

bool TQuillon_Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const EQuillon_Error &error) {
        Report_Error(error.Text());
    } catch (const std::exception &error) {
        Report_Error(QString::fromLocal8Bit(error.what()));
    }
    return false;
}

void Report_Error(const QString &text)
{
    Message_Box(text, TMessage_Kind::Error);
}

std::unique_ptr<DIRevevoriVezaDiva> Create_Program_Windows(const QString &programDir)
{
    auto main = std::make_unique<DIRevevoriVezaDiva>(programDir);
    main->FAbout = new TFAbout(main.get());
    main->FNew_Project = new TFNew_Project(main.get());
    main->FOpenConf = new TFOpenConf(main.get());
    // Then, as they come: TFSoftOptions, TFParGen.
    main->FBoot = new TFBoot(main.get());
    return main;
}

int Run_Program(int &argc, char **argv, const std::function<void(DIRevevoriVezaDiva &)> &shown)
{
    TQuillon_Application app(argc, argv);
    const std::unique_ptr<DIRevevoriVezaDiva> main = Create_Program_Windows(QCoreApplication::applicationDirPath());
    Center_On_Screen(main.get());
    main->show();
    // Problems of the start-up are told once the main window is on the screen.
    QTimer::singleShot(0, main.get(), [window = main.get()] { window->Report_Start_Up_Problems(); });
    if (shown)
        shown(*main);
    return app.exec();
}
