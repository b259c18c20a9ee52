// Pictures every window of the program in its typical states, as PNG files.
// Usage: quillon_screenshots <output directory>   (run offscreen by scripts/screenshots.sh)
//
// The windows are the program's own, created in their order in a scratch workspace. Each picture shows the
// window's client area under a plain title bar drawn here with the window's caption (the real frame is the
// desktop's).

#include "UAbout.h"
#include "UApplication.h"
#include "UBoot.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UUpdate_Logic.h"
#include "UWait.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString Out_Dir;
bool Failed = false;

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// popup, when given, is an open pop-up window of window (a list shown open), painted where it lies.
void Picture(QWidget *window, const QString &name, QWidget *popup = nullptr)
{
    Settle();
    QPixmap client = window->grab();
    if (popup && popup->isVisible()) {
        QPainter over(&client);
        over.drawPixmap(popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)), popup->grab());
    }
    constexpr int Title_Height = 26;
    QPixmap framed(client.width() + 2, client.height() + Title_Height + 1);
    framed.fill(QColor(70, 74, 80));
    QPainter painter(&framed);
    painter.drawPixmap(1, Title_Height, client);
    painter.setPen(Qt::white);
    painter.setFont(Program_Font(12, true));
    painter.drawText(QRect(10, 0, framed.width() - 20, Title_Height), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.end();
    const QString path = QDir(Out_Dir).filePath(name + QStringLiteral(".png"));
    if (!framed.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        Failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void Picture_Message(QWidget *over, const QString &text, const QString &name, TMessage_Kind kind = TMessage_Kind::Error)
{
    QMessageBox *box = Create_Message_Box(text, kind, QMessageBox::Ok, over);
    box->show();
    Picture(box, name);
    box->hide();
    delete box;
}

} // namespace

int main(int argc, char *argv[])
{
    TQuillon_Application app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillon_screenshots <output directory>\n");
        return 2;
    }
    Out_Dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(Out_Dir);

    QTemporaryDir workspace;
    QTemporaryDir emptyProjects;
    if (!workspace.isValid() || !emptyProjects.isValid())
        return 1;
    for (const char *name : {"Alpha", "Line2", "Plant North", "Zeta"})
        QDir(workspace.path()).mkpath(QStringLiteral("PROJECTS/%1/bin").arg(QLatin1String(name)));

    const auto main = Create_Program_Windows(workspace.path());
    main->show();
    Picture(main.get(), QStringLiteral("main_no_configuration"));
    Picture_Message(main.get(), Lang(18), QStringLiteral("main_step_refused"));

    Conf_Name = QStringLiteral("Line2");
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    Set_Files();
    main->Show_Configuration_Box();
    Picture(main.get(), QStringLiteral("main_configuration_open"));

    TFNew_Project *newProject = main->FNew_Project;
    newProject->show();
    newProject->E_New_Proj->setText(QStringLiteral("Line3"));
    Picture(newProject, QStringLiteral("new_configuration"));
    newProject->E_New_Proj->setText(QStringLiteral("Line2"));
    Picture_Message(newProject, Lang(106), QStringLiteral("new_configuration_refused"));
    newProject->hide();

    TFOpenConf *openConf = main->FOpenConf;
    openConf->show();
    Picture(openConf, QStringLiteral("open_configuration"));
    openConf->hide();
    const QString projects = Projects_Dir;
    Projects_Dir = emptyProjects.path();
    openConf->show();
    Picture(openConf, QStringLiteral("open_configuration_empty"));
    openConf->hide();
    Projects_Dir = projects;

    main->FAbout->show();
    Picture(main->FAbout, QStringLiteral("about"));
    main->FAbout->hide();

    // The update dialog in both forms, fed with ports of its own so that the list is never empty.
    TFBoot *boot = main->FBoot;
    boot->Port_Source = [] {
        QList<TSerial_Port> ports;
        for (const char *name : {"ttyS0", "ttyUSB0", "ttyUSB1"}) {
            const QString port = QLatin1String(name);
            ports.append({port, QStringLiteral("/dev/") + port, QStringLiteral("USB-Serial Controller"),
                          QStringLiteral("Acme Devices"), QString()});
        }
        return ports;
    };
    boot->Form_Type = 0;
    boot->show();
    Picture(boot, QStringLiteral("update_serial"));
    boot->CB_COM_Port->showPopup();
    Picture(boot, QStringLiteral("update_serial_ports"), boot->CB_COM_Port->view()->window());
    boot->CB_COM_Port->hidePopup();
    boot->hide();
    boot->Form_Type = 1;
    boot->show();
    Picture(boot, QStringLiteral("update_ethernet"));
    Picture_Message(boot, Lang(1036), QStringLiteral("update_device_not_found"), TMessage_Kind::Warning);
    Picture_Message(boot, Lang(1037), QStringLiteral("update_check_address"), TMessage_Kind::Error);
    boot->FWait->Show_Still(Updater_Path(Program_Dir, Ethernet_Updater_Base), 12);
    boot->FWait->show();
    Picture(boot->FWait, QStringLiteral("update_waiting"));
    boot->FWait->hide();
    boot->hide();

    main->hide();
    return Failed ? 1 : 0;
}
