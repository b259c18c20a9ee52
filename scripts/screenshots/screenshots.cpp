// Pictures every window of the program in its typical states, as PNG files.
// Usage: quillon_screenshots <output directory>   (run offscreen by scripts/screenshots.sh)
//
// The windows are the program's own, created in their order in a scratch workspace. Each picture shows the
// window's client area under a plain title bar drawn here with the window's caption (the real frame is the
// desktop's).

#include "UAbout.h"
#include "UApplication.h"
#include "UComon.h"
#include "UDavaroroFirmWare.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"

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

void Picture(QWidget *window, const QString &name)
{
    Settle();
    const QPixmap client = window->grab();
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

void Picture_Message(QWidget *over, const QString &text, const QString &name)
{
    QMessageBox *box = Create_Message_Box(text, TMessage_Kind::Error, QMessageBox::Ok, over);
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

    // The communication settings of Line2, a configuration without ParGen.xml yet.
    TFParGen *parGen = main->FParGen;
    parGen->show();
    Picture(parGen, QStringLiteral("settings_new_configuration"));
    parGen->CB_Device_Type_Type->setCurrentIndex(0);
    Picture(parGen, QStringLiteral("settings_without_ethernet"));
    parGen->CB_Device_Type_Type->setCurrentIndex(1);
    parGen->CP_Port1->Set_Collapsed(true);
    parGen->Move_GroupBoxs();
    Picture(parGen, QStringLiteral("settings_category_collapsed"));
    parGen->CP_Port1->Set_Collapsed(false);
    parGen->Move_GroupBoxs();
    parGen->E_Port0_Device_ID->setText(QStringLiteral("0"));
    Picture_Message(parGen, Lang(Controllo_Dati_Failure(parGen->Fields())),
                    QStringLiteral("settings_device_id_refused"));
    parGen->hide();

    main->FAbout->show();
    Picture(main->FAbout, QStringLiteral("about"));
    main->FAbout->hide();

    main->hide();
    return Failed ? 1 : 0;
}
