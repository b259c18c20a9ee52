#include "UDavaroroFirmWare.h"

#include "UAbout.h"
#include "UApplication.h"
#include "UBoot.h"
#include "UComon.h"
#include "UFile_Work_Wait.h"
#include "UHistory.h"
#include "ULanguage.h"
#include "ULanguage_Shipped.h"
#include "ULook.h"
#include "UMessage.h"
#include "UNew_Project.h"
#include "UOpenConf.h"
#include "UParGen.h"
#include "UProvision_Journal.h"
#include "USaveBincc.h"
#include "USent_Record.h"
#include "USettings.h"
#include "USoftOptions.h"
#include "UUpdate_Pipeline.h"
#include "UVersion_Check.h"
#include "UWait.h"
#include "UWeb_Page.h"
#include "UWorkspace.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#ifndef QT_NO_SESSIONMANAGER
#include <QSessionManager>
#endif

#include <algorithm>
#include <utility>

namespace {

constexpr int Client_Width = 694;
// The step rows: label tops 44 pixels apart from Step 1; a step's buttons stand 16 pixels above its label.
constexpr int Step_1_Top = 128;
constexpr int Step_Pitch = 44;
constexpr int Step_Button_Rise = 16;
constexpr int Step_Count = 8;
constexpr int Steps_Shown = 3;
constexpr int Velmora_Left = 565;
constexpr int Right_Margin = 12;
constexpr int Bottom_Margin = 14;
constexpr int First_Check_Interval = 60000;
constexpr int Check_Interval = 7200000;
// The configuration box's two lines keep inside its frame; the step labels end before the step buttons.
constexpr int Box_Text_Room = 348 - 2 * 7;
constexpr int Step_Label_Room = 80 - 16 - 4;
// The state line under the steps' rule, across the window.
constexpr int Send_State_Left = 16;
constexpr int Send_State_Gap = 10;

int Step_Top(int step)
{
    return Step_1_Top + (step - 1) * Step_Pitch;
}

} // namespace

DIRevevoriVezaDiva::DIRevevoriVezaDiva(const QString &programDir, QWidget *parent) : QWidget(parent)
{
    Form_Create(programDir);

    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
#ifndef QT_NO_SESSIONMANAGER
        connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager &manager) {
            // The session may end without closing the window: the settings are written now, and a
            // failure is shown only when the session lets the program talk to the user.
            const QString failure = Save_Settings_At_Exit();
            if (!failure.isEmpty() && manager.allowsInteraction()) {
                Report_Error(failure);
                manager.release();
            }
        });
#endif
        connect(app, &QCoreApplication::aboutToQuit, this, &DIRevevoriVezaDiva::About_To_Quit);
    }
}

DIRevevoriVezaDiva::~DIRevevoriVezaDiva() = default;

// The start-up, in its fixed order.
void DIRevevoriVezaDiva::Form_Create(const QString &programDir)
{
    Clear_Language_Table();
    Place_Controls();

    Set_Workspace_Paths(programDir);
    // A workspace that cannot be created or written: the start-up goes on and says so once it has ended.
    const QString workspaceProblem = Prepare_Workspace(Current_Workspace());
    if (!workspaceProblem.isEmpty())
        Problems.append(workspaceProblem);
    // A provision a killed quillon-cli left: finished or undone before the configurations are listed.
    if (const QString recovered = Recover_Provisions(Projects_Dir); !recovered.isEmpty())
        Problems.append(recovered);
    // An update whose program was killed while its updater ran: recorded, its output files removed.
    Recover_Orphaned_Run(Program_Dir);
    Install_Shipped_Languages(Language_Dir);

    Conf_Name.clear();
    Last_Read_Back = true;

    // A settings file that is not well formed: the defaults of a missing one, and its message once the
    // start-up has ended.
    const QString settingsProblem = Read_Settings(XML1);
    if (!settingsProblem.isEmpty())
        Problems.append(settingsProblem);
    Apply_Look(Wanted_Look());

    Timer_Update->setInterval(First_Check_Interval);
    Set_Timer_Update();

    L_SW_Code->setText(SW_Code);

    // A language file that cannot be read leaves the built-in English texts; the start-up goes on to its
    // end and the error is reported afterwards.
    try {
        Load_Language();
    } catch (const EQuillon_Error &error) {
        Load_Default_Language();
        Problems.append(error.Text());
    }

    // Only a directory under PROJECTS is a configuration: a hand-edited name such as "../MASTER" is not.
    if (Is_Usable_Directory_Name(Conf_Name) && QFileInfo(Join_Path(Projects_Dir, Conf_Name)).isDir())
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    else
        Conf_Dir.clear(); // the remembered name stays in Conf_Name and is written back

    Set_Lang();
    Set_Files();
    Show_Send_State();
}

void DIRevevoriVezaDiva::Place_Controls()
{
    setObjectName(QStringLiteral("DIRevevoriVezaDiva"));
    Apply_Window_Look(this);
    setWindowIcon(Program_Window_Icon());

    L_SW_Code = Create_Label(this, QStringLiteral("L_SW_Code"), 16, 8, false, TText_Colour::Code);
    L_SW_Code->setFont(Program_Font(Code_Pixel_Size));
    L_SW_Code->setText(SW_Code);
    const QSize codeSize = L_SW_Code->sizeHint();
    L_SW_Code->resize(std::max(154, codeSize.width()), std::max(38, codeSize.height()));
    L_SW_Desc = Create_Label(this, QStringLiteral("L_SW_Desc"), 16, 42, true);

    LL_Update = Create_Label(this, QStringLiteral("LL_Update"), 208, 19);
    LL_Update->resize(294, 17);
    LL_Update->setTextFormat(Qt::RichText);
    LL_Update->setOpenExternalLinks(false);
    LL_Update->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    LL_Update->hide();

    Btn_Info = Create_Picture_Button(this, QStringLiteral("Btn_Info"), QStringLiteral("info"), 516, 8, 50, 50, 32);
    Btn_Opz = Create_Picture_Button(this, QStringLiteral("Btn_Opz"), QStringLiteral("options"), 574, 8, 50, 50, 32);
    Btn_Close = Create_Picture_Button(this, QStringLiteral("Btn_Close"), QStringLiteral("close"), 632, 8, 50, 50, 32);

    // The frame first, so that the two lines of the configuration box lie on it.
    Shape2 = new QFrame(this);
    Shape2->setObjectName(QStringLiteral("Shape2"));
    Shape2->setGeometry(80, 70, 348, 36);
    Shape2->setFrameStyle(QFrame::Box | QFrame::Plain);
    Shape2->setLineWidth(1);
    Set_Text_Colour(Shape2, TText_Colour::Frame);
    L_Name_Conf = Create_Label(this, QStringLiteral("L_Name_Conf"), 87, 75);
    Set_Caption_Room(L_Name_Conf, Box_Text_Room);
    // A long configuration name keeps its beginning and its end in view; the tooltip shows it whole.
    L_Name_Conf_L2 = Create_Label(this, QStringLiteral("L_Name_Conf_L2"), 87, 88);
    Set_Caption_Room(L_Name_Conf_L2, Box_Text_Room, Qt::ElideMiddle);

    L_Begin = Create_Label(this, QStringLiteral("L_Begin"), 16, 84, true);
    Set_Caption_Room(L_Begin, Step_Label_Room);
    for (int step = 1; step <= Step_Count; ++step) {
        QLabel *label = Create_Label(this, QStringLiteral("L_Step_%1").arg(step), 16, Step_Top(step), true);
        Set_Caption_Room(label, Step_Label_Room);
        label->setVisible(step <= Steps_Shown); // this product has three steps
        L_Step[step - 1] = label;
    }

    const int step1 = Step_Top(1) - Step_Button_Rise;
    const int step2 = Step_Top(2) - Step_Button_Rise;
    const int step3 = Step_Top(3) - Step_Button_Rise;
    Btn_New = Create_Picture_Button(this, QStringLiteral("Btn_New"), QStringLiteral("new"), 80, step1, 170, 36, 24);
    Btn_Open = Create_Picture_Button(this, QStringLiteral("Btn_Open"), QStringLiteral("open"), 258, step1, 170, 36, 24);
    Btn_Prm_Gen =
        Create_Picture_Button(this, QStringLiteral("Btn_Prm_Gen"), QStringLiteral("settings"), 80, step2, 170, 36, 24);
    Btn_CreateBin =
        Create_Picture_Button(this, QStringLiteral("Btn_CreateBin"), QStringLiteral("update"), 80, step3, 170, 36, 24);
    // Beside step 3, as Open stands beside New: what the updates of the open configuration sent.
    Btn_History =
        Create_Picture_Button(this, QStringLiteral("Btn_History"), QStringLiteral("history"), 258, step3, 170, 36, 24);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(10, Btn_CreateBin->y() + 51, 674, 1);
    Set_Fill_Colour(Shape1, TText_Colour::Frame);

    L_Send_State = Create_Label(this, QStringLiteral("L_Send_State"), Send_State_Left, Shape1->y() + Send_State_Gap);
    Set_Caption_Room(L_Send_State, Client_Width - Send_State_Left - Right_Margin);
    L_Send_State->hide();

    const int clientHeight = Btn_CreateBin->y() + 152;

    // The maker's web address, at the lower right corner where it is seen at the window's first size.
    L_Velmora = new TClick_Label(this);
    L_Velmora->setObjectName(QStringLiteral("L_Velmora"));
    L_Velmora->setFont(Program_Font(Text_Pixel_Size, true));
    Set_Text_Colour(L_Velmora, TText_Colour::Text);
    Set_Caption(L_Velmora, Home_Page_Url().host());
    L_Velmora->move(std::min(Velmora_Left, Client_Width - Right_Margin - L_Velmora->width()),
                    clientHeight - Bottom_Margin - L_Velmora->height());
    L_Velmora->show();

    Timer_Update = new QTimer(this);
    Timer_Update->setObjectName(QStringLiteral("Timer_Update"));
    connect(Timer_Update, &QTimer::timeout, this, [this] { Run_Handler([&] { Timer_UpdateTimer(); }); });
    HTTP1 = new TVersion_Check(this);
    HTTP1->setObjectName(QStringLiteral("HTTP1"));
    connect(LL_Update, &QLabel::linkActivated, this, [](const QString &link) { Open_Web_Page(QUrl(link)); });

    for (QPushButton *button :
         {Btn_Info, Btn_Opz, Btn_Close, Btn_New, Btn_Open, Btn_Prm_Gen, Btn_CreateBin, Btn_History})
        connect(button, &QPushButton::clicked, this, [this, button] { Run_Handler([&] { Btn_Click(button); }); });
    connect(L_Velmora, &TClick_Label::clicked, this, &DIRevevoriVezaDiva::L_VelmoraClick);

    setTabOrder(Btn_New, Btn_Open);
    setTabOrder(Btn_Open, Btn_Prm_Gen);
    setTabOrder(Btn_Prm_Gen, Btn_CreateBin);
    setTabOrder(Btn_CreateBin, Btn_History);
    setTabOrder(Btn_History, Btn_Info);
    setTabOrder(Btn_Info, Btn_Opz);
    setTabOrder(Btn_Opz, Btn_Close);

    Btn_New->setFocus();
    // Sizeable, the controls stay where they are.
    resize(Client_Width, clientHeight);
}

void DIRevevoriVezaDiva::Set_Lang()
{
    setWindowTitle(Lang(1162));
    Set_Caption(L_SW_Desc, Lang(1161));
    Set_Caption(L_Begin, Lang(0));
    for (int step = 1; step <= Step_Count; ++step)
        Set_Caption(L_Step[step - 1], Lang(step));
    Btn_Info->setToolTip(Lang(12));
    Btn_Opz->setToolTip(Lang(13));
    Btn_Close->setToolTip(Lang(14));
    Btn_New->setText(Lang(15));
    Btn_Open->setText(Lang(16));
    Btn_CreateBin->setText(Lang(17));
    Btn_Prm_Gen->setText(Lang(20));
    Btn_New->setToolTip(Lang(22));
    Btn_Open->setToolTip(Lang(23));
    Btn_Prm_Gen->setToolTip(Lang(24));
    Btn_CreateBin->setToolTip(Lang(26));
    Btn_History->setText(Lang(1057));
    Btn_History->setToolTip(Lang(1068));
    if (!LL_Update->isHidden())
        Caption_Update_Link();
    Show_Configuration_Box();
    Caption_Send_State();
    Describe_Controls(this);
}

void DIRevevoriVezaDiva::Caption_Update_Link()
{
    LL_Update->setText(QStringLiteral("<a href=\"%1\">%2</a>")
                           .arg(Download_Page_Url().toString().toHtmlEscaped(), Lang(19).toHtmlEscaped()));
}

void DIRevevoriVezaDiva::Show_Configuration_Box()
{
    if (!Conf_Dir.isEmpty()) {
        Set_Caption(L_Name_Conf, Lang(11));
        Set_Caption(L_Name_Conf_L2, Conf_Name);
    } else {
        Set_Caption(L_Name_Conf, Lang(9));
        Set_Caption(L_Name_Conf_L2, Lang(10));
    }
}

void DIRevevoriVezaDiva::Show_Send_State()
{
    Send_Status.reset();
    if (!Conf_Dir.isEmpty()) {
        auto status = std::make_shared<TConfig_Status>();
        // At start-up the records are read as the settings file is; afterwards off the window thread.
        if (isVisible())
            Run_File_Work(this, [status, confDir = Conf_Dir] { *status = Config_Status(confDir); });
        else
            *status = Config_Status(Conf_Dir);
        Send_Status = status;
    }
    Caption_Send_State();
}

void DIRevevoriVezaDiva::Caption_Send_State()
{
    if (!Send_Status) {
        L_Send_State->hide();
        return;
    }
    const QString text = Send_State_Text(*Send_Status, Lang);
    const bool warn = Send_Status->State == TSend_State::Changed || Send_Status->State == TSend_State::Failed;
    Set_Text_Colour(L_Send_State, warn ? TText_Colour::Warning : TText_Colour::Text);
    Set_Caption(L_Send_State, text);
    // Read out whole, also when it is drawn elided.
    L_Send_State->setAccessibleName(text);
    L_Send_State->show();
}

void DIRevevoriVezaDiva::Change_Language()
{
    Set_Lang();
    if (FNew_Project)
        FNew_Project->Set_Lang();
    if (FOpenConf)
        FOpenConf->Set_Lang();
    if (FSoftOptions)
        FSoftOptions->Set_Lang();
    if (FBoot)
        FBoot->Set_Lang();
    if (FParGen)
        FParGen->Set_Lang();
    if (FHistory)
        FHistory->Set_Lang();
    if (FAbout)
        FAbout->Set_Lang();
}

void DIRevevoriVezaDiva::Btn_Click(QObject *Sender)
{
    if (Sender == Btn_New) {
        Create_New_Project();
    } else if (Sender == Btn_Open) {
        Open_Project();
    } else if (Sender == Btn_Close) {
        close();
    } else if (Sender == Btn_Info) {
        if (FAbout)
            FAbout->exec();
    } else if (Sender == Btn_Opz) {
        if (FSoftOptions && FSoftOptions->exec() == QDialog::Accepted) {
            Remember_Settings();
            Set_Timer_Update();
        }
    } else if (Conf_Dir.isEmpty()) {
        Message_Box(Lang(18), TMessage_Kind::Error);
    } else if (Sender == Btn_Prm_Gen) {
        if (FParGen && FParGen->exec() == QDialog::Accepted)
            Show_Send_State();
    } else if (Sender == Btn_CreateBin) {
        Update_Device();
    } else if (Sender == Btn_History) {
        if (FHistory)
            FHistory->exec();
    }
}

void DIRevevoriVezaDiva::Create_New_Project()
{
    if (FNew_Project && FNew_Project->exec() == QDialog::Accepted) {
        Show_Configuration_Box();
        Remember_Settings();
        Show_Send_State();
    }
}

void DIRevevoriVezaDiva::Open_Project()
{
    if (!FOpenConf || FOpenConf->exec() != QDialog::Accepted)
        return;
    Conf_Name = FOpenConf->Name_Conf;
    if (!Conf_Name.isEmpty())
        Conf_Dir = Join_Path(Projects_Dir, Conf_Name);
    else
        Conf_Dir.clear();
    Show_Configuration_Box();
    Set_Files();
    Remember_Settings();
    Show_Send_State();
}

void DIRevevoriVezaDiva::Remember_Settings()
{
    Run_File_Work(this, [this] { Save_Setting(XML1); });
}

void DIRevevoriVezaDiva::Update_Device()
{
    // The files first, then the dialog. Reading ParGen.xml and writing and syncing both images run off the
    // window thread: a slow disk never freezes the window.
    // Never under an updater that was given this configuration's images and still runs.
    TUpdater_Lock_Record holder;
    if (const QString busy = Bin_Busy_Refusal(Conf_Dir, Lang, &holder); !busy.isEmpty()) {
        Report_Busy_Updater(busy, holder.Updater_Pid);
        return;
    }
    int formType = 0;
    Run_File_Work(this, [&formType, parGen = ParGen_File, confDir = Conf_Dir] {
        const TConfig_Images images = Make_Config_Data(parGen, Lang);
        Write_Config_Files(confDir, images);
        formType = images.Device_Type;
    });
    if (!FBoot)
        return;
    FBoot->Form_Type = formType;
    FBoot->exec();
    Show_Send_State();
}

void DIRevevoriVezaDiva::L_VelmoraClick()
{
    Open_Web_Page(Home_Page_Url());
}

void DIRevevoriVezaDiva::Timer_UpdateTimer()
{
    Timer_Update->stop();
    // From the first tick on, the check runs every two hours.
    Timer_Update->setInterval(Check_Interval);
    HTTP1->Check_Version(this, [this](bool newer) { Show_Update_Link(newer); });
}

void DIRevevoriVezaDiva::Show_Update_Link(bool Newer)
{
    if (Newer)
        Caption_Update_Link();
    LL_Update->setVisible(Newer);
    // Runs again unless the options dialog turned the check off while the answer was awaited.
    Set_Timer_Update();
}

void DIRevevoriVezaDiva::Set_Timer_Update()
{
    if (!(Enable_Internet && Enable_Update))
        Timer_Update->stop();
    else if (!Timer_Update->isActive())
        Timer_Update->start();
}

void DIRevevoriVezaDiva::Report_Start_Up_Problems()
{
    const QStringList problems = std::exchange(Problems, {});
    for (const QString &problem : problems)
        Report_Error(problem);
}

QString DIRevevoriVezaDiva::Save_Settings_At_Exit()
{
    Settings_Written_At_Exit = true;
    try {
        Run_File_Work(this, [this] { Save_Setting(XML1); });
    } catch (const EQuillon_Error &error) {
        return error.Text();
    }
    return QString();
}

void DIRevevoriVezaDiva::closeEvent(QCloseEvent *event)
{
    // A settings file that cannot be written is reported, and the window closes all the same.
    const QString failure = Save_Settings_At_Exit();
    if (!failure.isEmpty())
        Report_Error(failure);
    event->accept();
}

void DIRevevoriVezaDiva::About_To_Quit()
{
    if (Settings_Written_At_Exit)
        return;
    const QString failure = Save_Settings_At_Exit();
    if (!failure.isEmpty())
        Report_Error(failure);
}
