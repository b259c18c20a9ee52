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
#include "UHistory.h"
#include "ULanguage.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "USent_Record.h"
#include "USoftOptions.h"
#include "UUpdate_Logic.h"
#include "UUpdate_Pipeline.h"
#include "UUpdater_Lock.h"
#include "UWait.h"
#include "UXml_Document.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QString Out_Dir;
bool Failed = false;

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents();
}

// The window under a plain title bar; popup, when given, is an open pop-up window of window (a list shown
// open), painted where it lies.
QPixmap Framed(QWidget *window, QWidget *popup = nullptr)
{
    Settle();
    QPixmap client = window->grab();
    if (popup && popup->isVisible()) {
        QPainter over(&client);
        over.drawPixmap(popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)), popup->grab());
    }
    constexpr int Title_Height = 26;
    // At a scale factor the picture keeps the window's device pixels; the bar is drawn at the same scale.
    const qreal ratio = client.devicePixelRatio();
    const QSize size = client.deviceIndependentSize().toSize();
    QPixmap framed(QSize(size.width() + 2, size.height() + Title_Height + 1) * ratio);
    framed.setDevicePixelRatio(ratio);
    framed.fill(QColor(70, 74, 80));
    QPainter painter(&framed);
    painter.drawPixmap(1, Title_Height, client);
    painter.setPen(Qt::white);
    painter.setFont(Program_Font(12, true));
    painter.drawText(QRect(10, 0, size.width() + 2 - 20, Title_Height), Qt::AlignVCenter | Qt::AlignLeft,
                     window->windowTitle());
    painter.end();
    return framed;
}

void Save(const QPixmap &picture, const QString &name)
{
    const QString path = QDir(Out_Dir).filePath(name + QStringLiteral(".png"));
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        Failed = true;
        return;
    }
    std::printf("%s\n", qPrintable(path));
}

void Picture(QWidget *window, const QString &name, QWidget *popup = nullptr)
{
    Save(Framed(window, popup), name);
}

// The window twice, side by side: with set(true) on the left, set(false) on the right, each under its caption.
void Picture_Pair(QWidget *window, const QString &name, const QString &left, const QString &right,
                  const std::function<void(bool)> &set)
{
    set(true);
    const QPixmap first = Framed(window);
    set(false);
    const QPixmap second = Framed(window);
    constexpr int Gap = 16;
    constexpr int Caption_Height = 24;
    QPixmap pair(first.width() + Gap + second.width(), Caption_Height + std::max(first.height(), second.height()));
    pair.fill(Colours().Back);
    QPainter painter(&pair);
    painter.setFont(Program_Font(13, true));
    painter.setPen(Colours().Strong_Text);
    painter.drawText(QRect(0, 0, first.width(), Caption_Height), Qt::AlignCenter, left);
    painter.drawText(QRect(first.width() + Gap, 0, second.width(), Caption_Height), Qt::AlignCenter, right);
    painter.drawPixmap(0, Caption_Height, first);
    painter.drawPixmap(first.width() + Gap, Caption_Height, second);
    painter.end();
    Save(pair, name);
}

// The window as a keyboard user sees it, the focus on control.
void Picture_Focus(QWidget *window, QWidget *control, const QString &name)
{
    window->activateWindow();
    QApplication::setActiveWindow(window);
    control->setFocus(Qt::TabFocusReason);
    // What Qt marks on a window once its focus moved by the keyboard: the focus frame is drawn from then on.
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    Picture(window, name);
    // The later pictures of the window are of a mouse user again.
    window->setAttribute(Qt::WA_KeyboardFocusChange, false);
    control->clearFocus();
}

void Picture_Message(QWidget *over, const QString &text, const QString &name, TMessage_Kind kind = TMessage_Kind::Error,
                     QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                     const QList<TButton_Caption> &captions = {},
                     QMessageBox::StandardButton defaultButton = QMessageBox::NoButton)
{
    QMessageBox *box = Create_Message_Box(text, kind, buttons, over, captions, defaultButton);
    box->show();
    Picture(box, name);
    box->hide();
    delete box;
}

// A run of the open configuration kept as the update pipeline keeps one, started daysAgo days ago.
TSent_Run Keep_Run(const QString &kind, const QString &target, int option, TRun_Ending ending,
                   std::optional<int> exitCode, int daysAgo)
{
    TSent_Request request;
    request.Configuration = Conf_Name;
    request.Kind = kind;
    request.Target = target;
    request.Option = option;
    QByteArray parGenXml;
    TSent_Run run = Keep_Sent_Run(Conf_Dir, request, Make_Config_Data(ParGen_File, Lang, &parGenXml), parGenXml);
    run.Started = QDateTime::currentDateTimeUtc().addDays(-daysAgo).addSecs(-3600);
    Finish_Sent_Run(run, ending, exitCode);
    return run;
}

// A language file and, unless stripes is empty, a flag of stripes (vertical when across is false); cross
// puts a cross of the last stripe's colour over the first.
void Add_Language(const QString &languageDir, const QString &name, QList<QColor> stripes, bool across,
                  bool cross = false)
{
    QFile file(QDir(languageDir).filePath(name + QStringLiteral(".lng")));
    if (!file.open(QIODevice::WriteOnly) || file.write("; " + name.toUtf8() + " texts\n") < 0)
        Failed = true;
    if (stripes.isEmpty())
        return;
    QImage flag(40, 27, QImage::Format_RGB32);
    QPainter painter(&flag);
    const int count = cross ? 1 : int(stripes.size());
    for (int i = 0; i < count; ++i) {
        if (across)
            painter.fillRect(0, i * 27 / count, 40, 27 / count + 1, stripes[i]);
        else
            painter.fillRect(i * 40 / count, 0, 40 / count + 1, 27, stripes[i]);
    }
    if (cross) {
        painter.fillRect(17, 0, 6, 27, stripes.last());
        painter.fillRect(0, 11, 40, 5, stripes.last());
    }
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(0, 0, 39, 26);
    painter.end();
    if (!flag.save(QDir(languageDir).filePath(name + QStringLiteral(".bmp")), "BMP"))
        Failed = true;
}

} // namespace

int main(int argc, char *argv[])
{
    TQuillon_Application app(argc, argv);
    // --scaled: only the main window, as the run's scale factor (QT_SCALE_FACTOR) shows it.
    const bool scaled = argc == 3 && QByteArray(argv[1]) == "--scaled";
    if (argc != 2 && !scaled) {
        std::fprintf(stderr, "usage: quillon_screenshots [--scaled] <output directory>\n");
        return 2;
    }
    Out_Dir = QString::fromLocal8Bit(argv[argc - 1]);
    QDir().mkpath(Out_Dir);

    QTemporaryDir workspace;
    QTemporaryDir emptyProjects;
    if (!workspace.isValid() || !emptyProjects.isValid())
        return 1;
    for (const char *name : {"Alpha", "Line2", "Plant North", "Zeta"})
        QDir(workspace.path()).mkpath(QStringLiteral("PROJECTS/%1/bin").arg(QLatin1String(name)));

    const auto main = Create_Program_Windows(workspace.path());
    main->show();
    if (scaled) {
        Conf_Name = QStringLiteral("Line2");
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
        Set_Files();
        main->Show_Configuration_Box();
        Picture(main.get(), QStringLiteral("main_%1_percent").arg(qRound(main->devicePixelRatioF() * 100)));
        main->hide();
        return Failed ? 1 : 0;
    }
    Picture(main.get(), QStringLiteral("main_no_configuration"));
    Picture_Focus(main.get(), main->Btn_Open, QStringLiteral("focus_main_button"));
    Picture_Message(main.get(), Lang(18), QStringLiteral("main_step_refused"));

    Conf_Name = QStringLiteral("Line2");
    Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    Set_Files();
    main->Show_Configuration_Box();
    main->Show_Send_State();
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
    Picture_Focus(parGen, parGen->CB_Port0_Enable_Broadcast, QStringLiteral("focus_settings_check_box"));
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

    // Seven languages: the five the program ships (copied into the new workspace at start, with their flags and
    // the default flag), one more with a flag of its own and one (on the first page) with the default flag.
    const QColor red(206, 43, 55), green(0, 146, 70);
    Add_Language(Language_Dir, QStringLiteral("Nederlands"), {}, true);
    Add_Language(Language_Dir, QStringLiteral("Portugu\u00eas"), {green, red, red}, false);

    Enable_Internet = true;
    Enable_Update = true;
    TFSoftOptions *options = main->FSoftOptions;
    options->show();
    Picture(options, QStringLiteral("options_language"));
    Picture_Message(options, Lang(316) + options->Language_In_Use + Lang(317) + QStringLiteral("Italiano") + Lang(318),
                    QStringLiteral("options_language_question"), TMessage_Kind::Confirmation,
                    QMessageBox::Yes | QMessageBox::No);
    options->PC_Options->setCurrentWidget(options->TS_Con_Options);
    options->Show_Check_Result(true);
    Picture(options, QStringLiteral("options_connection"));
    options->PC_Options->setCurrentWidget(options->TS_Soft_Settings);
    options->CB_Soft_Set_Jump_Table->setChecked(true);
    Picture(options, QStringLiteral("options_software_settings"));
    // The update check usable (connection allowed) and greyed (not allowed).
    options->PC_Options->setCurrentWidget(options->TS_Con_Options);
    options->LL_Check_Update->hide();
    options->CB_Update->setChecked(true);
    Picture_Pair(options, QStringLiteral("options_connection_enabled_disabled"), QStringLiteral("enabled"),
                 QStringLiteral("disabled"), [options](bool on) { options->CB_En_Con->setChecked(on); });
    options->PC_Options->setCurrentWidget(options->TS_Language);
    Picture_Focus(options, options->L_L[1], QStringLiteral("focus_options_language_name"));
    options->hide();

    main->Show_Update_Link(true);
    Picture(main.get(), QStringLiteral("main_new_version"));
    main->Show_Update_Link(false);

    // Line2 sent three times (firmware and configuration by serial, then by Ethernet: once failed, once
    // sent) with other settings than it has now, and one record damaged. Its settings now are those of a new
    // configuration, as the settings dialog's pictures show them.
    TXml_Document settingsXml;
    TParGen_Fields fields = No_File_Fields();
    fields.Port_0_Baud = 3;
    fields.Port_0_DevID = QStringLiteral("12");
    Save_ParGen(settingsXml, fields, ParGen_File);
    QDir(Conf_Dir).mkpath(QStringLiteral("sent/20000101T000000Z-1"));
    QFile damaged(Join_Path(Conf_Dir, QStringLiteral("sent/20000101T000000Z-1/run.json")));
    if (!damaged.open(QIODevice::WriteOnly) || damaged.write("{\"started\": ") < 0)
        Failed = true;
    damaged.close();
    Keep_Run(QStringLiteral("serial"), QStringLiteral("ttyUSB0"), 0, TRun_Ending::Success, 0, 9);
    Keep_Run(QStringLiteral("ethernet"), QStringLiteral("10.1.2.105"), 2, TRun_Ending::Failed, 3, 2);
    const TSent_Run sent =
        Keep_Run(QStringLiteral("ethernet"), QStringLiteral("10.1.2.105"), 2, TRun_Ending::Success, 0, 1);
    Save_ParGen(settingsXml, No_File_Fields(), ParGen_File);
    main->Show_Send_State();
    Picture(main.get(), QStringLiteral("main_state_changed"));
    TFHistory *history = main->FHistory;
    history->show();
    Picture(history, QStringLiteral("history"));
    history->LB_Runs->setCurrentItem(history->LB_Runs->topLevelItem(history->LB_Runs->topLevelItemCount() - 1));
    Picture(history, QStringLiteral("history_damaged"));
    history->hide();

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
    // The update button usable, and greyed as it is from the echo check to the updater's end.
    Picture_Pair(boot, QStringLiteral("update_button_enabled_disabled"), QStringLiteral("enabled"),
                 QStringLiteral("disabled (an update under way)"),
                 [boot](bool on) { boot->Btn_Update->setEnabled(on); });
    boot->Btn_Update->setEnabled(true);
    Picture_Focus(boot, boot->E_IP2, QStringLiteral("focus_update_address"));
    Picture_Message(boot, Lang(1036) + QStringLiteral("\n10.1.2.105"), QStringLiteral("update_device_not_found"),
                    TMessage_Kind::Warning);
    Picture_Message(boot, Lang(1037), QStringLiteral("update_check_address"), TMessage_Kind::Error);
    // The question before sending Line2 to the address Plant North last received.
    TAddress_Holder holder{Configuration_Of(Current_Workspace(), QStringLiteral("Plant North")), sent};
    holder.Run.Started = QDateTime::currentDateTime().addDays(-20);
    Picture_Message(boot, Other_Target_Text(QStringLiteral("10.1.2.105"), holder, Conf_Name, Lang),
                    QStringLiteral("update_other_target_question"), TMessage_Kind::Confirmation,
                    QMessageBox::Yes | QMessageBox::No, {}, QMessageBox::No);
    const QByteArray output = "connecting to 10.1.2.105 ...\nconnected\nerasing flash ... done\n"
                              "writing firmware: 38 %\nwriting firmware: 76 %\n";
    boot->FWait->Show_Still(Updater_Path(Program_Dir, Ethernet_Updater_Base), 41, Updater_Wait_Limit_Ms, output);
    boot->FWait->show();
    Picture(boot->FWait, QStringLiteral("update_waiting"));
    Picture_Message(boot->FWait, Lang(1146), QStringLiteral("update_cancel_question"), TMessage_Kind::Confirmation,
                    QMessageBox::Yes | QMessageBox::No, {}, QMessageBox::No);
    boot->FWait->hide();
    // How a run ends, one box per ending: only exit code 0 has the information icon.
    const QString logPath = Join_Path(Conf_Dir, Update_Log_File_Name);
    const struct
    {
        TRun_End End;
        int Exit_Code;
        QByteArray Output;
        const char *Name;
    } endings[] = {
        {TRun_End::Exited, 0, output + "read back: 2048 bytes, equal\ndone\n", "update_verdict_success"},
        {TRun_End::Exited, 3, output + "writing firmware: 100 %\nread back: no answer\n", "update_verdict_exit_code"},
        {TRun_End::Crashed, 0, output, "update_verdict_crashed"},
        {TRun_End::Limit_Reached, 0, output, "update_verdict_limit"},
        {TRun_End::Cancelled, 0, output, "update_verdict_cancelled"},
    };
    for (const auto &ending : endings) {
        TUpdate_Record record;
        record.End = ending.End;
        record.Exit_Code = ending.Exit_Code;
        record.Output = ending.Output;
        record.Elapsed_Ms = 41000;
        Picture_Message(
            boot, Run_Verdict_Text(record, logPath, Lang) + u'\n' + Lang(1042).arg(QDir::toNativeSeparators(sent.Dir)),
            QString::fromLatin1(ending.Name),
            Run_Succeeded(record) ? TMessage_Kind::Information : TMessage_Kind::Warning,
            QMessageBox::Ok | QMessageBox::Open, {{QMessageBox::Open, Lang(1152)}});
    }
    TUpdater_Lock_Record busy;
    busy.Program = Updater_Path(Program_Dir, Serial_Updater_Base);
    busy.Target = QStringLiteral("/dev/ttyUSB0");
    busy.Updater_Pid = 48213;
    busy.Started = QDateTime::currentDateTime().addSecs(-41);
    Picture_Message(boot, Busy_Updater_Text(busy, QDateTime::currentDateTime(), Lang), QStringLiteral("update_busy"),
                    TMessage_Kind::Warning);
    boot->hide();

    // The windows in each shipped translation, switched as the options dialog does.
    const struct
    {
        const char *Language;
        const char *Name;
    } languages[] = {
        {"Deutsch", "deutsch"}, {"Fran\u00e7ais", "francais"}, {"Italiano", "italiano"}, {"Espa\u00f1ol", "espanol"}};
    const QString kept = Language_Name;
    for (const auto &language : languages) {
        Language_Name = QString::fromUtf8(language.Language);
        Load_Language();
        main->Change_Language();
        const QString suffix = QStringLiteral("_") + QLatin1String(language.Name);
        Picture(main.get(), QStringLiteral("main") + suffix);
        main->FAbout->show();
        Picture(main->FAbout, QStringLiteral("about") + suffix);
        main->FAbout->hide();
        parGen->show();
        Picture(parGen, QStringLiteral("settings") + suffix);
        // The lists' items speak the language too.
        if (suffix == QStringLiteral("_deutsch")) {
            parGen->CB_Port0_Parity->showPopup();
            Picture(parGen, QStringLiteral("settings_parity_list") + suffix, parGen->CB_Port0_Parity->view()->window());
            parGen->CB_Port0_Parity->hidePopup();
        }
        parGen->hide();
        boot->Form_Type = 0;
        boot->show();
        Picture(boot, QStringLiteral("update_serial") + suffix);
        boot->FWait->Show_Still(Updater_Path(Program_Dir, Serial_Updater_Base), 12);
        boot->FWait->show();
        Picture(boot->FWait, QStringLiteral("update_waiting") + suffix);
        boot->FWait->hide();
        boot->hide();
        history->show();
        Picture(history, QStringLiteral("history") + suffix);
        history->hide();
        options->show();
        Picture_Message(options, Lang(316) + Language_Name + Lang(317) + QStringLiteral("English") + Lang(318),
                        QStringLiteral("options_language_question") + suffix, TMessage_Kind::Confirmation,
                        QMessageBox::Yes | QMessageBox::No);
        options->PC_Options->setCurrentWidget(options->TS_Soft_Settings);
        Picture(options, QStringLiteral("options_software_settings") + suffix);
        options->PC_Options->setCurrentWidget(options->TS_Con_Options);
        options->Show_Check_Result(true);
        Picture(options, QStringLiteral("options_connection") + suffix);
        options->hide();
    }
    Language_Name = kept;
    Load_Language();
    main->Change_Language();

    // The dark look.
    Apply_Look(TLook::Dark);
    main->Show_Update_Link(false);
    Picture(main.get(), QStringLiteral("dark_main_configuration_open"));
    Picture_Focus(main.get(), main->Btn_Open, QStringLiteral("dark_focus_main_button"));
    parGen->show();
    Picture(parGen, QStringLiteral("dark_settings_new_configuration"));
    parGen->hide();
    boot->Form_Type = 0;
    boot->show();
    Picture(boot, QStringLiteral("dark_update_serial"));
    boot->hide();
    history->show();
    Picture(history, QStringLiteral("dark_history"));
    history->hide();
    options->show();
    options->PC_Options->setCurrentWidget(options->TS_Soft_Settings);
    options->CB_Look->setCurrentIndex(options->CB_Look->findData(QStringLiteral("dark")));
    Picture(options, QStringLiteral("dark_options_software_settings"));
    options->PC_Options->setCurrentWidget(options->TS_Con_Options);
    options->Show_Check_Result(true);
    Picture(options, QStringLiteral("dark_options_connection"));
    options->hide();
    main->FAbout->show();
    Picture(main->FAbout, QStringLiteral("dark_about"));
    main->FAbout->hide();
    Apply_Look(TLook::Light);

    main->hide();
    return Failed ? 1 : 0;
}
